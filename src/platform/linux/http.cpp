// HTTP(S) transfers through libcurl.
#include "platform/linux/linux_platform.h"

#include <curl/curl.h>

#include <algorithm>
#include <chrono>
#include <memory>
#include <mutex>
#include <unistd.h>

namespace quorvane::platform {
namespace {

HttpError errorOfCurl(CURLcode code) {
  switch (code) {
  case CURLE_UNSUPPORTED_PROTOCOL:
  case CURLE_URL_MALFORMAT:
    return HttpError::BadUrl;
  case CURLE_COULDNT_RESOLVE_HOST:
  case CURLE_COULDNT_RESOLVE_PROXY:
  case CURLE_COULDNT_CONNECT:
  case CURLE_SSL_CONNECT_ERROR:
  case CURLE_PEER_FAILED_VERIFICATION:
  case CURLE_SSL_CACERT_BADFILE:
    return HttpError::ConnectFailed;
  case CURLE_OPERATION_TIMEDOUT:
    return HttpError::TimedOut;
  case CURLE_PARTIAL_FILE:
  case CURLE_RECV_ERROR:
  case CURLE_GOT_NOTHING:
    return HttpError::Incomplete;
  case CURLE_WRITE_ERROR:
  case CURLE_ABORTED_BY_CALLBACK:
    return HttpError::Abandoned;
  default:
    return HttpError::Failed;
  }
}

struct Transfer {
  CURL* handle;
  HttpReceiver& receiver;
  std::chrono::milliseconds stallLimit;
  bool responded = false;
  bool stalled = false;
  curl_off_t received = -1;
  std::chrono::steady_clock::time_point lastProgress = std::chrono::steady_clock::now();

  bool respond() {
    responded = true;
    long status = 0;
    curl_easy_getinfo(handle, CURLINFO_RESPONSE_CODE, &status);
    curl_off_t length = -1;
    curl_easy_getinfo(handle, CURLINFO_CONTENT_LENGTH_DOWNLOAD_T, &length);
    std::optional<std::uint64_t> contentLength;
    if (length >= 0)
      contentLength = static_cast<std::uint64_t>(length);
    return receiver.onResponse(static_cast<int>(status), contentLength);
  }
};

size_t onBody(char* data, size_t size, size_t count, void* user) {
  auto* transfer = static_cast<Transfer*>(user);
  std::size_t bytes = size * count;
  if (!transfer->responded && !transfer->respond())
    return bytes == 0 ? 1 : 0; // any other count stops the transfer
  return transfer->receiver.onData(std::string_view(data, bytes)) ? bytes : (bytes == 0 ? 1 : 0);
}

/// Called by curl at least once a second: abandons a transfer that received nothing for too
/// long (the connection phase has its own limit).
int onProgress(void* user, curl_off_t, curl_off_t received, curl_off_t, curl_off_t) {
  auto* transfer = static_cast<Transfer*>(user);
  auto now = std::chrono::steady_clock::now();
  if (received != transfer->received) {
    transfer->received = received;
    transfer->lastProgress = now;
    return 0;
  }
  curl_off_t connected = 0;
  curl_easy_getinfo(transfer->handle, CURLINFO_CONNECT_TIME_T, &connected);
  if (connected == 0) {
    transfer->lastProgress = now;
    return 0;
  }
  transfer->stalled = now - transfer->lastProgress > transfer->stallLimit;
  return transfer->stalled ? 1 : 0;
}

} // namespace

CurlHttp::CurlHttp() {
  static std::once_flag once;
  std::call_once(once, [] { curl_global_init(CURL_GLOBAL_DEFAULT); });
}

ErrorOr<int> CurlHttp::get(const HttpRequest& request, HttpReceiver& receiver) {
  auto https = isHttpsRequest(request);
  if (!https)
    return https.error();
  std::unique_ptr<CURL, void (*)(CURL*)> handle(curl_easy_init(), curl_easy_cleanup);
  if (!handle)
    return make_error_code(HttpError::Failed);
  CURL* h = handle.get();
  Transfer transfer{h, receiver, request.stallTimeout};
  const char* protocols = request.httpsOnly ? "https" : "http,https";
  // A redirect from https never falls back to plain http.
  const char* redirects = *https ? "https" : protocols;
  curl_easy_setopt(h, CURLOPT_URL, request.url.c_str());
  curl_easy_setopt(h, CURLOPT_PROTOCOLS_STR, protocols);
  curl_easy_setopt(h, CURLOPT_REDIR_PROTOCOLS_STR, redirects);
  curl_easy_setopt(h, CURLOPT_FOLLOWLOCATION, 1L);
  curl_easy_setopt(h, CURLOPT_MAXREDIRS, 5L);
  curl_easy_setopt(h, CURLOPT_NOSIGNAL, 1L);
  curl_easy_setopt(h, CURLOPT_USERAGENT, "Quorvane-Antimalware");
  curl_easy_setopt(h, CURLOPT_CONNECTTIMEOUT_MS, static_cast<long>(request.connectTimeout.count()));
  curl_easy_setopt(h, CURLOPT_NOPROGRESS, 0L);
  curl_easy_setopt(h, CURLOPT_XFERINFOFUNCTION, onProgress);
  curl_easy_setopt(h, CURLOPT_XFERINFODATA, &transfer);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYPEER, 1L);
  curl_easy_setopt(h, CURLOPT_SSL_VERIFYHOST, 2L);
  if (!request.caFile.empty()) {
    // The extra authorities come from the file; the system's stay in use through its folder.
    curl_easy_setopt(h, CURLOPT_CAINFO, request.caFile.c_str());
    if (::access("/etc/ssl/certs", R_OK) == 0)
      curl_easy_setopt(h, CURLOPT_CAPATH, "/etc/ssl/certs");
  }
  curl_easy_setopt(h, CURLOPT_WRITEFUNCTION, onBody);
  curl_easy_setopt(h, CURLOPT_WRITEDATA, &transfer);
  CURLcode code = curl_easy_perform(h);
  if (code != CURLE_OK)
    return make_error_code(transfer.stalled ? HttpError::TimedOut : errorOfCurl(code));
  if (!transfer.responded && !transfer.respond()) // an empty body
    return make_error_code(HttpError::Abandoned);
  long status = 0;
  curl_easy_getinfo(h, CURLINFO_RESPONSE_CODE, &status);
  return static_cast<int>(status);
}

} // namespace quorvane::platform
