// Program starts from Windows command lines (see process.h): finding the
// program on the machine, then the shared spawn routine.

#include "zorel/platform/process/process.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdio>
#include <cstdlib>
#include <cwctype>
#include <csignal>
#include <fstream>
#include <iterator>
#include <mutex>

#include "base/linux/errno_map.h"
#include "process/linux/program_records_linux.h"
#include "process/linux/program_start_linux.h"
#include "process/linux/spawn_linux.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/machine/environment.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/process/command_line.h"
#include "zorel/platform/process/sync.h"

namespace zorel::platform {
namespace {

constexpr const char* kCommandLineVariable = "ZOREL_COMMAND_LINE";
constexpr const char* kCommandLinePidVariable = "ZOREL_COMMAND_LINE_PID";
// The descriptor (in the started program) of the pipe that carries its
// 32-bit exit code back; only meant for the program whose pid is above.
constexpr const char* kExitCodeFdVariable = "ZOREL_EXIT_CODE_FD";
constexpr int kExitCodeFd = 3;
constexpr size_t kMaxCommandLine = 32767;

WinError failed(WinError error) {
  setLastError(error);
  return error;
}

class HostProcess final : public IProcess {
 public:
  // exitPipe: the read end of the exit-code pipe (owned), or -1.
  HostProcess(pid_t pid, int exitPipe) : pid_(pid), exitPipe_(exitPipe) {}
  ~HostProcess() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_) detail::reapInBackground(pid_);
    if (exitPipe_ >= 0) ::close(exitPipe_);
  }

  uint32_t processId() const override { return static_cast<uint32_t>(pid_); }

  uint32_t wait(uint32_t timeoutMs) override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_ && detail::waitForChild(pid_, timeoutMs, &code_)) ended();
    return ended_ ? WAIT_OBJECT_0 : WAIT_TIMEOUT;
  }

  uint32_t exitCode() override {
    std::lock_guard<std::mutex> lock(mutex_);
    if (!ended_ && detail::waitForChild(pid_, 0, &code_)) ended();
    return ended_ ? static_cast<uint32_t>(code_) : STILL_ACTIVE;
  }

  WinError terminate(uint32_t exitCode) override {
    std::lock_guard<std::mutex> lock(mutex_);
    // Until it is collected the pid stays ours: the signal cannot reach a
    // process that was given the same number since.
    if (ended_ || detail::waitForChild(pid_, 0, &code_)) {
      ended_ = true;
      return ERROR_SUCCESS;
    }
    if (::kill(pid_, SIGKILL) != 0) return failed(detail::win32FromErrno(errno));
    detail::waitForChild(pid_, kInfinite, &code_);
    ended_ = true;
    code_ = static_cast<int32_t>(exitCode);
    if (exitPipe_ >= 0) {
      ::close(exitPipe_);
      exitPipe_ = -1;
    }
    return ERROR_SUCCESS;
  }

 private:
  // The program has been collected: a whole exit code it sent replaces
  // the host's 8-bit status.
  void ended() {
    ended_ = true;
    if (exitPipe_ < 0) return;
    uint32_t whole = 0;
    if (::read(exitPipe_, &whole, sizeof whole) == static_cast<ssize_t>(sizeof whole) &&
        (whole & 0xFF) == (static_cast<uint32_t>(code_) & 0xFF))
      code_ = static_cast<int32_t>(whole);
  }

  pid_t pid_;
  std::mutex mutex_;
  int exitPipe_;
  bool ended_ = false;
  int32_t code_ = 0;
};

bool hasFolder(const std::wstring& name) {
  return name.find_first_of(L"\\/:") != std::wstring::npos;
}

bool hasExtension(const std::wstring& name) {
  size_t slash = name.find_last_of(L"\\/:");
  std::wstring file = slash == std::wstring::npos ? name : name.substr(slash + 1);
  return file.find(L'.') != std::wstring::npos;
}

// Looks one program name up as SearchPathW does with the ".exe" default
// extension. RETURNS 0 with *host set, ERROR_ACCESS_DENIED when the name
// found is a folder, ERROR_FILE_NOT_FOUND when nothing is there.
WinError findProgram(IMachine& machine, const std::wstring& name, std::string* host) {
  if (name.empty()) return ERROR_FILE_NOT_FOUND;
  const std::wstring file = hasExtension(name) ? name : name + L".exe";
  std::vector<std::wstring> folders;
  if (hasFolder(name)) {
    folders.emplace_back();
  } else {
    folders.push_back(machine.specialFolders().systemDirectory());
    folders.push_back(machine.specialFolders().windowsDirectory());
    std::wstring path;
    if (machine.environment().getVariable(L"Path", path) == ERROR_SUCCESS) {
      size_t start = 0;
      while (start <= path.size()) {
        size_t end = path.find(L';', start);
        if (end == std::wstring::npos) end = path.size();
        std::wstring folder = path.substr(start, end - start);
        if (!folder.empty()) folders.push_back(machine.environment().expand(folder));
        start = end + 1;
      }
    }
  }
  for (const std::wstring& folder : folders) {
    std::wstring full = folder.empty() ? file : folder + L"\\" + file;
    std::string candidate;
    if (machine.paths().toHostPath(full, candidate) != ERROR_SUCCESS) continue;
    struct stat st {};
    if (::stat(candidate.c_str(), &st) != 0) continue;
    if (S_ISDIR(st.st_mode)) return ERROR_ACCESS_DENIED;
    *host = candidate;
    return ERROR_SUCCESS;
  }
  return ERROR_FILE_NOT_FOUND;
}

// True for a file the host can run itself: an ELF image or a "#!" script.
// Anything else (a PE image included) is no executable format here.
WinError checkRunnable(const std::string& host) {
  // Non-blocking: a named pipe given as the program must not hang the start.
  int fd = ::open(host.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK);
  if (fd < 0) return detail::missingFileError(host, errno);
  struct stat st {};
  unsigned char head[4] = {0, 0, 0, 0};
  bool regular = ::fstat(fd, &st) == 0 && S_ISREG(st.st_mode);
  ssize_t n = regular ? ::read(fd, head, sizeof head) : 0;
  ::close(fd);
  if (!regular) return ERROR_ACCESS_DENIED;
  if (n >= 4 && head[0] == 0x7F && head[1] == 'E' && head[2] == 'L' && head[3] == 'F')
    return ERROR_SUCCESS;
  if (n >= 2 && head[0] == '#' && head[1] == '!') return ERROR_SUCCESS;
  return ERROR_BAD_EXE_FORMAT;
}

// Windows runs a file without an execute bit: one inside drive_c gets its
// owner's bit before it runs. Files elsewhere on the host keep their modes.
void grantExecute(IMachine& machine, const std::string& host) {
  const std::string driveC = machine.hostRoot() + "/drive_c/";
  if (host.compare(0, driveC.size(), driveC) != 0) return;
  struct stat st {};
  if (::stat(host.c_str(), &st) == 0 && S_ISREG(st.st_mode) && !(st.st_mode & S_IXUSR))
    ::chmod(host.c_str(), (st.st_mode & 07777) | S_IXUSR);
}

bool isNulDevice(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/:");
  std::wstring name = slash == std::wstring::npos ? path : path.substr(slash + 1);
  for (wchar_t& c : name) c = static_cast<wchar_t>(std::towupper(c));
  return name == L"NUL";
}

// Opens the file that receives the program's standard output; -1 for none.
WinError openOutput(IMachine& machine, const ProcessStartOptions& options, int* fd) {
  *fd = -1;
  if (options.standardOutputFile.empty() || isNulDevice(options.standardOutputFile))
    return ERROR_SUCCESS;
  std::string host;
  WinError e = machine.paths().toHostPath(options.standardOutputFile, host);
  if (e != ERROR_SUCCESS) return e;
  int flags = O_WRONLY | O_CREAT | O_CLOEXEC | O_NONBLOCK |
              (options.appendStandardOutput ? O_APPEND : O_TRUNC);
  int out = hostCalls().open(host.c_str(), flags, 0644);
  if (out < 0) return detail::missingFileError(host, errno);
  struct stat st {};
  if (::fstat(out, &st) != 0 || !S_ISREG(st.st_mode)) {
    ::close(out);
    return ERROR_ACCESS_DENIED;
  }
  ::fcntl(out, F_SETFL, ::fcntl(out, F_GETFL) & ~O_NONBLOCK);
  *fd = out;
  return ERROR_SUCCESS;
}

// Makes the program found at host runnable and fills the request's
// program, arguments (line's tokens after the first) and the variables the
// program reads. RETURNS 0, or 2 / 5 / 193 when it cannot run.
WinError fillRequest(IMachine& machine, const std::string& host, const std::wstring& line,
                     detail::SpawnRequest* request) {
  WinError e = checkRunnable(host);
  if (e != ERROR_SUCCESS) return e;
  grantExecute(machine, host);
  request->program = host;
  std::vector<std::wstring> args = splitCommandLine(line);
  request->argv.push_back(host);
  for (size_t i = 1; i < args.size(); ++i) request->argv.push_back(toUtf8(args[i]));
  request->environment.emplace_back("ZOREL_MACHINE", machine.hostRoot());
  request->environment.emplace_back(kCommandLineVariable, toUtf8(line));
  request->processIdVariable = kCommandLinePidVariable;
  return ERROR_SUCCESS;
}

// Starts the program found at host with the arguments of line (after its
// first token) and records the start.
WinError startProgram(IMachine& machine, const std::string& host, const std::wstring& line,
                      const ProcessStartOptions& options, std::unique_ptr<IProcess>* process) {
  detail::SpawnRequest request;
  WinError e = fillRequest(machine, host, line, &request);
  if (e != ERROR_SUCCESS) return failed(e);
  int out = -1;
  e = openOutput(machine, options, &out);
  if (e != ERROR_SUCCESS) return failed(e);
  request.standardOutput = out >= 0 ? out : options.inheritConsole ? STDOUT_FILENO : -1;
  if (options.inheritConsole) request.standardError = STDERR_FILENO;
  int exitPipe[2] = {-1, -1};
  if (::pipe2(exitPipe, O_CLOEXEC | O_NONBLOCK) == 0) {
    request.extraFd = exitPipe[1];
    request.extraFdTarget = kExitCodeFd;
    request.environment.emplace_back(kExitCodeFdVariable, std::to_string(kExitCodeFd));
  }
  pid_t pid = 0;
  e = detail::spawnProcess(request, &pid);
  if (out >= 0) ::close(out);
  if (exitPipe[1] >= 0) ::close(exitPipe[1]);
  if (e != ERROR_SUCCESS) {
    if (exitPipe[0] >= 0) ::close(exitPipe[0]);
    return failed(e);
  }
  // Not yet collected, so /proc still shows its start time even when it
  // has ended already. A record that cannot be written only costs the
  // process list its Windows name.
  detail::recordProgramStart(machine.hostRoot(), machine.paths().toWindowsPath(host), pid);
  *process = std::make_unique<HostProcess>(pid, exitPipe[0]);
  return ERROR_SUCCESS;
}

// Checks of the line's text common to every form.
WinError checkLineText(const std::wstring& line) {
  if (line.find(L'\0') != std::wstring::npos) return ERROR_INVALID_PARAMETER;
  if (line.size() > kMaxCommandLine) return ERROR_FILENAME_EXCED_RANGE;
  return ERROR_SUCCESS;
}

// Checks common to both forms; RETURNS 0 with *machine set.
WinError checkLine(const std::wstring& line, IMachine** machine) {
  if (WinError e = checkLineText(line)) return e;
  *machine = currentMachine();
  return *machine ? ERROR_SUCCESS : ERROR_FILE_NOT_FOUND;
}

// The program of a line without an application name: the first candidate
// (quoted token, or each blank-separated prefix) that exists.
WinError findLineProgram(IMachine& machine, const std::wstring& line, std::string* host) {
  const std::vector<std::wstring> candidates = programCandidates(line);
  if (candidates.empty()) return ERROR_INVALID_PARAMETER;
  WinError found = ERROR_FILE_NOT_FOUND;
  for (const std::wstring& name : candidates) {
    found = findProgram(machine, name, host);
    if (found != ERROR_FILE_NOT_FOUND) break;
  }
  return found;
}

}  // namespace

namespace detail {

WinError prepareProgramStart(IMachine& machine, const std::wstring& line, SpawnRequest* request) {
  if (WinError e = checkLineText(line)) return e;
  std::string host;
  if (WinError e = findLineProgram(machine, line, &host)) return e;
  return fillRequest(machine, host, line, request);
}

}  // namespace detail

WinError createProcess(const std::wstring& line, const ProcessStartOptions& options,
                       std::unique_ptr<IProcess>* process) {
  process->reset();
  IMachine* machine = nullptr;
  if (WinError e = checkLine(line, &machine)) return failed(e);
  std::string host;
  if (WinError e = findLineProgram(*machine, line, &host)) return failed(e);
  return startProgram(*machine, host, line, options, process);
}

WinError createProcess(const std::wstring& applicationName, const std::wstring& line,
                       const ProcessStartOptions& options, std::unique_ptr<IProcess>* process) {
  if (applicationName.empty()) return createProcess(line, options, process);
  process->reset();
  IMachine* machine = nullptr;
  if (WinError e = checkLine(line, &machine)) return failed(e);
  if (applicationName.find(L'\0') != std::wstring::npos) return failed(ERROR_INVALID_PARAMETER);
  std::string host;
  if (WinError e = machine->paths().toHostPath(applicationName, host)) return failed(e);
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return failed(detail::missingFileError(host, errno));
  if (S_ISDIR(st.st_mode)) return failed(ERROR_ACCESS_DENIED);
  return startProgram(*machine, host, line, options, process);
}

namespace {

// True when the start variables in this process's environment were meant
// for it (not inherited from a program that was itself started so).
bool startedByCreateProcess() {
  const char* pid = std::getenv(kCommandLinePidVariable);
  return pid && std::strtol(pid, nullptr, 10) == static_cast<long>(::getpid());
}

}  // namespace

void exitProcess(uint32_t code) {
  const char* fdText = std::getenv(kExitCodeFdVariable);
  if (fdText && startedByCreateProcess()) {
    const int fd = static_cast<int>(std::strtol(fdText, nullptr, 10));
    ssize_t ignored = ::write(fd, &code, sizeof code);
    (void)ignored;
  }
  std::fflush(nullptr);
  std::exit(static_cast<int>(code & 0xFF));
}

std::wstring commandLine() {
  const char* line = std::getenv(kCommandLineVariable);
  if (line && startedByCreateProcess()) return fromUtf8(line);
  // Started by some other program: its arguments, quoted as Windows would.
  std::ifstream in("/proc/self/cmdline", std::ios::binary);
  std::string all((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
  std::wstring joined;
  size_t start = 0;
  while (start < all.size()) {
    size_t end = all.find('\0', start);
    if (end == std::string::npos) end = all.size();
    std::string arg = all.substr(start, end - start);
    if (joined.empty()) {
      // The program as Windows names it (C:\... or Z:\...).
      IMachine* machine = currentMachine();
      joined = machine ? quoteArgument(machine->paths().toWindowsPath(arg))
                       : quoteArgument(fromUtf8(arg));
    } else {
      joined += L' ' + quoteArgument(fromUtf8(arg));
    }
    start = end + 1;
  }
  return joined;
}

}  // namespace zorel::platform
