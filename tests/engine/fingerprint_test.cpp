// File fingerprints: MD5 text of a file, piece sizes, the time limit and failures.
#include "engine/fingerprint.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::engine {
namespace {

class FingerprintTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  platform::Platform& p = fake.platform;

  std::string put(const std::string& content) {
    fake.files.put("/data/file", content);
    return "/data/file";
  }
};

TEST_F(FingerprintTest, KnownDigests) {
  EXPECT_EQ(getFileMD5HashCode(p, put("")), "D41D8CD98F00B204E9800998ECF8427E");
  EXPECT_EQ(getFileMD5HashCode(p, put("abc")), "900150983CD24FB0D6963F7D28E17F72");
}

TEST_F(FingerprintTest, DigestDoesNotDependOnThePieceSize) {
  // 1024 bytes fit one piece, 1025 need a second of one byte; every piece size agrees.
  for (std::size_t length : {1023u, 1024u, 1025u, 4096u, 5000u}) {
    std::string content(length, '\0');
    for (std::size_t i = 0; i < length; ++i)
      content[i] = static_cast<char>(i * 7 + 3);
    std::string path = put(content);
    std::string reference = getFileMD5HashCode(p, path, 1 << 20);
    ASSERT_EQ(reference.size(), 32u);
    for (int piece : {1, 7, 1024, 1025, 65536})
      EXPECT_EQ(getFileMD5HashCode(p, path, piece), reference) << length << " / " << piece;
  }
}

TEST_F(FingerprintTest, SlowHashingGivesZeros) {
  std::string path = put("abc");
  fake.clock.ticksPerRead = 3001; // the clock moves past the limit while the file is hashed
  EXPECT_EQ(getFileMD5HashCode(p, path), std::string(32, '0'));
  fake.clock.ticksPerRead = 3000; // exactly at the limit is still in time
  EXPECT_EQ(getFileMD5HashCode(p, path), "900150983CD24FB0D6963F7D28E17F72");
}

TEST_F(FingerprintTest, TheLimitIgnoresTheTimeOfDay) {
  // Local midnight passes during the call: the wall clock jumps back a whole day, the tick count
  // does not, so the digest is kept.
  fake.clock.now = {2026, 12, 9, 23, 59, 59, 3};
  std::string path = put("abc");
  fake.clock.ticksPerRead = 1000;
  EXPECT_EQ(getFileMD5HashCode(p, path), "900150983CD24FB0D6963F7D28E17F72");
}

TEST_F(FingerprintTest, FailuresGiveTheEmptyText) {
  EXPECT_EQ(getFileMD5HashCode(p, "/data/missing"), "");
  std::string path = put("abc");
  fake.files.unreadable.insert(path);
  EXPECT_EQ(getFileMD5HashCode(p, path), "");
  fake.files.unreadable.clear();
  fake.crypto.available = false;
  EXPECT_EQ(getFileMD5HashCode(p, path), "");
  EXPECT_FALSE(hashFile(p, path));
}

} // namespace
} // namespace quorvane::engine
