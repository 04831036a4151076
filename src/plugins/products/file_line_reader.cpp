// CFileLineReader over the platform's read-only files (see
// file_line_reader.h).

#include "file_line_reader.h"

#include <algorithm>
#include <cstring>
#include <memory>
#include <vector>

#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/read_only_file.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::Olvane::IO {

namespace {

using Exception::CFileException;
using Exception::CFileLineReaderException;

constexpr uint32_t kReadSize = 1 << 16;

[[noreturn]] void FileError(const char* message) {
  throw CFileException(platform::getLastError(), message);
}
[[noreturn]] void LimitError(const char* message) {
  throw CFileLineReaderException(platform::getLastError(), message);
}

}  // namespace

bool CFileLineReader::Read() {
  if (!callback_) LimitError("Invalid Callback function");
  platform::IMachine* machine = platform::currentMachine();
  if (!machine) FileError("Failed to open file");
  std::unique_ptr<platform::IReadOnlyFile> file;
  if (platform::openReadOnlyFile(machine->paths(), path_, &file) != platform::ERROR_SUCCESS)
    FileError("Failed to open file");
  const uint64_t size = file->size();
  if (size > kMaxFileSize) LimitError("File size is above the max limit");

  // buffer[begin, end) holds the file's bytes [position, position + end - begin).
  std::vector<char> buffer;
  size_t begin = 0, end = 0;
  uint64_t position = 0;
  while (position < size) {
    const uint64_t rest = size - position;
    const size_t limit = static_cast<size_t>(std::min<uint64_t>(rest, kMaxLineWindow));
    size_t searched = 0;  // bytes after `begin` known to hold no separator start
    size_t length = 0;    // the line's length
    for (;;) {
      const char* start = buffer.data() + begin;
      const size_t have = end - begin;
      const void* found = nullptr;
      for (size_t from = searched; from + 1 < have;) {
        const void* cr = std::memchr(start + from, '\r', have - 1 - from);
        if (!cr) break;
        const size_t at = static_cast<const char*>(cr) - start;
        if (start[at + 1] == '\n') {
          found = cr;
          break;
        }
        from = at + 1;
      }
      if (found) {
        length = static_cast<const char*>(found) - start;
        break;
      }
      searched = have > 0 ? have - 1 : 0;
      if (have >= limit) {
        if (rest > kMaxLineWindow) LimitError("Line size is greater than the buffer limit");
        length = static_cast<size_t>(rest);  // the last line, without an end
        break;
      }
      // Room for the next read: move what is left to the front first.
      if (begin > 0) {
        std::memmove(buffer.data(), buffer.data() + begin, have);
        end = have;
        begin = 0;
      }
      const size_t want = std::min<size_t>(limit - have, std::max<size_t>(kReadSize, have));
      buffer.resize(end + want + 1);
      uint32_t got = 0;
      if (file->readAt(position + have, buffer.data() + end, static_cast<uint32_t>(want), &got) !=
              platform::ERROR_SUCCESS ||
          got == 0)
        FileError("Failed to read the file");
      end += got;
    }
    // The line as zero-terminated text: its end (or the spare byte after
    // the last line) becomes the terminator.
    if (begin + length >= buffer.size()) buffer.resize(begin + length + 1);
    buffer[begin + length] = '\0';
    if (callback_(data_, buffer.data() + begin)) return true;
    const size_t consumed = std::min(length + 2, end - begin);
    begin += consumed;
    position += length + 2;
  }
  return false;
}

}  // namespace zorel::Olvane::IO
