#include "zorel/log/framework_log.h"

#include <cstdio>
#include <ctime>

#include "log_format.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel {

// Append mode puts every write at the end of the file, even when another
// process writes the same log. The buffer holds a whole line, so the flush
// after each line hands it to the system in one piece.
static std::FILE* openLog(const std::string& path, bool append) {
  std::FILE* f = std::fopen(path.c_str(), append ? "ab" : "wb");
  if (f) std::setvbuf(f, nullptr, _IOFBF, 16384);
  return f;
}

FrameworkLog& FrameworkLog::Instance() {
  // Function-local static: one-time initialisation that is safe when two
  // threads arrive first at once. Never destroyed, so late writers in other
  // threads' exit paths still find it.
  static FrameworkLog* instance = new FrameworkLog(platform::hostTempFolder() + "FrameWork.log");
  return *instance;
}

FrameworkLog::FrameworkLog(std::string path) : path_(std::move(path)) {
  file_ = openLog(path_, true);
}

FrameworkLog::~FrameworkLog() {
  if (file_) std::fclose(file_);
}

void FrameworkLog::Write(int32_t level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(level, format, args);
  va_end(args);
}

void FrameworkLog::Write(LogLevel level, const wchar_t* format, ...) {
  va_list args;
  va_start(args, format);
  WriteV(static_cast<int32_t>(level), format, args);
  va_end(args);
}

void FrameworkLog::WriteV(int32_t level, const wchar_t* format, va_list args) {
  try {
    std::lock_guard<std::mutex> guard(lock_);
    const std::wstring message = logfmt::formatMessage(format, args, kMaxMessageChars);
    if (!file_) return;
    std::fseek(file_, 0, SEEK_END);
    const long size = std::ftell(file_);
    if (size > kRotationThreshold) {
      std::fclose(file_);
      file_ = openLog(path_, false);
      if (!file_) return;
    }
    const std::time_t now = std::time(nullptr);
    std::tm local{};
    localtime_r(&now, &local);
    std::string line = logfmt::timestamp(local);
    line += " : ";
    line += logfmt::levelText(level);
    line += '\t';
    line += toUtf8(message);
    line += '\n';
    std::fwrite(line.data(), 1, line.size(), file_);
    std::fflush(file_);
  } catch (...) {
    // Logging never throws to its caller.
  }
}

}  // namespace zorel
