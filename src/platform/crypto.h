// Cryptographic facility: MD5 digests.
#pragma once

#include "platform/error.h"

#include <array>
#include <cstddef>
#include <cstdint>
#include <memory>

namespace quorvane::platform {

using Md5Digest = std::array<std::uint8_t, 16>;

/// An MD5 computation fed piece by piece.
class Md5Hash {
public:
  virtual ~Md5Hash() = default;
  virtual std::error_code update(const void* data, std::size_t size) = 0;
  virtual ErrorOr<Md5Digest> finish() = 0;
};

class Crypto {
public:
  virtual ~Crypto() = default;
  /// A new MD5 computation, or an error when the provider is missing.
  virtual ErrorOr<std::unique_ptr<Md5Hash>> newMd5() = 0;
};

} // namespace quorvane::platform
