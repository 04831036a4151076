#pragma once
// Paths of the File plug-in: the status query its methods share and the
// result store's folder. File operations themselves are the platform's
// (zorel/platform/fs/files.h), on the same Windows paths.

#include <cstdint>
#include <string>

namespace zorel::file_detail {

// Maps a Windows path of the current machine to its host path, for the
// cabinet reader, which works on host files.
// RETURNS 0, the mapper's error, or 3 when there is no machine.
int32_t ToHost(const std::wstring& windowsPath, std::string& hostPath);

// The status query the methods use (the filesystem library's status with an
// error code): the type and the Windows code of a failed query. A path
// that does not exist has type kNotFound and code 2 or 3. kOther is a
// named pipe, a socket or a device.
enum class PathType { kStatusError, kNotFound, kRegular, kDirectory, kOther };
PathType QueryStatus(const std::wstring& windowsPath, int32_t& code);

// The result store folder (a Windows folder of the machine, as the store
// reports it) as a host path.
int32_t StoreFolderToHost(const std::wstring& folder, std::string& hostPath);

}  // namespace zorel::file_detail
