// File attributes over the host's permissions and one extended attribute
// (see file_attributes.h).

#include <sys/stat.h>
#include <sys/xattr.h>

#include <cerrno>
#include <cstdlib>
#include <string>

#include "base/linux/errno_map.h"
#include "zorel/platform/fs/file_attributes.h"

namespace zorel::platform {
namespace {

constexpr const char* kAttributeName = "user.zorel.attributes";

// The attributes the extended attribute may hold.
constexpr uint32_t kStoredMask = FILE_ATTRIBUTE_HIDDEN | FILE_ATTRIBUTE_SYSTEM |
                                 FILE_ATTRIBUTE_ARCHIVE | FILE_ATTRIBUTE_TEMPORARY |
                                 FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_OFFLINE |
                                 FILE_ATTRIBUTE_NOT_CONTENT_INDEXED |
                                 FILE_ATTRIBUTE_ENCRYPTED | FILE_ATTRIBUTE_READONLY;
// What SetFileAttributesW can change.
constexpr uint32_t kSettableMask = FILE_ATTRIBUTE_READONLY | FILE_ATTRIBUTE_HIDDEN |
                                   FILE_ATTRIBUTE_SYSTEM | FILE_ATTRIBUTE_ARCHIVE |
                                   FILE_ATTRIBUTE_TEMPORARY | FILE_ATTRIBUTE_OFFLINE |
                                   FILE_ATTRIBUTE_NOT_CONTENT_INDEXED;

// The stored value; false when there is none (or it cannot be read).
bool readStored(const std::string& hostPath, uint32_t& value) {
  char buffer[32];
  ssize_t n = ::getxattr(hostPath.c_str(), kAttributeName, buffer, sizeof buffer - 1);
  if (n <= 0) return false;
  buffer[n] = '\0';
  char* end = nullptr;
  unsigned long parsed = std::strtoul(buffer, &end, 0);
  if (end == buffer) return false;
  value = static_cast<uint32_t>(parsed) & kStoredMask;
  return true;
}

}  // namespace

WinError getFileAttributes(const std::string& hostPath, uint32_t& attributes) {
  if (hostPath.empty()) return ERROR_PATH_NOT_FOUND;
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) return detail::missingFileError(hostPath, errno);
  const bool isDir = S_ISDIR(st.st_mode);
  uint32_t stored = 0;
  uint32_t result = 0;
  if (readStored(hostPath, stored)) {
    result = stored & ~FILE_ATTRIBUTE_READONLY;
    // A folder keeps its read-only flag in the attribute; a file's comes
    // from its permissions, which stay the truth when both exist.
    if (isDir) result |= stored & FILE_ATTRIBUTE_READONLY;
  } else if (!isDir) {
    result = FILE_ATTRIBUTE_ARCHIVE;
  }
  if (isDir) {
    result |= FILE_ATTRIBUTE_DIRECTORY;
  } else if ((st.st_mode & S_IWUSR) == 0) {
    result |= FILE_ATTRIBUTE_READONLY;
  }
  if (result == 0) result = FILE_ATTRIBUTE_NORMAL;
  attributes = result;
  return ERROR_SUCCESS;
}

WinError setFileAttributes(const std::string& hostPath, uint32_t attributes) {
  if (hostPath.empty()) return ERROR_PATH_NOT_FOUND;
  struct stat st {};
  if (::stat(hostPath.c_str(), &st) != 0) return detail::missingFileError(hostPath, errno);
  const bool isDir = S_ISDIR(st.st_mode);
  uint32_t wanted = attributes & kSettableMask;

  if (!isDir) {
    mode_t mode = st.st_mode & 07777;
    mode_t next = (wanted & FILE_ATTRIBUTE_READONLY)
                      ? static_cast<mode_t>(mode & ~(S_IWUSR | S_IWGRP | S_IWOTH))
                      : static_cast<mode_t>(mode | S_IWUSR);
    if (next != mode && ::chmod(hostPath.c_str(), next) != 0)
      return detail::win32FromErrno(errno);
  }
  // The flags the host cannot show itself. Compressed and encrypted flags a
  // machine image recorded stay.
  uint32_t previous = 0;
  readStored(hostPath, previous);
  uint32_t store = (wanted & ~(isDir ? 0u : FILE_ATTRIBUTE_READONLY)) |
                   (previous & (FILE_ATTRIBUTE_COMPRESSED | FILE_ATTRIBUTE_ENCRYPTED));
  std::string text = std::to_string(store);
  if (::setxattr(hostPath.c_str(), kAttributeName, text.data(), text.size(), 0) != 0) {
    int err = errno;
    if (err == ENOTSUP || err == EOPNOTSUPP) {
      // Nothing to keep beyond what the permissions show.
      uint32_t plain = isDir ? 0u : FILE_ATTRIBUTE_ARCHIVE;
      if ((store & ~FILE_ATTRIBUTE_READONLY) == plain || store == 0) return ERROR_SUCCESS;
      return ERROR_NOT_SUPPORTED;
    }
    return detail::win32FromErrno(err);
  }
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
