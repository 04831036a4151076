#pragma once
// What the fuzz targets share: a failed property aborts with a message, a
// scratch folder per process, a throw-away machine made current for the
// targets that go through the platform, and a reader that splits one input
// into parts.

#include <stdlib.h>
#include <unistd.h>

#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <memory>
#include <string>
#include <string_view>

#include "zorel/platform/machine/machine.h"

namespace zorel::fuzz {

[[noreturn]] inline void Fail(const char* what) {
  std::fprintf(stderr, "fuzz property broken: %s\n", what);
  std::abort();
}

inline void Require(bool holds, const char* what) {
  if (!holds) Fail(what);
}

// A folder of this process in memory (/dev/shm, else /tmp: the registry
// and store files sync often), removed when the process ends normally.
// Made once; later calls return the same folder.
inline const std::string& ScratchFolder() {
  static const std::string folder = [] {
    std::error_code ec;
    std::string pattern =
        std::filesystem::is_directory("/dev/shm", ec) ? "/dev/shm/zorel-fuzz-XXXXXX" : "/tmp/zorel-fuzz-XXXXXX";
    const char* made = ::mkdtemp(pattern.data());
    if (!made) Fail("no scratch folder");
    std::string path = made;
    static std::string* removeAtExit = new std::string(path);
    std::atexit([] {
      std::error_code ec;
      std::filesystem::remove_all(*removeAtExit, ec);
    });
    return path;
  }();
  return folder;
}

// A default machine under the scratch folder, opened once and made the
// process-wide machine. Its root is returned.
inline const std::string& ThrowAwayMachine() {
  static const std::string root = [] {
    const std::string path = ScratchFolder() + "/machine";
    std::wstring message;
    if (platform::initMachine(path, L"default", nullptr, &message) != 0) Fail("no machine");
    std::unique_ptr<platform::IMachine> machine;
    if (platform::openMachine(path, {}, &machine, &message) != 0) Fail("machine does not open");
    platform::setCurrentMachine(std::move(machine));
    return path;
  }();
  return root;
}

// Cuts one fuzz input into parts: a part is taken up to the next separator
// byte sequence (or the end), so seeds stay readable text.
class Parts {
 public:
  Parts(const uint8_t* data, size_t size)
      : rest_(reinterpret_cast<const char*>(data), size) {}
  std::string_view Next(std::string_view separator = "\n") {
    const size_t at = rest_.find(separator);
    std::string_view part = rest_.substr(0, at);
    rest_ = at == std::string_view::npos ? std::string_view() : rest_.substr(at + separator.size());
    return part;
  }
  // The first byte (0 when none is left), consumed.
  uint8_t Byte() {
    if (rest_.empty()) return 0;
    const uint8_t b = static_cast<uint8_t>(rest_[0]);
    rest_.remove_prefix(1);
    return b;
  }
  std::string_view Rest() const { return rest_; }
  bool Empty() const { return rest_.empty(); }

 private:
  std::string_view rest_;
};

}  // namespace zorel::fuzz
