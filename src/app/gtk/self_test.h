#pragma once
// `zorel ui --self-test DIR`: drives the page in the real window like a
// user (through the page's own buttons), saves three screenshots, checks
// what the page shows against the bridge's own answer and writes
// DIR/self-test.json when the window closes.

#include <glib.h>
#include <json/value.h>

#include <chrono>
#include <functional>
#include <optional>
#include <string>

#include "zorel/app/window_system.h"

namespace zorel::app {

class CBrowserDlg;
class CMessageTranslateImpl;

class SelfTest {
 public:
  SelfTest(CBrowserDlg& dlg, CMessageTranslateImpl& bridge, const WindowSettings& settings);
  ~SelfTest();
  SelfTest(const SelfTest&) = delete;
  SelfTest& operator=(const SelfTest&) = delete;

  bool Passed() const { return written_ && !failed_; }

 private:
  using Reply = std::function<void(const Json::Value&)>;
  // Evaluates script (an expression giving a JSON text) in the page; reply
  // gets the parsed value, null on any failure.
  void Eval(const std::string& script, Reply reply);
  // Evaluates probe every `intervalMs` until done(value) or `limitMs` passed.
  void WaitFor(const std::string& probe, std::function<bool(const Json::Value&)> done,
               int limitMs, Reply then, std::function<void()> timedOut);
  void Snapshot(const std::string& name, std::function<void()> then);

  void CheckStart();
  void ClickStart();
  void AfterRunning();
  void CheckProblems();
  void Fail(const std::string& step);
  void Write(const std::string& closedBy);
  long MsSinceStart() const;

  CBrowserDlg& dlg_;
  CMessageTranslateImpl& bridge_;
  WindowSettings settings_;
  bool started_ = false;
  bool written_ = false;
  std::optional<std::string> failed_;
  std::optional<long> shownMs_, loadedMs_, runMs_;
  std::optional<int> mode_;
  int problems_ = 0;
  std::chrono::steady_clock::time_point clickTime_;
  guint closeTimer_ = 0;
  guint loadTimer_ = 0;
  std::shared_ptr<bool> alive_;
};

}  // namespace zorel::app
