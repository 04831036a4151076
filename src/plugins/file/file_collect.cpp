// File plug-in: collect, which asks the result store to pack a file, a
// file pattern or a folder at packaging time, and FILE_COLLECTION_TABLE,
// which keeps the recursion and filter flags of such a request.
//
// The source folder is made a full path first ("C:\a\b\.." is C:\a), so
// neither the destination nor the names packaging stores below it can
// climb out of the collection folder.
//
// collect writes its operation record itself rather than through
// PluginCall: the collection row refers to the record's ID, and the
// method's error code lives in its answer only, not in the plug-in's
// errorcode property.

#include <vector>

#include "file_log.h"
#include "zorel/platform/fs/files.h"
#include "zorel/platform/fs/wildcard.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/input_details.h"
#include "zorel/plugins/file/file.h"
#include "zorel/store/collection_tables.h"
#include "zorel/store/data_column.h"
#include "zorel/store/data_table.h"
#include "zorel/store/operation_store.h"
#include "zorel/store/result_store_interface.h"
#include "zorel/store/store.h"

namespace zorel {

using namespace file_detail;
namespace pe = plugin_error;
namespace files = platform::files;
using platform::hasWildcard;

void CreateFileCollectionTable(DataTable& table) {
  table.SetName(L"FILE_COLLECTION_TABLE");
  table.AddColumn(L"ID", ColumnType::kInteger, kUniqueGroup);
  table.AddColumn(L"isRecursive", ColumnType::kBoolean);
  table.AddColumn(L"merFilter", ColumnType::kBoolean);
}

namespace {

// A destination inside the cabinet must stay below the collection folder,
// as extraction requires of every stored name: no ".." element and no drive
// (no ':' anywhere).
bool LeavesCollection(const std::wstring& name) {
  if (name.find(L':') != std::wstring::npos) return true;
  size_t start = 0;
  while (start <= name.size()) {
    size_t end = name.find_first_of(L"\\/", start);
    if (end == std::wstring::npos) end = name.size();
    if (name.compare(start, end - start, L"..") == 0) return true;
    start = end + 1;
  }
  return false;
}

std::wstring LastPathElement(std::wstring path) {
  while (!path.empty() && (path.back() == L'\\' || path.back() == L'/')) path.pop_back();
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

bool FolderIsEmpty(const std::wstring& folder) {
  std::vector<files::FolderEntry> entries;
  return files::listFolder(folder, entries) == 0 && entries.empty();
}

}  // namespace

std::unique_ptr<CJSONReturn> File::collect(StackFrame& args) {
  OperationStore record(&GetErrorMessage);
  BeginRecord(__func__, record);
  auto result = std::make_unique<CJSONReturn>();
  InputDetails inputs;
  int32_t code = 0;
  const bool fileForm = !filename.empty();
  std::wstring source, destination;
  bool recursive = false, skip = false;
  int32_t type = fileForm ? CollectionType::kFile : CollectionType::kFolder;

  try {
    if (args.Count() < 2 || (filename.empty() && foldername.empty()) ||
        (args.Count() >= 1 && LeavesCollection(args.TextAt(0)))) {
      LogError(L"Invalid parameter passed to file collection");
      code = pe::kInvalidParameter;
    } else {
      const std::wstring name = args.TextAt(0);
      recursive = args.BoolAt(1);
      skip = args.Count() == 3 && args.BoolAt(2);
      // Lexically, as GetFullPathNameW: the case and the wildcards stay.
      std::wstring full;
      if (files::fullPathName(fileForm ? foldername + L"\\" + filename : foldername, full) != 0)
        full = fileForm ? foldername + L"\\" + filename : foldername;
      if (fileForm) {
        source = full;
        destination = L"collection\\file";
        if (!name.empty()) destination += L"\\" + name;
      } else {
        source = full;
        destination = L"collection\\folder\\";
        if (!name.empty()) destination += name + L"\\";
        destination += LastPathElement(source);
      }
      while (!destination.empty() && destination.back() == L'\\') destination.pop_back();
      if (LeavesCollection(destination)) {
        // A drive root has no name to store its files under.
        LogError(L"Invalid parameter passed to file collection");
        code = pe::kInvalidParameter;
      } else if (!recursive && !hasWildcard(source)) {
        if (files::pathFileExists(source) != 0) {
          LogError(L"Path not exist for file collection: %s", source.c_str());
          code = platform::ERROR_PATH_NOT_FOUND;
        } else if (!fileForm && FolderIsEmpty(source)) {
          code = pe::kFolderEmpty;
        }
      }
    }
  } catch (...) {
    LogError(L"Exception occured during file collection");
    code = pe::kApiFailed;
  }
  if (!source.empty()) {
    inputs.Add(fileForm ? L"filename" : L"foldername", source);
    inputs.Add(L"RelativePath", destination);
    inputs.Add(L"isRecursive", LowerBool(recursive));
    inputs.Add(L"merFilter", LowerBool(skip));
  }
  record.Finish(inputs.Text(), code == 0 ? 1 : 0, code);
  IResultStore* store = GetResultStore();
  if (store) store->Insert(record.Table());

  if (code == 0 && store && record.Table().RowCount() == 1) {
    int32_t operationId = 0;
    record.Table().Row(0).GetInt(L"ID", operationId);
    DataTable collection;
    CreateCollectionTable(collection);
    AddCollectionRow(collection, operationId, type, source, destination, 0, false, true);
    if (store->Insert(collection) && (recursive || hasWildcard(source))) {
      int32_t collectionId = 0;
      collection.Row(0).GetInt(L"ID", collectionId);
      DataTable flags;
      CreateFileCollectionTable(flags);
      auto row = flags.NewRow();
      row->Set(L"ID", collectionId);
      row->Set(L"isRecursive", recursive);
      row->Set(L"merFilter", skip);
      flags.AddRow(std::move(row));
      store->RegisterStore(flags);
      store->Insert(flags);
    }
  }
  result->errorcode = code;
  return result;
}

}  // namespace zorel
