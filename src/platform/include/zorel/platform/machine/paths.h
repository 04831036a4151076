#pragma once
// Windows paths and the host paths behind them.
//
// Windows: the identity; a path is already a host path.
// Linux emulation: C:\ is <machine root>/drive_c and Z:\ is the host's /, as in
// a Wine prefix. Both separators are accepted, "." and ".." are resolved
// lexically and ".." never climbs above a drive root, and each component that
// exists is matched case-insensitively against the directory's entries, so
// C:\WINDOWS\system32 finds drive_c/Windows/System32. Components that do not
// exist yet are kept as written (a file about to be created).

#include <cstdint>
#include <memory>
#include <string>
#include <string_view>

#include "zorel/platform/base/win_error.h"

namespace zorel::platform {

class IPathMapper {
 public:
  virtual ~IPathMapper() = default;

  // Maps a Windows path to the host path that stands for it.
  //   [I] windowsPath  absolute (C:\x, c:/x, \\?\C:\x), root-relative (\x, on
  //                    the drive of the current directory) or relative (to the
  //                    current directory).
  //   [O] hostPath     set only on success.
  // RETURNS 0; ERROR_PATH_NOT_FOUND (3) for an empty path or a drive that the
  // machine does not have; ERROR_BAD_NETPATH (53) for UNC paths;
  // ERROR_INVALID_NAME (123) for characters Windows forbids in names
  // (< > " | ? * control characters, embedded NUL, ':' outside the drive).
  virtual WinError toHostPath(std::wstring_view windowsPath, std::string& hostPath) const = 0;

  // The Windows path a host path is shown as: C:\... inside drive_c, else
  // Z:\... . Relative host paths are taken from the current directory.
  virtual std::wstring toWindowsPath(std::string_view hostPath) const = 0;

  // The Windows current directory (the host's, shown as above).
  virtual std::wstring currentDirectory() const = 0;
};

// A mapper for the machine rooted at the host folder machineRoot.
std::unique_ptr<IPathMapper> createPathMapper(const std::string& machineRoot);

}  // namespace zorel::platform
