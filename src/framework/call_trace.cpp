// The call trace: formatting one call as a JSON line, the process-wide
// hook and the file it is appended to.

#include "zorel/framework/call_trace.h"

#include <atomic>
#include <cerrno>
#include <cstring>
#include <string_view>

#include "zorel/common/utf8.h"

namespace zorel {
namespace {

std::atomic<ICallTrace*> gTrace{nullptr};

void appendEscape(std::string& out, uint32_t unit) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

// A JSON string of wide text. The runs between escapes go through toUtf8,
// which joins a surrogate pair kept as two units and makes a lone
// surrogate, or anything beyond U+10FFFF, U+FFFD: readers differ on an
// escaped lone surrogate (some refuse the line).
void appendString(std::string& out, std::wstring_view text) {
  out.push_back('"');
  size_t run = 0;
  for (size_t i = 0; i < text.size(); ++i) {
    const uint32_t c = static_cast<uint32_t>(text[i]);
    const bool control = c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029;
    if (!control && c != '"' && c != '\\') continue;
    out += toUtf8(text.substr(run, i - run));
    run = i + 1;
    switch (c) {
      case '"': out += "\\\""; break;
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\r': out += "\\r"; break;
      case '\t': out += "\\t"; break;
      default: appendEscape(out, c);
    }
  }
  out += toUtf8(text.substr(run));
  out.push_back('"');
}

}  // namespace

void SetCallTrace(ICallTrace* trace) { gTrace.store(trace); }

ICallTrace* CurrentCallTrace() { return gTrace.load(); }

std::string ComponentOfInstance(const std::string& instance) {
  size_t digits = 0;
  while (digits < instance.size() && instance[digits] >= '0' && instance[digits] <= '9') ++digits;
  return instance.substr(digits);
}

std::string FormatTraceLine(const TracedCall& call, uint64_t sequence) {
  std::string line = "{\"seq\":" + std::to_string(sequence) + ",\"component\":";
  appendString(line, fromUtf8(ComponentOfInstance(call.instance)));
  line += ",\"instance\":";
  appendString(line, fromUtf8(call.instance));
  line += ",\"method\":";
  appendString(line, fromUtf8(call.method));
  line += ",\"arguments\":[";
  if (call.arguments) {
    bool first = true;
    for (const std::wstring& argument : *call.arguments) {
      if (!first) line.push_back(',');
      first = false;
      appendString(line, argument);
    }
  }
  const bool answered = call.answer && !call.answer->empty();
  line += "],\"answer\":";
  appendString(line, answered ? fromUtf8(*call.answer) : std::wstring());
  line += ",\"errorcode\":";
  line += answered ? std::to_string(call.errorCode) : "null";
  char ms[32];
  std::snprintf(ms, sizeof ms, "%.3f", call.milliseconds < 0 ? 0.0 : call.milliseconds);
  line += ",\"ms\":";
  line += ms;
  line.push_back('}');
  return line;
}

bool FileCallTrace::Open(const std::string& path, std::string* reason) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (file_) std::fclose(file_);
  file_ = std::fopen(path.c_str(), "ab");
  if (!file_ && reason) *reason = std::strerror(errno);
  return file_ != nullptr;
}

FileCallTrace::~FileCallTrace() {
  if (CurrentCallTrace() == this) SetCallTrace(nullptr);
  if (file_) std::fclose(file_);
}

void FileCallTrace::Record(const TracedCall& call) {
  std::lock_guard<std::mutex> lock(mutex_);
  if (!file_) return;
  std::string line = FormatTraceLine(call, ++sequence_);
  line.push_back('\n');
  std::fwrite(line.data(), 1, line.size(), file_);
  std::fflush(file_);
}

}  // namespace zorel
