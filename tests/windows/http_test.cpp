// HTTP through WinHTTP against a loopback server of the test's own (under Wine in CI).
#include "platform/windows/windows_platform.h"

#include <gtest/gtest.h>

#include <winsock2.h>
#include <ws2tcpip.h>

#include <cstdlib>
#include <thread>

namespace quorvane::platform::windows {
namespace {

/// Answers each connection on 127.0.0.1 with one fixed response, then closes it.
class LoopbackServer {
public:
  explicit LoopbackServer(std::string response) : response_(std::move(response)) {
    WSADATA data;
    ::WSAStartup(MAKEWORD(2, 2), &data);
    listener_ = ::socket(AF_INET, SOCK_STREAM, IPPROTO_TCP);
    sockaddr_in address{};
    address.sin_family = AF_INET;
    address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
    ::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address);
    int size = sizeof address;
    ::getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &size);
    port_ = ntohs(address.sin_port);
    ::listen(listener_, 4);
    thread_ = std::thread([this] {
      for (;;) {
        SOCKET client = ::accept(listener_, nullptr, nullptr);
        if (client == INVALID_SOCKET)
          return;
        char request[4096];
        ::recv(client, request, sizeof request, 0);
        ::send(client, response_.data(), static_cast<int>(response_.size()), 0);
        ::shutdown(client, SD_SEND);
        ::closesocket(client);
      }
    });
  }
  ~LoopbackServer() {
    ::closesocket(listener_);
    thread_.join();
    ::WSACleanup();
  }
  std::string url(const std::string& path = "/vir.sig") const {
    return "http://127.0.0.1:" + std::to_string(port_) + path;
  }

private:
  std::string response_;
  SOCKET listener_;
  int port_ = 0;
  std::thread thread_;
};

struct Collect final : HttpReceiver {
  int status = 0;
  std::optional<std::uint64_t> length;
  std::string body;
  bool onResponse(int code, std::optional<std::uint64_t> contentLength) override {
    status = code;
    length = contentLength;
    return true;
  }
  bool onData(std::string_view bytes) override {
    body.append(bytes);
    return true;
  }
};

TEST(WindowsHttpTest, ABodyArrivesWholeWithItsStatusAndLength) {
  LoopbackServer server("HTTP/1.1 200 OK\r\nContent-Length: 5\r\nConnection: close\r\n\r\nhello");
  WinHttp http;
  Collect collect;
  HttpRequest request;
  request.url = server.url();
  auto status = http.get(request, collect);
  ASSERT_TRUE(status) << status.error().message();
  EXPECT_EQ(*status, 200);
  EXPECT_EQ(collect.length, 5u);
  EXPECT_EQ(collect.body, "hello");
}

TEST(WindowsHttpTest, ACutBodyAndRefusedAddressesAreErrors) {
  LoopbackServer server("HTTP/1.1 200 OK\r\nContent-Length: 50\r\nConnection: close\r\n\r\nshort");
  WinHttp http;
  Collect collect;
  HttpRequest request;
  request.url = server.url();
  EXPECT_EQ(http.get(request, collect).error(), make_error_code(HttpError::Incomplete));

  for (std::string url : {"ftp://127.0.0.1/vir.sig", "file:///C:/vir.sig", "no url"}) {
    request.url = url;
    EXPECT_EQ(http.get(request, collect).error(), make_error_code(HttpError::BadUrl)) << url;
  }
  request.url = server.url();
  request.httpsOnly = true;
  EXPECT_EQ(http.get(request, collect).error(), make_error_code(HttpError::BadUrl))
      << "plain http when only https may be used";
}

// Against the loopback HTTPS server scripts/windows_tests.sh starts on the host: its certificate
// is trusted through the request's CA file alone.
TEST(WindowsHttpTest, HttpsWorksWithTheRequestsAuthorityAndFailsWithoutIt) {
  const char* url = std::getenv("QUORVANE_TEST_HTTPS_URL");
  const char* caFile = std::getenv("QUORVANE_TEST_HTTPS_CA");
  if (!url || !caFile)
    GTEST_SKIP() << "no loopback HTTPS server (scripts/windows_tests.sh starts one)";
  WinHttp http;
  Collect collect;
  HttpRequest request;
  // By name: Wine matches the certificate's DNS names only, not its IP address entries.
  std::string base = url;
  if (std::size_t at = base.find("127.0.0.1"); at != std::string::npos)
    base.replace(at, 9, "localhost");
  request.url = base + "/hello";
  request.caFile = caFile;
  request.httpsOnly = true;
  auto status = http.get(request, collect);
  ASSERT_TRUE(status) << status.error().message();
  EXPECT_EQ(*status, 200);
  EXPECT_EQ(collect.body, "hello over tls");

  Collect untrusted;
  request.caFile.clear(); // the system's authorities alone: the server's own certificate fails
  auto refused = http.get(request, untrusted);
  ASSERT_FALSE(refused);
  EXPECT_EQ(refused.error(), make_error_code(HttpError::ConnectFailed)) << refused.error().message();
  EXPECT_EQ(untrusted.body, "");
}

} // namespace
} // namespace quorvane::platform::windows
