// The blocking guard against a gate the test feeds: verdicts, the cache and what empties it, the
// time budget, and what is logged and reported.
#include "protect/exec_blocker.h"

#include "app/settings.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"
#include "protect/threat_check.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <functional>
#include <thread>

namespace quorvane::protect {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;
using std::chrono::milliseconds;
using platform::fake::FakeExecRequest;

constexpr milliseconds kPatience{10000}; ///< how long a test waits for what must happen

class ExecBlockerTest : public ::testing::Test {
protected:
  ExecBlockerTest() {
    fake.files.createDirectory("/app");
    list({kEvil});
  }
  ~ExecBlockerTest() override { blocker.stop(); }

  static inline const std::string kEvil = "#!/bin/sh\necho evil\n";
  static inline const std::string kHarmless = "#!/bin/sh\necho harmless\n";

  static std::string digestOf(const std::string& data) {
    platform::fake::FakeCrypto crypto;
    auto md5 = crypto.newMd5();
    (*md5)->update(data.data(), data.size());
    return app::toLower(engine::digestText(*(*md5)->finish()));
  }
  /// Writes vir.sig with the keys of these contents and loads it.
  void list(const std::vector<std::string>& contents) {
    std::string text;
    for (const std::string& content : contents)
      text += engine::fileKeyText(app::toUpper(digestOf(content)), content.size()) + "\r\n";
    fake.files.put("/app/vir.sig", text);
    signatures.loadSignatureTable();
  }
  /// A start of `data` as the file `path`, version `inode`/`changed`.
  std::shared_ptr<FakeExecRequest> start(const std::string& path, const std::string& data,
                                         std::uint64_t inode, std::int64_t changed = 1) {
    return gate.submit(path, data, {7, inode, 0, 1, changed});
  }
  /// A start not yet handed to the gate.
  static std::shared_ptr<FakeExecRequest> prepared(const std::string& path, const std::string& data,
                                                   std::uint64_t inode) {
    return std::make_shared<FakeExecRequest>(path, data, platform::ExecFileVersion{7, inode, 0, 1, 1});
  }
  static bool waitUntil(const std::function<bool()>& condition) {
    auto deadline = std::chrono::steady_clock::now() + kPatience;
    while (!condition()) {
      if (std::chrono::steady_clock::now() > deadline)
        return false;
      std::this_thread::sleep_for(milliseconds(5));
    }
    return true;
  }
  /// The answer the start got: true allowed, false refused.
  static bool allowed(FakeExecRequest& request) {
    std::optional<bool> answer = request.waitForAnswer(kPatience);
    EXPECT_TRUE(answer.has_value()) << request.path() << " was never answered";
    return answer.value_or(true);
  }
  std::vector<std::string> logged() {
    std::vector<std::string> names;
    for (const threats::ThreatRecord& r : threats::ThreatLog(fake.platform, "/app").showScanHistory())
      names.push_back(r.name);
    return names;
  }

  platform::fake::FakePlatform fake;
  platform::fake::FakeExecGate gate;
  engine::SignatureDatabase signatures{fake.files, "/app/vir.sig"};
  ExecBlocker blocker{fake.platform, gate, "/app", signatures, {2, 4, 4096, milliseconds(200), 1000}};
};

TEST_F(ExecBlockerTest, RefusesAListedProgramAndLetsOthersThrough) {
  blocker.start();
  auto evil = start("/tmp/x/dropper", kEvil, 10);
  auto harmless = start("/usr/bin/tool", kHarmless, 11);
  EXPECT_FALSE(allowed(*evil));
  EXPECT_TRUE(allowed(*harmless));

  // The refusal is logged and reported like the polling guard's, with no process left.
  std::vector<threats::AlertRecord> reported = blocker.reportRefused();
  ASSERT_EQ(reported.size(), 1u);
  EXPECT_EQ(reported[0].text(), "dropper|" + digestOf(kEvil) + "|/tmp/x/dropper|0");
  EXPECT_THAT(fake.notifier.alerts, ElementsAre(reported[0].text()));
  EXPECT_THAT(logged(), ElementsAre("dropper"));
  EXPECT_THAT(blocker.reportRefused(), IsEmpty()); // reported once
  ExecBlockerCounts counts = blocker.counts();
  EXPECT_EQ(counts.refused, 1u);
  EXPECT_EQ(counts.allowed, 1u);
}

TEST_F(ExecBlockerTest, TheThreatFoundSettingActsOnTheRefusedFile) {
  fake.files.put("/tmp/x/dropper", kEvil, true);
  app::SettingsStore(fake.platform).setSetting("threatfound", "1");
  blocker.start();
  auto evil = start("/tmp/x/dropper", kEvil, 10);
  EXPECT_FALSE(allowed(*evil));
  blocker.reportRefused();
  EXPECT_FALSE(fake.files.exists("/tmp/x/dropper"));
}

TEST_F(ExecBlockerTest, AVersionSeenBeforeIsAnsweredFromTheCacheAndAChangedOneIsReadAgain) {
  blocker.start();
  auto first = start("/usr/bin/tool", kHarmless, 11);
  EXPECT_TRUE(allowed(*first));
  auto again = start("/usr/bin/tool", kHarmless, 11);
  EXPECT_TRUE(allowed(*again));
  EXPECT_EQ(again->opens, 0);
  EXPECT_EQ(blocker.counts().fromCache, 1u);

  // The same inode rewritten with listed bytes: its status-change time moved, even where the
  // writer set the modification time back.
  auto rewritten = start("/usr/bin/tool", kEvil, 11, 2);
  EXPECT_FALSE(allowed(*rewritten));
  EXPECT_EQ(rewritten->opens, 1);
  // And a refusal is cached as well.
  auto retried = start("/usr/bin/tool", kEvil, 11, 2);
  EXPECT_FALSE(allowed(*retried));
  EXPECT_EQ(retried->opens, 0);
}

TEST_F(ExecBlockerTest, MarkingTheDigestSafeLetsTheSameFileRunAtOnce) {
  blocker.start();
  EXPECT_FALSE(allowed(*start("/tmp/x/tool", kEvil, 10)));
  engine::appendSafeRecord(fake.files, "/app/safe.sig", {digestOf(kEvil)});
  EXPECT_TRUE(allowed(*start("/tmp/x/tool", kEvil, 10)));
}

TEST_F(ExecBlockerTest, NewSignaturesEmptyTheCache) {
  blocker.start();
  EXPECT_TRUE(allowed(*start("/usr/bin/tool", kHarmless, 11)));
  list({kEvil, kHarmless});
  EXPECT_FALSE(allowed(*start("/usr/bin/tool", kHarmless, 11)));
  list({});
  EXPECT_TRUE(allowed(*start("/tmp/x/dropper", kEvil, 10)));
}

TEST_F(ExecBlockerTest, FilesOverTheSizeLimitOrWithUnlistedLengthsAreNotRead) {
  blocker.start();
  std::string big(kSizeLimit, 'x');
  list({big, kEvil});
  auto large = start("/opt/big", big, 20);
  EXPECT_TRUE(allowed(*large));
  EXPECT_EQ(large->opens, 0);
  auto other = start("/opt/other", kEvil + "padding", 21);
  EXPECT_TRUE(allowed(*other));
  EXPECT_EQ(other->opens, 0);
}

TEST_F(ExecBlockerTest, AFileThatCannotBeReadGoesAheadAndIsToldOf) {
  blocker.start();
  auto unreadable = prepared("/mnt/share/tool", kEvil, 30);
  unreadable->unreadable = true;
  gate.submit(unreadable);
  EXPECT_TRUE(allowed(*unreadable));
  EXPECT_EQ(blocker.counts().unchecked, 1u);
  EXPECT_THAT(blocker.takeNotices(), ElementsAre(HasSubstr("could not be read whole): /mnt/share/tool")));
  // No verdict was kept: once readable, the same version is read and refused.
  auto readable = start("/mnt/share/tool", kEvil, 30);
  EXPECT_FALSE(allowed(*readable));
  EXPECT_EQ(readable->opens, 1);
}

TEST_F(ExecBlockerTest, StuckChecksGoAheadAfterTheBudgetWhileOtherStartsAreAnswered) {
  blocker.start();
  // More stuck starts than there are readers: the guard adds readers rather than hold the rest.
  std::vector<std::shared_ptr<FakeExecRequest>> stuck;
  for (std::uint64_t inode : {40, 41, 42}) {
    stuck.push_back(prepared("/mnt/slow/tool" + std::to_string(inode), kEvil, inode));
    stuck.back()->stalled = true;
    gate.submit(stuck.back());
  }
  for (auto& request : stuck)
    EXPECT_TRUE(allowed(*request));
  auto quick = start("/tmp/x/dropper", kEvil, 10);
  EXPECT_FALSE(allowed(*quick));
  EXPECT_EQ(blocker.counts().overBudget, 3u);
  EXPECT_THAT(blocker.takeNotices(),
              ::testing::Contains(HasSubstr("(no verdict within 200 ms): /mnt/slow/tool40")));
  for (auto& request : stuck)
    request->stalled = false;
  // The verdict reached late is kept for the next start of that version.
  ASSERT_TRUE(waitUntil([&] { return blocker.counts().late == 3; }));
  auto late = start("/mnt/slow/tool40", kEvil, 40);
  EXPECT_FALSE(allowed(*late));
  EXPECT_EQ(late->opens, 0);
}

} // namespace
} // namespace quorvane::protect
