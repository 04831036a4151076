// The HTTP request object over libcurl (see http_request.h).

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>
#include <sys/stat.h>

#include <memory>
#include <mutex>

#include "zorel/platform/http/http_request.h"

namespace zorel::platform {
namespace {

void ensureCurlGlobal() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

struct CurlDeleter {
  void operator()(CURL* curl) const { curl_easy_cleanup(curl); }
};
struct SlistDeleter {
  void operator()(curl_slist* list) const { curl_slist_free_all(list); }
};
struct UrlDeleter {
  void operator()(CURLU* url) const { curl_url_cleanup(url); }
};

// "open" of the request object: only absolute http and https URLs.
bool acceptableUrl(const std::string& url) {
  std::unique_ptr<CURLU, UrlDeleter> parsed(curl_url());
  if (!parsed) return false;
  if (curl_url_set(parsed.get(), CURLUPART_URL, url.c_str(), 0) != CURLUE_OK) return false;
  char* scheme = nullptr;
  if (curl_url_get(parsed.get(), CURLUPART_SCHEME, &scheme, 0) != CURLUE_OK) return false;
  const std::string s = scheme;
  curl_free(scheme);
  return s == "http" || s == "https";
}

struct ResponseSink {
  std::vector<uint8_t>* bytes;
  size_t limit;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<ResponseSink*>(user);
  const size_t n = size * count;
  if (sink->bytes->size() + n > sink->limit) return 0;  // fails with CURLE_WRITE_ERROR
  sink->bytes->insert(sink->bytes->end(), data, data + n);
  return n;
}

// Adds the extra certificates to the store curl has already filled with the
// system roots, so both are trusted.
CURLcode addExtraCa(CURL*, void* sslContext, void* user) {
  const auto* file = static_cast<const std::string*>(user);
  X509_STORE* store = SSL_CTX_get_cert_store(static_cast<SSL_CTX*>(sslContext));
  if (!store || X509_STORE_load_file(store, file->c_str()) != 1) {
    return CURLE_SSL_CACERT_BADFILE;
  }
  return CURLE_OK;
}

// The WinINet code a failed transfer shows on Windows.
int32_t statusForTransferError(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return ERROR_INTERNET_TIMEOUT;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return ERROR_INTERNET_NAME_NOT_RESOLVED;
    case CURLE_COULDNT_CONNECT:
      return ERROR_INTERNET_CANNOT_CONNECT;
    case CURLE_PEER_FAILED_VERIFICATION:
      return ERROR_INTERNET_INVALID_CA;
    case CURLE_SSL_CONNECT_ERROR:
    case CURLE_SSL_CERTPROBLEM:
    case CURLE_SSL_CIPHER:
    case CURLE_SSL_CACERT_BADFILE:
    case CURLE_SSL_ENGINE_NOTFOUND:
    case CURLE_SSL_ENGINE_SETFAILED:
    case CURLE_SSL_ENGINE_INITFAILED:
    case CURLE_SSL_SHUTDOWN_FAILED:
    case CURLE_SSL_CRL_BADFILE:
    case CURLE_SSL_ISSUER_ERROR:
    case CURLE_SSL_PINNEDPUBKEYNOTMATCH:
    case CURLE_SSL_INVALIDCERTSTATUS:
    case CURLE_SSL_CLIENTCERT:
      return ERROR_INTERNET_SECURITY_CHANNEL_ERROR;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return ERROR_INTERNET_CONNECTION_ABORTED;
    default:
      return ERROR_HTTP_INVALID_SERVER_RESPONSE;
  }
}

bool isRegularFile(const std::string& path) {
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISREG(st.st_mode);
}

void exchange(const HttpRequest& request, HttpResponse& response) {
  ensureCurlGlobal();
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return;  // kNoRequestObject
  CURL* h = curl.get();

  response.stage = HttpStage::kOpenFailed;
  const long limit = request.timeLimit.count() > 0 ? static_cast<long>(request.timeLimit.count()) : 1L;
  bool opened = acceptableUrl(request.url) &&
                curl_easy_setopt(h, CURLOPT_URL, request.url.c_str()) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limit) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limit) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // Loopback servers are never reached through a proxy of the host.
  opened = opened && curl_easy_setopt(h, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1") == CURLE_OK;
  if (opened && !request.extraCaFile.empty()) {
    response.extraCaFileMissing = !isRegularFile(request.extraCaFile);
    // Only the OpenSSL flavour of libcurl takes the context hook; elsewhere
    // the file replaces the bundle, and the system roots come from CAPATH.
    if (curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, addExtraCa) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &request.extraCaFile) != CURLE_OK) {
      opened = curl_easy_setopt(h, CURLOPT_CAINFO, request.extraCaFile.c_str()) == CURLE_OK;
    }
  }
  if (!opened) return;

  // The request carries no header of the program's own: drop the form
  // content type and the 100-continue handshake curl would add.
  response.stage = HttpStage::kSendFailed;
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  curl_slist* list = curl_slist_append(nullptr, "Content-Type:");
  if (list) list = curl_slist_append(list, "Expect:");
  headers.reset(list);
  bool sent = headers != nullptr &&
              curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  if (request.post) {
    sent = sent && curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK;
    sent = sent && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                                    static_cast<curl_off_t>(request.body.size())) == CURLE_OK;
    // An empty body still needs a pointer: without one curl would read the
    // body from standard input.
    const char* body = request.body.empty() ? ""
                                            : reinterpret_cast<const char*>(request.body.data());
    sent = sent && curl_easy_setopt(h, CURLOPT_POSTFIELDS, body) == CURLE_OK;
  } else {
    sent = sent && curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  }
  std::vector<uint8_t> answer;
  ResponseSink sink{&answer, request.maxResponseBytes};
  sent = sent && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect) == CURLE_OK;
  sent = sent && curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  char errorText[CURL_ERROR_SIZE] = {};
  sent = sent && curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
  if (!sent) return;

  response.stage = HttpStage::kCompleted;
  const CURLcode result = curl_easy_perform(h);
  if (result == CURLE_OK) {
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    response.status = static_cast<int32_t>(code);
    if (response.status == 200) response.body = std::move(answer);
  } else {
    response.status = statusForTransferError(result);
    response.transferError = errorText[0] ? errorText : curl_easy_strerror(result);
  }
}

}  // namespace

HttpResponse sendHttpRequest(const HttpRequest& request) {
  HttpResponse response;
  try {
    exchange(request, response);
  } catch (...) {
    // Out of memory on the way: the exchange ends as far as it got.
    response.body.clear();
  }
  return response;
}

}  // namespace zorel::platform
