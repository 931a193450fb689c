// A small HTTP or HTTPS server on 127.0.0.1 for tests.
#include "support/loopback_server.h"

#include <openssl/err.h>
#include <openssl/evp.h>
#include <openssl/pem.h>
#include <openssl/ssl.h>
#include <openssl/x509v3.h>

#include <arpa/inet.h>
#include <cstdio>
#include <memory>
#include <netinet/in.h>
#include <poll.h>
#include <stdexcept>
#include <sys/socket.h>
#include <unistd.h>

namespace quorvane::testing {
namespace {

template <typename T, void (*Free)(T*)> struct Deleter {
  void operator()(T* p) const { Free(p); }
};
using Key = std::unique_ptr<EVP_PKEY, Deleter<EVP_PKEY, EVP_PKEY_free>>;
using Certificate = std::unique_ptr<X509, Deleter<X509, X509_free>>;

void require(bool ok, const char* what) {
  if (!ok)
    throw std::runtime_error(std::string("loopback server: ") + what);
}

void addExtension(X509* cert, int nid, const char* value) {
  X509V3_CTX context;
  X509V3_set_ctx_nodb(&context);
  X509V3_set_ctx(&context, cert, cert, nullptr, nullptr, 0);
  X509_EXTENSION* extension = X509V3_EXT_conf_nid(nullptr, &context, nid, value);
  require(extension && X509_add_ext(cert, extension, -1), "certificate extension");
  X509_EXTENSION_free(extension);
}

/// A self-signed certificate for 127.0.0.1, valid for a day.
Certificate makeCertificate(EVP_PKEY* key) {
  Certificate cert(X509_new());
  require(cert != nullptr, "X509_new");
  X509_set_version(cert.get(), 2);
  ASN1_INTEGER_set(X509_get_serialNumber(cert.get()), static_cast<long>(time(nullptr)));
  X509_gmtime_adj(X509_getm_notBefore(cert.get()), -3600);
  X509_gmtime_adj(X509_getm_notAfter(cert.get()), 24 * 3600);
  X509_NAME* name = X509_get_subject_name(cert.get());
  X509_NAME_add_entry_by_txt(name, "CN", MBSTRING_ASC,
                             reinterpret_cast<const unsigned char*>("127.0.0.1"), -1, -1, 0);
  X509_set_issuer_name(cert.get(), name);
  X509_set_pubkey(cert.get(), key);
  addExtension(cert.get(), NID_basic_constraints, "critical,CA:TRUE");
  addExtension(cert.get(), NID_key_usage, "critical,digitalSignature,keyCertSign");
  addExtension(cert.get(), NID_subject_alt_name, "IP:127.0.0.1,DNS:localhost");
  addExtension(cert.get(), NID_subject_key_identifier, "hash");
  require(X509_sign(cert.get(), key, EVP_sha256()) > 0, "X509_sign");
  return cert;
}

const char* reason(int status) {
  switch (status) {
  case 200:
    return "OK";
  case 302:
    return "Found";
  case 404:
    return "Not Found";
  default:
    return "Status";
  }
}

} // namespace

struct LoopbackServer::Tls {
  std::unique_ptr<SSL_CTX, Deleter<SSL_CTX, SSL_CTX_free>> context;
};

LoopbackServer::LoopbackServer(Scheme scheme, const std::string& certificateFile)
    : scheme_(scheme) {
  if (scheme == Scheme::Https) {
    Key key(EVP_EC_gen("P-256"));
    require(key != nullptr, "key generation");
    Certificate cert = makeCertificate(key.get());
    tls_ = std::make_unique<Tls>();
    tls_->context.reset(SSL_CTX_new(TLS_server_method()));
    require(tls_->context && SSL_CTX_use_certificate(tls_->context.get(), cert.get()) == 1 &&
                SSL_CTX_use_PrivateKey(tls_->context.get(), key.get()) == 1,
            "TLS context");
    require(!certificateFile.empty(), "an HTTPS server needs a certificate file");
    FILE* out = std::fopen(certificateFile.c_str(), "w");
    require(out != nullptr, "certificate file");
    PEM_write_X509(out, cert.get());
    std::fclose(out);
  }
  listener_ = socket(AF_INET, SOCK_STREAM | SOCK_CLOEXEC, 0);
  require(listener_ >= 0, "socket");
  sockaddr_in address{};
  address.sin_family = AF_INET;
  address.sin_addr.s_addr = htonl(INADDR_LOOPBACK);
  require(bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 &&
              listen(listener_, 8) == 0,
          "bind");
  socklen_t length = sizeof address;
  getsockname(listener_, reinterpret_cast<sockaddr*>(&address), &length);
  port_ = ntohs(address.sin_port);
  thread_ = std::thread([this] { serve(); });
}

LoopbackServer::~LoopbackServer() {
  stopping_ = true;
  thread_.join();
  close(listener_);
}

std::string LoopbackServer::baseUrl() const {
  return std::string(scheme_ == Scheme::Https ? "https" : "http") + "://127.0.0.1:" +
         std::to_string(port_);
}

void LoopbackServer::route(const std::string& path, Route route) {
  std::lock_guard lock(mutex_);
  routes_[path] = std::move(route);
}

std::vector<std::string> LoopbackServer::requests() const {
  std::lock_guard lock(mutex_);
  return requests_;
}

void LoopbackServer::serve() {
  while (!stopping_) {
    pollfd waiting{listener_, POLLIN, 0};
    if (poll(&waiting, 1, 50) <= 0)
      continue;
    int connection = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
    if (connection < 0)
      continue;
    timeval limit{5, 0}; // a client that says nothing does not hold the server forever
    setsockopt(connection, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    answer(connection);
    close(connection);
  }
}

void LoopbackServer::answer(int socket) {
  std::unique_ptr<SSL, Deleter<SSL, SSL_free>> ssl;
  if (tls_) {
    ssl.reset(SSL_new(tls_->context.get()));
    SSL_set_fd(ssl.get(), socket);
    if (SSL_accept(ssl.get()) != 1) {
      ERR_clear_error();
      return; // the client did not trust us, or gave up
    }
  }
  auto receive = [&](char* buffer, int size) {
    return ssl ? SSL_read(ssl.get(), buffer, size) : static_cast<int>(recv(socket, buffer, size, 0));
  };
  auto send = [&](std::string_view data) {
    while (!data.empty()) {
      int sent = ssl ? SSL_write(ssl.get(), data.data(), static_cast<int>(data.size()))
                     : static_cast<int>(::send(socket, data.data(), data.size(), MSG_NOSIGNAL));
      if (sent <= 0)
        return;
      data.remove_prefix(static_cast<std::size_t>(sent));
    }
  };

  std::string request;
  char buffer[4096];
  while (request.find("\r\n\r\n") == std::string::npos) {
    int got = receive(buffer, sizeof buffer);
    if (got <= 0)
      return;
    request.append(buffer, static_cast<std::size_t>(got));
  }
  std::size_t start = request.find(' ') + 1;
  std::string path = request.substr(start, request.find(' ', start) - start);

  Route route;
  {
    std::lock_guard lock(mutex_);
    requests_.push_back(path);
    auto it = routes_.find(path);
    if (it != routes_.end()) {
      route = it->second;
    } else {
      route.status = 404;
      route.body = "<html><body>Not Found</body></html>";
      route.contentType = "text/html";
    }
  }
  std::string head = "HTTP/1.1 " + std::to_string(route.status) + " " + reason(route.status) +
                     "\r\nContent-Type: " + route.contentType + "\r\nConnection: close\r\n";
  if (route.sendLength)
    head += "Content-Length: " + std::to_string(route.announced.value_or(route.body.size())) + "\r\n";
  if (!route.location.empty())
    head += "Location: " + route.location + "\r\n";
  send(head + "\r\n");
  send(std::string_view(route.body).substr(0, route.sendBytes));
  auto until = std::chrono::steady_clock::now() + route.holdOpen;
  while (!stopping_ && std::chrono::steady_clock::now() < until)
    std::this_thread::sleep_for(std::chrono::milliseconds(20));
  if (ssl)
    SSL_shutdown(ssl.get());
}

} // namespace quorvane::testing
