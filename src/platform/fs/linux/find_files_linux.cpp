// FindFirstFileW / FindNextFileW over opendir/readdir (see find_files.h).

#include <dirent.h>
#include <sys/stat.h>

#include <cerrno>
#include <string>

#include "base/linux/errno_map.h"
#include "zorel/platform/fs/wildcard.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/find_files.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

bool isSeparator(wchar_t c) { return c == L'\\' || c == L'/'; }

class HostFind : public IFileFind {
 public:
  HostFind(DIR* dir, std::string folder, std::wstring pattern)
      : dir_(dir), folder_(std::move(folder)), pattern_(std::move(pattern)) {}
  ~HostFind() override { ::closedir(dir_); }
  HostFind(const HostFind&) = delete;
  HostFind& operator=(const HostFind&) = delete;

  WinError next(FindData& data) override {
    for (;;) {
      errno = 0;
      const dirent* entry = ::readdir(dir_);
      if (!entry) {
        if (errno != 0) return detail::win32FromErrno(errno);
        setLastError(ERROR_NO_MORE_FILES);
        return ERROR_NO_MORE_FILES;
      }
      const std::string name = entry->d_name;
      if (name == "." || name == "..") continue;
      std::wstring wide = fromUtf8(name);
      if (!matchesFilePattern(wide, pattern_)) continue;
      describe(name, data);
      data.name = std::move(wide);
      return ERROR_SUCCESS;
    }
  }

 private:
  // Attributes and size of a listed entry; one that vanished or is a
  // dangling link is still listed, as a plain file of size 0.
  void describe(const std::string& name, FindData& data) const {
    const std::string host = folder_ + name;
    struct stat st {};
    data.attributes = FILE_ATTRIBUTE_ARCHIVE;
    data.size = 0;
    if (::stat(host.c_str(), &st) != 0) return;
    uint32_t attributes = 0;
    if (getFileAttributes(host, attributes) == ERROR_SUCCESS) data.attributes = attributes;
    if (!S_ISDIR(st.st_mode)) data.size = static_cast<uint64_t>(st.st_size);
  }

  DIR* dir_;
  std::string folder_;  // host folder, ending in '/'
  std::wstring pattern_;
};

}  // namespace

WinError findFirstFile(const IPathMapper& paths, std::wstring_view pattern,
                       std::unique_ptr<IFileFind>* find, FindData& data) {
  auto fail = [](WinError code) {
    setLastError(code);
    return code;
  };
  size_t split = pattern.size();
  while (split > 0 && !isSeparator(pattern[split - 1])) --split;
  const std::wstring_view name = pattern.substr(split);
  if (name.empty()) return fail(pattern.empty() ? ERROR_PATH_NOT_FOUND : ERROR_FILE_NOT_FOUND);
  std::wstring folder(pattern.substr(0, split));
  if (folder.empty()) folder = paths.currentDirectory();

  std::string host;
  if (const WinError mapped = paths.toHostPath(folder, host)) return fail(mapped);
  struct stat st {};
  if (::stat(host.c_str(), &st) != 0) {
    return fail(errno == EACCES ? ERROR_ACCESS_DENIED : ERROR_PATH_NOT_FOUND);
  }
  if (!S_ISDIR(st.st_mode)) return fail(ERROR_PATH_NOT_FOUND);
  DIR* dir = ::opendir(host.c_str());
  if (!dir) return detail::win32FromErrno(errno);
  if (host.back() != '/') host.push_back('/');
  auto search = std::make_unique<HostFind>(dir, std::move(host), std::wstring(name));
  FindData first;
  const WinError found = search->next(first);
  if (found == ERROR_NO_MORE_FILES) return fail(ERROR_FILE_NOT_FOUND);
  if (found != ERROR_SUCCESS) return found;
  data = std::move(first);
  *find = std::move(search);
  return ERROR_SUCCESS;
}

}  // namespace zorel::platform
