// Products::IsCoreComponentInstallSuccess: the core component's
// installation logs (%ProgramData%\Olvane\OVLOGS\ovehidin*.log), read line
// by line for an install error and the "hr=" text before it.

#include <cstring>
#include <memory>
#include <string>

#include "file_line_reader.h"
#include "products_lists.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/find_files.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/products/products.h"

namespace zorel {

namespace {

using Olvane::IO::CFileLineReader;

constexpr int32_t kApiFailed = 20016;
constexpr char kErrorText[] = "hr=";
constexpr char kInstallError[] = "Install error: un-winding install";

// What the line test keeps across lines and files.
struct LineTest {
  std::string errorText;  // the rest of the latest line holding "hr=" (narrow)
};

bool TestLine(void* data, const char* line) {
  auto* test = static_cast<LineTest*>(data);
  if (const char* hr = std::strstr(line, kErrorText)) test->errorText.assign(hr + 3);
  return std::strstr(line, kInstallError) != nullptr;
}

// The scan: true when a log holds an install error. Logs that cannot be
// opened or read, or exceed the reader's limits, are skipped silently.
bool ScanInstallLogs(platform::IMachine& machine, LineTest& test) {
  std::wstring data;
  machine.specialFolders().getFolderPath(platform::CSIDL_COMMON_APPDATA, data);
  const std::wstring folder = data + L"\\Olvane\\OVLOGS";
  const std::wstring pattern = folder + L"\\ovehidin*.log";
  std::unique_ptr<platform::IFileFind> find;
  platform::FindData entry;
  const platform::WinError first = platform::findFirstFile(machine.paths(), pattern, &find, entry);
  if (first != platform::ERROR_SUCCESS) {
    if (first == platform::ERROR_FILE_NOT_FOUND)
      FrameworkLog::Instance().Write(LogLevel::Info, L"File %s is not present", pattern.c_str());
    return false;
  }
  std::wstring slashed = folder;
  for (wchar_t& c : slashed)
    if (c == L'\\') c = L'/';
  do {
    if (entry.attributes == platform::FILE_ATTRIBUTE_DIRECTORY) continue;
    CFileLineReader reader(slashed + L"//" + entry.name, &TestLine, &test);
    try {
      if (reader.Read()) return true;
    } catch (const Olvane::Exception::COvException&) {
      // The file is skipped; the next one is read.
    }
  } while (find->next(entry) == platform::ERROR_SUCCESS);
  return false;
}

}  // namespace

std::unique_ptr<CJSONReturn> Products::IsCoreComponentInstallSuccess(StackFrame&) {
  // The answer carries the code; the property is left alone.
  int32_t code = kApiFailed;
  PluginCall call = BeginCall("IsCoreComponentInstallSuccess", code, kApiFailed);
  call.UsesInputs();
  auto result = std::make_unique<CJSONReturn>();
  try {
    LineTest test;
    if (ScanInstallLogs(products_detail::Machine(), test)) {
      const std::wstring errorText = fromUtf8(test.errorText);
      call.Input(errorText);
      FrameworkLog::Instance().Write(
          LogLevel::Warn,
          L"IsCoreComponentInstallSuccess: Install error string extracted from log file is: %s",
          errorText.c_str());
    } else {
      call.SetError(0);
      FrameworkLog::Instance().Write(LogLevel::Info,
                                     L"IsCoreComponentInstallSuccess: No install error found in log");
    }
  } catch (...) {
    FrameworkLog::Instance().Write(
        LogLevel::Info, L"Exception occured from IsCoreComponentInstallSuccess, ErrorCode: %d",
        platform::getLastError());
  }
  return call.Finish(std::move(result));
}

}  // namespace zorel
