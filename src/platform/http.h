// Internet transfer facility: HTTP(S) GET with the body handed over as it arrives.
#pragma once

#include "platform/error.h"

#include <chrono>
#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::platform {

struct HttpRequest {
  std::string url;
  /// Extra certificate authorities (a PEM file) trusted besides the system's; empty for none.
  std::string caFile;
  /// Only "https" URLs are fetched (and followed on redirects) when set.
  bool httpsOnly = false;
  std::chrono::milliseconds connectTimeout{15000};
  /// The transfer is abandoned when no byte arrives for this long.
  std::chrono::milliseconds stallTimeout{30000};
};

/// Receives one response. Returning false from either call abandons the transfer.
class HttpReceiver {
public:
  virtual ~HttpReceiver() = default;
  /// Called once, before any body byte: the status code and the "Content-Length", if any.
  virtual bool onResponse(int status, std::optional<std::uint64_t> contentLength) = 0;
  virtual bool onData(std::string_view bytes) = 0;
};

/// Errors of a transfer that the receiver did not cause.
enum class HttpError {
  BadUrl = 1,    ///< not an http(s) URL, or a scheme the request does not allow
  ConnectFailed, ///< name lookup, connection or TLS handshake failed
  TimedOut,      ///< no connection in time, or the transfer stalled
  Incomplete,    ///< the connection ended before the whole body arrived
  Abandoned,     ///< the receiver asked to stop
  Failed,        ///< any other failure of the transfer
};
const std::error_category& httpCategory();
inline std::error_code make_error_code(HttpError e) {
  return {static_cast<int>(e), httpCategory()};
}

/// Whether the request's URL is https; HttpError::BadUrl when its scheme is neither http nor
/// https, or is http where only https may be used (the scheme compared ignoring case).
ErrorOr<bool> isHttpsRequest(const HttpRequest& request);

class Http {
public:
  virtual ~Http() = default;
  /// Performs the GET; returns the final status code once the body has been handed over whole.
  virtual ErrorOr<int> get(const HttpRequest& request, HttpReceiver& receiver) = 0;
};

} // namespace quorvane::platform

template <> struct std::is_error_code_enum<quorvane::platform::HttpError> : std::true_type {};
