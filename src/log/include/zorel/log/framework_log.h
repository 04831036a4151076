#pragma once
// FrameWork.log: the one diagnostic log of the process.
//
// Every line is "<asctime without newline> : <level text>\t<message>\n",
// handed to the system at once. The file is appended across runs and
// truncated when a write finds it larger than the rotation threshold.
// Logging never fails towards a caller: a line that cannot be written (a
// full disk) is dropped, the next line starts on a line of its own, and a
// file that could not be opened is tried again at the next line.

#include <cstdarg>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>

namespace zorel {

namespace platform {
class AppendingFile;
}

enum class LogLevel : int32_t { Info = 1, Error = 2, Warn = 3 };

class FrameworkLog {
 public:
  static constexpr int32_t kRotationThreshold = 4194304;  // 4 MiB
  static constexpr size_t kMaxMessageChars = 1023;

  // The process-wide writer, created on first use (thread-safe) in the
  // temporary folder and never destroyed.
  static FrameworkLog& Instance();

  // A writer on an explicit file; the process uses Instance().
  explicit FrameworkLog(std::string path);
  ~FrameworkLog();
  FrameworkLog(const FrameworkLog&) = delete;
  FrameworkLog& operator=(const FrameworkLog&) = delete;

  // printf-style wide format. "%s" takes a wide string, as the Windows C
  // library reads it; %d, %ld, %x and friends as usual.
  void Write(int32_t level, const wchar_t* format, ...);
  void Write(LogLevel level, const wchar_t* format, ...);
  void WriteV(int32_t level, const wchar_t* format, va_list args);

  const std::string& path() const { return path_; }

 private:
  std::string path_;
  std::unique_ptr<platform::AppendingFile> file_;
  bool lineCut_ = false;  // the last line was written only in part
  std::mutex lock_;       // held for the whole of one Write
};

}  // namespace zorel
