// HTTP(S) through WinHTTP: only http and https, never from https down to http on a redirect,
// the system's certificate authorities plus the request's own file, a connection time limit
// and a stall limit.
#include "platform/windows/windows_platform.h"

#include "platform/windows/wide.h"

#include <windows.h>

#include <wincrypt.h>
#include <winhttp.h>

#include <fstream>
#include <sstream>

namespace quorvane::platform::windows {
namespace {

class Internet {
public:
  explicit Internet(HINTERNET handle) : handle_(handle) {}
  ~Internet() {
    if (handle_)
      ::WinHttpCloseHandle(handle_);
  }
  Internet(const Internet&) = delete;
  Internet& operator=(const Internet&) = delete;
  HINTERNET get() const { return handle_; }
  explicit operator bool() const { return handle_ != nullptr; }

private:
  HINTERNET handle_;
};

HttpError errorOfWinHttp(DWORD code) {
  switch (code) {
  case ERROR_WINHTTP_TIMEOUT:
    return HttpError::TimedOut;
  case ERROR_WINHTTP_NAME_NOT_RESOLVED:
  case ERROR_WINHTTP_CANNOT_CONNECT:
  case ERROR_WINHTTP_SECURE_FAILURE:
  case ERROR_WINHTTP_SECURE_INVALID_CA:
  case ERROR_WINHTTP_SECURE_CERT_CN_INVALID:
  case ERROR_WINHTTP_SECURE_CERT_DATE_INVALID:
  case ERROR_WINHTTP_SECURE_CERT_REVOKED:
  case ERROR_WINHTTP_SECURE_CERT_REV_FAILED:
  case ERROR_WINHTTP_SECURE_CERT_WRONG_USAGE:
  case ERROR_WINHTTP_SECURE_INVALID_CERT:
  case ERROR_WINHTTP_SECURE_CHANNEL_ERROR: // the handshake itself failed (an untrusted root)
  case ERROR_WINHTTP_CLIENT_AUTH_CERT_NEEDED:
    return HttpError::ConnectFailed;
  case ERROR_WINHTTP_CONNECTION_ERROR:
    return HttpError::Incomplete;
  case ERROR_WINHTTP_UNRECOGNIZED_SCHEME:
  case ERROR_WINHTTP_INVALID_URL:
    return HttpError::BadUrl;
  case ERROR_WINHTTP_REDIRECT_FAILED:
    return HttpError::BadUrl; // to a scheme not allowed
  default:
    return HttpError::Failed;
  }
}

/// The certificates of a PEM file, in a store of their own; null when none could be read.
HCERTSTORE certificatesOf(const std::string& pemFile) {
  std::ifstream in(pemFile, std::ios::binary);
  std::stringstream text;
  text << in.rdbuf();
  std::string pem = text.str();
  HCERTSTORE store = ::CertOpenStore(CERT_STORE_PROV_MEMORY, 0, 0, 0, nullptr);
  if (!store)
    return nullptr;
  int added = 0;
  constexpr std::string_view kEnd = "-----END CERTIFICATE-----";
  for (std::size_t at = pem.find("-----BEGIN CERTIFICATE-----"); at != std::string::npos;
       at = pem.find("-----BEGIN CERTIFICATE-----", at + 1)) {
    std::size_t end = pem.find(kEnd, at);
    if (end == std::string::npos)
      break;
    std::string block = pem.substr(at, end + kEnd.size() - at);
    DWORD size = 0;
    if (!::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                                CRYPT_STRING_BASE64HEADER, nullptr, &size, nullptr, nullptr))
      continue;
    std::vector<BYTE> der(size);
    if (::CryptStringToBinaryA(block.c_str(), static_cast<DWORD>(block.size()),
                               CRYPT_STRING_BASE64HEADER, der.data(), &size, nullptr, nullptr) &&
        ::CertAddEncodedCertificateToStore(store, X509_ASN_ENCODING, der.data(), size,
                                           CERT_STORE_ADD_ALWAYS, nullptr))
      ++added;
  }
  if (added == 0) {
    ::CertCloseStore(store, 0);
    return nullptr;
  }
  return store;
}

/// True when the server's certificate is trusted by the system, or chains up to a certificate
/// of `authorities`. (The host name and the dates were already checked by WinHTTP; only an
/// unknown root was let through.)
bool serverTrusted(HINTERNET request, HCERTSTORE authorities) {
  PCCERT_CONTEXT server = nullptr;
  DWORD size = sizeof server;
  if (!::WinHttpQueryOption(request, WINHTTP_OPTION_SERVER_CERT_CONTEXT, &server, &size) || !server)
    return false;
  CERT_CHAIN_PARA parameters{};
  parameters.cbSize = sizeof parameters;
  PCCERT_CHAIN_CONTEXT chain = nullptr;
  bool trusted = false;
  if (::CertGetCertificateChain(nullptr, server, nullptr, authorities, &parameters, 0, nullptr,
                                &chain) &&
      chain->cChain > 0 && chain->rgpChain[0]->cElement > 0) {
    DWORD errors = chain->TrustStatus.dwErrorStatus;
    if (errors == CERT_TRUST_NO_ERROR) {
      trusted = true;
    } else if (errors == CERT_TRUST_IS_UNTRUSTED_ROOT) {
      // An unknown root: trusted when it is one of the file's certificates.
      const CERT_SIMPLE_CHAIN* simple = chain->rgpChain[0];
      PCCERT_CONTEXT root = simple->rgpElement[simple->cElement - 1]->pCertContext;
      PCCERT_CONTEXT match = ::CertFindCertificateInStore(authorities, X509_ASN_ENCODING, 0,
                                                          CERT_FIND_EXISTING, root, nullptr);
      trusted = match != nullptr;
      if (match)
        ::CertFreeCertificateContext(match);
    }
  }
  if (chain)
    ::CertFreeCertificateChain(chain);
  ::CertFreeCertificateContext(server);
  return trusted;
}

} // namespace

ErrorOr<int> WinHttp::get(const HttpRequest& request, HttpReceiver& receiver) {
  auto isHttps = isHttpsRequest(request);
  if (!isHttps)
    return isHttps.error();
  bool https = *isHttps;
  std::wstring url = widen(request.url);
  URL_COMPONENTS parts{};
  parts.dwStructSize = sizeof parts;
  parts.dwHostNameLength = parts.dwUrlPathLength = parts.dwExtraInfoLength = DWORD(-1);
  if (!::WinHttpCrackUrl(url.c_str(), 0, 0, &parts))
    return make_error_code(HttpError::BadUrl);
  std::wstring host(parts.lpszHostName, parts.dwHostNameLength);
  std::wstring path(parts.lpszUrlPath, parts.dwUrlPathLength);
  path.append(parts.lpszExtraInfo, parts.dwExtraInfoLength);
  if (path.empty())
    path = L"/";

  Internet session(::WinHttpOpen(L"Quorvane-Antimalware", WINHTTP_ACCESS_TYPE_DEFAULT_PROXY,
                                 WINHTTP_NO_PROXY_NAME, WINHTTP_NO_PROXY_BYPASS, 0));
  if (!session)
    return make_error_code(HttpError::Failed);
  int connect = static_cast<int>(request.connectTimeout.count());
  int stall = static_cast<int>(request.stallTimeout.count());
  ::WinHttpSetTimeouts(session.get(), connect, connect, stall, stall);
  Internet connection(::WinHttpConnect(session.get(), host.c_str(), parts.nPort, 0));
  if (!connection)
    return make_error_code(errorOfWinHttp(::GetLastError()));
  Internet call(::WinHttpOpenRequest(connection.get(), L"GET", path.c_str(), nullptr,
                                     WINHTTP_NO_REFERER, WINHTTP_DEFAULT_ACCEPT_TYPES,
                                     https ? WINHTTP_FLAG_SECURE : 0));
  if (!call)
    return make_error_code(HttpError::Failed);
  // Redirects: at most 5, and never from https to http (nor to http at all when https only).
  DWORD policy = https || request.httpsOnly ? WINHTTP_OPTION_REDIRECT_POLICY_DISALLOW_HTTPS_TO_HTTP
                                            : WINHTTP_OPTION_REDIRECT_POLICY_ALWAYS;
  ::WinHttpSetOption(call.get(), WINHTTP_OPTION_REDIRECT_POLICY, &policy, sizeof policy);
  DWORD redirects = 5;
  ::WinHttpSetOption(call.get(), WINHTTP_OPTION_MAX_HTTP_AUTOMATIC_REDIRECTS, &redirects,
                     sizeof redirects);
  HCERTSTORE authorities = nullptr;
  if (https && !request.caFile.empty()) {
    // The file's authorities are trusted besides the system's: an unknown root is let through
    // WinHTTP, and the chain is then checked against the file here.
    authorities = certificatesOf(request.caFile);
    DWORD flags = SECURITY_FLAG_IGNORE_UNKNOWN_CA;
    if (authorities)
      ::WinHttpSetOption(call.get(), WINHTTP_OPTION_SECURITY_FLAGS, &flags, sizeof flags);
  }
  struct StoreCloser {
    HCERTSTORE store;
    ~StoreCloser() {
      if (store)
        ::CertCloseStore(store, 0);
    }
  } closeLater{authorities};

  if (!::WinHttpSendRequest(call.get(), WINHTTP_NO_ADDITIONAL_HEADERS, 0, WINHTTP_NO_REQUEST_DATA,
                            0, 0, 0) ||
      !::WinHttpReceiveResponse(call.get(), nullptr))
    return make_error_code(errorOfWinHttp(::GetLastError()));
  if (authorities && !serverTrusted(call.get(), authorities))
    return make_error_code(HttpError::ConnectFailed);

  DWORD status = 0, size = sizeof status;
  ::WinHttpQueryHeaders(call.get(), WINHTTP_QUERY_STATUS_CODE | WINHTTP_QUERY_FLAG_NUMBER,
                        WINHTTP_HEADER_NAME_BY_INDEX, &status, &size, WINHTTP_NO_HEADER_INDEX);
  std::optional<std::uint64_t> length;
  wchar_t lengthText[32];
  DWORD lengthSize = sizeof lengthText;
  if (::WinHttpQueryHeaders(call.get(), WINHTTP_QUERY_CONTENT_LENGTH, WINHTTP_HEADER_NAME_BY_INDEX,
                            lengthText, &lengthSize, WINHTTP_NO_HEADER_INDEX))
    length = std::wcstoull(lengthText, nullptr, 10);
  if (!receiver.onResponse(static_cast<int>(status), length))
    return make_error_code(HttpError::Abandoned);

  std::uint64_t received = 0;
  std::vector<char> buffer(64 * 1024);
  for (;;) {
    DWORD read = 0;
    if (!::WinHttpReadData(call.get(), buffer.data(), static_cast<DWORD>(buffer.size()), &read))
      return make_error_code(errorOfWinHttp(::GetLastError()));
    if (read == 0)
      break;
    received += read;
    if (!receiver.onData(std::string_view(buffer.data(), read)))
      return make_error_code(HttpError::Abandoned);
  }
  if (length && received < *length)
    return make_error_code(HttpError::Incomplete);
  return static_cast<int>(status);
}

} // namespace quorvane::platform::windows
