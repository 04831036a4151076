// File plug-in: downloadFile and extractCompressedFile.

#include <cwctype>

#include "file_log.h"
#include "file_paths.h"
#include "zorel/common/utf8.h"
#include "zorel/compress/cabinet_utility.h"
#include "zorel/platform/fs/download.h"
#include "zorel/platform/fs/files.h"
#include "zorel/plugins/common/error_messages.h"
#include "zorel/plugins/common/plugin_call.h"
#include "zorel/plugins/file/file.h"

namespace zorel {

using namespace file_detail;
namespace pe = plugin_error;
namespace files = platform::files;

std::unique_ptr<CJSONReturn> File::downloadFile(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kDownloadFailed);
  auto result = std::make_unique<CJSONReturn>();
  result->status = false;
  if (args.Count() != 2) {
    call.SetError(pe::kInsufficientArguments);
    return call.Finish(std::move(result));
  }
  const std::wstring url = args.TextAt(0);
  const std::wstring folder = args.TextAt(1);
  call.Input(L"URL", url);
  if (url.empty() || folder.empty()) {
    call.Input(L"DownloadLocation", folder);
    call.SetError(pe::kInvalidParameter);
    return call.Finish(std::move(result));
  }
  int32_t code = 0;
  if (QueryStatus(folder, code) != PathType::kDirectory) {
    call.Input(L"DownloadLocation", folder);
    call.SetError(pe::kAccessFailed);
    LogError(L"Downloadlocation : %s Error : %s", folder.c_str(),
             GetErrorMessage(pe::kAccessFailed).c_str());
    return call.Finish(std::move(result));
  }
  const size_t slash = url.find_last_of(L"\\/");
  const std::wstring name = slash == std::wstring::npos ? url : url.substr(slash + 1);
  const std::wstring destination = folder + L"\\" + name;
  call.Input(L"DownloadLocation", destination);
  call.Run([&] {
    // An empty name (a URL ending in a slash) or "." / ".." names the
    // folder itself, which no download can replace.
    if (name.empty() || name == L"." || name == L"..") return;
    platform::DownloadOptions options;
    options.timeoutSeconds = downloadTimeoutSeconds;
    platform::DownloadResult outcome = platform::downloadToFile(toUtf8(url), destination, options);
    if (outcome.hresult == 0) {
      result->status = true;
      call.SetError(0);
    }
  }, L"Exception occured while downloading the file.");
  return call.Finish(std::move(result));
}

std::unique_ptr<CJSONReturn> File::extractCompressedFile(StackFrame& args) {
  PluginCall call = BeginCall(__func__, errorcode, pe::kApiFailed);
  auto result = std::make_unique<CJSONReturn>();
  if (args.Count() < 2) {
    call.ArgumentError(pe::kInvalidParameter, L"Invalid parameter passed to extract file");
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
  if (files::pathFileExists(source) != 0) {
    call.ArgumentError(platform::ERROR_PATH_NOT_FOUND, nullptr);
    LogError(L"Source file not found. Path : %s", source.c_str());
    return call.Finish(std::move(result));
  }
  call.Run([&] {
    if (source.size() < 4) throw std::out_of_range("source name shorter than its extension");
    std::wstring tail = source.substr(source.size() - 4);
    for (wchar_t& c : tail) c = static_cast<wchar_t>(std::towlower(c));
    if (tail != L".cab") {
      call.SetError(0);  // not a cabinet: nothing to extract
      return;
    }
    // The cabinet reader works on host files.
    std::string hostSource, hostDestination;
    bool extracted = ToHost(source, hostSource) == 0 && ToHost(destination, hostDestination) == 0;
    if (extracted) {
      CabinetUtility cabinet;
      extracted = cabinet.Decompress(fromUtf8(hostSource), fromUtf8(hostDestination));
    }
    if (extracted) {
      call.SetError(0);
    } else {
      call.SetError(pe::kApiFailed);
      LogError(L"Failed in decompression of downloaded file");
    }
  }, L"Exception occured while file creation");
  return call.Finish(std::move(result));
}

}  // namespace zorel
