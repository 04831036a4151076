// Registry::importRegistry and importRegistryAndPermissionSet: a .reg file,
// or a cabinet holding one, downloaded (or copied from a path) into the
// store folder's RegistryImport folder, imported by regedit, and for the
// second method an account granted full access to the key. The import
// folder is gone after every call.
//
// importRegistry checks that the .reg a cabinet should have held is there
// before it runs regedit, as importRegistryAndPermissionSet does, instead of
// reporting an import that never happened.

#include <cwctype>
#include <filesystem>

#include "acl_helper.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/fs/file_ops.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/process/command_line.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/registry/registry.h"
#include "zorel/platform/process/sync.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/file/file.h"
#include "zorel/plugins/registry/registry.h"
#include "zorel/plugins/common/store_folder.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

namespace pe = plugin_error;

namespace {

constexpr int32_t kImportFolderFailed = 30059;
constexpr int32_t kDownloadFailed = 30058;
constexpr int32_t kImportFailed = 30060;
constexpr uint32_t kFullAccess = 0x101F0000;  // GENERIC_ALL | STANDARD_RIGHTS_ALL

bool EndsWithNoCase(const std::wstring& text, const wchar_t* tail) {
  const std::wstring t(tail);
  if (text.size() < t.size()) return false;
  for (size_t i = 0; i < t.size(); ++i) {
    if (std::towlower(text[text.size() - t.size() + i]) != std::towlower(t[i])) return false;
  }
  return true;
}

bool ImportableName(const std::wstring& name) {
  return name.size() >= 4 && (EndsWithNoCase(name, L".cab") || EndsWithNoCase(name, L".reg"));
}

std::wstring LastElement(const std::wstring& path) {
  const size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

std::string HostPath(const std::wstring& windows) {
  platform::IMachine* machine = platform::currentMachine();
  std::string host;
  if (!machine || machine->paths().toHostPath(windows, host) != 0) return {};
  return host;
}

bool Exists(const std::wstring& windows) {
  const std::string host = HostPath(windows);
  return !host.empty() && platform::pathFileExists(host) == 0;
}

// The import folder's steps shared by both methods. Each step returns the
// call's error code (0: go on).
class ImportFolder {
 public:
  explicit ImportFolder(IResultStore* store) {
    if (store) folder_ = WindowsStoreFolder(*store);
    // The folder's path keeps the doubled separator the names are joined with.
    if (!folder_.empty()) folder_ += L"\\RegistryImport";
  }
  ~ImportFolder() {
    if (!created_) return;
    StackFrame none;
    File file(none);
    file.foldername = folder_;
    StackFrame recursive;
    recursive.Push(L"true");
    auto answer = file.deleteFolder(recursive);
    if (answer->errorcode != 0)
      FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to download registry import download cab folder : %s", folder_.c_str());
  }
  const std::wstring& path() const { return folder_; }

  int32_t Create() {
    std::error_code ec;
    const std::string host = folder_.empty() ? std::string() : HostPath(folder_);
    if (host.empty() || (!std::filesystem::create_directory(host, ec) && ec)) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to create registry import folder under ZOREL. Folder path : %s",
               folder_.c_str());
      return kImportFolderFailed;
    }
    created_ = true;
    return 0;
  }

  int32_t Download(const std::wstring& source) {
    StackFrame none;
    File file(none);
    StackFrame args;
    args.Push(source);
    args.Push(folder_);
    if (file.downloadFile(args)->errorcode != 0) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to download file : %s", source.c_str());
      return kDownloadFailed;
    }
    return 0;
  }

  // Extracts the downloaded cabinet into the folder.
  int32_t Extract(const std::wstring& cabinet) {
    CabinetUtility utility;
    const std::string hostCab = HostPath(cabinet), hostFolder = HostPath(folder_);
    if (hostCab.empty() || hostFolder.empty() ||
        !utility.Decompress(fromUtf8(hostCab), fromUtf8(hostFolder))) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to decompress the file %s", cabinet.c_str());
      return pe::kApiFailed;
    }
    return 0;
  }

 private:
  std::wstring folder_;
  bool created_ = false;
};

// regedit /S FILE, waited for without a time limit. False when it could not
// be started (its exit code is not examined).
bool RunRegedit(const std::wstring& file) {
  platform::ProcessStartOptions options;
  options.creationFlags = platform::CREATE_NO_WINDOW;
  std::unique_ptr<platform::IProcess> process;
  if (platform::createProcess(L"regedit /S " + platform::quoteArgument(file, true), options,
                              &process) != 0)
    return false;
  process->wait(platform::kInfinite);
  return true;
}

// The key as the security functions name it: a root's full name replaced
// by theirs; an abbreviation stays as written (and is refused by them).
std::wstring SecurityObjectName(const std::wstring& key) {
  static const struct {
    const wchar_t* from;
    const wchar_t* to;
  } kNames[] = {{L"HKEY_CLASSES_ROOT", L"CLASSES_ROOT"},
                {L"HKEY_LOCAL_MACHINE", L"MACHINE"},
                {L"HKEY_CURRENT_USER", L"CURRENT_USER"},
                {L"HKEY_USERS", L"USERS"},
                {L"HKEY_CURRENT_CONFIG", L"CONFIG"}};
  const size_t slash = key.find(L'\\');
  const std::wstring root = key.substr(0, slash);
  for (const auto& n : kNames) {
    if (root == n.from) return n.to + (slash == std::wstring::npos ? L"" : key.substr(slash));
  }
  return key;
}

}  // namespace

std::unique_ptr<CJSONReturn> Registry::importRegistry(StackFrame& args) {
  const RegistryMethodRow& declared = RegistryMethod("importRegistry");
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  const std::wstring source = args.Count() >= 1 ? args.TextAt(0) : L"";
  call.Input(L"filetoimport", source);
  if (args.Count() < 1) {
    call.ArgumentError(pe::kInvalidParameter, declared.argumentMessage);
    return call.Finish(std::move(result));
  }
  if (!ImportableName(source)) {
    call.SetError(pe::kInvalidParameter);
    FrameworkLog::Instance().Write(LogLevel::Error, L"Invalid file path passed to import registry : %s", source.c_str());
    return call.Finish(std::move(result));
  }
  call.Run(
      [&] {
        ImportFolder folder(GetResultStore());
        int32_t code = folder.Create();
        if (code == 0) code = folder.Download(source);
        std::wstring file = folder.path() + L"\\" + LastElement(source);
        if (code == 0 && EndsWithNoCase(file, L".cab")) {
          code = folder.Extract(file);
          const std::wstring cabinet = LastElement(source);
          file = folder.path() + L"\\" + cabinet.substr(0, cabinet.size() - 4) + L".reg";
        }
        if (code == 0 && !Exists(file)) {
          FrameworkLog::Instance().Write(LogLevel::Error, L"Registry file to import is missing: File %s", file.c_str());
          code = pe::kApiFailed;
        }
        if (code == 0 && !RunRegedit(file)) code = kImportFailed;
        call.SetError(code);
      },
      declared.exceptionMessage);
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> Registry::importRegistryAndPermissionSet(StackFrame& args) {
  const RegistryMethodRow& declared = RegistryMethod("importRegistryAndPermissionSet");
  PluginCall call = BeginCall(__func__, errorcode_);
  auto result = std::make_unique<CJSONReturn>();
  const bool enough = args.Count() >= 3;
  const std::wstring source = enough ? args.TextAt(0) : L"";
  const std::wstring account = enough ? args.TextAt(1) : L"";
  const std::wstring toImport = enough ? args.TextAt(2) : L"";
  call.Input(L"key", key)
      .Input(L"filetoimport", toImport)
      .Input(L"filetodownloadandextract", source)
      .Input(L"accountnamevalue", account);
  if (!enough) {
    call.ArgumentError(pe::kInvalidParameter, declared.argumentMessage);
    return call.Finish(std::move(result));
  }
  if (key.empty() || toImport.empty() || source.empty() || account.empty() ||
      !ImportableName(source)) {
    call.SetError(pe::kInvalidParameter);
    FrameworkLog::Instance().Write(LogLevel::Error, L"Invalid registry key, file to import, URL to download or account name passed to "
             L"import registry and permission set : %s, %s",
             source.c_str(), account.c_str());
    return call.Finish(std::move(result));
  }
  call.Run(
      [&] {
        ImportFolder folder(GetResultStore());
        int32_t code = folder.Create();
        if (code == 0) code = folder.Download(source);
        std::wstring file = toImport;
        const std::wstring downloaded = folder.path() + L"\\" + LastElement(source);
        if (code == 0 && EndsWithNoCase(downloaded, L".cab")) {
          code = folder.Extract(downloaded);
          file = folder.path() + L"\\" + toImport;
        }
        if (code == 0 && !Exists(file)) {
          FrameworkLog::Instance().Write(LogLevel::Error, L"Registry file to import is missing: File %s", file.c_str());
          code = pe::kApiFailed;
        }
        if (code == 0 && !RunRegedit(file)) {
          FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to import registry for file %s", file.c_str());
          code = kImportFailed;
        }
        if (code == 0) {
          platform::IMachine* machine = platform::currentMachine();
          if (!machine) throw std::runtime_error("no machine");
          ACLHelper acl(machine->registry());
          code = acl.SetPermission(SecurityObjectName(key), ACLHelper::SE_REGISTRY_KEY, account,
                                   ACLHelper::TRUSTEE_IS_NAME, kFullAccess, platform::SET_ACCESS,
                                   platform::CONTAINER_INHERIT_ACE);
          if (code != 0)
            FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to import registry and permission failed. Error code %ld",
                     static_cast<long>(code));
        }
        call.SetError(code);
      },
      declared.exceptionMessage);
  return call.Finish(std::move(result));
}

}  // namespace zorel
