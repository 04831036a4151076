// File plug-in: the pattern walk, removeFile and collectFileInfo.
//
// The walk lists the files of a folder that match the pattern (as
// FindFirstFileW matches names), deletes or describes each, and descends
// into subfolders when asked. Symbolic links to folders are not entered, so
// a link cannot lead the walk in circles or out of the tree. A named pipe,
// a socket or a device that matches is never opened, described or deleted:
// it answers ERROR_ACCESS_DENIED, as Windows answers for a device path.

#include <cstdio>
#include <ctime>
#include <vector>

#include "file_log.h"
#include "file_paths.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/files.h"
#include "zorel/platform/fs/pe_version.h"
#include "zorel/platform/fs/wildcard.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/file/file.h"
#include "zorel/store/result_store_interface.h"

namespace zorel {

using namespace file_detail;
namespace pe = plugin_error;
namespace files = platform::files;

struct File::SearchRecord {
  std::wstring output;               // the CSV file; empty in delete mode
  std::wstring pattern;             // file-name pattern, * and ? allowed
  std::wstring root;                // where the walk started; never removed
  bool recursive = false;
  bool skipSystemFolders = false;
  bool deleteMode = false;
  bool wroteLine = false;           // at least one CSV line was written
  int32_t lastDeletion = 0;         // outcome of the last deletion
};

namespace {

// Folders Windows keeps for itself that a collection need not enter.
bool IsSystemFolder(const std::wstring& name) {
  if (name.size() >= 2 && name.front() == L'$' && name.back() == L'$') return true;
  const std::wstring lower = Lower(name);
  return lower == L"dllcache" || lower == L"servicepackfiles" || lower == L"i386" ||
         lower == L"~ettemp";
}

// The entries of a folder; none when it cannot be listed.
std::vector<files::FolderEntry> ListFolder(const std::wstring& folder) {
  std::vector<files::FolderEntry> entries;
  files::listFolder(folder, entries);
  return entries;
}

// A real folder, not a link to one: the walk enters it, and it is no match
// (a link to a folder counts as a file, as its attributes are not exactly
// FILE_ATTRIBUTE_DIRECTORY).
bool IsFolder(const files::FolderEntry& entry) {
  return entry.type == platform::FileType::kFolder && !entry.link;
}

// "%02d/%02d/%d  %02d:%02d" of the local time, then ",".
std::string LocalTimeField(int64_t seconds) {
  std::time_t t = static_cast<std::time_t>(seconds);
  std::tm local{};
  if (!localtime_r(&t, &local)) return ",";
  char text[64];
  std::snprintf(text, sizeof text, "%02d/%02d/%d  %02d:%02d,", local.tm_mon + 1, local.tm_mday,
                local.tm_year + 1900, local.tm_hour, local.tm_min);
  return text;
}

std::string VersionFields(const std::wstring& path) {
  platform::VersionResource version;
  if (files::fileVersionResource(path, version) != 0) return ",,,,,,";
  static const wchar_t* const kKeys[] = {L"FileVersion", L"ProductVersion", L"FileDescription",
                                         L"ProductName", L"Comments", L"PrivateBuild",
                                         L"SpecialBuild"};
  for (const auto& [language, codePage] : version.translations) {
    std::wstring value;
    if (!version.queryString(language, codePage, L"FileVersion", value)) continue;
    std::string fields;
    for (const wchar_t* key : kKeys) {
      if (version.queryString(language, codePage, key, value))
        fields += "\"" + toUtf8(value) + "\"";
      fields += ",";
    }
    return fields;
  }
  return ",,,,,,";
}

}  // namespace

void File::describeMatch(const std::wstring& path, SearchRecord& search) {
  try {
    uint32_t attributes = 0;
    platform::FileTimes times;
    if (files::fileAttributes(path, attributes) != 0 || files::fileTimes(path, times) != 0) {
      LogError(L"Unable to read the file %s attribute", path.c_str());
      return;
    }
    std::string line = toUtf8(path) + ",";
    line += LocalTimeField(times.creation);
    line += LocalTimeField(times.lastAccess);
    line += LocalTimeField(times.lastWrite);
    static const struct {
      uint32_t bit;
      char letter;
    } kLetters[] = {{platform::FILE_ATTRIBUTE_READONLY, 'R'}, {platform::FILE_ATTRIBUTE_HIDDEN, 'H'},
                    {platform::FILE_ATTRIBUTE_SYSTEM, 'S'}, {platform::FILE_ATTRIBUTE_ARCHIVE, 'A'},
                    {platform::FILE_ATTRIBUTE_COMPRESSED, 'C'},
                    {platform::FILE_ATTRIBUTE_ENCRYPTED, 'E'}};
    for (const auto& l : kLetters)
      if (attributes & l.bit) line += l.letter;
    line += ",";
    line += VersionFields(path);
    line += "\n";
    if (int32_t code = files::appendToFile(search.output, line)) {
      errorcode = code;
      return;
    }
    search.wroteLine = true;
    errorcode = 0;
  } catch (...) {
    if (errorcode == 0) errorcode = pe::kApiFailed;
    LogError(L"Exception Occured during WriteFileInfoString");
  }
}

void File::walk(const std::wstring& folder, SearchRecord& search) {
  try {
    // A pattern may carry folders of its own ("logs\*.txt").
    std::wstring matchFolder = folder;
    std::wstring namePattern = search.pattern;
    const size_t slash = namePattern.find_last_of(L"\\/");
    if (slash != std::wstring::npos) {
      matchFolder = folder + L"\\" + namePattern.substr(0, slash);
      namePattern = namePattern.substr(slash + 1);
    }
    try {
      for (const files::FolderEntry& entry : ListFolder(matchFolder)) {
        if (IsFolder(entry) || !platform::matchesFilePattern(entry.name, namePattern)) continue;
        matchFlag = 1;
        const std::wstring path = matchFolder + L"//" + entry.name;
        if (entry.type == platform::FileType::kSpecial) {
          // Never opened nor deleted; in delete mode access denied counts
          // as done, as for any protected file.
          LogFileError(path, platform::ERROR_ACCESS_DENIED);
          errorcode = search.deleteMode ? 0 : platform::ERROR_ACCESS_DENIED;
          if (search.deleteMode) search.lastDeletion = 0;
        } else if (search.deleteMode) {
          int32_t code = files::deleteFile(path);
          // What Windows answers for files in use or protected counts as
          // done: the walk goes on and the script is not failed for it.
          if (code == platform::ERROR_ACCESS_DENIED || code == platform::ERROR_SHARING_VIOLATION ||
              code == platform::ERROR_BAD_PATHNAME)
            code = 0;
          errorcode = code;
          search.lastDeletion = code;
        } else {
          describeMatch(path, search);
        }
      }
    } catch (...) {
      LogError(L"Exception occured during searching file %s",
               (matchFolder + L"\\" + namePattern).c_str());
    }
    if (search.recursive) {
      for (const files::FolderEntry& entry : ListFolder(folder)) {
        if (!IsFolder(entry)) continue;
        if (search.skipSystemFolders && IsSystemFolder(entry.name)) continue;
        walk(folder + L"\\" + entry.name, search);
      }
    }
    if (search.deleteMode && folder != search.root)
      files::removeDirectory(folder);  // only succeeds once it is empty
  } catch (...) {
    LogError(L"Exception occured during searchin file %s inside directory %s",
             search.pattern.c_str(), folder.c_str());
  }
}

std::unique_ptr<CJSONReturn> File::removeFile(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  matchFlag = 0;
  const bool recursive = args.Count() >= 1 && args.BoolAt(0);
  call.Input(L"foldername", foldername).Input(L"filename", filename)
      .Input(L"isrecursive", TitleBool(recursive));
  if (foldername.empty() || filename.empty() || args.Count() < 1) {
    call.SetError(pe::kInvalidParameter);
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    const std::wstring path = foldername + L"//" + filename;
    int32_t code = 0;
    if (QueryStatus(path, code) == PathType::kDirectory) {
      call.SetError(pe::kPathIsFolder);
      LogError(L"File path [ %s ] to remove file is a directory", path.c_str());
      return;
    }
    if (recursive && files::isDriveRoot(foldername)) {
      // Emptying a whole drive (Z:\ is the host's own /) is never a check's
      // business.
      call.SetError(platform::ERROR_ACCESS_DENIED);
      LogError(L"File path [ %s ] to remove file is a directory", path.c_str());
      return;
    }
    SearchRecord search;
    search.pattern = filename;
    search.root = foldername;
    search.recursive = recursive;
    search.deleteMode = true;
    walk(foldername, search);
    call.SetError(matchFlag ? search.lastDeletion : 0);
  }, nullptr);
  if (call.ErrorCode() == pe::kApiFailed) LogError(L"Operation faild due to exception");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::collectFileInfo(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  call.Input(L"foldername", foldername).Input(L"filename", filename);
  if (args.Count() <= 1) {
    call.ArgumentError(pe::kInvalidParameter, L"Invalid parameter passed to file collection");
    return call.Finish(std::move(result));
  }
  const std::wstring output = args.TextAt(0);
  const bool recursive = args.BoolAt(1);
  const bool skip = args.Count() >= 3 && args.BoolAt(2);
  call.Input(L"outputfilename", output).Input(L"isrecursive", TitleBool(recursive));
  if (args.Count() >= 3) call.Input(L"ismerfilter", TitleBool(skip));
  if (filename.empty() || foldername.empty()) {
    call.ArgumentError(pe::kInvalidParameter, L"File-Name and Folder-Name can't be empty");
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    const std::wstring name = output.empty() ? L"Common.csv" : output;
    // The CSV file stays in the collection folder: a name with folders of
    // its own could put it anywhere on the machine.
    if (name.find_first_of(L"\\/:") != std::wstring::npos || name == L"." || name == L"..") {
      call.SetError(platform::ERROR_INVALID_NAME);
      LogError(L"Failed to open a .csv file");
      return;
    }
    IResultStore* store = GetResultStore();
    std::string hostFolder;
    int32_t code = store ? StoreFolderToHost(store->GetStoreFolder(), hostFolder)
                         : platform::ERROR_PATH_NOT_FOUND;
    const std::wstring csvFolder = files::windowsPath(hostFolder) + L"\\collection\\FileVersion";
    const std::wstring csv = csvFolder + L"\\" + name;
    if (code == 0) code = files::createFolders(csvFolder);
    // Opened for appending once here, so a file that cannot be written
    // fails the call before the walk.
    if (code == 0) code = files::appendToFile(csv, {});
    if (code != 0) {
      call.SetError(code);
      LogError(L"Failed to open a .csv file");
      return;
    }
    SearchRecord search;
    search.output = csv;
    search.pattern = filename;
    search.root = foldername;
    search.recursive = recursive;
    search.skipSystemFolders = skip;
    walk(foldername, search);
    if (search.wroteLine) call.SetError(0);
  }, L"Exception Occured during collecting file info");
  return call.Finish(std::move(result));
}

}  // namespace zorel
