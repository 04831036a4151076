#pragma once
// Host helpers for tests that start commands: a scoped environment
// variable, and whether a process has ended.

#include <stdlib.h>
#include <sys/types.h>

#include <chrono>
#include <fstream>
#include <optional>
#include <string>
#include <thread>

namespace zorel::testing {

// Sets (or, given nullopt, unsets) a variable of this test process until
// the end of the scope; children started meanwhile inherit it.
class ScopedVariable {
 public:
  ScopedVariable(const char* name, std::optional<std::string> value) : name_(name) {
    if (const char* old = ::getenv(name)) old_ = old;
    if (value) ::setenv(name, value->c_str(), 1);
    else ::unsetenv(name);
  }
  ~ScopedVariable() {
    if (old_) ::setenv(name_, old_->c_str(), 1);
    else ::unsetenv(name_);
  }
  ScopedVariable(const ScopedVariable&) = delete;
  ScopedVariable& operator=(const ScopedVariable&) = delete;

 private:
  const char* name_;
  std::optional<std::string> old_;
};

// True when `pid` has ended (no such process, or a zombie awaiting its
// parent) within a second.
inline bool ProcessGone(pid_t pid) {
  for (int i = 0; i < 100; ++i) {
    std::ifstream stat("/proc/" + std::to_string(pid) + "/stat");
    std::string number, name, state;
    if (!(stat >> number >> name >> state) || state == "Z") return true;
    std::this_thread::sleep_for(std::chrono::milliseconds(10));
  }
  return false;
}

}  // namespace zorel::testing
