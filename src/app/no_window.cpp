// The window system of a build without WebKitGTK: there is never a window.
// `zorel ui` then takes its window-failure path; switches still work.

#include "zorel/app/window_system.h"

namespace zorel::app {
namespace {

class NoWindowSystem final : public IWindowSystem {
 public:
  bool Open(std::string& reason) override {
    reason = "built without WebKitGTK 4.1: no window; use zorel check or zorel bridge";
    return false;
  }
  void MessageBox(const std::string&, const std::string&) override {}
  IDisplayCtrl& Display() override { return display_; }
  int Run() override { return 1; }
  void Dismiss() override {}

 private:
  class NoDisplay final : public IDisplayCtrl {
   public:
    bool Display(const std::string&) override { return false; }
    bool RegisterCallback(DisplayEvent id, DisplayCallback function) override {
      return callbacks_.Register(id, std::move(function));
    }

   private:
    DisplayCallbacks callbacks_;
  } display_;
};

}  // namespace

std::unique_ptr<IWindowSystem> CreateWindowSystem(CMessageTranslateImpl&, const WindowSettings&) {
  return std::make_unique<NoWindowSystem>();
}

}  // namespace zorel::app
