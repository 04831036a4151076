// URL downloads over libcurl into a temporary file that is renamed into
// place only after the whole body arrived (see download.h).

#include <curl/curl.h>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cctype>
#include <cerrno>
#include <cstdio>
#include <mutex>
#include <string>

#include "base/linux/errno_map.h"
#include "fs/linux/windows_paths.h"
#include "zorel/common/utf8.h"
#include "zorel/platform/base/host_calls.h"
#include "zorel/platform/fs/download.h"
#include "zorel/platform/machine/machine.h"
#include "zorel/platform/machine/paths.h"

namespace zorel::platform {
namespace {

void globalInit() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

std::string lower(std::string text) {
  for (char& c : text) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return text;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

// %XX escapes decoded; a malformed escape stays as written.
std::string percentDecode(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] == '%' && i + 2 < text.size()) {
      int hi = hexValue(text[i + 1]), lo = hexValue(text[i + 2]);
      if (hi >= 0 && lo >= 0) {
        out += static_cast<char>(hi * 16 + lo);
        i += 2;
        continue;
      }
    }
    out += text[i];
  }
  return out;
}

// Every byte outside the unreserved set and "/" escaped, for a file URL.
std::string percentEncodePath(const std::string& path) {
  static const char* hex = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    if (std::isalnum(c) || c == '/' || c == '-' || c == '_' || c == '.' || c == '~') {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += hex[c >> 4];
      out += hex[c & 15];
    }
  }
  return out;
}

// A file URL turned into a host path; false when it names no usable path.
bool fileUrlToHostPath(const std::string& url, const IPathMapper* paths, std::string& host,
                       std::wstring& why) {
  std::string rest = url.substr(7);  // after "file://"
  if (lower(rest.substr(0, 9)) == "localhost") rest = rest.substr(9);
  if (rest.empty() || rest[0] != '/') {
    why = L"file URLs of other hosts are not supported";
    return false;
  }
  std::string path = percentDecode(rest);
  if (path.find('\0') != std::string::npos) {
    why = L"the URL holds a NUL character";
    return false;
  }
  // "/C:/x" or "/C|/x": a drive of the machine.
  if (path.size() >= 3 && std::isalpha(static_cast<unsigned char>(path[1])) &&
      (path[2] == ':' || path[2] == '|')) {
    if (!paths) {
      why = L"no machine to read drive paths from";
      return false;
    }
    std::string windows = path.substr(1);
    windows[1] = ':';
    if (paths->toHostPath(fromUtf8(windows), host) != ERROR_SUCCESS) {
      why = L"the path does not exist on the machine";
      return false;
    }
    return true;
  }
  host = path;
  return true;
}

struct Sink {
  int fd = -1;
  uint64_t bytes = 0;
  int writeError = 0;
};

size_t writeBody(char* data, size_t size, size_t count, void* context) {
  Sink* sink = static_cast<Sink*>(context);
  size_t total = size * count;
  size_t done = 0;
  while (done < total) {
    ssize_t n = hostCalls().write(sink->fd, data + done, total - done);
    if (n < 0) {
      if (errno == EINTR) continue;
      sink->writeError = errno;
      return 0;  // makes libcurl stop with CURLE_WRITE_ERROR
    }
    done += static_cast<size_t>(n);
  }
  sink->bytes += total;
  return total;
}

int32_t hresultForCurl(CURLcode code) {
  switch (code) {
    case CURLE_UNSUPPORTED_PROTOCOL: return kHresultUnknownProtocol;
    case CURLE_URL_MALFORMAT: return kHresultInvalidUrl;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
    case CURLE_COULDNT_CONNECT: return kHresultCannotConnect;
    case CURLE_OPERATION_TIMEDOUT: return kHresultTimeout;
    case CURLE_FILE_COULDNT_READ_FILE:
    case CURLE_REMOTE_FILE_NOT_FOUND: return kHresultResourceNotFound;
    case CURLE_WRITE_ERROR: return kHresultCannotWrite;
    default: return kHresultDownloadFailure;
  }
}

std::string folderOf(const std::string& path) {
  size_t slash = path.rfind('/');
  if (slash == std::string::npos) return ".";
  return slash == 0 ? "/" : path.substr(0, slash);
}

}  // namespace

DownloadResult downloadToFile(const std::string& url, const std::string& destination,
                              const DownloadOptions& options) {
  DownloadResult result;
  auto fail = [&](int32_t hresult, std::wstring why) {
    result.hresult = hresult;
    result.message = std::move(why);
    return result;
  };
  if (url.empty() || url.find('\0') != std::string::npos)
    return fail(kHresultInvalidUrl, L"empty URL");
  if (destination.empty() || destination.back() == '/')
    return fail(kHresultCannotWrite, L"no destination file name");

  size_t colon = url.find("://");
  // A plain Windows path with a drive letter is read as a file URL naming
  // it, as URLDownloadToFileW reads paths.
  const bool drivePath = colon == std::string::npos && url.size() >= 3 &&
                         std::isalpha(static_cast<unsigned char>(url[0])) && url[1] == ':' &&
                         (url[2] == '\\' || url[2] == '/');
  if (colon == std::string::npos && !drivePath)
    return fail(kHresultInvalidUrl, L"the URL has no scheme");
  std::string scheme = drivePath ? "file" : lower(url.substr(0, colon));
  std::string effective = url;
  if (scheme == "file") {
    std::string host;
    std::wstring why;
    if (drivePath) {
      if (!options.paths) return fail(kHresultResourceNotFound, L"no machine to read drive paths from");
      if (options.paths->toHostPath(fromUtf8(url), host) != ERROR_SUCCESS)
        return fail(kHresultResourceNotFound, L"no such path on the machine: " + fromUtf8(url));
    } else if (!fileUrlToHostPath(url, options.paths, host, why)) {
      return fail(kHresultResourceNotFound, why);
    }
    struct stat st {};
    if (::stat(host.c_str(), &st) != 0 || !S_ISREG(st.st_mode))
      return fail(kHresultResourceNotFound, L"no such file: " + fromUtf8(host));
    effective = "file://" + percentEncodePath(host);
  } else if (scheme != "http" && scheme != "https") {
    return fail(kHresultUnknownProtocol, L"unsupported URL scheme " + fromUtf8(scheme));
  }

  std::string temp = folderOf(destination) + "/.zorel-download-XXXXXX";
  int fd = ::mkostemp(temp.data(), O_CLOEXEC);
  if (fd < 0) {
    result.message = L"cannot create a file in the destination folder";
    result.hresult = kHresultCannotWrite;
    return result;
  }
  // mkostemp makes 0600; a downloaded file gets the usual permissions.
  mode_t mask = ::umask(0);
  ::umask(mask);
  ::fchmod(fd, 0666 & ~mask);

  globalInit();
  Sink sink;
  sink.fd = fd;
  CURL* curl = curl_easy_init();
  if (!curl) {
    ::close(fd);
    hostCalls().unlink(temp.c_str());
    return fail(kHresultNoSession, L"libcurl could not start a transfer");
  }
  char error[CURL_ERROR_SIZE] = {0};
  curl_easy_setopt(curl, CURLOPT_URL, effective.c_str());
  curl_easy_setopt(curl, CURLOPT_PROTOCOLS_STR, "http,https,file");
  curl_easy_setopt(curl, CURLOPT_REDIR_PROTOCOLS_STR, "http,https");
  curl_easy_setopt(curl, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(curl, CURLOPT_MAXREDIRS, 10L);
  curl_easy_setopt(curl, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(curl, CURLOPT_FAILONERROR, 1L);
  curl_easy_setopt(curl, CURLOPT_TIMEOUT, options.timeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_CONNECTTIMEOUT, options.connectTimeoutSeconds);
  curl_easy_setopt(curl, CURLOPT_WRITEFUNCTION, writeBody);
  curl_easy_setopt(curl, CURLOPT_WRITEDATA, &sink);
  curl_easy_setopt(curl, CURLOPT_ERRORBUFFER, error);
  CURLcode code = curl_easy_perform(curl);
  curl_easy_getinfo(curl, CURLINFO_RESPONSE_CODE, &result.httpStatus);
  curl_easy_cleanup(curl);
  result.curlCode = static_cast<int>(code);

  // On the disk before it gets its name: a crash never leaves a
  // destination that holds less than the download.
  if (code == CURLE_OK) {
    int synced;
    do {
      synced = hostCalls().fsync(fd);
    } while (synced != 0 && errno == EINTR);
    if (synced != 0) {
      code = CURLE_WRITE_ERROR;
      sink.writeError = errno;
    }
  }
  int closeErr = ::close(fd) == 0 ? 0 : errno;
  if (code == CURLE_OK && closeErr != 0) {
    code = CURLE_WRITE_ERROR;
    sink.writeError = closeErr;
  }
  if (code != CURLE_OK) {
    hostCalls().unlink(temp.c_str());
    std::string why = error[0] ? error : curl_easy_strerror(code);
    if (code == CURLE_HTTP_RETURNED_ERROR && result.httpStatus == 404)
      return fail(kHresultResourceNotFound, fromUtf8(why));
    return fail(hresultForCurl(code), fromUtf8(why));
  }
  if (hostCalls().rename(temp.c_str(), destination.c_str()) != 0) {
    int err = errno;
    hostCalls().unlink(temp.c_str());
    return fail(kHresultCannotWrite,
                L"cannot move the download into place (error " +
                    std::to_wstring(detail::win32FromErrno(err)) + L")");
  }
  result.bytes = sink.bytes;
  return result;
}

DownloadResult downloadToFile(const std::string& url, std::wstring_view destination,
                              DownloadOptions options) {
  std::string host;
  if (detail::mapWindowsPath(destination, host) != ERROR_SUCCESS) {
    DownloadResult result;
    result.hresult = kHresultCannotWrite;
    result.message = L"the destination is not a path of the machine";
    return result;
  }
  if (!options.paths) {
    IMachine* machine = currentMachine();
    options.paths = machine ? &machine->paths() : nullptr;
  }
  return downloadToFile(url, host, options);
}

}  // namespace zorel::platform
