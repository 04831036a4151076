// The File plug-in: construction, method table, presence tests, file and
// disk information, folder listing, the regular-expression search, folder
// removal and renaming. Edits, downloads and the pattern walks are in the
// file_<area>.cpp files beside this one.

#include "zorel/plugins/file/file.h"

#include <boost/regex.hpp>

#include <cstdio>
#include <stdexcept>
#include <vector>

#include "file_log.h"
#include "file_paths.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/file_attributes.h"
#include "zorel/platform/fs/files.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/system/system_info.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"

namespace zorel {

using namespace file_detail;
namespace pe = plugin_error;
namespace files = platform::files;

namespace {

constexpr size_t kMaxPath = 260;                      // MAX_PATH
constexpr int32_t kBufferOverflow = 111;              // ERROR_BUFFER_OVERFLOW
// The regular-expression search reads the whole file; beyond this size the
// search fails like any other exception instead of exhausting memory.
constexpr uint64_t kMaxSearchBytes = uint64_t{512} << 20;

// The last element of a Windows path (after its last separator).
std::wstring LastElement(const std::wstring& path) {
  size_t slash = path.find_last_of(L"\\/");
  return slash == std::wstring::npos ? path : path.substr(slash + 1);
}

// The extension with its point, as the filesystem library gives it: empty
// for "." and ".." and names without a point.
std::wstring Extension(const std::wstring& path) {
  std::wstring name = LastElement(path);
  if (name == L"." || name == L"..") return L"";
  size_t dot = name.rfind(L'.');
  return dot == std::wstring::npos ? L"" : name.substr(dot);
}

}  // namespace

std::unique_ptr<CMethodDispatcher> CreateFilePlugin(StackFrame& args) {
  return std::make_unique<File>(args);
}

namespace {

using enum ValueType;
constexpr OperationType kQuery = OperationType::kQuery;
constexpr OperationType kChange = OperationType::kChange;
constexpr OperationType kCollect = OperationType::kCollect;

constexpr PluginArgument kRecursive{"recursive", kBoolean, false, "true: descend into subfolders"};
constexpr PluginArgument kSkipSystem{"skipSystemFolders", kBoolean, true,
                                     "true: do not descend into $...$, dllcache, "
                                     "ServicePackFiles, i386 and ~ETTEMP"};

// The File object's methods, in the order the script's method table lists them.
constinit const PluginMethod kMethods[] = {
    {"isFilePresent", MethodOf<&File::isFilePresent>, kQuery, {L"foldername", L"filename"},
     {.summary = "Whether foldername\\filename exists.",
      .reads = "foldername, filename",
      .fills = "status, return",
      .errors = {2, 3, 87, 111, kSystemErrors}}},
    {"isFolderPresent", MethodOf<&File::isFolderPresent>, kQuery, {L"foldername"},
     {.summary = "Whether foldername exists and is a folder.",
      .reads = "foldername",
      .fills = "status, return",
      .errors = {2, 3, kSystemErrors}}},
    {"removeFile", MethodOf<&File::removeFile>, kChange,
     {L"foldername", L"filename", L"isrecursive"},
     {.summary = "Deletes the files in foldername whose names match filename (* and ? allowed).",
      .arguments = {{kRecursive}},
      .reads = "foldername, filename",
      .errors = {3, 5, 87, 20002, 20016, kSystemErrors}}},
    {"deleteFolder", MethodOf<&File::deleteFolder>, kChange, {L"foldername", L"isRecursive"},
     {.summary = "Deletes foldername: only when empty, or with everything in it.",
      .arguments = {{{"recursive", kBoolean, false, "true: delete what it holds first"}}},
      .reads = "foldername",
      .fills = "status",
      .errors = {20023, kSystemErrors}}},
    {"renameFile", MethodOf<&File::renameFile>, kChange,
     {L"foldername", L"filename", L"neeFileName"},
     {.summary = "Renames foldername\\filename within its folder.",
      .arguments = {{{"newName", kText, false, "the new file name"}}},
      .reads = "foldername, filename",
      .fills = "status",
      .errors = {87, 20023, kSystemErrors}}},
    {"isRegExExistInFile", MethodOf<&File::isRegExExistInFile>, kQuery,
     {L"foldername", L"filename", L"RegEx"},
     {.summary = "Whether a line of the file matches the regular expression: errorcode 0 when "
                 "one does.",
      .arguments = {{{"pattern", kText, false, "a regular expression"}}},
      .reads = "foldername, filename",
      .fills = "status, return",
      .errors = {2, 14, 20016, 20020, 20023, 30056, kSystemErrors}}},
    // The first key is "filename" for a file, "foldername" for a folder.
    {"collect", MethodOf<&File::collect>, kCollect,
     {L"filename", L"RelativePath", L"isRecursive", L"merFilter"},
     {.summary = "Adds a file, a file pattern or a folder to the run's collection (copied into "
                 "collection.cab when the run is packed).",
      .arguments = {{{"destination", kText, false, "the path inside the collection"},
                     kRecursive,
                     {"skipSystemFolders", kBoolean, true,
                      "read only when exactly three arguments are given"}}},
      .reads = "foldername, filename",
      .errors = {3, 87, 20003, 20016, kSystemErrors}}},
    {"downloadFile", MethodOf<&File::downloadFile>, kChange, {L"URL", L"DownloadLocation"},
     {.summary = "Downloads a URL into a folder, under the URL's last path element.",
      .arguments = {{{"url", kText, false, "what to download"},
                     {"folder", kText, false, "an existing folder to put it in"}}},
      .fills = "status",
      .errors = {87, 20001, 20004, 20023}}},
    {"getFileInfo", MethodOf<&File::getFileInfo>, kQuery, {L"foldername", L"filename"},
     {.summary = "Size, times, type and attributes of foldername\\filename.",
      .reads = "foldername, filename",
      .answer = AnswerKind::kFileInfo,
      .fills = "status, filetype, size, disksize, createdtime, modifiedtime, isreadonly, "
               "ishidden",
      .errors = {87, 20008, 20009, kSystemErrors}}},
    {"getDiskInfo", MethodOf<&File::getDiskInfo>, kQuery, {L"DiskName"},
     {.summary = "Total, used and free space (GB) of the volume holding a path.",
      .arguments = {{{"path", kText, false, "a path on the volume, e.g. C:\\"}}},
      .answer = AnswerKind::kDiskInfo,
      .fills = "status, totalspace, usedspace, freespace",
      .errors = {3, 20023, kSystemErrors}}},
    // Writes no operation record.
    {"getFolderContents", MethodOf<&File::getFolderContents>, kQuery, {},
     {.summary = "Prints the folder's entries on the program's standard output; answers the "
                 "empty text and writes no operation record.",
      .arguments = {{{"folder", kText, false, "the folder to list"}}},
      .answer = AnswerKind::kNone}},
    {"collectFileInfo", MethodOf<&File::collectFileInfo>, kCollect,
     {L"foldername", L"filename", L"outputfilename", L"isrecursive", L"ismerfilter"},
     {.summary = "Writes a CSV line (path, size, times, version) for each file in foldername "
                 "matching filename.",
      .arguments = {{{"outputFile", kText, false, "the CSV file's name; empty: Common.csv"},
                     kRecursive, kSkipSystem}},
      .reads = "foldername, filename",
      .errors = {3, 87, 123, 20016, kSystemErrors}}},
    {"findAndReplaceContent", MethodOf<&File::findAndReplaceContent>, kChange,
     {L"foldername", L"filename", L"findstring", L"prependorreplacestring",
      L"replaceentiresting"},
     {.summary = "Replaces a text in the file, or each whole line holding it.",
      .arguments = {{{"find", kText, false, "the text to find"},
                     {"replacement", kText, false, "what replaces it"},
                     {"wholeLine", kBoolean, false,
                      "true: replace each line holding the text (the last argument)"}}},
      .reads = "foldername, filename",
      .errors = {2, 87, 20016, kSystemErrors}}},
    {"create", MethodOf<&File::create>, kChange,
     {L"filename", L"foldername", L"filecontent", L"overwriteexistingfile"},
     {.summary = "Writes foldername\\filename with the given content.",
      .arguments = {{{"content", kText, false, "the file's text"},
                     {"overwrite", kBoolean, false,
                      "true: replace an existing file (the last argument)"}}},
      .reads = "foldername, filename",
      .errors = {3, 87, 20016, 30057}}},
    {"createCopy", MethodOf<&File::createCopy>, kChange, {L"SourcePath", L"DestinationePath"},
     {.summary = "Copies a file.",
      .arguments = {{{"source", kText, false, "the file to copy"},
                     {"destination", kText, false, "the new file's path"}}},
      .errors = {3, 87, 20016, kSystemErrors}}},
    {"extractCompressedFile", MethodOf<&File::extractCompressedFile>, kChange,
     {L"SourcePath", L"DestinationePath"},
     {.summary = "Extracts every file of a cabinet (.cab) into a folder.",
      .arguments = {{{"cabinet", kText, false, "the cabinet's path"},
                     {"destination", kText, false, "the folder to extract into"}}},
      .errors = {3, 87, 20016}}},
};

constinit const PluginProperty kProperties[] = {
    {"filename", kText, "a file name; the search methods accept * and ?"},
    {"foldername", kText, "a folder path"},
    {"driveletter", kText, "kept for the script; no method reads it"},
    {"errorcode", kNumber, kErrorCodeMeaning},
};

}  // namespace

constinit const PluginSurface File::kSurface{
    "File", File::kComponentPath, kMethods, kProperties,
    "Checks, reads, changes, searches, downloads and collects files and folders. Most methods "
    "work on foldername and filename."};

File::File(StackFrame& args) {
  RegisterSurface(kSurface);

  BindProperty("filename", filename);
  BindProperty("foldername", foldername);
  BindProperty("driveletter", driveletter);
  BindProperty("errorcode", errorcode);

  args.GetNamedText("filename", filename);
  args.GetNamedText("foldername", foldername);
  args.GetNamedText("driveletter", driveletter);
}

std::unique_ptr<CJSONReturn> File::isFilePresent(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  result->status = true;
  call.Input(L"foldername", foldername).Input(L"filename", filename);
  if (foldername.empty() || filename.empty()) {
    call.SetError(pe::kInvalidParameter);
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    const std::wstring path = foldername + L"\\" + filename;
    if (path.size() > kMaxPath) {
      result->status = false;
      call.SetError(kBufferOverflow);
      LogError(L"File : %s Error : %s", path.c_str(), GetErrorMessage(kBufferOverflow).c_str());
      return;
    }
    const int32_t code = files::pathFileExists(path);
    result->returnValue = code == 0;
    call.SetError(code);
    if (code != 0) {
      result->status = false;
      LogError(L"File : %s Error : %s", path.c_str(), GetErrorMessage(code).c_str());
    }
  }, L"Exception occured while checking the file presence.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::isFolderPresent(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  call.Input(L"foldername", foldername);
  call.Run([&] {
    int32_t code = 0;
    PathType type = QueryStatus(foldername, code);
    if (type == PathType::kStatusError || type == PathType::kNotFound) {
      result->status = false;
      call.SetError(code);
      LogError(L"Folder: %s Error : %s", foldername.c_str(), GetErrorMessage(code).c_str());
      return;
    }
    result->status = true;
    result->returnValue = type == PathType::kDirectory;
    if (!result->returnValue) {
      call.SetError(platform::ERROR_FILE_NOT_FOUND);
      LogError(L"Folder: %s Error : %s", foldername.c_str(),
               GetErrorMessage(platform::ERROR_FILE_NOT_FOUND).c_str());
    }
  }, L"Exception occured while checking the folder presence.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::deleteFolder(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  call.Input(L"foldername", foldername);
  if (args.Count() != 1) {
    call.SetError(pe::kInsufficientArguments);
    return call.Finish(std::move(result));
  }
  const bool recursive = args.PopBool();
  call.Input(L"isRecursive", LowerBool(recursive));
  call.Run([&] {
    int32_t code = 0;
    PathType type = QueryStatus(foldername, code);
    if (type != PathType::kDirectory) {
      result->status = false;
      call.SetError(type == PathType::kStatusError ? code : 0);
      LogError(L"%s Error : %s", foldername.c_str(), GetErrorMessage(call.ErrorCode()).c_str());
      return;
    }
    // The platform never removes a drive root: on Z:\ that would be the
    // host's own /.
    const int32_t failed =
        recursive ? files::removeTree(foldername) : files::removeDirectory(foldername);
    if (failed != 0) {
      result->status = false;
      call.SetError(failed);
      LogError(L"%s Error : %s", foldername.c_str(), GetErrorMessage(failed).c_str());
      return;
    }
    result->status = true;
  }, L"Exception occured while deleting the folder.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::renameFile(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  const std::wstring newName = args.Count() >= 1 ? args.TextAt(0) : L"";
  call.Input(L"foldername", foldername).Input(L"filename", filename).Input(L"neeFileName", newName);
  if (args.Count() != 1) {
    call.SetError(pe::kInsufficientArguments);
    return call.Finish(std::move(result));
  }
  if (foldername.empty() || filename.empty() || newName.empty()) {
    call.SetError(pe::kInvalidParameter);
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    const std::wstring from = foldername + L"//" + filename;
    const std::wstring to = foldername + L"//" + newName;
    const int32_t code = files::moveFile(from, to);
    result->status = code == 0;
    call.SetError(code);
    if (code != 0)
      LogError(L"old name: %s new name : %s Error : %s", from.c_str(), to.c_str(),
               GetErrorMessage(code).c_str());
  }, L"Exception occured while renaming the file.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::isRegExExistInFile(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturn>();
  const std::wstring expression = args.Count() >= 1 ? args.TextAt(0) : L"";
  call.Input(L"foldername", foldername).Input(L"filename", filename).Input(L"RegEx", expression);
  if (foldername.empty() || filename.empty() || args.Count() != 1) {
    call.SetError(pe::kInsufficientArguments);
    return call.Finish(std::move(result));
  }
  const std::wstring path = foldername + L"//" + filename;
  call.Run([&] {
    int32_t code = 0;
    if (QueryStatus(path, code) == PathType::kDirectory) {
      call.SetError(pe::kInputIsFolder);
      LogError(L"File Path: %s, is a folder not a file.", path.c_str());
      return;
    }
    StackFrame none;
    int32_t present = isFilePresent(none)->errorcode;
    if (present != 0) {
      call.SetError(present);
      LogError(L"File Path: %s, does not exist.", path.c_str());
      return;
    }
    std::string text;
    const int32_t read = files::readFile(path, text, kMaxSearchBytes);
    if (read == platform::ERROR_OUTOFMEMORY) throw std::length_error("file too large to search");
    if (read != 0) {
      // A pipe or a device is refused, never read.
      call.SetError(read);
      LogFileError(path, read);
      return;
    }
    boost::regex re(toUtf8(expression), boost::regex::perl);
    call.SetError(pe::kDataNotMatched);
    if (boost::regex_search(text, re)) call.SetError(0);
  }, nullptr);
  if (call.ErrorCode() == pe::kApiFailed)
    LogError(L"Exception occured while finding regul expression in file %s.", path.c_str());
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturnFileInfo> File::getFileInfo(StackFrame&) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturnFileInfo>();
  call.Input(L"foldername", foldername).Input(L"filename", filename);
  if (foldername.empty() || filename.empty()) {
    call.SetError(pe::kInvalidParameter);
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    const std::wstring path = foldername + L"//" + filename;
    uint64_t size = 0;
    platform::FileTimes times;
    // A folder, a pipe or a device has no file size: Windows refuses to
    // open one for it.
    int32_t code = files::fileSize(path, size);
    if (code == 0) code = files::fileTimes(path, times);
    if (code != 0) {
      result->status = false;
      call.SetError(code);
      LogError(L"Filename: %s Error : %s", path.c_str(), GetErrorMessage(code).c_str());
      return;
    }
    uint32_t attributes = 0;
    if (files::fileAttributes(path, attributes) != 0) {
      result->status = false;
      call.SetError(pe::kAttributesFailed);
      LogError(L"Filename: %s Error : %s", path.c_str(),
               GetErrorMessage(pe::kAttributesFailed).c_str());
      return;
    }
    // Whole 4096-byte clusters, in 64 bits so files of 2 GiB and more work.
    const uint64_t onDisk = (size + 4095) / 4096 * 4096;
    const int32_t modified = static_cast<int32_t>(times.lastWrite);
    result->isreadonly = (attributes & platform::FILE_ATTRIBUTE_READONLY) != 0;
    result->ishidden = (attributes & platform::FILE_ATTRIBUTE_HIDDEN) != 0;
    result->filetype = toUtf8(Extension(path));
    result->size = static_cast<float>(static_cast<double>(size) / 1024.0);
    result->disksize = static_cast<float>(static_cast<double>(onDisk) / 1024.0);
    result->createdtime = modified;
    result->modifiedtime = modified;
    result->status = true;
    call.SetError(0);
  }, L"Exception occured while getting the file information.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturnDiskInfo> File::getDiskInfo(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode);
  auto result = std::make_unique<CJSONReturnDiskInfo>();
  if (args.Count() != 1) {
    call.SetError(pe::kInsufficientArguments);
    return call.Finish(std::move(result));
  }
  std::wstring disk = args.TextAt(0);
  call.Input(L"DiskName", disk);
  call.Run([&] {
    // "C:" alone names the drive, not its current directory.
    if (disk.size() == 2 && disk[1] == L':') disk += L'\\';
    platform::IMachine* machine = platform::currentMachine();
    platform::DiskSpace space;
    const int32_t code = machine ? machine->systemInfo().diskFreeSpace(disk, space)
                                 : platform::ERROR_PATH_NOT_FOUND;
    if (code != 0) {
      result->status = false;
      call.SetError(code);
      LogError(L"Error : %s", GetErrorMessage(code).c_str());
      return;
    }
    const double gib = 1024.0 * 1024.0 * 1024.0;
    result->totalspace = static_cast<float>(static_cast<double>(space.totalBytes) / gib);
    result->freespace = static_cast<float>(static_cast<double>(space.totalFreeBytes) / gib);
    result->usedspace = result->totalspace - result->freespace;
    result->status = true;
  }, L"Exception occured while getting the disk information.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::getFolderContents(StackFrame& args) {
  // No return object and no operation record: the script gets "".
  if (args.Count() < 1) return nullptr;
  try {
    const std::wstring folder = args.TextAt(0);
    int32_t code = 0;
    if (QueryStatus(folder, code) != PathType::kDirectory) return nullptr;
    std::vector<files::FolderEntry> entries;
    files::listFolder(folder, entries);
    std::wstring prefix = folder;
    if (!prefix.empty() && prefix.back() != L'\\' && prefix.back() != L'/') prefix += L'\\';
    for (const files::FolderEntry& entry : entries) {
      const std::string line = toUtf8(prefix + entry.name) + "\n";
      std::fwrite(line.data(), 1, line.size(), stdout);
    }
    std::fflush(stdout);
  } catch (...) {
    LogError(L"Exception occured while listing the folder contents.");
  }
  return nullptr;
}

}  // namespace zorel
