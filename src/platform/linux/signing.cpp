// Ed25519 through OpenSSL's EVP interface.
#include "platform/signing.h"

#include <openssl/bio.h>
#include <openssl/evp.h>
#include <openssl/pem.h>

#include <memory>

namespace quorvane::platform {
namespace {

struct KeyFree {
  void operator()(EVP_PKEY* key) const { EVP_PKEY_free(key); }
};
struct ContextFree {
  void operator()(EVP_PKEY_CTX* context) const { EVP_PKEY_CTX_free(context); }
};
struct DigestFree {
  void operator()(EVP_MD_CTX* context) const { EVP_MD_CTX_free(context); }
};
struct BioFree {
  void operator()(BIO* bio) const { BIO_free(bio); }
};
using Key = std::unique_ptr<EVP_PKEY, KeyFree>;

constexpr std::size_t kSignatureSize = 64;

std::error_code failed() {
  return std::make_error_code(std::errc::invalid_argument);
}

/// A key read from PEM text; none unless it is an Ed25519 key of the kind asked for.
Key readKey(std::string_view pem, bool privateKey) {
  if (pem.size() > 64 * 1024)
    return nullptr;
  std::unique_ptr<BIO, BioFree> bio(BIO_new_mem_buf(pem.data(), static_cast<int>(pem.size())));
  if (!bio)
    return nullptr;
  Key key(privateKey ? PEM_read_bio_PrivateKey(bio.get(), nullptr, nullptr, nullptr)
                     : PEM_read_bio_PUBKEY(bio.get(), nullptr, nullptr, nullptr));
  if (!key || EVP_PKEY_get_id(key.get()) != EVP_PKEY_ED25519)
    return nullptr;
  return key;
}

std::string pemOf(EVP_PKEY* key, bool privateKey) {
  std::unique_ptr<BIO, BioFree> bio(BIO_new(BIO_s_mem()));
  if (!bio)
    return {};
  int ok = privateKey ? PEM_write_bio_PrivateKey(bio.get(), key, nullptr, nullptr, 0, nullptr, nullptr)
                      : PEM_write_bio_PUBKEY(bio.get(), key);
  if (ok != 1)
    return {};
  char* data = nullptr;
  long size = BIO_get_mem_data(bio.get(), &data);
  return size > 0 ? std::string(data, static_cast<std::size_t>(size)) : std::string();
}

} // namespace

ErrorOr<SigningKeyPair> generateSigningKeyPair() {
  std::unique_ptr<EVP_PKEY_CTX, ContextFree> context(
      EVP_PKEY_CTX_new_id(EVP_PKEY_ED25519, nullptr));
  EVP_PKEY* made = nullptr;
  if (!context || EVP_PKEY_keygen_init(context.get()) != 1 ||
      EVP_PKEY_keygen(context.get(), &made) != 1)
    return failed();
  Key key(made);
  SigningKeyPair pair{pemOf(key.get(), true), pemOf(key.get(), false)};
  if (pair.privateKey.empty() || pair.publicKey.empty())
    return failed();
  return pair;
}

ErrorOr<std::string> signMessage(std::string_view privateKey, std::string_view message) {
  Key key = readKey(privateKey, true);
  if (!key)
    return failed();
  std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  std::string signature(kSignatureSize, '\0');
  std::size_t size = signature.size();
  if (!context || EVP_DigestSignInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1 ||
      EVP_DigestSign(context.get(), reinterpret_cast<unsigned char*>(signature.data()), &size,
                     reinterpret_cast<const unsigned char*>(message.data()), message.size()) != 1 ||
      size != kSignatureSize)
    return failed();
  return signature;
}

ErrorOr<bool> verifySignature(std::string_view publicKey, std::string_view message,
                              std::string_view signature) {
  Key key = readKey(publicKey, false);
  if (!key)
    return failed();
  if (signature.size() != kSignatureSize)
    return false;
  std::unique_ptr<EVP_MD_CTX, DigestFree> context(EVP_MD_CTX_new());
  if (!context || EVP_DigestVerifyInit(context.get(), nullptr, nullptr, nullptr, key.get()) != 1)
    return failed();
  return EVP_DigestVerify(context.get(), reinterpret_cast<const unsigned char*>(signature.data()),
                          signature.size(), reinterpret_cast<const unsigned char*>(message.data()),
                          message.size()) == 1;
}

} // namespace quorvane::platform
