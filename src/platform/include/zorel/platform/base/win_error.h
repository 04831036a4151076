#pragma once
// Win32 error codes as the platform layer returns them. The values are those
// of the Windows SDK's winerror.h, because check scripts compare them with
// what real Windows answers. Append codes; never change a value.

#include <cstdint>

namespace zorel::platform {

// The Win32 API's LONG / DWORD error result: 0 is success.
using WinError = std::int32_t;

inline constexpr WinError ERROR_SUCCESS = 0;
inline constexpr WinError ERROR_INVALID_FUNCTION = 1;
inline constexpr WinError ERROR_FILE_NOT_FOUND = 2;
inline constexpr WinError ERROR_PATH_NOT_FOUND = 3;
inline constexpr WinError ERROR_ACCESS_DENIED = 5;
inline constexpr WinError ERROR_INVALID_HANDLE = 6;
inline constexpr WinError ERROR_NOT_ENOUGH_MEMORY = 8;
inline constexpr WinError ERROR_BAD_FORMAT = 11;
inline constexpr WinError ERROR_INVALID_DATA = 13;
inline constexpr WinError ERROR_OUTOFMEMORY = 14;
inline constexpr WinError ERROR_WRITE_FAULT = 29;
inline constexpr WinError ERROR_READ_FAULT = 30;
inline constexpr WinError ERROR_GEN_FAILURE = 31;
inline constexpr WinError ERROR_SHARING_VIOLATION = 32;
inline constexpr WinError ERROR_LOCK_VIOLATION = 33;
inline constexpr WinError ERROR_HANDLE_EOF = 38;
inline constexpr WinError ERROR_NOT_SUPPORTED = 50;
inline constexpr WinError ERROR_FILE_EXISTS = 80;
inline constexpr WinError ERROR_INVALID_PARAMETER = 87;
inline constexpr WinError ERROR_BROKEN_PIPE = 109;
inline constexpr WinError ERROR_DISK_FULL = 112;
inline constexpr WinError ERROR_INSUFFICIENT_BUFFER = 122;
inline constexpr WinError ERROR_INVALID_NAME = 123;
inline constexpr WinError ERROR_BAD_PATHNAME = 161;
inline constexpr WinError ERROR_BUSY = 170;
inline constexpr WinError ERROR_ALREADY_EXISTS = 183;
inline constexpr WinError ERROR_BAD_EXE_FORMAT = 193;
inline constexpr WinError ERROR_FILENAME_EXCED_RANGE = 206;
inline constexpr WinError ERROR_MORE_DATA = 234;
inline constexpr WinError ERROR_WAIT_TIMEOUT = 258;
inline constexpr WinError ERROR_NO_MORE_ITEMS = 259;
inline constexpr WinError ERROR_INVALID_ADDRESS = 487;
inline constexpr WinError ERROR_ARITHMETIC_OVERFLOW = 534;
inline constexpr WinError ERROR_BADDB = 1009;
inline constexpr WinError ERROR_BADKEY = 1010;
inline constexpr WinError ERROR_CANTOPEN = 1011;
inline constexpr WinError ERROR_CANTREAD = 1012;
inline constexpr WinError ERROR_CANTWRITE = 1013;
inline constexpr WinError ERROR_REGISTRY_CORRUPT = 1015;
inline constexpr WinError ERROR_REGISTRY_IO_FAILED = 1016;
inline constexpr WinError ERROR_NOT_REGISTRY_FILE = 1017;
inline constexpr WinError ERROR_KEY_DELETED = 1018;
inline constexpr WinError ERROR_KEY_HAS_CHILDREN = 1020;
inline constexpr WinError ERROR_CHILD_MUST_BE_VOLATILE = 1021;
inline constexpr WinError ERROR_SERVICE_DOES_NOT_EXIST = 1060;
inline constexpr WinError ERROR_NONE_MAPPED = 1332;
inline constexpr WinError ERROR_INVALID_SECURITY_DESCR = 1338;
inline constexpr WinError ERROR_INVALID_ACL = 1336;
inline constexpr WinError ERROR_NO_SUCH_USER = 1317;
inline constexpr WinError ERROR_PRIVILEGE_NOT_HELD = 1314;

// The calling thread's last error, as GetLastError / SetLastError keep it.
// Platform calls that fail with a Windows code (registry operations, file
// operations and every errno they map) store it here; success leaves it
// alone, as on Windows, so it is the code of the thread's latest failure.
// A new thread starts at 0.
void setLastError(WinError error);
WinError getLastError();

}  // namespace zorel::platform
