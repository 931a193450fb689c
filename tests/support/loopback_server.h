// A small HTTP or HTTPS server on 127.0.0.1 for tests, answering from a table of routes. The
// HTTPS server makes its own self-signed certificate when it starts.
#pragma once

#include <atomic>
#include <chrono>
#include <cstddef>
#include <map>
#include <mutex>
#include <optional>
#include <string>
#include <thread>
#include <vector>

namespace quorvane::testing {

struct Route {
  int status = 200;
  std::string body{};
  std::string contentType = "text/plain";
  bool sendLength = true;                   ///< a "Content-Length" header
  std::optional<std::size_t> announced{};   ///< a "Content-Length" other than the body's size
  std::size_t sendBytes = std::string::npos; ///< send only this much of the body
  std::chrono::milliseconds holdOpen{0};    ///< then keep the connection open this long
  std::string location{};                   ///< a "Location" header, for redirects
};

class LoopbackServer {
public:
  enum class Scheme { Http, Https };
  /// Starts serving at once. An HTTPS server writes its certificate to `certificateFile`.
  explicit LoopbackServer(Scheme scheme, const std::string& certificateFile = {});
  ~LoopbackServer();
  LoopbackServer(const LoopbackServer&) = delete;
  LoopbackServer& operator=(const LoopbackServer&) = delete;

  /// "http://127.0.0.1:PORT" or "https://127.0.0.1:PORT".
  std::string baseUrl() const;
  void route(const std::string& path, Route route);
  /// The paths asked for so far, in order.
  std::vector<std::string> requests() const;

private:
  struct Tls;
  void serve();
  void answer(int socket);

  Scheme scheme_;
  int listener_ = -1;
  int port_ = 0;
  std::unique_ptr<Tls> tls_;
  std::atomic<bool> stopping_{false};
  mutable std::mutex mutex_;
  std::map<std::string, Route> routes_;
  std::vector<std::string> requests_;
  std::thread thread_;
};

} // namespace quorvane::testing
