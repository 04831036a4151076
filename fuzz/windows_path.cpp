// libFuzzer target: any Windows path through the machine's path mapping.
// The first byte picks how the rest becomes a path: even, UTF-8; odd,
// UTF-16LE code units taken one by one (unpaired surrogates included).
// Properties: a path on C: (absolute, root-relative or relative: the current
// directory is inside drive_c) that maps gives a host path inside drive_c
// with no empty, "." or ".." component and no NUL; mapping that host path
// back gives a C:\ path, and mapping that again gives the same host path.

#include <unistd.h>

#include <filesystem>

#include "fuzz_support.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::fuzz {
namespace {

struct Mapper {
  std::string driveC;
  std::unique_ptr<platform::IPathMapper> mapper;
};

const Mapper& TheMapper() {
  static const Mapper mapper = [] {
    const std::string root = ScratchFolder() + "/root";
    const std::string driveC = root + "/drive_c";
    for (const char* folder : {"Windows/System32/drivers", "Program Files/App One", "Users/Public",
                               "ProgramData/.hidden", "x..y/..z"})
      std::filesystem::create_directories(driveC + "/" + folder);
    // Relative and root-relative paths resolve on C: from here.
    if (::chdir((driveC + "/Users").c_str()) != 0) Fail("cannot enter drive_c");
    return Mapper{driveC, platform::createPathMapper(root)};
  }();
  return mapper;
}

std::wstring PathOf(std::string_view bytes, bool utf16) {
  if (!utf16) return fromUtf8(bytes);
  std::wstring path;
  for (size_t i = 0; i + 1 < bytes.size(); i += 2)
    path.push_back(static_cast<wchar_t>(static_cast<uint8_t>(bytes[i]) |
                                        static_cast<uint8_t>(bytes[i + 1]) << 8));
  return path;
}

// True when the path names drive C: itself (after any \\?\ prefix), or no
// drive at all (it then lies on the current directory's drive, C:).
bool OnDriveC(std::wstring_view path) {
  if (path.rfind(L"\\\\?\\", 0) == 0 || path.rfind(L"\\??\\", 0) == 0) path.remove_prefix(4);
  if (path.size() >= 2 && path[1] == L':') return path[0] == L'C' || path[0] == L'c';
  return true;
}

void CheckInsideDriveC(const std::string& driveC, const std::string& host) {
  Require(host.find('\0') == std::string::npos, "a host path holds a NUL");
  Require(host.compare(0, driveC.size(), driveC) == 0, "a C: path mapped outside drive_c");
  const std::string_view below = std::string_view(host).substr(driveC.size());
  if (below.empty()) return;
  Require(below[0] == '/', "a C: path mapped beside drive_c");
  size_t start = 1;
  while (start <= below.size()) {
    size_t end = below.find('/', start);
    if (end == std::string_view::npos) end = below.size();
    const std::string_view component = below.substr(start, end - start);
    Require(!component.empty() && component != "." && component != "..",
            "a mapped path keeps an empty, . or .. component");
    start = end + 1;
  }
}

}  // namespace
}  // namespace zorel::fuzz

extern "C" int LLVMFuzzerTestOneInput(const uint8_t* data, size_t size) {
  using namespace zorel;
  using namespace zorel::fuzz;
  const Mapper& m = TheMapper();
  Parts parts(data, size);
  const bool utf16 = (parts.Byte() & 1) != 0;
  const std::wstring path = PathOf(parts.Rest(), utf16);
  std::string host;
  if (m.mapper->toHostPath(path, host) != 0) return 0;
  if (!OnDriveC(path)) return 0;
  CheckInsideDriveC(m.driveC, host);
  const std::wstring back = m.mapper->toWindowsPath(host);
  Require(back.rfind(L"C:\\", 0) == 0, "a drive_c host path was not shown on C:");
  std::string again;
  Require(m.mapper->toHostPath(back, again) == 0 && again == host,
          "the shown path did not map to the same host path");
  return 0;
}
