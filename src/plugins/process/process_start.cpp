// Process: start and ExecuteExternalApplication.

#include <cwchar>
#include <string>

#include "process_log.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/fs/files.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/process_list.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/store_folder.h"
#include "zorel/plugins/file/file.h"
#include "zorel/plugins/process/process.h"
#include "zorel/plugins/process/process_rules.h"

namespace zorel {

namespace pe = plugin_error;
using namespace process_log;

namespace {

// "%f" of a number, as the record shows lMaxWaitSec.
std::wstring Fixed(float value) {
  wchar_t text[512];
  std::swprintf(text, sizeof text / sizeof text[0], L"%f", static_cast<double>(value));
  return text;
}

// Waits up to `ms` for the program and reads its exit code. RETURNS the
// plug-in code: 30055 while it still runs, else its exit code (0 or not).
int32_t WaitFor(platform::IProcess& process, uint32_t ms) {
  process.wait(ms);
  const uint32_t exit = process.exitCode();
  if (exit == platform::STILL_ACTIVE) {
    Error(L"The process did not exited during the given time");
    return pe::kProcessDidNotExit;
  }
  return static_cast<int32_t>(exit);
}

}  // namespace

std::unique_ptr<CJSONReturn> Process::start(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  result->status = false;
  if (args.Count() != 3) {
    call.Input(name).Input(path).Input(Fixed(-1)).Input(L"0").Input(L"");
    call.ArgumentError(pe::kInvalidParameter,
                       L"Invalid params passed for starting process.  Expected: Start(bWait, "
                       L"lMaxWaitSec, argument )");
    Info(L"errorcode - %d", call.ErrorCode());
    return call.Finish(std::move(result));
  }
  // A text that is no number escapes here, before any work.
  const bool wait = args.BoolAt(0);
  const float seconds = args.FloatAt(1);
  const std::wstring argument = args.TextAt(2);
  call.Input(name).Input(path).Input(Fixed(seconds)).Input(wait ? L"1" : L"0").Input(argument);
  if (name.empty()) {
    call.SetError(pe::kInvalidParameter);
    Error(L"Invalid params set for starting process. Expecting Name and Path. Existing: Name :%s, "
          L"path : %s",
          name.c_str(), path.c_str());
    Info(L"errorcode - %d", call.ErrorCode());
    return call.Finish(std::move(result));
  }
  const std::wstring line = process_rules::StartCommandLine(path, name, argument);
  // Output redirected by the program goes below the store's folder; without
  // a store there is no such folder to prepare.
  IResultStore* store = GetResultStore();
  if (line.find(L'>') != std::wstring::npos && store) {
    const std::wstring folder = WindowsStoreFolder(*store);
    if (!folder.empty()) platform::files::createFolders(folder + L"collection\\Execute");
  }
  std::unique_ptr<platform::IProcess> process;
  if (platform::WinError e = source_->start(L"", line, {}, &process); e || !process) {
    call.SetError(e ? e : pe::kCreateProcessFailed);
    Error(L"Error while creating process %s - %s", line.c_str(),
          GetErrorMessage(call.ErrorCode()).c_str());
  } else {
    result->status = true;
    // A non-zero exit code is the answer: success would hide the failure.
    call.SetError(wait ? WaitFor(*process, process_rules::WaitFromSeconds(seconds))
                       : pe::kSuccess);
  }
  Info(L"errorcode - %d", call.ErrorCode());
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Process::ExecuteExternalApplication(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, errorcode);
  std::unique_ptr<CJSONReturn> result = std::make_unique<CJSONReturn>();
  if (args.Count() != 6) {
    call.Input(L"").Input(L"").Input(L"").Input(L"").Input(L"true").Input(L"0");
    call.ArgumentError(pe::kInsufficientArguments,
                       L"Insufficient input parameters passed for executing external application");
    return call.Finish(std::move(result));
  }
  const std::wstring url = args.TextAt(0);
  const std::wstring program = args.TextAt(1);
  std::wstring folder = args.TextAt(2);
  const std::wstring commandLine = args.TextAt(3);
  const bool showUi = args.BoolAt(4);
  const int32_t waitTime = args.IntAt(5);  // a text that is no number escapes here
  auto inputs = [&] {
    call.Input(url).Input(program).Input(folder).Input(commandLine);
    call.Input(showUi ? L"true" : L"false").Input(std::to_wstring(waitTime));
  };
  if (url.empty() || program.empty()) {
    call.ArgumentError(pe::kInvalidParameter,
                       L"Source path or process n ame are empty for executing external application");
    inputs();
    return call.Finish(std::move(result));
  }
  // An exception answers 20016 with its record, so a failed run is never
  // left unrecorded.
  call.Run(
      [&] {
        if (folder.empty()) {
          if (platform::WinError e = source_->tempPath(&folder)) {
            call.SetError(e);
            Error(L"Failed in getting temp path with error:%d", e);
            return;
          }
        }
        if (!Download(call, *result, url, folder)) return;
        Execute(call, folder + L"\\" + program, L" " + commandLine, showUi, waitTime);
      },
      L"Exception occured in download and executing user executable");
  inputs();
  result->errorcode = call.ErrorCode();
  return call.Finish(std::move(result));
}

bool Process::Download(PluginCall& call, CJSONReturn& result, const std::wstring& url,
                       const std::wstring& folder) {
  StackFrame none;
  File downloader(none);
  downloader.downloadTimeoutSeconds = downloadTimeoutSeconds;
  StackFrame downloadArgs;
  downloadArgs.Push(url);
  downloadArgs.Push(folder);
  std::unique_ptr<CJSONReturn> downloaded = downloader.downloadFile(downloadArgs);
  result.status = downloaded->status;
  result.returnValue = downloaded->returnValue;
  call.SetError(downloaded->errorcode);
  if (call.ErrorCode() != 0) return false;

  const std::wstring file = process_rules::DownloadedName(url);
  if (!process_rules::IsCabinetName(file)) return true;
  // The cabinet reader works on host files; it refuses names that would
  // leave the folder, and so does this call then.
  platform::IMachine* machine = platform::currentMachine();
  std::string cabinet, output;
  bool extracted = machine && machine->paths().toHostPath(folder + L"\\" + file, cabinet) == 0 &&
                   machine->paths().toHostPath(folder, output) == 0;
  if (extracted) extracted = CabinetUtility().Decompress(fromUtf8(cabinet), fromUtf8(output));
  if (!extracted) {
    call.SetError(pe::kApiFailed);
    Error(L"Failed in decompression of downloaded file");
  }
  return extracted;
}

void Process::Execute(PluginCall& call, const std::wstring& application,
                      const std::wstring& commandLine, bool showUi, int32_t waitTime) {
  platform::ProcessStartOptions options;
  if (!showUi) options.creationFlags = platform::CREATE_NO_WINDOW;
  std::unique_ptr<platform::IProcess> process;
  if (platform::WinError e = source_->start(application, commandLine, options, &process);
      e || !process) {
    call.SetError(e ? e : pe::kCreateProcessFailed);
    Error(L"Error while creating process %s - %s", application.c_str(),
          GetErrorMessage(call.ErrorCode()).c_str());
    return;
  }
  if (waitTime <= 0) {
    call.SetError(pe::kSuccess);
    Info(L"Wait time is 0 or lesser. So no need of waiting for the process");
    return;
  }
  // Exit code 0 keeps the download's code (0).
  if (const int32_t code = WaitFor(*process, process_rules::WaitFromWholeSeconds(waitTime)))
    call.SetError(code);
}

}  // namespace zorel
