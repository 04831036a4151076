// The plug-in error-message table and the lookup that falls back to the
// system's messages.

#include "zorel/plugins/common/error_messages.h"

#include <algorithm>
#include <iterator>

#include "zorel/platform/base/error_message.h"

namespace zorel {

namespace {

struct ErrorEntry {
  int32_t code;
  const wchar_t* message;
};

// Ascending by code, so a lookup is a binary search.
constexpr ErrorEntry kErrorTable[] = {
    {0, L"The operation completed successfully."},
    {20001, L"Unable to download the file"},
    {20002, L"The specified path is a folder"},
    {20003, L"The folder is empty"},
    {20004, L"Error while accessing the file or folder"},
    {20005, L"Error while deleting the file"},
    {20006, L"Error while deleting the folder"},
    {20007, L"Error while renaming the file"},
    {20008, L"Error while gettign the file attributes"},
    {20009, L"Error getting the file information"},
    {20010, L"Unsupported data type requested"},
    {20011, L"Failed to create the process"},
    {20012, L"Failed to stop the process after timeout"},
    {20013, L"Invalid process handle recieved"},
    {20014, L"Unable to enumerate the process info"},
    {20015, L"Unable to open the process handle"},
    {20016, L"API failed"},
    {20017, L"Expected data type not present"},
    {20018, L"Expected key is not matched"},
    {20019, L"Expected value is not matched"},
    {20020, L"Expected data is not matched"},
    {20021, L"Expected data is not found"},
    {20022, L"COM Entry is not present"},
    {20023, L"Insufficient arguments passed"},
    {20024, L"Failed to open the assosiated program"},
    {20025, L"Did not get any domain names"},
    {20026, L"Value not present"},
    {20027, L"key not present"},
    {20028, L"Failed reading CPU name"},
    {20029, L"Invalid COM server binary"},
    {20030, L"Error detecting Olvane products"},
    {20031, L"Failed to clear the cache"},
    {20032, L"RAM size is less than expected"},
    {20033, L"CPU speed is less than expected"},
    {20034, L"OS Drive free space is less than expected"},
    {30001, L"Service with given status not present"},
    {30002, L"Service with given startup type not present"},
    {30003, L"Failed to get dependent services list"},
    {30004, L"Dependent service status does not match"},
    {30005, L"Service status not handled"},
    {30006, L"Service with status not found"},
    {30007, L"Service with specified startup type not found"},
    {30008, L"Failed to delete service"},
    {30009, L"Service does not have dependent services"},
    {30010, L"Service is not dependent on specified service"},
    {30051, L"Process is 64-bit"},
    {30052, L"Process not running"},
    {30053, L"Process not found or not running"},
    {30054, L"Process was stopped forcefully"},
    {30055, L"Process did not exited in the given time"},
    {30056, L"Input is a folder and not a file"},
    {30057, L"File already exists on client machine"},
    {30058, L"Download of file failed"},
    {30059, L"Failed to create registry import folder user %appdata%/zorel"},
    {30060, L"Registry import failed"},
    {30061, L"Registry import permission failed"},
    {30062, L"Script execution failed or script returned false status"},
};

const ErrorEntry* FindEntry(int32_t code) {
  auto it = std::lower_bound(std::begin(kErrorTable), std::end(kErrorTable), code,
                             [](const ErrorEntry& e, int32_t c) { return e.code < c; });
  return (it != std::end(kErrorTable) && it->code == code) ? it : nullptr;
}

}  // namespace

bool IsPluginErrorCode(int32_t code) { return FindEntry(code) != nullptr; }

std::wstring GetErrorMessage(int32_t code) {
  if (const ErrorEntry* entry = FindEntry(code)) return entry->message;
  return platform::systemErrorMessage(static_cast<uint32_t>(code));
}

}  // namespace zorel
