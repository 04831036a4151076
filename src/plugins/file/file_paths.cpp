// Paths of the File plug-in: status queries and the store folder.

#include "file_paths.h"

#include "zorel/common/utf8.h"
#include "zorel/platform/fs/files.h"

namespace zorel::file_detail {

namespace files = platform::files;

constexpr int32_t kErrorBadNetPath = 53;  // a UNC path: no such machine here

int32_t ToHost(const std::wstring& windowsPath, std::string& hostPath) {
  return files::hostPath(windowsPath, hostPath);
}

PathType QueryStatus(const std::wstring& windowsPath, int32_t& code) {
  platform::FileType type = platform::FileType::kMissing;
  code = files::fileType(windowsPath, type);
  if (code == 0) {
    switch (type) {
      case platform::FileType::kFolder: return PathType::kDirectory;
      case platform::FileType::kRegular: return PathType::kRegular;
      case platform::FileType::kSpecial: return PathType::kOther;
      case platform::FileType::kMissing: break;
    }
  }
  switch (code) {
    case platform::ERROR_FILE_NOT_FOUND:
    case platform::ERROR_PATH_NOT_FOUND:
    case platform::ERROR_INVALID_NAME: return PathType::kNotFound;
    case kErrorBadNetPath:
      // A path that cannot name a file on the machine does not exist.
      code = platform::ERROR_PATH_NOT_FOUND;
      return PathType::kNotFound;
    default: return PathType::kStatusError;
  }
}

// The store answers its folder as a Windows folder, like any other path.
int32_t StoreFolderToHost(const std::wstring& folder, std::string& hostPath) {
  return ToHost(folder, hostPath);
}

}  // namespace zorel::file_detail
