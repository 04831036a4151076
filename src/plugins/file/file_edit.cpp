// File plug-in: create, createCopy and findAndReplaceContent.
//
// Both edits of findAndReplaceContent work on the file's bytes: the find
// text and the new text are UTF-8, comparison folds ASCII letters only, and
// every byte outside a match (other encodings, NUL bytes, CR LF line ends,
// a last line without a line end) is written back unchanged. Lines may be
// of any length.

#include "file_log.h"
#include "file_paths.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/fs/files.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/file/file.h"

namespace zorel {

using namespace file_detail;
namespace pe = plugin_error;
namespace files = platform::files;

namespace {

// Files findAndReplaceContent holds in memory at once.
constexpr uint64_t kMaxEditBytes = uint64_t{512} << 20;

char FoldAscii(char c) {
  return (c >= 'A' && c <= 'Z') ? static_cast<char>(c - 'A' + 'a') : c;
}

std::string FoldAscii(std::string text) {
  for (char& c : text) c = FoldAscii(c);
  return text;
}

// A failed edit step: carries the Windows code to report.
struct EditFailure {
  int32_t code;
};

}  // namespace

std::unique_ptr<CJSONReturn> File::create(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 2) {
    call.Input(L"filename", filename).Input(L"foldername", foldername);
    call.ArgumentError(pe::kInvalidParameter, L"Invalid parameter passed to file create");
    return call.Finish(std::move(result));
  }
  const std::wstring content = args.TextAt(0);
  const bool overwrite = args.PopBool();
  call.Input(L"filename", filename).Input(L"foldername", foldername)
      .Input(L"filecontent", content).Input(L"overwriteexistingfile", TitleBool(overwrite));
  if (foldername.empty() || filename.empty()) {
    call.ArgumentError(pe::kInvalidParameter, L"File-Name, Folder-Name can't be empty");
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    int32_t code = 0;
    if (QueryStatus(foldername, code) != PathType::kDirectory) {
      LogError(L"Folder %s does not exist", foldername.c_str());
      call.SetError(platform::ERROR_PATH_NOT_FOUND);
      return;
    }
    const std::wstring path = foldername + L"\\" + filename;
    if (files::pathFileExists(path) == 0 && !overwrite) {
      LogError(L"File %s already exists", path.c_str());
      call.SetError(pe::kFileExists);
      return;
    }
    // UTF-8, so text beyond ASCII is written whole. The platform refuses a
    // read-only file, a folder, a pipe and a device, as CreateFileW does.
    const int32_t written = files::writeFile(path, toUtf8(content));
    if (written != 0) LogFileError(path, written);
    call.SetError(written);
  }, L"Exception Occured while file creation");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::createCopy(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 2) {
    call.ArgumentError(pe::kInvalidParameter, L"Invalid parameter passed to file create copy");
    return call.Finish(std::move(result));
  }
  const std::wstring source = args.TextAt(0);
  const std::wstring destination = args.TextAt(1);
  call.Input(L"SourcePath", source).Input(L"DestinationePath", destination);
  if (source.empty() || destination.empty()) {
    call.ArgumentError(pe::kInvalidParameter,
                       L"Sourec file name and destination file name can't be empty");
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    if (files::pathFileExists(source) != 0) {
      LogError(L"Source file not found. Path : %s", source.c_str());
      call.SetError(platform::ERROR_PATH_NOT_FOUND);
      return;
    }
    const int32_t code = files::copyFile(source, destination, false);
    if (code != 0)
      LogError(L"Source : %s Destination : %s Error : %s", source.c_str(), destination.c_str(),
               GetErrorMessage(code).c_str());
    call.SetError(code);
  }, L"Exception Occured while file creation");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::findAndReplaceContent(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  call.Input(L"foldername", foldername).Input(L"filename", filename);
  if (args.Count() <= 2) {
    call.ArgumentError(pe::kInvalidParameter,
                       L"Invalid parameter passed - Replace File Content API");
    return call.Finish(std::move(result));
  }
  const std::wstring find = args.TextAt(0);
  const std::wstring replacement = args.TextAt(1);
  const bool wholeLine = args.PopBool();
  call.Input(L"findstring", find).Input(L"prependorreplacestring", replacement)
      .Input(L"replaceentiresting", TitleBool(wholeLine));
  if (foldername.empty() || filename.empty() || find.empty()) {
    call.ArgumentError(pe::kInvalidParameter,
                       L"File-Name, Folder-Name, String to find and String to replace, can't be empty");
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    const std::wstring path = foldername + L"//" + filename;
    if (files::pathFileExists(path) != 0) {
      LogError(L"File %s not found", path.c_str());
      call.SetError(platform::ERROR_FILE_NOT_FOUND);
      return;
    }
    try {
      if (wholeLine) editWholeLines(path, find, replacement, call);
      else editReplace(path, find, replacement, call);
      call.SetError(0);
    } catch (const EditFailure& failure) {
      // The real cause, never 0: a failed edit must not read as success.
      LogError(L"Error occured while replacing content in file");
      call.SetError(failure.code != 0 ? failure.code : pe::kApiFailed);
    }
  }, L"Exception Occured during collecting file info");
  return call.Finish(std::move(result));
}

bool File::editWholeLines(const std::wstring& path, const std::wstring& find,
                          const std::wstring& prefix, PluginCall&) {
  std::string bytes;
  if (int32_t code = files::readFile(path, bytes, kMaxEditBytes)) throw EditFailure{code};
  const std::string needle = FoldAscii(toUtf8(find));
  const std::string before = toUtf8(prefix);
  std::string out;
  out.reserve(bytes.size());
  bool matched = false;
  size_t start = 0;
  while (start < bytes.size()) {
    size_t end = bytes.find('\n', start);
    size_t next = end == std::string::npos ? bytes.size() : end + 1;
    // The line's text without its line end; CR stays part of the bytes kept.
    std::string_view line(bytes.data() + start, (end == std::string::npos ? bytes.size() : end) - start);
    if (FoldAscii(std::string(line)).find(needle) != std::string::npos) {
      out += before;
      matched = true;
    }
    out.append(bytes, start, next - start);
    start = next;
  }
  if (!matched) return false;
  if (int32_t code = files::replaceFileContents(path, out)) throw EditFailure{code};
  return true;
}

bool File::editReplace(const std::wstring& path, const std::wstring& find,
                       const std::wstring& replacement, PluginCall&) {
  std::string bytes;
  if (int32_t code = files::readFile(path, bytes, kMaxEditBytes)) throw EditFailure{code};
  const std::string needle = FoldAscii(toUtf8(find));
  const std::string with = toUtf8(replacement);
  const std::string folded = FoldAscii(bytes);
  std::string out;
  bool matched = false;
  size_t from = 0;
  for (size_t at = folded.find(needle); at != std::string::npos;
       at = folded.find(needle, from)) {
    out.append(bytes, from, at - from);
    out += with;
    from = at + needle.size();
    matched = true;
  }
  if (!matched) return false;
  out.append(bytes, from, std::string::npos);
  if (int32_t code = files::replaceFileContents(path, out)) throw EditFailure{code};
  return true;
}

}  // namespace zorel
