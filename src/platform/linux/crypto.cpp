// MD5 through OpenSSL's EVP digests.
#include "platform/linux/linux_platform.h"

#include <openssl/evp.h>

namespace quorvane::platform {
namespace {

class EvpMd5 final : public Md5Hash {
public:
  explicit EvpMd5(EVP_MD_CTX* context) : context_(context) {}
  ~EvpMd5() override { EVP_MD_CTX_free(context_); }
  EvpMd5(const EvpMd5&) = delete;
  EvpMd5& operator=(const EvpMd5&) = delete;

  std::error_code update(const void* data, std::size_t size) override {
    if (EVP_DigestUpdate(context_, data, size) != 1)
      return std::make_error_code(std::errc::io_error);
    return {};
  }
  ErrorOr<Md5Digest> finish() override {
    Md5Digest digest{};
    unsigned int size = 0;
    if (EVP_DigestFinal_ex(context_, digest.data(), &size) != 1 || size != digest.size())
      return std::errc::io_error;
    return digest;
  }

private:
  EVP_MD_CTX* context_;
};

} // namespace

ErrorOr<std::unique_ptr<Md5Hash>> OpenSslCrypto::newMd5() {
  // Fetched once: an implicit fetch at every init looks the algorithm up again, under a lock
  // the hashing threads share.
  static EVP_MD* const md5 = EVP_MD_fetch(nullptr, "MD5", nullptr);
  if (!md5)
    return std::errc::function_not_supported;
  EVP_MD_CTX* context = EVP_MD_CTX_new();
  if (!context)
    return std::errc::not_enough_memory;
  if (EVP_DigestInit_ex(context, md5, nullptr) != 1) {
    EVP_MD_CTX_free(context);
    return std::errc::function_not_supported;
  }
  return std::unique_ptr<Md5Hash>(std::make_unique<EvpMd5>(context));
}

} // namespace quorvane::platform
