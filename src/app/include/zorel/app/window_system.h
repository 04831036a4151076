#pragma once
// The window backend behind IDisplayCtrl: display connection, message box,
// the one browser window and the main loop. src/app/gtk/ implements it
// with GTK and WebKitGTK; a build without them has one that never opens.

#include <chrono>
#include <memory>
#include <string>

#include "zorel/app/display_ctrl.h"

namespace zorel::app {

class CMessageTranslateImpl;

struct WindowSettings {
  // Host folder holding the page, ending in '/': the only place documents
  // the view may show and the bridge answers come from.
  std::string uiFolder;
  // --self-test DIR: drive the page like a user and write DIR/self-test.json.
  std::string selfTestDir;
  bool closeDuringRun = false;
  std::chrono::steady_clock::time_point programStart;
};

class IWindowSystem {
 public:
  virtual ~IWindowSystem() = default;
  // Connects to the display; false with a reason when there is none.
  virtual bool Open(std::string& reason) = 0;
  // A modal message box without owner, with an OK button.
  virtual void MessageBox(const std::string& caption, const std::string& text) = 0;
  // The process's one display; use after Open succeeded.
  virtual IDisplayCtrl& Display() = 0;
  // Runs the main loop until the close path ended it. RETURNS the exit
  // code: 0, or with --self-test 1 when a step failed.
  virtual int Run() = 0;
  // Destroys the window without raising Closing (a start with a switch).
  virtual void Dismiss() = 0;
};

std::unique_ptr<IWindowSystem> CreateWindowSystem(CMessageTranslateImpl& bridge,
                                                  const WindowSettings& settings);

}  // namespace zorel::app
