#pragma once
// The installation-log reader: a file of the machine read line by line,
// each line handed to a consumer callback until it asks to stop.
//
// Lines end in "\r\n" (a bare "\n" does not end a line). The callback sees
// a line without its end, as zero-terminated text, so a line holding a NUL
// byte reads up to it. Limits: a file above 4 000 000 000 bytes is refused
// (its 64-bit size counts), and so is a line (from its start) with no end
// within 4 210 688 bytes when the file goes on beyond that; the last line
// of a file may lack its end. Every byte of the file is read once, in
// large reads at offsets.

#include <cstdint>
#include <string>

namespace zorel::Olvane {

namespace Exception {

// The reader's failures, each with the thread's last Windows error when it
// was raised and a message.
class COvException {
 public:
  COvException(int32_t systemError, std::string message)
      : systemError_(systemError), message_(std::move(message)) {}
  virtual ~COvException() = default;
  int32_t SystemError() const { return systemError_; }
  const std::string& Message() const { return message_; }

 private:
  int32_t systemError_;
  std::string message_;
};

class CIOException : public COvException {
 public:
  using COvException::COvException;
};

// Opening or reading the file failed.
class CFileException : public CIOException {
 public:
  using CIOException::CIOException;
};

// A limit was exceeded, or there is no callback.
class CFileLineReaderException : public CIOException {
 public:
  using CIOException::CIOException;
};

}  // namespace Exception

namespace IO {

// The consumer: its own data and one line; true stops the reading.
using CFileLineReaderConsumer = bool (*)(void* data, const char* line);

class CFileLineReader {
 public:
  static constexpr uint64_t kMaxFileSize = 4000000000ull;
  static constexpr size_t kMaxLineWindow = 0x402000 + 8192;

  // `path` is a Windows path of the machine.
  CFileLineReader(std::wstring path, CFileLineReaderConsumer callback, void* data)
      : path_(std::move(path)), callback_(callback), data_(data) {}

  // Reads the file. RETURNS true when the consumer stopped the reading.
  // Throws the exceptions above.
  bool Read();

 private:
  std::wstring path_;
  CFileLineReaderConsumer callback_;
  void* data_;
};

}  // namespace IO
}  // namespace zorel::Olvane
