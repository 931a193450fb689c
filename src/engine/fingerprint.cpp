// File fingerprints.
#include "engine/fingerprint.h"

#include <memory>
#include <mutex>
#include <vector>

namespace quorvane::engine {
namespace {

/// A read buffer lent for one file and handed on to the next, so that hashing many small files
/// allocates (and faults in) no fresh memory per file. There are never more buffers than files
/// hashed at once. Not a thread_local: on the Windows build a thread_local's destructor may run
/// on storage its runtime already freed.
class ReadBuffer {
public:
  explicit ReadBuffer(std::size_t size) {
    {
      std::lock_guard lock(mutex_);
      if (!idle_.empty()) {
        held_ = std::move(idle_.back());
        idle_.pop_back();
      }
    }
    if (held_.size < size)
      held_ = {std::unique_ptr<char[]>(new char[size]), size};
  }
  ~ReadBuffer() {
    std::lock_guard lock(mutex_);
    idle_.push_back(std::move(held_));
  }
  ReadBuffer(const ReadBuffer&) = delete;
  ReadBuffer& operator=(const ReadBuffer&) = delete;

  char* get() { return held_.bytes.get(); }

private:
  struct Buffer {
    std::unique_ptr<char[]> bytes;
    std::size_t size = 0;
  };
  static inline std::mutex mutex_;
  static inline std::vector<Buffer> idle_;
  Buffer held_;
};

} // namespace

platform::ErrorOr<HashedFile> hashOpenFile(platform::Platform& platform, platform::InputFile& file,
                                           int pieceSize, engine::RunControl* control,
                                           std::uint64_t* pausedMs) {
  auto hash = platform.crypto.newMd5();
  if (!hash)
    return hash.error();
  std::size_t piece = static_cast<std::size_t>(pieceSize > 0 ? pieceSize : kDefaultPieceSize);
  ReadBuffer buffer(piece);
  HashedFile out;
  out.file = file.status();
  for (;;) {
    auto n = file.read(buffer.get(), piece);
    if (!n)
      return n.error();
    if (*n == 0)
      break;
    out.length += *n;
    if (auto error = (*hash)->update(buffer.get(), *n))
      return error;
    if (control) {
      std::uint64_t before = platform.clock.tickCount();
      bool goOn = control->checkpoint();
      if (pausedMs)
        *pausedMs += platform.clock.tickCount() - before;
      if (!goOn)
        return std::errc::operation_canceled;
    }
  }
  auto digest = (*hash)->finish();
  if (!digest)
    return digest.error();
  out.digest = *digest;
  return out;
}

platform::ErrorOr<platform::Md5Digest> hashFile(platform::Platform& platform,
                                                const std::string& path, int pieceSize,
                                                engine::RunControl* control,
                                                std::uint64_t* pausedMs) {
  auto file = platform.files.openRead(path);
  if (!file)
    return file.error();
  auto hashed = hashOpenFile(platform, **file, pieceSize, control, pausedMs);
  if (!hashed)
    return hashed.error();
  return hashed->digest;
}

platform::ErrorOr<HashedFile> hashEntry(platform::Platform& platform, const std::string& path,
                                        int pieceSize, engine::RunControl* control,
                                        std::uint64_t* pausedMs, bool throughLink) {
  auto file = throughLink ? platform.files.openRead(path) : platform.files.openEntry(path);
  if (!file)
    return file.error();
  return hashOpenFile(platform, **file, pieceSize, control, pausedMs);
}

std::string digestText(const platform::Md5Digest& digest) {
  static constexpr char kHex[] = "0123456789ABCDEF";
  std::string text;
  text.reserve(digest.size() * 2);
  for (std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 0x0F];
  }
  return text;
}

std::string getFileMD5HashCode(platform::Platform& platform, const std::string& path, int pieceSize,
                               engine::RunControl* control) {
  std::uint64_t start = platform.clock.tickCount();
  std::uint64_t paused = 0;
  auto digest = hashFile(platform, path, pieceSize, control, &paused);
  if (!digest)
    return {};
  if (platform.clock.tickCount() - start - paused > kHashTimeLimitMs)
    return std::string(32, '0');
  return digestText(*digest);
}

} // namespace quorvane::engine
