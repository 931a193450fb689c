// The loopback HTTPS server as a program of its own, for the Windows suite under Wine (which
// has no TLS server to hand): writes its certificate to the file given, prints its base URL and
// serves "/hello" until its standard input closes.
#include "support/loopback_server.h"

#include <iostream>
#include <string>

int main(int argc, char** argv) {
  if (argc != 2) {
    std::cerr << "usage: loopback_https_server CERTIFICATE-FILE\n";
    return 2;
  }
  quorvane::testing::LoopbackServer server(quorvane::testing::LoopbackServer::Scheme::Https,
                                           argv[1]);
  server.route("/hello", {200, "hello over tls"});
  std::cout << server.baseUrl() << std::endl;
  std::string ignored;
  while (std::getline(std::cin, ignored)) {
  }
  return 0;
}
