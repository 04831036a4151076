// Folder listing, creation and removal on Windows paths (see files.h).

#include <dirent.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <memory>

#include "base/linux/errno_map.h"
#include "fs/linux/windows_paths.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/files.h"

namespace zorel::platform::files {

namespace {

FileType typeOf(const struct stat& st) {
  return S_ISREG(st.st_mode)   ? FileType::kRegular
         : S_ISDIR(st.st_mode) ? FileType::kFolder
                               : FileType::kSpecial;
}

struct DirCloser {
  void operator()(DIR* dir) const { ::closedir(dir); }
};
using Dir = std::unique_ptr<DIR, DirCloser>;

WinError denied() {
  setLastError(ERROR_ACCESS_DENIED);
  return ERROR_ACCESS_DENIED;
}

// Removes `name` in the open folder `parent` and everything below it,
// without following symbolic links. RETURNS 0 or the first failure.
WinError removeBelow(int parent, const char* name) {
  struct stat st {};
  if (::fstatat(parent, name, &st, AT_SYMLINK_NOFOLLOW) != 0)
    return errno == ENOENT ? ERROR_SUCCESS : detail::win32FromErrno(errno);
  if (S_ISLNK(st.st_mode) || S_ISREG(st.st_mode)) {
    if (hostCalls().unlinkat(parent, name, 0) != 0 && errno != ENOENT)
      return detail::win32FromErrno(errno);
    return ERROR_SUCCESS;
  }
  if (!S_ISDIR(st.st_mode)) return denied();  // a pipe, a socket or a device stays
  int fd = hostCalls().openat(parent, name, O_RDONLY | O_DIRECTORY | O_NOFOLLOW | O_CLOEXEC, 0);
  if (fd < 0) return detail::win32FromErrno(errno);
  Dir dir(::fdopendir(fd));
  if (!dir) {
    int err = errno;
    ::close(fd);
    return detail::win32FromErrno(err);
  }
  WinError first = ERROR_SUCCESS;
  while (dirent* entry = ::readdir(dir.get())) {
    const std::string child = entry->d_name;
    if (child == "." || child == "..") continue;
    WinError code = removeBelow(::dirfd(dir.get()), child.c_str());
    if (first == ERROR_SUCCESS) first = code;
  }
  dir.reset();
  if (hostCalls().unlinkat(parent, name, AT_REMOVEDIR) != 0 && errno != ENOENT &&
      first == ERROR_SUCCESS) {
    first = errno == ENOTEMPTY || errno == EEXIST ? ERROR_DIR_NOT_EMPTY
                                                  : detail::win32FromErrno(errno);
  }
  return first;
}

}  // namespace

WinError listFolder(std::wstring_view path, std::vector<FolderEntry>& entries) {
  entries.clear();
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) return detail::missingFileError(host, errno);
  if (!S_ISDIR(st.st_mode)) {
    setLastError(ERROR_DIRECTORY);
    return ERROR_DIRECTORY;
  }
  Dir dir(::opendir(host.c_str()));
  if (!dir) return detail::win32FromErrno(errno);
  const int fd = ::dirfd(dir.get());
  while (dirent* entry = ::readdir(dir.get())) {
    const std::string name = entry->d_name;
    if (name == "." || name == "..") continue;
    FolderEntry item;
    item.name = fromUtf8(name);
    struct stat own {};
    if (::fstatat(fd, name.c_str(), &own, AT_SYMLINK_NOFOLLOW) != 0) continue;  // gone meanwhile
    item.link = S_ISLNK(own.st_mode);
    struct stat target {};
    if (!item.link) {
      item.type = typeOf(own);
    } else if (::fstatat(fd, name.c_str(), &target, 0) == 0) {
      item.type = typeOf(target);
    }
    entries.push_back(std::move(item));
  }
  return ERROR_SUCCESS;
}

WinError createFolders(std::wstring_view path) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  size_t at = 1;
  for (;;) {
    size_t slash = host.find('/', at);
    const std::string prefix = host.substr(0, slash);
    const bool last = slash == std::string::npos;
    struct stat st {};
    if (!prefix.empty() && ::stat(prefix.c_str(), &st) != 0) {
      if (errno != ENOENT) return detail::win32FromErrno(errno);
      if (hostCalls().mkdir(prefix.c_str(), 0777) != 0 && errno != EEXIST)
        return detail::missingFileError(prefix, errno);
    } else if (!prefix.empty() && !S_ISDIR(st.st_mode)) {
      WinError code = last ? ERROR_ALREADY_EXISTS : ERROR_PATH_NOT_FOUND;
      setLastError(code);
      return code;
    }
    if (last) return ERROR_SUCCESS;
    at = slash + 1;
  }
}

WinError removeTree(std::wstring_view path) {
  std::string host;
  if (WinError e = detail::mapWindowsPath(path, host)) return e;
  while (host.size() > 1 && host.back() == '/') host.pop_back();
  if (detail::isDriveRoot(host)) return denied();
  struct stat st {};
  if (::lstat(host.c_str(), &st) != 0) return detail::missingFileError(host, errno);
  size_t slash = host.rfind('/');
  const std::string parentPath = slash == 0 ? "/" : host.substr(0, slash);
  const std::string name = host.substr(slash + 1);
  int parent = hostCalls().open(parentPath.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC, 0);
  if (parent < 0) return detail::win32FromErrno(errno);
  WinError code = removeBelow(parent, name.c_str());
  ::close(parent);
  return code;
}

}  // namespace zorel::platform::files
