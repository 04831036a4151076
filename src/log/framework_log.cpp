#include "zorel/log/framework_log.h"

#include <ctime>

#include "log_format.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/host_file.h"
#include "zorel/platform/machine/temp_path.h"

namespace zorel {

FrameworkLog& FrameworkLog::Instance() {
  // Function-local static: one-time initialisation that is safe when two
  // threads arrive first at once. Never destroyed, so late writers in other
  // threads' exit paths still find it.
  static FrameworkLog* instance = new FrameworkLog(platform::hostTempFolder() + "FrameWork.log");
  return *instance;
}

// Every line is appended with one write, so it lands whole at the end of
// the file even when another process writes the same log.
FrameworkLog::FrameworkLog(std::string path)
    : path_(std::move(path)), file_(std::make_unique<platform::AppendingFile>()) {
  file_->open(path_, false);
}

FrameworkLog::~FrameworkLog() = default;

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
    if (!file_->isOpen() && file_->open(path_, false) != 0) return;
    if (file_->size() > kRotationThreshold) {
      lineCut_ = false;
      if (file_->open(path_, true) != 0) return;
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
    if (lineCut_) line.insert(line.begin(), '\n');
    lineCut_ = file_->append(line.data(), line.size()) != 0;
  } catch (...) {
    // Logging never throws to its caller.
  }
}

}  // namespace zorel
