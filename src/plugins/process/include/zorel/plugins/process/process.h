#pragma once
// Process: the script's "Process" object. isRunning and is32Bit look a
// program up in the process list (isRunning also by pattern), stop ends
// every process of a name, start runs a program and may wait for it,
// ExecuteExternalApplication downloads a program (or a cabinet holding it)
// and runs it, collect writes every process into PROCESS_COLLECTION_TABLE.
// Records carry component "ProcessAPI". Unlike most plug-ins, a method does
// not clear the error code when it starts: a path that sets none keeps the
// previous value.

#include <cstdint>
#include <memory>
#include <string>

#include "zorel/framework/method_dispatcher.h"
#include "zorel/plugins/common/plugin_surface.h"

namespace zorel {

class CJSONReturn;
class PluginCall;

namespace platform {
class IProcessSource;
struct ProcessEntry;
}

class Process : public CMethodDispatcher {
 public:
  static constexpr const wchar_t* kComponentPath = L"plugins\\win\\ProcessAPI";
  static const PluginSurface kSurface;

  // Construction arguments "name" and "path" preset the properties.
  // `source` answers every process question (the host's by default).
  explicit Process(StackFrame& args);
  Process(StackFrame& args, std::shared_ptr<platform::IProcessSource> source);

  // Script-visible properties.
  std::wstring name;   // program name (isRunning: also a pattern)
  std::wstring path;   // folder of the program for start
  int32_t errorcode = 0;

  // "return" true when a process named `name` (equal without case, or its
  // lower-cased name matching `name` as a pattern) runs; else 30052. 87 for
  // an empty name. An invalid pattern escapes to the dispatcher.
  std::unique_ptr<CJSONReturn> isRunning(StackFrame& args);
  // bWait, lMaxWaitSec, strArgument: runs path//name strArgument; with
  // bWait waits (30055 while it still runs, its exit code once ended).
  std::unique_ptr<CJSONReturn> start(StackFrame& args);
  // Ends every process named `name`; 127 when there is none.
  std::unique_ptr<CJSONReturn> stop(StackFrame& args);
  // Registered, does nothing: the script gets the empty result, no record.
  std::unique_ptr<CJSONReturn> isAdmin(StackFrame& args);
  // "return" true for a 32-bit process named `name`; 30051 for a 64-bit
  // one, 30053 when none runs.
  std::unique_ptr<CJSONReturn> is32Bit(StackFrame& args);
  // Every process that can be opened into PROCESS_COLLECTION_TABLE.
  std::unique_ptr<CJSONReturn> collect(StackFrame& args);
  // SourceUrl, ProcessName, DownloadDest, CmndLine, ShowUI, WaitTime.
  std::unique_ptr<CJSONReturn> ExecuteExternalApplication(StackFrame& args);

  // How long the download of ExecuteExternalApplication may take, in
  // seconds (tests shorten it).
  long downloadTimeoutSeconds = 300;

 private:
  // The candidate name of a process for isRunning and is32Bit; false when
  // the process is skipped. *fromEntry: the name came from the list entry
  // (the module list was refused).
  bool Candidate(const platform::ProcessEntry& entry, std::wstring* candidate, bool* fromEntry);
  void Stop(PluginCall& call, CJSONReturn& result);
  bool Download(PluginCall& call, CJSONReturn& result, const std::wstring& url,
                const std::wstring& folder);
  void Execute(PluginCall& call, const std::wstring& application, const std::wstring& commandLine,
               bool showUi, int32_t waitTime);

  std::shared_ptr<platform::IProcessSource> source_;
};

// The factory's creation function for "Process".
std::unique_ptr<CMethodDispatcher> CreateProcessPlugin(StackFrame& args);

}  // namespace zorel
