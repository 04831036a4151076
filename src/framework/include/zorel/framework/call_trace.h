#pragma once
// The call trace: every plug-in method call of a run as one JSON line, for
// script authors who want to see what each call answered. It is written
// beside the run, never into the result store.
//
// Line format (UTF-8, one object per line, members in this order):
//   {"seq":N,"component":"OS","instance":"3OS","method":"getOSDetail",
//    "arguments":["..."],"answer":"<the JSON text the script received>",
//    "errorcode":N|null,"ms":T}
// seq counts the calls of the process from 1; arguments are the positional
// texts the method was given (path variables already expanded); answer is
// "" and errorcode null when the call gave the script nothing (an unknown
// method, a failed call); ms is the time the call took in milliseconds.
// Every text is escaped so a line is valid JSON whatever it holds: control
// characters and NUL as \u00XX; a lone UTF-16 surrogate, anything beyond
// U+10FFFF and malformed UTF-8 as U+FFFD (every JSON reader accepts the
// line, where an escaped lone surrogate is refused by some).

#include <cstdint>
#include <cstdio>
#include <deque>
#include <memory>
#include <mutex>
#include <string>

namespace zorel {

struct TracedCall {
  std::string instance;                        // "3OS"
  std::string method;                          // "getOSDetail"
  const std::deque<std::wstring>* arguments = nullptr;
  const std::string* answer = nullptr;         // null or empty: no answer
  int32_t errorCode = 0;                       // meaningful with an answer
  double milliseconds = 0;
};

class ICallTrace {
 public:
  virtual ~ICallTrace() = default;
  // Called after each method call, on the thread that made it.
  virtual void Record(const TracedCall& call) = 0;
};

// The process-wide trace the object manager reports to; null (the
// default) traces nothing. The caller keeps it alive while it is set.
void SetCallTrace(ICallTrace* trace);
ICallTrace* CurrentCallTrace();

// The component of an instance name ("3OS" -> "OS").
std::string ComponentOfInstance(const std::string& instance);

// One trace line for `call`, without the line end.
std::string FormatTraceLine(const TracedCall& call, uint64_t sequence);

// Appends the lines to a file, each written and flushed whole, so a run
// that crashes keeps every line of the calls before.
class FileCallTrace final : public ICallTrace {
 public:
  // Opens path for appending; false (with errno's reason in *reason) when
  // it cannot be opened.
  bool Open(const std::string& path, std::string* reason);
  ~FileCallTrace() override;
  void Record(const TracedCall& call) override;

 private:
  std::mutex mutex_;
  std::FILE* file_ = nullptr;
  uint64_t sequence_ = 0;
};

}  // namespace zorel
