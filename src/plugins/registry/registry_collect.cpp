// Registry::collect: a key (or one value of it) saved under the result
// store's collection folder by the system's reg.exe, and recorded in
// COLLECTION_TABLE, each key exported once.
//
// Nesting: a whole-key collection encloses the keys and values below it in
// the same view; a value collection encloses nothing. A call enclosed by an
// earlier row exports nothing, takes that row's file and changes no other
// row. Otherwise the export runs first, and only when it gives 0 are the
// rows it encloses re-pointed to the new file and their old files deleted.
// Each row's view and kind are kept for the run (a row from before, of
// unknown kind, counts as a whole key in the 64-bit view). The file names
// come from one counter for the worker's life; reg export is told to
// overwrite (/y), so a file left by an earlier run is replaced, not kept.
//
// collect writes its operation record itself rather than through
// PluginCall: the collection row refers to the record's ID.

#include <cwctype>
#include <filesystem>
#include <map>

#include "zorel/plugins/common/store_folder.h"
#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"
#include "zorel/platform/machine/shell_folders.h"
#include "zorel/platform/process/command_line.h"
#include "zorel/platform/process/process.h"
#include "zorel/platform/process/sync.h"
#include "zorel/platform/system/version_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/input_details.h"
#include "zorel/plugins/common/plugin_returns.h"
#include "zorel/plugins/registry/registry.h"
#include "zorel/plugins/registry/registry_helper.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/data_table.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

namespace pe = plugin_error;

namespace {

constexpr const wchar_t* kRelativeFolder = L"collection\\registry\\";

// What the run knows of each registry collection row.
struct RowFacts {
  bool wholeKey = true;
  bool is32 = false;
  std::wstring key;  // the key part of SOURCE, root spelled canonically
};

// Process-wide: the file counter and the rows this run made.
struct CollectState {
  uint32_t counter = 0;
  std::map<int32_t, RowFacts> rows;
};

CollectState& State() {
  static CollectState state;
  return state;
}

std::wstring Upper(std::wstring text) {
  for (wchar_t& c : text) c = static_cast<wchar_t>(std::towupper(c));
  return text;
}

// A key text compared as Windows names it: the root in full, upper case,
// no trailing separators.
std::wstring CanonicalKey(const std::wstring& key) {
  std::wstring text = Upper(key);
  while (!text.empty() && text.back() == L'\\') text.pop_back();
  const size_t slash = text.find(L'\\');
  std::wstring root = text.substr(0, slash);
  const std::wstring rest = slash == std::wstring::npos ? L"" : text.substr(slash);
  if (root == L"HKLM") root = L"HKEY_LOCAL_MACHINE";
  else if (root == L"HKCU") root = L"HKEY_CURRENT_USER";
  else if (root == L"HKCR") root = L"HKEY_CLASSES_ROOT";
  else if (root == L"HKCC") root = L"HKEY_CURRENT_CONFIG";
  else if (root == L"HKUS") root = L"HKEY_USERS";
  return root + rest;
}

bool SameOrInside(const std::wstring& key, const std::wstring& outer) {
  return key == outer ||
         (key.size() > outer.size() && key.compare(0, outer.size(), outer) == 0 &&
          key[outer.size()] == L'\\');
}

std::wstring FileNameOf(const std::wstring& destination) {
  const size_t slash = destination.find_last_of(L"\\/");
  return slash == std::wstring::npos ? destination : destination.substr(slash + 1);
}

// The machine's host path for a Windows path; empty when it has none.
std::string HostPath(const std::wstring& windows) {
  platform::IMachine* machine = platform::currentMachine();
  std::string host;
  if (!machine || machine->paths().toHostPath(windows, host) != 0) return {};
  return host;
}

// Runs reg.exe for the export or query form into `file` (a Windows path).
std::unique_ptr<CJSONReturn> Export(RegistryHelper& helper, const std::wstring& key,
                                    const std::wstring& value, bool is32,
                                    const std::wstring& folder, const std::wstring& file) {
  helper.SetKey(key);
  helper.Set32Bit(is32);
  auto result = helper.IsKeyPresent();
  if (!result->status || !result->returnValue) return result;
  result = std::make_unique<CJSONReturn>();
  try {
    platform::IMachine* machine = platform::currentMachine();
    std::wstring system;
    const bool wow64 = is32 && machine->versionInfo().is64BitOperatingSystem();
    if (machine->specialFolders().getFolderPath(
            wow64 ? platform::CSIDL_SYSTEMX86 : platform::CSIDL_SYSTEM, system) != 0 ||
        system.empty()) {
      result->errorcode = pe::kApiFailed;
      FrameworkLog::Instance().Write(LogLevel::Error, L"Getting exporting reg binary path failed");
      return result;
    }
    // A quote cannot be passed inside a quoted argument to reg.
    if (key.find(L'"') != std::wstring::npos || value.find(L'"') != std::wstring::npos) {
      result->errorcode = pe::kInvalidParameter;
      return result;
    }
    std::error_code ec;
    std::filesystem::create_directories(HostPath(folder), ec);
    const std::wstring reg = system + L"\\reg.exe";
    std::wstring line;
    if (value.empty()) {
      line = reg + L" export " + platform::quoteArgument(key, true) + L" " +
             platform::quoteArgument(file, true) + L" /y";
    } else {
      line = L"cmd /c " + reg + L" query " + platform::quoteArgument(key, true) + L" /v " +
             platform::quoteArgument(value, true) + L" > " + platform::quoteArgument(file, true);
    }
    platform::ProcessStartOptions options;
    options.creationFlags = platform::CREATE_NO_WINDOW;
    std::unique_ptr<platform::IProcess> process;
    const platform::WinError e = platform::createProcess(line, options, &process);
    if (e != 0) {
      result->errorcode = e;
      FrameworkLog::Instance().Write(LogLevel::Error, L"Error while creating process %s - %s", system.c_str(),
               GetErrorMessage(e).c_str());
      return result;
    }
    result->status = true;
    process->wait(platform::kInfinite);
    result->errorcode = static_cast<int32_t>(process->exitCode());
  } catch (...) {
    result->status = false;
    result->errorcode = pe::kApiFailed;
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured in collecting registry key");
  }
  return result;
}

}  // namespace

std::unique_ptr<CJSONReturn> Registry::collect(StackFrame&) {
  const RegistryMethodRow& declared = RegistryMethod("collect");
  OperationStore record(&GetErrorMessage);
  BeginRecord(__func__, record);
  std::unique_ptr<CJSONReturn> result = std::make_unique<CJSONReturn>();
  IResultStore* store = GetResultStore();
  std::wstring fileName;
  try {
    if (key.empty()) {
      FrameworkLog::Instance().Write(LogLevel::Error, L"%s", declared.argumentMessage);
      result->errorcode = pe::kInvalidParameter;
    } else if (!store) {
      // Without a store there is no collection folder to write to.
      FrameworkLog::Instance().Write(LogLevel::Error, L"%s", declared.exceptionMessage);
      result->errorcode = pe::kApiFailed;
    } else {
      CollectState& state = State();
      fileName = L"regnode" + std::to_wstring(++state.counter) + L".reg";
      const std::wstring canonical = CanonicalKey(key);
      const bool wholeKey = value.empty();

      DataTable rows;
      store->ExecuteQuery(L"select * from collection_table where collection_type=0", rows);
      struct Row {
        int32_t id, operationId;
        std::wstring source, destination;
        RowFacts facts;
      };
      std::vector<Row> known;
      for (size_t i = 0; i < rows.RowCount(); ++i) {
        Row row{};
        rows.Row(i).GetInt(L"ID", row.id);
        rows.Row(i).GetInt(L"OPERATION_ID", row.operationId);
        rows.Row(i).GetString(L"SOURCE", row.source);
        rows.Row(i).GetString(L"DESTINATION", row.destination);
        auto it = state.rows.find(row.id);
        if (it != state.rows.end()) row.facts = it->second;
        else row.facts = RowFacts{true, false, CanonicalKey(row.source)};
        known.push_back(row);
      }
      const Row* enclosing = nullptr;
      for (const Row& row : known) {
        if (row.facts.wholeKey && row.facts.is32 == is32bit &&
            SameOrInside(canonical, row.facts.key)) {
          enclosing = &row;
          break;
        }
      }
      const std::wstring folder = WindowsStoreFolder(*store);
      if (folder.empty()) throw std::runtime_error("no store folder");
      if (enclosing) {
        fileName = FileNameOf(enclosing->destination);
      } else {
        result = Export(Helper(), key, value, is32bit, folder + kRelativeFolder,
                        folder + kRelativeFolder + fileName);
        if (result->errorcode == 0 && wholeKey) {
          DataTable update;
          CreateCollectionTable(update);
          std::vector<std::wstring> oldFiles;
          for (Row& row : known) {
            if (row.facts.is32 != is32bit || !SameOrInside(row.facts.key, canonical)) continue;
            oldFiles.push_back(FileNameOf(row.destination));
            row.destination = kRelativeFolder + fileName;
            auto r = update.NewRow();
            r->Set(L"ID", row.id);
            r->Set(L"OPERATION_ID", row.operationId);
            r->Set(L"COLLECTION_TYPE", CollectionType::kRegistry);
            r->Set(L"SOURCE", row.source);
            r->Set(L"DESTINATION", row.destination);
            r->Set(L"SIZE", 0);
            r->Set(L"ISDB", false);
            r->Set(L"ISIMPORTANT", true);
            update.AddRow(std::move(r));
          }
          if (update.RowCount() > 0) {
            store->Update(update);
            // An old file goes only when no row names it any more.
            for (const std::wstring& old : oldFiles) {
              bool named = old == fileName;
              for (const Row& row : known) named = named || FileNameOf(row.destination) == old;
              if (!named) {
                std::error_code ec;
                std::filesystem::remove(HostPath(folder + kRelativeFolder + old), ec);
              }
            }
          }
        }
      }
    }
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"%s", declared.exceptionMessage);
    result = std::make_unique<CJSONReturn>();
    result->errorcode = pe::kApiFailed;
  }
  errorcode_ = result->errorcode;
  InputDetails inputs;
  inputs.Add(L"key", key).Add(L"value", value).Add(L"is32bit", is32bit ? L"true" : L"false");
  record.Finish(inputs.Text(), result->errorcode == 0 ? 1 : 0, result->errorcode);
  if (store) store->Insert(record.Table());
  if (result->errorcode == 0 && store && record.Table().RowCount() == 1) {
    int32_t operationId = 0;
    record.Table().Row(0).GetInt(L"ID", operationId);
    DataTable collection;
    CreateCollectionTable(collection);
    const std::wstring source = value.empty() ? key : key + L"\\" + value;
    AddCollectionRow(collection, operationId, CollectionType::kRegistry, source,
                     kRelativeFolder + fileName, 0, false, true);
    if (store->Insert(collection) && collection.RowCount() == 1) {
      int32_t id = 0;
      collection.Row(0).GetInt(L"ID", id);
      State().rows[id] = RowFacts{value.empty(), is32bit, CanonicalKey(key)};
    }
  }
  return result;
}

}  // namespace zorel
