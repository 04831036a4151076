// The exchange thread's work over libcurl.

#include "zorel/report/http_exchange.h"

#include <curl/curl.h>
#include <openssl/ssl.h>
#include <openssl/x509.h>

#include <filesystem>
#include <memory>
#include <mutex>

#include "zorel/common/utf8.h"
#include "zorel/log/framework_log.h"

namespace zorel {

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

// "open" of the request object: only absolute http and https URLs are
// requests this program makes.
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
  bool overflow = false;
};

size_t collect(char* data, size_t size, size_t count, void* user) {
  auto* sink = static_cast<ResponseSink*>(user);
  const size_t n = size * count;
  if (sink->bytes->size() + n > kMaxResponseBytes) {
    sink->overflow = true;
    return 0;  // makes the transfer fail with CURLE_WRITE_ERROR
  }
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
int32_t statusForTransportError(CURLcode code) {
  switch (code) {
    case CURLE_OPERATION_TIMEDOUT:
      return kInternetTimeout;
    case CURLE_COULDNT_RESOLVE_HOST:
    case CURLE_COULDNT_RESOLVE_PROXY:
      return kInternetNameNotResolved;
    case CURLE_COULDNT_CONNECT:
      return kInternetCannotConnect;
    case CURLE_PEER_FAILED_VERIFICATION:
      return kInternetInvalidCa;
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
      return kInternetSecurityChannelError;
    case CURLE_SEND_ERROR:
    case CURLE_RECV_ERROR:
    case CURLE_GOT_NOTHING:
    case CURLE_PARTIAL_FILE:
      return kInternetConnectionAborted;
    default:
      return kHttpInvalidServerResponse;
  }
}

void transfer(HttpExchange& exchange, const std::string& extraCaFile,
              std::chrono::milliseconds timeLimit) {
  exchange.status = 0;
  exchange.response.clear();
  ensureCurlGlobal();
  // Without a request object the exchange ends normally with status 0.
  std::unique_ptr<CURL, CurlDeleter> curl(curl_easy_init());
  if (!curl) return;
  CURL* h = curl.get();

  const std::string url = toUtf8(exchange.url);
  const long limit = timeLimit.count() > 0 ? static_cast<long>(timeLimit.count()) : 1L;
  bool opened = acceptableUrl(url) && curl_easy_setopt(h, CURLOPT_URL, url.c_str()) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, "http,https") == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_TIMEOUT_MS, limit) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, limit) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 0L) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L) == CURLE_OK;
  opened = opened && curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L) == CURLE_OK;
  // Loopback test servers are never reached through a proxy of the host.
  opened = opened && curl_easy_setopt(h, CURLOPT_NOPROXY, "localhost,127.0.0.1,::1") == CURLE_OK;
  if (opened && !extraCaFile.empty()) {
    if (!std::filesystem::is_regular_file(extraCaFile)) {
      FrameworkLog::Instance().Write(LogLevel::Error,
                                     L"Report server certificate file not found: %s",
                                     fromUtf8(extraCaFile).c_str());
    }
    // Only the OpenSSL flavour of libcurl takes the context hook; elsewhere
    // the file replaces the bundle, and the system roots come from CAPATH.
    if (curl_easy_setopt(h, CURLOPT_SSL_CTX_FUNCTION, addExtraCa) != CURLE_OK ||
        curl_easy_setopt(h, CURLOPT_SSL_CTX_DATA, &extraCaFile) != CURLE_OK) {
      opened = curl_easy_setopt(h, CURLOPT_CAINFO, extraCaFile.c_str()) == CURLE_OK;
    }
  }
  if (!opened) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to create request");
    return;
  }

  // The request carries no header of the program's own: drop the form
  // content type and the 100-continue handshake curl would add.
  std::unique_ptr<curl_slist, SlistDeleter> headers;
  curl_slist* list = curl_slist_append(nullptr, "Content-Type:");
  if (list) list = curl_slist_append(list, "Expect:");
  headers.reset(list);
  bool sent = headers != nullptr &&
              curl_easy_setopt(h, CURLOPT_HTTPHEADER, headers.get()) == CURLE_OK;
  if (exchange.method == kHttpMethodPost) {
    sent = sent && curl_easy_setopt(h, CURLOPT_POST, 1L) == CURLE_OK;
    sent = sent && curl_easy_setopt(h, CURLOPT_POSTFIELDSIZE_LARGE,
                                    static_cast<curl_off_t>(exchange.body.size())) == CURLE_OK;
    sent = sent && curl_easy_setopt(h, CURLOPT_POSTFIELDS, exchange.body.data()) == CURLE_OK;
  } else {
    sent = sent && curl_easy_setopt(h, CURLOPT_HTTPGET, 1L) == CURLE_OK;
  }
  std::vector<uint8_t> answer;
  ResponseSink sink{&answer};
  sent = sent && curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, collect) == CURLE_OK;
  sent = sent && curl_easy_setopt(h, CURLOPT_WRITEDATA, &sink) == CURLE_OK;
  char errorText[CURL_ERROR_SIZE] = {};
  sent = sent && curl_easy_setopt(h, CURLOPT_ERRORBUFFER, errorText) == CURLE_OK;
  if (!sent) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Failed to send request data to server");
    return;
  }

  const CURLcode result = curl_easy_perform(h);
  if (result == CURLE_OK) {
    long code = 0;
    curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &code);
    exchange.status = static_cast<int32_t>(code);
  } else {
    exchange.status = statusForTransportError(result);
    FrameworkLog::Instance().Write(LogLevel::Error, L"Report server exchange: %s",
                                   fromUtf8(errorText[0] ? errorText
                                                         : curl_easy_strerror(result))
                                       .c_str());
  }

  if (exchange.status == 200) {
    // The server spells its own codes 1000..1010 as a four-byte answer.
    if (answer.size() == 4) exchange.status = FourByteStatus(answer.data());
    exchange.response = std::move(answer);
  } else {
    FrameworkLog::Instance().Write(LogLevel::Error,
                                   L"Failed to get response from server with Error code --  : %d",
                                   exchange.status);
  }
}

}  // namespace

void RunHttpExchange(HttpExchange& exchange, const std::string& extraCaFile,
                     std::chrono::milliseconds timeLimit) {
  try {
    transfer(exchange, extraCaFile, timeLimit);
  } catch (...) {
    FrameworkLog::Instance().Write(LogLevel::Error, L"Exception occured on uploading data");
  }
}

int32_t FourByteStatus(const uint8_t* bytes) {
  size_t at = 0;
  auto blank = [](uint8_t c) { return c == ' ' || (c >= '\t' && c <= '\r'); };
  while (at < 4 && blank(bytes[at])) ++at;
  bool negative = false;
  if (at < 4 && (bytes[at] == '+' || bytes[at] == '-')) {
    negative = bytes[at] == '-';
    ++at;
  }
  int32_t value = 0;
  for (; at < 4 && bytes[at] >= '0' && bytes[at] <= '9'; ++at) {
    value = value * 10 + (bytes[at] - '0');  // at most four digits: no overflow
  }
  return negative ? -value : value;
}

}  // namespace zorel
