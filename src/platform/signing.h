// Digital signatures (Ed25519): the keys a publisher signs signature files with, and the check
// of a signature against a public key. Keys travel as PEM texts (PKCS #8 for the private key,
// SubjectPublicKeyInfo for the public one), signatures as their 64 bytes.
#pragma once

#include "platform/error.h"

#include <string>
#include <string_view>

namespace quorvane::platform {

struct SigningKeyPair {
  std::string privateKey; ///< PEM
  std::string publicKey;  ///< PEM
};

/// A new key pair from the system's random source.
ErrorOr<SigningKeyPair> generateSigningKeyPair();
/// The signature of `message` made with the PEM private key.
ErrorOr<std::string> signMessage(std::string_view privateKey, std::string_view message);
/// Whether `signature` is the signature of `message` by the PEM public key. An error when the
/// key is not an Ed25519 public key, or the system cannot check signatures.
ErrorOr<bool> verifySignature(std::string_view publicKey, std::string_view message,
                              std::string_view signature);

} // namespace quorvane::platform
