// Start records in the machine root (see program_records_linux.h).

#include "process/linux/program_records_linux.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <iterator>
#include <sstream>

#include "base/linux/errno_map.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/host_file.h"

namespace zorel::platform::detail {
namespace {

// Past this size a new record first drops the records of ended processes.
constexpr off_t kPruneSize = 64 * 1024;

std::string runFolder(const std::string& root) { return root + "/run"; }
std::string recordsFile(const std::string& root) { return root + "/run/programs"; }

std::string formatRecord(const ProgramRecord& record) {
  return bootId() + "\t" + std::to_string(record.pid) + "\t" + std::to_string(record.startTime) +
         "\t" + toUtf8(record.windowsPath) + "\n";
}

std::string readAll(const std::string& path) {
  std::ifstream in(path, std::ios::binary);
  return std::string((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
}

// Rewrites the file with the records whose process still runs. Called with
// the lock held.
void prune(const std::string& root) {
  std::string kept;
  for (const ProgramRecord& record : readProgramRecords(root)) {
    if (processStartTime(static_cast<pid_t>(record.pid)) == record.startTime)
      kept += formatRecord(record);
  }
  // Replaced whole: a failed write keeps the records as they were.
  replaceFile(recordsFile(root), kept);
}

}  // namespace

uint64_t processStartTime(pid_t pid) {
  char path[64];
  std::snprintf(path, sizeof path, "/proc/%d/stat", static_cast<int>(pid));
  const int fd = ::open(path, O_RDONLY | O_CLOEXEC);
  if (fd < 0) return 0;
  char buffer[1024];
  const ssize_t n = ::read(fd, buffer, sizeof buffer - 1);
  ::close(fd);
  if (n <= 0) return 0;
  buffer[n] = '\0';
  // The command name (field 2) may hold blanks and parentheses: the fields
  // after it start past its last ')'.
  const char* p = nullptr;
  for (const char* c = buffer; *c; ++c)
    if (*c == ')') p = c;
  if (!p) return 0;
  ++p;
  for (int field = 3; field < 22; ++field) {
    while (*p == ' ') ++p;
    while (*p && *p != ' ') ++p;
    if (!*p) return 0;
  }
  return std::strtoull(p, nullptr, 10);
}

const std::string& bootId() {
  static const std::string id = [] {
    std::string text = readAll("/proc/sys/kernel/random/boot_id");
    while (!text.empty() && (text.back() == '\n' || text.back() == ' ')) text.pop_back();
    return text.empty() ? std::string("-") : text;
  }();
  return id;
}

WinError recordProgramStart(const std::string& root, const std::wstring& windowsPath, pid_t pid) {
  if (windowsPath.find_first_of(L"\t\r\n") != std::wstring::npos) return ERROR_INVALID_PARAMETER;
  ProgramRecord record{static_cast<uint32_t>(pid), processStartTime(pid), windowsPath};
  if (record.startTime == 0) return ERROR_INVALID_PARAMETER;
  hostCalls().mkdir(runFolder(root).c_str(), 0755);
  const std::string lockPath = recordsFile(root) + ".lock";
  const int lock = hostCalls().open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC, 0644);
  if (lock < 0) return win32FromErrno(errno);
  while (::flock(lock, LOCK_EX) != 0 && errno == EINTR) {
  }
  struct stat st {};
  if (::stat(recordsFile(root).c_str(), &st) == 0 && st.st_size > kPruneSize) prune(root);
  WinError result = ERROR_SUCCESS;
  const int fd = hostCalls().open(recordsFile(root).c_str(),
                                  O_WRONLY | O_CREAT | O_APPEND | O_CLOEXEC, 0644);
  if (fd < 0) {
    result = win32FromErrno(errno);
  } else {
    const std::string line = formatRecord(record);
    if (hostCalls().write(fd, line.data(), line.size()) != static_cast<ssize_t>(line.size()))
      result = win32FromErrno(errno ? errno : EIO);
    ::close(fd);
  }
  ::close(lock);  // releases the flock
  return result;
}

std::vector<ProgramRecord> readProgramRecords(const std::string& root) {
  std::vector<ProgramRecord> records;
  std::istringstream in(readAll(recordsFile(root)));
  std::string line;
  while (std::getline(in, line)) {
    const size_t a = line.find('\t');
    const size_t b = a == std::string::npos ? a : line.find('\t', a + 1);
    const size_t c = b == std::string::npos ? b : line.find('\t', b + 1);
    if (c == std::string::npos || line.compare(0, a, bootId()) != 0) continue;
    ProgramRecord record;
    record.pid = static_cast<uint32_t>(std::strtoul(line.c_str() + a + 1, nullptr, 10));
    record.startTime = std::strtoull(line.c_str() + b + 1, nullptr, 10);
    record.windowsPath = fromUtf8(line.substr(c + 1));
    if (record.pid != 0 && record.startTime != 0) records.push_back(std::move(record));
  }
  return records;
}

}  // namespace zorel::platform::detail
