// The Windows facilities on the real Win32 API (under Wine in CI).
#include "platform/windows/wide.h"
#include "platform/windows/windows_platform.h"

#include <gtest/gtest.h>

#include <windows.h>

#include <algorithm>
#include <string>

namespace quorvane::platform::windows {
namespace {

std::string hex(const Md5Digest& digest) {
  static constexpr char kHex[] = "0123456789abcdef";
  std::string text;
  for (std::uint8_t byte : digest) {
    text += kHex[byte >> 4];
    text += kHex[byte & 15];
  }
  return text;
}

std::string md5Of(Crypto& crypto, std::string_view data, std::size_t piece) {
  auto hash = crypto.newMd5();
  if (!hash)
    return "no provider";
  for (std::size_t at = 0; at < data.size(); at += piece)
    if ((*hash)->update(data.data() + at, std::min(piece, data.size() - at)))
      return "update failed";
  auto digest = (*hash)->finish();
  return digest ? hex(*digest) : "finish failed";
}

TEST(WindowsCryptoTest, Md5OfKnownTextsInAnyPieces) {
  CngCrypto crypto;
  // RFC 1321's test suite.
  EXPECT_EQ(md5Of(crypto, "", 1), "d41d8cd98f00b204e9800998ecf8427e");
  EXPECT_EQ(md5Of(crypto, "abc", 1), "900150983cd24fb0d6963f7d28e17f72");
  std::string digits;
  for (int i = 0; i < 8; ++i)
    digits += "1234567890";
  for (std::size_t piece : {std::size_t{1}, std::size_t{7}, std::size_t{64}, digits.size()})
    EXPECT_EQ(md5Of(crypto, digits, piece), "57edf4a22be3c955ac49da2e2107b67a") << piece;
}

TEST(WindowsTextTest, Utf8RoundTripsThroughTheWideCalls) {
  std::string text = "Gr\xC3\xBC\xC3\x9F"
                     "e \xE2\x82\xAC \xF0\x9F\x98\x80"; // ü ß € and an emoji
  std::wstring wide = widen(text);
  EXPECT_EQ(wide.size(), 10u) << "the emoji takes two UTF-16 units";
  EXPECT_EQ(narrow(wide), text);
  EXPECT_EQ(narrow(widen("")), "");
  // Text that is not UTF-8 does not stop the conversion: the bad byte becomes U+FFFD.
  EXPECT_EQ(narrow(widen("a\xFF"
                         "b")),
            "a\xEF\xBF\xBD"
            "b");
}

TEST(WindowsClockTest, TicksNeverGoBackAndFileTimesAreLocal) {
  WindowsClock clock;
  std::uint64_t first = clock.tickCount();
  ::Sleep(50); // longer than the tick's step (about 16 ms)
  EXPECT_GT(clock.tickCount(), first);

  // The local time of a moment agrees with what Windows says of the same moment.
  std::int64_t moment = 1780000000; // 2026-05-28 UTC
  LocalDateTime local = clock.localTimeOf(moment);
  EXPECT_EQ(local.year, 2026);
  EXPECT_EQ(local.month, 5);
  EXPECT_GE(local.day, 27);
  EXPECT_LE(local.day, 29);
  EXPECT_FALSE(clock.shortDate(local).empty());
  EXPECT_NE(clock.longTime(local).find(':'), std::string::npos);
  EXPECT_GE(clock.localNow().year, 2024);
}

TEST(WindowsEnvironmentTest, VariablesNamesAndTheProgramsOwnPath) {
  WindowsEnvironment environment;
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QUORVANE_TEST", L"\x00FC-ok"));
  EXPECT_EQ(environment.variable("QUORVANE_TEST"), "\xC3\xBC-ok");
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QUORVANE_TEST", L""));
  EXPECT_EQ(environment.variable("QUORVANE_TEST"), "") << "set, and empty";
  ASSERT_TRUE(::SetEnvironmentVariableW(L"QUORVANE_TEST", nullptr));
  EXPECT_EQ(environment.variable("QUORVANE_TEST"), std::nullopt);

  std::string program = environment.executablePath();
  EXPECT_NE(program.find("windows_platform_tests.exe"), std::string::npos) << program;
  EXPECT_FALSE(environment.currentDirectory().empty());
  EXPECT_FALSE(environment.computerName().empty());
  EXPECT_FALSE(environment.userName().empty());
  // The built-in group everyone has a fixed identifier on every Windows.
  EXPECT_EQ(environment.accountIdentifier("Everyone"), kEveryoneIdentifier);
  EXPECT_EQ(environment.accountIdentifier("no-such-account-quorvane"), std::nullopt);
}

TEST(WindowsDrivesTest, TheSystemDriveIsADriveAndNothingChangesUnasked) {
  WindowsDrives drives;
  std::vector<std::string> roots = drives.roots();
  EXPECT_NE(std::find(roots.begin(), roots.end(), "C:\\"), roots.end());
  // A drive whose device cannot be asked (Wine has none behind its letters) is not described.
  DeviceInfo info = drives.deviceInfo("C:\\");
  if (info.ok) {
    EXPECT_TRUE(info.busType == 0 || info.busType == kBusTypeUsb);
  }
  EXPECT_FALSE(drives.deviceInfo("not a root").ok);
  EXPECT_FALSE(drives.waitForChange(std::chrono::milliseconds(300))) << "no drive came or went";
}

} // namespace
} // namespace quorvane::platform::windows
