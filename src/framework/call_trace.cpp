// The call trace: formatting one call as a JSON line, the process-wide
// hook and the file it is appended to.

#include "zorel/framework/call_trace.h"

#include <atomic>
#include <cerrno>
#include <cstring>

#include "zorel/common/utf8.h"

namespace zorel {
namespace {

std::atomic<ICallTrace*> gTrace{nullptr};

void appendUtf8(std::string& out, uint32_t c) {
  if (c < 0x80) {
    out.push_back(static_cast<char>(c));
  } else if (c < 0x800) {
    out.push_back(static_cast<char>(0xC0 | (c >> 6)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else if (c < 0x10000) {
    out.push_back(static_cast<char>(0xE0 | (c >> 12)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  } else {
    out.push_back(static_cast<char>(0xF0 | (c >> 18)));
    out.push_back(static_cast<char>(0x80 | ((c >> 12) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | ((c >> 6) & 0x3F)));
    out.push_back(static_cast<char>(0x80 | (c & 0x3F)));
  }
}

void appendEscape(std::string& out, uint32_t unit) {
  static const char kHex[] = "0123456789abcdef";
  out += "\\u";
  for (int shift = 12; shift >= 0; shift -= 4) out.push_back(kHex[(unit >> shift) & 0xF]);
}

// A JSON string of wide text. A surrogate pair kept as two units (UTF-16
// text in the wide string) is joined; a lone one becomes U+FFFD, since
// readers differ on escaped lone surrogates (some refuse the line).
void appendString(std::string& out, const std::wstring& text) {
  out.push_back('"');
  for (size_t i = 0; i < text.size(); ++i) {
    uint32_t c = static_cast<uint32_t>(text[i]);
    switch (c) {
      case '"': out += "\\\""; continue;
      case '\\': out += "\\\\"; continue;
      case '\n': out += "\\n"; continue;
      case '\r': out += "\\r"; continue;
      case '\t': out += "\\t"; continue;
      default: break;
    }
    if (c < 0x20 || c == 0x7F || c == 0x2028 || c == 0x2029) {
      appendEscape(out, c);
    } else if (c >= 0xD800 && c <= 0xDBFF && i + 1 < text.size() &&
               static_cast<uint32_t>(text[i + 1]) >= 0xDC00 &&
               static_cast<uint32_t>(text[i + 1]) <= 0xDFFF) {
      const uint32_t low = static_cast<uint32_t>(text[++i]);
      appendUtf8(out, 0x10000 + ((c - 0xD800) << 10) + (low - 0xDC00));
    } else if ((c >= 0xD800 && c <= 0xDFFF) || c > 0x10FFFF) {
      appendUtf8(out, 0xFFFD);
    } else {
      appendUtf8(out, c);
    }
  }
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
