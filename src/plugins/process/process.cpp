// Process: its method table, isRunning, is32Bit, stop and isAdmin.

#include "zorel/plugins/process/process.h"

#include <boost/regex.hpp>
#include <vector>

#include "process_log.h"
#include "zorel/platform/process/process_list.h"
#include "zorel/plugins/common/cjson_return.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/process/process_rules.h"

namespace zorel {

namespace pe = plugin_error;
using namespace process_log;
using platform::ProcessEntry;

namespace {

constexpr int32_t kProcNotFound = 127;  // ERROR_PROC_NOT_FOUND

using enum ValueType;

constinit const PluginMethod kMethods[] = {
    {"isRunning", MethodOf<&Process::isRunning>, OperationType::kQuery, {L"name"},
     {.summary = "Whether a process named name runs (case ignored; name may also be a regular "
                 "expression in lower case): errorcode 0 when one does.",
      .reads = "name",
      .fills = "status, return",
      .errors = {87, 30052, kSystemErrors}}},
    {"start", MethodOf<&Process::start>, OperationType::kChange,
     {L"name", L"path", L"lMaxWaitSec", L"bWait", L"strArgument"},
     {.summary = "Starts path\\name with an argument text, optionally waiting for it to end "
                 "with exit code 0.",
      .arguments = {{{"wait", kBoolean, false, "true: wait for the program to end"},
                     {"maxWaitSeconds", kNumber, false, "how long to wait"},
                     {"argument", kText, false, "the program's command-line arguments"}}},
      .reads = "name, path",
      .fills = "status",
      .errors = {87, 30055, kSystemErrors}}},
    {"stop", MethodOf<&Process::stop>, OperationType::kChange, {L"name"},
     {.summary = "Ends every process whose executable is named name (case ignored).",
      .reads = "name",
      .fills = "status",
      .errors = {87, 127, 20014, kSystemErrors}}},
    {"isAdmin", MethodOf<&Process::isAdmin>, OperationType::kQuery, {},
     {.summary = "Does nothing: answers the empty text and writes no operation record.",
      .answer = AnswerKind::kNone}},
    {"is32Bit", MethodOf<&Process::is32Bit>, OperationType::kQuery, {L"name"},
     {.summary = "Whether the running process named name is a 32-bit process.",
      .reads = "name",
      .fills = "status, return",
      .errors = {87, 20015, 30051, 30053, kSystemErrors}}},
    {"collect", MethodOf<&Process::collect>, OperationType::kCollect, {},
     {.summary = "Writes every running process (name, path, user, memory, modules) to "
                 "PROCESS_COLLECTION_TABLE.",
      .errors = {20014, kSystemErrors}}},
    {"ExecuteExternalApplication", MethodOf<&Process::ExecuteExternalApplication>,
     OperationType::kChange,
     {L"SourceUrl", L"ProcessName", L"DownloadDest", L"CmndLine", L"ShowUI", L"WaitTime"},
     {.summary = "Downloads a program (or a cabinet holding it) and runs it.",
      .arguments = {{{"sourceUrl", kText, false, "what to download (a .cab is extracted)"},
                     {"processName", kText, false, "the program file to run from the download"},
                     {"downloadFolder", kText, false, "where to put it; empty: the temporary "
                                                      "folder"},
                     {"commandLine", kText, false, "the program's arguments"},
                     {"showUI", kBoolean, false, "false: run without a window"},
                     {"waitSeconds", kNumber, false, "how long to wait for its end; 0: do not "
                                                     "wait"}}},
      .fills = "status",
      .errors = {87, 20001, 20004, 20016, 20023, 30055, kSystemErrors}}},
};

constinit const PluginProperty kProperties[] = {
    {"name", kText, "the program's executable name, e.g. notepad.exe"},
    {"path", kText, "the program's folder, for start"},
    {"errorcode", kNumber, kErrorCodeMeaning},
};

}  // namespace

constinit const PluginSurface Process::kSurface{
    "Process", kComponentPath, kMethods, kProperties,
    "Finds, starts, stops and collects processes."};

Process::Process(StackFrame& args) : Process(args, platform::hostProcessSource()) {}

Process::Process(StackFrame& args, std::shared_ptr<platform::IProcessSource> source)
    : source_(std::move(source)) {
  args.GetNamedText("name", name);
  args.GetNamedText("path", path);
  RegisterSurface(kSurface);
  BindProperty("name", name);
  BindProperty("path", path);
  BindProperty("errorcode", errorcode);
}

bool Process::Candidate(const ProcessEntry& entry, std::wstring* candidate, bool* fromEntry) {
  *fromEntry = false;
  try {
    const platform::WinError e = source_->moduleName(entry, candidate);
    if (e == platform::ERROR_ACCESS_DENIED) {
      *candidate = entry.exeFile;
      *fromEntry = true;
      return true;
    }
    return e == platform::ERROR_SUCCESS;
  } catch (const std::exception& ex) {
    const platform::WinError code = platform::getLastError();
    Error(L"Inside function ::GetProcessModule. Inside catch. Function failed. Error code : %ld. "
          L"Error : %s",
          static_cast<long>(code), Narrow(ex.what()).c_str());
    return false;
  }
}

std::unique_ptr<CJSONReturn> Process::isRunning(StackFrame&) {
  // The error code is not reset: a path that assigns none keeps it.
  PluginCall call = BeginCall(__func__, errorcode, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  result->status = true;
  call.Input(name);
  if (name.empty()) {
    result->status = false;
    call.ArgumentError(pe::kInvalidParameter,
                       L"Invalid params passed for Process::isRunning(). Process Name is empty.");
    return call.Finish(std::move(result));
  }
  // An invalid pattern escapes to the dispatcher: no record, empty result.
  const boost::regex pattern(process_rules::LowBytes(name));
  std::vector<ProcessEntry> entries;
  if (platform::WinError e = source_->snapshot(&entries)) {
    result->status = false;
    call.SetError(e);
    Error(L"Inside function ::isRunning. CreateToolhelp32Snapshot returned invalid handle value.  "
          L"Error : %s",
          GetErrorMessage(e).c_str());
    return call.Finish(std::move(result));
  }
  if (entries.empty()) {
    result->status = false;
    call.SetError(platform::ERROR_NO_MORE_FILES);
    Error(L"Inside function ::isRunning. Failed Process32First for %s. Error : %s ", name.c_str(),
          GetErrorMessage(platform::ERROR_NO_MORE_FILES).c_str());
    return call.Finish(std::move(result));
  }
  try {
    bool found = false;
    for (const ProcessEntry& entry : entries) {
      std::wstring candidate;
      bool fromEntry = false;
      if (!Candidate(entry, &candidate, &fromEntry)) continue;
      if (process_rules::NameMatches(candidate, name, pattern)) {
        Info(L"Inside function ::isRunning. Process : %s found", name.c_str());
        found = true;
        break;
      }
    }
    result->returnValue = found;
    call.SetError(found ? pe::kSuccess : pe::kProcessNotRunning);
  } catch (const std::exception& ex) {
    // A pattern too complex for the matcher ends here, in bounded time.
    const platform::WinError code = platform::getLastError();
    result->status = false;
    call.SetError(code);
    Error(L"Inside function ::isRunning(%s). Inside catch. Function failed. Error code : %ld. "
          L"Error : %s",
          name.c_str(), static_cast<long>(code), Narrow(ex.what()).c_str());
  }
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Process::is32Bit(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  result->status = true;
  call.Input(name);
  if (name.empty()) {
    result->status = false;
    call.ArgumentError(pe::kInvalidParameter,
                       L"Invalid params passed for Process::is32Bit(). Process name is empty.");
    return call.Finish(std::move(result));
  }
  std::vector<ProcessEntry> entries;
  if (platform::WinError e = source_->snapshot(&entries)) {
    result->status = false;
    Error(L"Inside function ::is32Bit. CreateToolhelp32Snapshot failed with error - %s",
          GetErrorMessage(e).c_str());
    call.SetError(pe::kProcessNotFound);
    return call.Finish(std::move(result));
  }
  if (entries.empty()) {
    result->status = false;
    Error(L"Inside function ::is32Bit. Failed Process32First for %s. Error  : %s ", name.c_str(),
          GetErrorMessage(platform::ERROR_NO_MORE_FILES).c_str());
    call.SetError(pe::kProcessNotFound);
    return call.Finish(std::move(result));
  }
  bool found = false;
  try {
    const std::wstring lower = process_rules::Lower(name);
    for (const ProcessEntry& entry : entries) {
      std::wstring candidate;
      bool fromEntry = false;
      if (!Candidate(entry, &candidate, &fromEntry)) continue;
      if (process_rules::Lower(candidate) != lower) continue;
      found = true;
      if (fromEntry) Info(L"Inside function ::is32Bit. Process : %s found", name.c_str());
      std::unique_ptr<platform::IProcessHandle> handle;
      if (source_->open(platform::PROCESS_QUERY_INFORMATION, entry, &handle) != 0 || !handle) {
        result->status = false;
        call.SetError(pe::kOpenProcessFailed);
        Error(fromEntry ? L"Inside function ::is32Bit. Either process cannot be opened or process "
                          L"does not have PROCESS_QUERY_INFORMATION access"
                        : L"Inside function ::is32Bit.Either process cannot be opened or process "
                          L"does not have PROCESS_QUERY_INFORMATION access");
        break;
      }
      bool wow64 = false;
      if (platform::WinError e = handle->isWow64(&wow64)) {
        Error(L"Inside function ::CheckProcessIs32Bit. Failed to check if the process is 32bit. "
              L"Error: %s",
              GetErrorMessage(e).c_str());
        call.SetError(e);
        break;
      }
      Info(wow64 ? L"CheckProcessIs32Bit - bIs32Bit is TRUE" : L"CheckProcessIs32Bit - bIs32Bit is FALSE");
      result->returnValue = wow64;
      call.SetError(wow64 ? pe::kSuccess : pe::kProcessIs64Bit);
      break;
    }
    if (!found) call.SetError(pe::kProcessNotFound);
  } catch (const std::exception& ex) {
    const platform::WinError code = platform::getLastError();
    result->status = false;
    if (!found) call.SetError(pe::kProcessNotFound);
    Error(L"Inside function ::is32Bit. Inside catch. Function failed. Error code : %ld. Error : %s",
          static_cast<long>(code), Narrow(ex.what()).c_str());
  }
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Process::stop(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  call.Input(name);
  if (name.empty()) {
    call.ArgumentError(pe::kInvalidParameter,
                       L"Invalid params passed for stopping process. Process name is empty.");
    return call.Finish(std::move(result));
  }
  Stop(call, *result);
  return call.Finish(std::move(result));
}

void Process::Stop(PluginCall& call, CJSONReturn& result) {
  std::vector<ProcessEntry> entries;
  platform::WinError e = 0;
  try {
    e = source_->snapshot(&entries);
  } catch (const std::exception&) {
    // The walk below still runs, over whatever the snapshot holds.
    const platform::WinError code = platform::getLastError();
    call.SetError(code);
    Error(L"Inside Process::stop(%s). Inside catch. CreateToolhelp32Snapshot() failed. Error %s",
          name.c_str(), GetErrorMessage(code).c_str());
  }
  if (e != 0) {
    call.SetError(e);
    Error(L"Stop(%s) - Invalid handle recieved while creating process snapshot. Error: %s",
          name.c_str(), GetErrorMessage(e).c_str());
    return;
  }
  if (entries.empty()) {
    call.SetError(pe::kEnumProcessFailed);
    Error(L"Error fetching process details while attempting to stop process: %s", name.c_str());
    return;
  }
  const std::wstring lower = process_rules::Lower(name);
  bool matched = false;
  for (const ProcessEntry& entry : entries) {
    if (process_rules::Lower(entry.exeFile) != lower) continue;
    matched = true;
    std::unique_ptr<platform::IProcessHandle> handle;
    if (platform::WinError open = source_->open(platform::PROCESS_TERMINATE, entry, &handle)) {
      call.SetError(open);
      Error(L"Error while opening process %s - OpenProcess returned NULL. Error : %s",
            name.c_str(), GetErrorMessage(open).c_str());
      break;
    }
    if (platform::WinError ended = handle->terminate(0)) {
      call.SetError(ended);
      result.status = false;
      Error(L"Error while terminating process %s - TerminateProcess returned FALSE.  Error : %s",
            name.c_str(), GetErrorMessage(ended).c_str());
    } else {
      call.SetError(pe::kSuccess);
      result.status = true;
      Info(L"Process %s terminated successfully", name.c_str());
    }
  }
  if (!matched) {
    result.status = false;
    call.SetError(kProcNotFound);
    Error(L"Error while terminating process %s. Error : Process not found.", name.c_str());
  }
}

std::unique_ptr<CJSONReturn> Process::isAdmin(StackFrame&) { return nullptr; }

std::unique_ptr<CMethodDispatcher> CreateProcessPlugin(StackFrame& args) {
  return std::make_unique<Process>(args);
}

}  // namespace zorel
