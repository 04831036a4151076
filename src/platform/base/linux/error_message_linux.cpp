// en-US system message texts for the error codes this program can meet.

#include <algorithm>
#include <iterator>

#include "zorel/platform/base/error_message.h"

namespace zorel::platform {
namespace {

struct Message {
  uint32_t code;
  const wchar_t* text;
};

// Sorted by code. Texts as FormatMessageW gives them, without the "\r\n".
const Message kWin32Messages[] = {
    {0, L"The operation completed successfully."},
    {1, L"Incorrect function."},
    {2, L"The system cannot find the file specified."},
    {3, L"The system cannot find the path specified."},
    {4, L"The system cannot open the file."},
    {5, L"Access is denied."},
    {6, L"The handle is invalid."},
    {8, L"Not enough memory resources are available to process this command."},
    {13, L"The data is invalid."},
    {14, L"Not enough memory resources are available to complete this operation."},
    {15, L"The system cannot find the drive specified."},
    {16, L"The directory cannot be removed."},
    {17, L"The system cannot move the file to a different disk drive."},
    {18, L"There are no more files."},
    {19, L"The media is write protected."},
    {21, L"The device is not ready."},
    {31, L"A device attached to the system is not functioning."},
    {32, L"The process cannot access the file because it is being used by another process."},
    {33, L"The process cannot access the file because another process has locked a portion of the file."},
    {38, L"Reached the end of the file."},
    {39, L"The disk is full."},
    {50, L"The request is not supported."},
    {53, L"The network path was not found."},
    {80, L"The file exists."},
    {87, L"The parameter is incorrect."},
    {109, L"The pipe has been ended."},
    {110, L"The system cannot open the device or file specified."},
    {111, L"The file name is too long."},
    {112, L"There is not enough space on the disk."},
    {120, L"This function is not supported on this system."},
    {122, L"The data area passed to a system call is too small."},
    {123, L"The filename, directory name, or volume label syntax is incorrect."},
    {126, L"The specified module could not be found."},
    {127, L"The specified procedure could not be found."},
    {145, L"The directory is not empty."},
    {161, L"The specified path is invalid."},
    {183, L"Cannot create a file when that file already exists."},
    {193, L"%1 is not a valid Win32 application."},
    {203, L"The system could not find the environment option that was entered."},
    {206, L"The filename or extension is too long."},
    {232, L"The pipe is being closed."},
    {234, L"More data is available."},
    {258, L"The wait operation timed out."},
    {259, L"No more data is available."},
    {267, L"The directory name is invalid."},
    {317, L"The system cannot find message text for message number 0x%1 in the message file for %2."},
    {740, L"The requested operation requires elevation."},
    {995, L"The I/O operation has been aborted because of either a thread exit or an application request."},
    {1009, L"The configuration registry database is corrupt."},
    {1010, L"The configuration registry key is invalid."},
    {1011, L"The configuration registry key could not be opened."},
    {1012, L"The configuration registry key could not be read."},
    {1013, L"The configuration registry key could not be written."},
    {1015, L"The registry is corrupted. The structure of one of the files containing registry data is corrupted, or the system's memory image of the file is corrupted, or the file could not be recovered because the alternate copy or log was absent or corrupted."},
    {1018, L"Illegal operation attempted on a registry key that has been marked for deletion."},
    {1051, L"A stop control has been sent to a service that other running services are dependent on."},
    {1052, L"The requested control is not valid for this service."},
    {1053, L"The service did not respond to the start or control request in a timely fashion."},
    {1055, L"The service database is locked."},
    {1056, L"An instance of the service is already running."},
    {1058, L"The service cannot be started, either because it is disabled or because it has no enabled devices associated with it."},
    {1059, L"Circular service dependency was specified."},
    {1060, L"The specified service does not exist as an installed service."},
    {1061, L"The service cannot accept control messages at this time."},
    {1062, L"The service has not been started."},
    {1063, L"The service process could not connect to the service controller."},
    {1068, L"The dependency service or group failed to start."},
    {1072, L"The specified service has been marked for deletion."},
    {1073, L"The specified service already exists."},
    {1075, L"The dependency service does not exist or has been marked for deletion."},
    {1077, L"No attempts to start the service have been made since the last boot."},
    {1078, L"The name is already in use as either a service name or a service display name."},
    {1150, L"The specified program requires a newer version of Windows."},
    {1155, L"No application is associated with the specified file for this operation."},
    {1168, L"Element not found."},
    {1223, L"The operation was canceled by the user."},
    {1314, L"A required privilege is not held by the client."},
    {1332, L"No mapping between account names and security IDs was done."},
    {1359, L"An internal error occurred."},
    {1460, L"This operation returned because the timeout period expired."},
    {1500, L"The event log file is corrupted."},
    {1722, L"The RPC server is unavailable."},
    {1813, L"The specified resource type cannot be found in the image file."},
    {1814, L"The specified resource name cannot be found in the image file."},
    {1815, L"The specified resource language ID cannot be found in the image file."},
    {2250, L"This network connection does not exist."},
    {4312, L"The object identifier does not represent a valid object."},
    {11001, L"No such host is known."},
    {11002, L"This is usually a temporary error during hostname resolution and means that the local server did not receive a response from an authoritative server."},
    {11003, L"A non-recoverable error occurred during a database lookup."},
    {11004, L"The requested name is valid, but no data of the requested type was found."},
    {11010, L"Error due to lack of resources."},
    {12007, L"The server name or address could not be resolved"},
    {12029, L"A connection with the server could not be established"},
};

// COM HRESULTs outside the Win32 facility.
const Message kComMessages[] = {
    {0x80004001u, L"Not implemented"},
    {0x80004002u, L"No such interface supported"},
    {0x80004003u, L"Invalid pointer"},
    {0x80004004u, L"Operation aborted"},
    {0x80004005u, L"Unspecified error"},
    {0x8000FFFFu, L"Catastrophic failure"},
    {0x80040154u, L"Class not registered"},
    {0x800401F3u, L"Invalid class string"},
};

const wchar_t* find(const Message* begin, const Message* end, uint32_t code) {
  const Message* m = std::lower_bound(begin, end, code,
                                      [](const Message& x, uint32_t c) { return x.code < c; });
  return (m != end && m->code == code) ? m->text : nullptr;
}

}  // namespace

WinError formatSystemMessage(uint32_t code, std::wstring& text) {
  const wchar_t* found = nullptr;
  if ((code & 0xFFFF0000u) == 0x80070000u) {
    found = find(std::begin(kWin32Messages), std::end(kWin32Messages), code & 0xFFFFu);
  } else if (code & 0x80000000u) {
    found = find(std::begin(kComMessages), std::end(kComMessages), code);
  } else {
    found = find(std::begin(kWin32Messages), std::end(kWin32Messages), code);
  }
  if (!found) return 317;  // ERROR_MR_MID_NOT_FOUND
  text = found;
  text += L"\r\n";
  return 0;
}

std::wstring systemErrorMessage(uint32_t code) {
  std::wstring text;
  formatSystemMessage(code, text);
  return text;
}

}  // namespace zorel::platform
