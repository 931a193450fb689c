// MD5 through the Windows cryptography API (CNG).
#include "platform/windows/windows_platform.h"

#include <windows.h>

#include <bcrypt.h>

namespace quorvane::platform::windows {
namespace {

class CngMd5 final : public Md5Hash {
public:
  explicit CngMd5(BCRYPT_HASH_HANDLE hash) : hash_(hash) {}
  ~CngMd5() override { ::BCryptDestroyHash(hash_); }
  CngMd5(const CngMd5&) = delete;
  CngMd5& operator=(const CngMd5&) = delete;

  std::error_code update(const void* data, std::size_t size) override {
    // BCryptHashData takes at most 4 GB a call.
    const auto* bytes = static_cast<const unsigned char*>(data);
    while (size > 0) {
      ULONG piece = size > 0x40000000 ? 0x40000000 : static_cast<ULONG>(size);
      if (!BCRYPT_SUCCESS(::BCryptHashData(hash_, const_cast<PUCHAR>(bytes), piece, 0)))
        return std::make_error_code(std::errc::io_error);
      bytes += piece;
      size -= piece;
    }
    return {};
  }
  ErrorOr<Md5Digest> finish() override {
    Md5Digest digest{};
    if (!BCRYPT_SUCCESS(::BCryptFinishHash(hash_, digest.data(), digest.size(), 0)))
      return std::errc::io_error;
    return digest;
  }

private:
  BCRYPT_HASH_HANDLE hash_;
};

/// The MD5 provider, opened once for the process: opening it is the slow part.
BCRYPT_ALG_HANDLE md5Provider() {
  static BCRYPT_ALG_HANDLE const provider = [] {
    BCRYPT_ALG_HANDLE handle = nullptr;
    if (!BCRYPT_SUCCESS(::BCryptOpenAlgorithmProvider(&handle, BCRYPT_MD5_ALGORITHM, nullptr, 0)))
      return BCRYPT_ALG_HANDLE{nullptr};
    return handle;
  }();
  return provider;
}

} // namespace

ErrorOr<std::unique_ptr<Md5Hash>> CngCrypto::newMd5() {
  BCRYPT_ALG_HANDLE provider = md5Provider();
  if (!provider)
    return std::errc::function_not_supported;
  BCRYPT_HASH_HANDLE hash = nullptr;
  if (!BCRYPT_SUCCESS(::BCryptCreateHash(provider, &hash, nullptr, 0, nullptr, 0, 0)))
    return std::errc::not_enough_memory;
  return std::unique_ptr<Md5Hash>(std::make_unique<CngMd5>(hash));
}

} // namespace quorvane::platform::windows
