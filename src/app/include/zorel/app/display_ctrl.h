#pragma once
// The display that shows the page: IDisplayCtrl and its events.

#include <functional>
#include <map>
#include <mutex>
#include <string>

namespace zorel::app {

enum class DisplayEvent : int {
  Closing = 1,           // the window is about to close
  DocumentComplete = 2,  // the view finished loading a document
};

using DisplayCallback = std::function<void(int)>;

class IDisplayCtrl {
 public:
  virtual ~IDisplayCtrl() = default;
  // Remembers the page address, creates the window and shows it; false when
  // the window could not be made.
  virtual bool Display(const std::string& url) = 0;
  // Remembers `function` under `id`; an id already present keeps its first
  // function (false then).
  virtual bool RegisterCallback(DisplayEvent id, DisplayCallback function) = 0;
};

// The callback map a display keeps: ordered by id, first registration wins,
// events raised on a copy so that a callback may register another.
class DisplayCallbacks {
 public:
  bool Register(DisplayEvent id, DisplayCallback function);
  // Calls the function registered under id, if any, with 0.
  void Raise(DisplayEvent id);

 private:
  std::mutex mutex_;
  std::map<DisplayEvent, DisplayCallback> callbacks_;
};

}  // namespace zorel::app
