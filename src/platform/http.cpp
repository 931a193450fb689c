// The HTTP facility's errors, shared by its bodies.
#include "platform/http.h"

#include <algorithm>

namespace quorvane::platform {
namespace {

class HttpCategory final : public std::error_category {
public:
  const char* name() const noexcept override { return "http"; }
  std::string message(int code) const override {
    switch (static_cast<HttpError>(code)) {
    case HttpError::BadUrl:
      return "not an address this transfer may use";
    case HttpError::ConnectFailed:
      return "could not connect to the server (or it could not prove who it is)";
    case HttpError::TimedOut:
      return "the server did not answer in time";
    case HttpError::Incomplete:
      return "the connection ended before the whole file arrived";
    case HttpError::Abandoned:
      return "the transfer was stopped";
    case HttpError::Failed:
      break;
    }
    return "the transfer failed";
  }
};

} // namespace

ErrorOr<bool> isHttpsRequest(const HttpRequest& request) {
  auto startsWithNoCase = [&](std::string_view prefix) {
    return request.url.size() >= prefix.size() &&
           std::equal(prefix.begin(), prefix.end(), request.url.begin(), [](char a, char b) {
             return a == (b >= 'A' && b <= 'Z' ? static_cast<char>(b - 'A' + 'a') : b);
           });
  };
  if (startsWithNoCase("https://"))
    return true;
  if (request.httpsOnly || !startsWithNoCase("http://"))
    return make_error_code(HttpError::BadUrl);
  return false;
}

const std::error_category& httpCategory() {
  static const HttpCategory category;
  return category;
}

} // namespace quorvane::platform
