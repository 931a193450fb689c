// Windows' own cryptography (CNG) has no Ed25519: signatures cannot be made or checked here. An
// application folder that trusts a key therefore refuses every update on Windows rather than
// install one it cannot authenticate.
#include "platform/signing.h"

namespace quorvane::platform {

ErrorOr<SigningKeyPair> generateSigningKeyPair() {
  return std::errc::not_supported;
}

ErrorOr<std::string> signMessage(std::string_view, std::string_view) {
  return std::errc::not_supported;
}

ErrorOr<bool> verifySignature(std::string_view, std::string_view, std::string_view) {
  return std::errc::not_supported;
}

} // namespace quorvane::platform
