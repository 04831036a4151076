// Com: the method table, the registration checks over a private Registry
// object, the server-binary check over a private File object, and
// registerCOM.

#include "zorel/plugins/com/com.h"

#include <functional>
#include <stdexcept>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/pathvars/env_and_csidl_variable.h"
#include "zorel/platform/base/win_error.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/command_line.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/process/sync.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/file/file.h"
#include "zorel/plugins/registry/registry.h"

namespace zorel {

namespace pe = plugin_error;

namespace {

constexpr size_t kMaxCommandLine = 259;  // the 260-character buffer, its NUL

const ComMethodRow& Method(const char* name) {
  for (const ComMethodRow& row : ComMethods()) {
    if (std::string_view(row.name) == name) return row;
  }
  throw std::out_of_range("no COM method");
}

// A private Registry object: no result store, so it records nothing.
std::unique_ptr<Registry> PrivateRegistry(const std::wstring& key, bool is32bit) {
  StackFrame none;
  auto registry = std::make_unique<Registry>(none);
  registry->key = key;
  registry->is32bit = is32bit;
  return registry;
}

}  // namespace

namespace {

using enum ValueType;
constexpr OperationType kQuery = OperationType::kQuery;

// The COM object's methods, in registration order.
constinit const PluginMethod kMethods[] = {
    {"isEntryPresent", MethodOf<&Com::isEntryPresent>, kQuery, {L"clsid", L"is32bit"},
     {.summary = "Whether the class is registered: HKEY_CLASSES_ROOT\\CLSID\\<clsid> exists.",
      .reads = "clsid, is32bit",
      .fills = "status, return",
      .errors = {2, 5, 87, 20016, kSystemErrors}}},
    {"isOfServerType", MethodOf<&Com::isOfServerType>, kQuery,
     {L"clsid", L"is32bit", L"servertype"},
     {.summary = "Whether the class key has the server sub-key named by servertype.",
      .reads = "clsid, servertype, is32bit",
      .fills = "status, return",
      .errors = {2, 5, 87, 20016, 20022, kSystemErrors}}},
    {"isServerPathMatching", MethodOf<&Com::isServerPathMatching>, kQuery,
     {L"clsid", L"is32bit", L"servertype", L"serverpath"},
     {.summary = "Whether the registered server path equals serverpath (case and enclosing "
                 "double quotes ignored).",
      .reads = "clsid, servertype, serverpath, is32bit",
      .fills = "status, return",
      .errors = {2, 87, 20016, 20020, 20027, kSystemErrors}}},
    {"isServerBinaryExists", MethodOf<&Com::isServerBinaryExists>, kQuery,
     {L"clsid", L"is32bit", L"servertype"},
     {.summary = "Whether the server binary the registration names exists on disk.",
      .reads = "clsid, servertype, is32bit",
      .fills = "status, return",
      .errors = {2, 3, 87, 20016, 20017, kSystemErrors}}},
    {"registerCOM", MethodOf<&Com::registerCOM>, OperationType::kChange,
     {L"serverpath", L"is32bit"},
     {.summary = "Registers a server: a DLL through regsvr32, an EXE through its -regserver "
                 "switch.",
      .arguments = {{{"serverpath", kText, true, "the server binary, when the serverpath "
                                                 "property is empty"}}},
      .reads = "serverpath, is32bit",
      .fills = "status, return",
      .errors = {2, 87, 20016, 20029, kSystemErrors}}},
};

constinit const PluginProperty kProperties[] = {
    {"clsid", kText, "the class identifier as written under HKEY_CLASSES_ROOT\\CLSID, braces "
                     "included"},
    {"servertype", kText, "the server sub-key, e.g. InprocServer32 or LocalServer32"},
    {"serverpath", kText, "the server binary's path (expected, or to register)"},
    {"name", kText, "kept for the script; no method reads it"},
    {"is32bit", kBoolean, "use the 32-bit registry view and the 32-bit system folder"},
};

}  // namespace

constinit const PluginSurface Com::kSurface{
    "COM", Com::kComponentPath, kMethods, kProperties,
    "Checks a COM class registration (class key, server key, server path, server binary) and "
    "registers servers.",
    "Com"};

const std::vector<ComMethodRow>& ComMethods() {
  static const std::vector<ComMethodRow> methods = {
      {"isEntryPresent", {L"clsid"}, L"Invalid params passed for verifying COM exist",
       L"Exception occured in verifying COM exist"},
      {"isOfServerType", {L"clsid", L"servertype"},
       L"Invalid params passed for verifying COM servertype",
       L"Exception occured in verifying COM servertype"},
      {"isServerPathMatching", {L"clsid", L"servertype", L"serverpath"},
       L"Invalid params passed verifying COM serverpath",
       L"Exception occured in verifying COM serverpath"},
      {"isServerBinaryExists", {L"clsid", L"servertype"},
       L"Invalid params passed for verifying COM server binary",
       L"Exception occured in verifying COM server binary"},
      {"registerCOM", {}, L"Invalid params passed for creating COM",
       L"Execption occured in creating COM"},
  };
  return methods;
}

std::unique_ptr<CMethodDispatcher> CreateComPlugin(StackFrame& args) {
  return std::make_unique<Com>(args);
}

Com::Com(StackFrame& args) {
  RegisterSurface(kSurface);
  BindProperty("clsid", clsid);
  BindProperty("servertype", servertype);
  BindProperty("serverpath", serverpath);
  BindProperty("name", name);
  BindProperty("is32bit", is32bit);
  args.GetNamedText("clsid", clsid);
  args.GetNamedText("servertype", servertype);
  args.GetNamedText("serverpath", serverpath);
  args.GetNamedText("name", name);
  args.GetNamedBool("is32bit", is32bit);
}

std::wstring Com::ClassKey() const { return L"HKEY_CLASSES_ROOT\\CLSID\\" + clsid; }
std::wstring Com::ServerKey() const { return ClassKey() + L"\\" + servertype; }

std::wstring Com::Input(const wchar_t* input, const std::wstring& path) const {
  const std::wstring_view n(input);
  if (n == L"clsid") return clsid;
  if (n == L"servertype") return servertype;
  if (n == L"is32bit") return is32bit ? L"true" : L"false";
  if (n == L"serverpath") return path;
  return {};
}

namespace {

// The course every COM method shares: record begun, needed properties
// checked, `work` run in a catch-all, inputs recorded, the answer's
// errorcode written as the record's outcome.
template <class Work>
std::unique_ptr<CJSONReturn> RunMethod(Com& com, int32_t& errorCode, const char* name, Work&& work,
                                       const std::function<std::wstring(const wchar_t*)>& input) {
  const ComMethodRow& row = Method(name);
  const PluginMethod& declared = *Com::kSurface.Find(name);
  PluginCall call(com.GetResultStore(), errorCode, Com::kSurface, declared);
  std::unique_ptr<CJSONReturn> result;
  bool missing = false;
  for (const wchar_t* property : row.required) missing = missing || input(property).empty();
  if (missing) {
    call.ArgumentError(pe::kInvalidParameter, row.argumentMessage);
  } else if (!call.Run([&] { result = work(); call.SetError(result->errorcode); },
                       row.exceptionMessage)) {
    result.reset();
  }
  if (!result) result = std::make_unique<CJSONReturn>();
  for (size_t i = 0; i < declared.InputCount(); ++i)
    call.Input(declared.inputs[i], input(declared.inputs[i]));
  return call.Finish(std::move(result));
}

}  // namespace

std::unique_ptr<CJSONReturn> Com::isEntryPresent(StackFrame&) {
  return RunMethod(*this, errorcode_, "isEntryPresent", [&] {
    StackFrame none;
    return PrivateRegistry(ClassKey(), is32bit)->isKeyPresent(none);
  }, [&](const wchar_t* n) { return Input(n, serverpath); });
}

std::unique_ptr<CJSONReturn> Com::isOfServerType(StackFrame&) {
  return RunMethod(*this, errorcode_, "isOfServerType", [&] {
    StackFrame none;
    auto registry = PrivateRegistry(ClassKey(), is32bit);
    auto answer = registry->isKeyPresent(none);
    if (answer->status && answer->returnValue) {
      registry->key = ServerKey();
      answer = registry->isKeyPresent(none);
    } else if (answer->status) {
      answer->status = false;
      answer->errorcode = pe::kComEntryMissing;
    }
    FrameworkLog::Instance().Write(LogLevel::Info, L"errorcode at end of verifying COM servertype:%ld",
        static_cast<long>(answer->errorcode));
    return answer;
  }, [&](const wchar_t* n) { return Input(n, serverpath); });
}

std::unique_ptr<CJSONReturn> Com::isServerPathMatching(StackFrame&) {
  return RunMethod(*this, errorcode_, "isServerPathMatching", [&] {
    auto registry = PrivateRegistry(ServerKey(), is32bit);
    registry->value.clear();
    StackFrame args;
    args.Push(L"2");
    args.Push(serverpath);
    return registry->isDataMatching(args);
  }, [&](const wchar_t* n) { return Input(n, serverpath); });
}

std::unique_ptr<CJSONReturn> Com::isServerBinaryExists(StackFrame&) {
  return RunMethod(*this, errorcode_, "isServerBinaryExists", [&]() -> std::unique_ptr<CJSONReturn> {
    StackFrame none;
    auto registry = PrivateRegistry(ServerKey(), is32bit);
    registry->value.clear();
    auto read = registry->getValue(none);
    auto* value = static_cast<CJSONRegValReturn*>(read.get());
    auto answer = std::make_unique<CJSONReturn>();
    answer->status = read->status;
    answer->errorcode = read->errorcode;
    if (!read->status || read->errorcode != 0) return answer;
    std::wstring text = fromUtf8(value->value);
    if (!text.empty() && text.front() == L'"') {
      text.erase(0, 1);
      if (!text.empty() && text.back() == L'"') text.pop_back();
    }
    const size_t slash = text.find_last_of(L"\\/");
    File file(none);
    file.foldername = slash == std::wstring::npos ? L"" : text.substr(0, slash);
    file.filename = slash == std::wstring::npos ? text : text.substr(slash + 1);
    return file.isFilePresent(none);
  }, [&](const wchar_t* n) { return Input(n, serverpath); });
}

std::unique_ptr<CJSONReturn> Com::RegisterDll(const std::wstring& path, int32_t* code) {
  auto answer = std::make_unique<CJSONReturn>();
  platform::IMachine* machine = platform::currentMachine();
  const bool wow64 = is32bit && machine && machine->versionInfo().is64BitOperatingSystem();
  std::wstring line = std::wstring(wow64 ? L"%CSIDL_SYSTEMX86%\\" : L"%CSIDL_SYSTEM%\\") +
                      L"regsvr32 \"" + path + L"\" /s";
  EnvAndCsidlVariable::Instance().Expand(line);
  if (line.size() > kMaxCommandLine) {
    // No room in the command buffer: refused rather than cut short.
    FrameworkLog::Instance().Write(LogLevel::Error, L"%s", Method("registerCOM").argumentMessage);
    *code = pe::kInvalidParameter;
    return answer;
  }
  platform::ProcessStartOptions options;
  options.creationFlags = platform::CREATE_NO_WINDOW;
  std::unique_ptr<platform::IProcess> process;
  const platform::WinError e = platform::createProcess(line, options, &process);
  if (e != 0) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to register DLL");
    *code = e;
    return answer;
  }
  process->wait(platform::kInfinite);
  const uint32_t exit = process->exitCode();
  if (exit != 0) {
    // regsvr32 said it did not register the server.
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to register DLL");
    *code = static_cast<int32_t>(exit);
    return answer;
  }
  answer->status = answer->returnValue = true;
  *code = 0;
  return answer;
}

std::unique_ptr<CJSONReturn> Com::RegisterExe(const std::wstring& path, int32_t* code) {
  auto answer = std::make_unique<CJSONReturn>();
  // Quoted, so the blanks of "Program Files" cannot make another program
  // the one that starts.
  const std::wstring line = platform::quoteArgument(path, true) + L" -regserver";
  if (line.size() > kMaxCommandLine) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"%s", Method("registerCOM").argumentMessage);
    *code = pe::kInvalidParameter;
    return answer;
  }
  std::unique_ptr<platform::IProcess> process;
  const platform::WinError e = platform::createProcess(line, {}, &process);
  if (e != 0) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to register the COM exe. Error code %ld", static_cast<long>(e));
    *code = e;
    return answer;
  }
  // Not waited for; the handle is closed and the server runs on.
  answer->status = answer->returnValue = true;
  *code = 0;
  return answer;
}

std::unique_ptr<CJSONReturn> Com::registerCOM(StackFrame& args) {
  const std::wstring path = !serverpath.empty() ? serverpath
                            : args.Count() >= 1 ? args.TextAt(0)
                                                : L"";
  return RunMethod(*this, errorcode_, "registerCOM", [&]() -> std::unique_ptr<CJSONReturn> {
    auto answer = std::make_unique<CJSONReturn>();
    if (path.empty()) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"%s", Method("registerCOM").argumentMessage);
      answer->errorcode = pe::kInvalidParameter;
      return answer;
    }
    platform::IMachine* machine = platform::currentMachine();
    std::string host;
    platform::WinError exists = machine ? machine->paths().toHostPath(path, host)
                                        : platform::ERROR_FILE_NOT_FOUND;
    if (exists == 0) exists = platform::pathFileExists(host);
    if (exists != 0) {
      answer->errorcode = exists;
      FrameworkLog::Instance().Write(LogLevel::Error, L"COM path does not exist on client machine. Path: %s", path.c_str());
      return answer;
    }
    int32_t code = 0;
    if (path.find(L".dll") != std::wstring::npos) {
      try {
        answer = RegisterDll(path, &code);
      } catch (...) {
        FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured in creating COM dll");
        answer = std::make_unique<CJSONReturn>();
        code = pe::kApiFailed;
      }
    } else if (path.find(L".exe") != std::wstring::npos) {
      try {
        answer = RegisterExe(path, &code);
      } catch (...) {
        FrameworkLog::Instance().Write(LogLevel::Error, L"Exception Occured in  creating COM using exe binary");
        answer = std::make_unique<CJSONReturn>();
        code = pe::kApiFailed;
      }
    } else {
      code = pe::kInvalidComServer;
    }
    answer->errorcode = code;
    return answer;
  }, [&](const wchar_t* n) { return Input(n, path); });
}

}  // namespace zorel
