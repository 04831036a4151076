#include "zorel/app/display_ctrl.h"

namespace zorel::app {

bool DisplayCallbacks::Register(DisplayEvent id, DisplayCallback function) {
  std::lock_guard<std::mutex> lock(mutex_);
  return callbacks_.emplace(id, std::move(function)).second;
}

void DisplayCallbacks::Raise(DisplayEvent id) {
  std::map<DisplayEvent, DisplayCallback> copy;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    copy = callbacks_;
  }
  for (auto& [event, function] : copy) {
    if (event == id && function) function(0);
  }
}

}  // namespace zorel::app
