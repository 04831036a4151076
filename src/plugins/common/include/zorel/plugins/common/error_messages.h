#pragma once
// Plug-in error codes and their messages. A plug-in's error code is 0, a
// Windows error code passed through from a failed system call, or one of the
// codes below. The table is constant.

#include <cstdint>
#include <string>

namespace zorel {

namespace plugin_error {
inline constexpr int32_t kSuccess = 0;
inline constexpr int32_t kInvalidParameter = 87;  // ERROR_INVALID_PARAMETER
inline constexpr int32_t kDownloadFailed = 20001;
inline constexpr int32_t kPathIsFolder = 20002;
inline constexpr int32_t kFolderEmpty = 20003;
inline constexpr int32_t kAccessFailed = 20004;
inline constexpr int32_t kDeleteFileFailed = 20005;
inline constexpr int32_t kDeleteFolderFailed = 20006;
inline constexpr int32_t kRenameFailed = 20007;
inline constexpr int32_t kAttributesFailed = 20008;
inline constexpr int32_t kFileInfoFailed = 20009;
inline constexpr int32_t kUnsupportedDataType = 20010;
inline constexpr int32_t kCreateProcessFailed = 20011;
inline constexpr int32_t kStopProcessTimeout = 20012;
inline constexpr int32_t kInvalidProcessHandle = 20013;
inline constexpr int32_t kEnumProcessFailed = 20014;
inline constexpr int32_t kOpenProcessFailed = 20015;
inline constexpr int32_t kApiFailed = 20016;
inline constexpr int32_t kDataTypeMissing = 20017;
inline constexpr int32_t kKeyNotMatched = 20018;
inline constexpr int32_t kValueNotMatched = 20019;
inline constexpr int32_t kDataNotMatched = 20020;
inline constexpr int32_t kDataNotFound = 20021;
inline constexpr int32_t kComEntryMissing = 20022;
inline constexpr int32_t kInsufficientArguments = 20023;
inline constexpr int32_t kOpenAssociatedFailed = 20024;
inline constexpr int32_t kNoDomainNames = 20025;
inline constexpr int32_t kValueNotPresent = 20026;
inline constexpr int32_t kKeyNotPresent = 20027;
inline constexpr int32_t kCpuNameFailed = 20028;
inline constexpr int32_t kInvalidComServer = 20029;
inline constexpr int32_t kProductDetectionFailed = 20030;
inline constexpr int32_t kClearCacheFailed = 20031;
inline constexpr int32_t kRamTooSmall = 20032;
inline constexpr int32_t kCpuTooSlow = 20033;
inline constexpr int32_t kOsDriveTooFull = 20034;
inline constexpr int32_t kServiceStatusNotPresent = 30001;
inline constexpr int32_t kServiceStartupNotPresent = 30002;
inline constexpr int32_t kDependentListFailed = 30003;
inline constexpr int32_t kDependentStatusMismatch = 30004;
inline constexpr int32_t kServiceStatusNotHandled = 30005;
inline constexpr int32_t kServiceStatusNotFound = 30006;
inline constexpr int32_t kServiceStartupNotFound = 30007;
inline constexpr int32_t kDeleteServiceFailed = 30008;
inline constexpr int32_t kNoDependentServices = 30009;
inline constexpr int32_t kNotDependent = 30010;
inline constexpr int32_t kProcessIs64Bit = 30051;
inline constexpr int32_t kProcessNotRunning = 30052;
inline constexpr int32_t kProcessNotFound = 30053;
inline constexpr int32_t kProcessStoppedForcefully = 30054;
inline constexpr int32_t kProcessDidNotExit = 30055;
inline constexpr int32_t kInputIsFolder = 30056;
inline constexpr int32_t kFileExists = 30057;
inline constexpr int32_t kDownloadOfFileFailed = 30058;
inline constexpr int32_t kRegistryImportFolderFailed = 30059;
inline constexpr int32_t kRegistryImportFailed = 30060;
inline constexpr int32_t kRegistryImportPermission = 30061;
inline constexpr int32_t kScriptFailed = 30062;
}  // namespace plugin_error

// The table's message for `code`; for any other code the system's message
// text for it (line end included), or the empty text when there is none.
std::wstring GetErrorMessage(int32_t code);

// True when `code` has an entry in the plug-in table.
bool IsPluginErrorCode(int32_t code);

}  // namespace zorel
