#include "update/manual_update.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"
#include "update_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::update {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::IsEmpty;

TEST(ParseManifestTest, ReadsTheFirstTwoFields) {
  auto m = parseManifest("57|https://h/x/vir2.sig|whatever\r\n");
  ASSERT_TRUE(m);
  EXPECT_EQ(m->number, 57);
  EXPECT_EQ(m->url, "https://h/x/vir2.sig");
  EXPECT_EQ(parseManifest(" -3 | https://h/v.sig \r\n")->number, -3);
  for (const char* bad : {"", "57", "57|", "x|https://h/v", "40000|https://h/v", "5 7|https://h/v",
                          "<html>57|x</html>junk"})
    EXPECT_FALSE(parseManifest(bad)) << bad;
}

TEST(UpdateDateTextTest, DayMonthYearWithDashes) {
  EXPECT_EQ(updateDateText({2026, 3, 7, 1, 2, 3, 6}), "07-03-2026");
  EXPECT_EQ(updateDateText({1999, 12, 31, 0, 0, 0, 5}), "31-12-1999");
}

class ManualUpdateTest : public ::testing::Test {
protected:
  ManualUpdateTest() {
    fake.files.createDirectory("/app");
    fake.files.put("/app/vir.sig", testing::oldSignatures());
    fake.notifier.answer = true;
    fake.clock.now = {2026, 12, 10, 9, 0, 0, 4};
    settings.setSetting("update server", "https://up.example");
  }
  void serve(const std::string& manifest) {
    fake.http.responses["https://up.example/updates.txt"] = {200, manifest};
  }
  UpdateOutcome run() { return update.checkUpdateNow(); }

  platform::fake::FakePlatform fake;
  app::SettingsStore settings{fake.platform};
  ManualUpdate update{fake.platform, "/app"};
};

TEST_F(ManualUpdateTest, NewerUpdateIsInstalledAndRecorded) {
  settings.setSetting("update N", "56");
  settings.setSetting("last update", "08-12-2026");
  serve("57|https://cdn.example/x/vir2.sig\r\n");
  fake.http.responses["https://cdn.example/x/vir2.sig"] = {200, testing::newSignatures()};
  std::vector<int> bar;
  update.progress = [&](int p) { bar.push_back(p); };

  EXPECT_FALSE(update.downloadFinished());
  EXPECT_EQ(run(), UpdateOutcome::Updated);
  EXPECT_TRUE(update.downloadFinished());
  EXPECT_EQ(fake.files.content("/app/vir.sig"), testing::newSignatures());
  EXPECT_FALSE(fake.files.exists("/app/vir2.sig"));
  EXPECT_EQ(settings.setting("update N"), "57");
  EXPECT_EQ(
      settings.regReadNumber("HKEY_LOCAL_MACHINE\\" + std::string(app::kSettingsKey), "update N"),
      "57"); // stored as a number
  EXPECT_EQ(settings.setting("last update"), "10-12-2026");
  EXPECT_THAT(bar, ElementsAre(100));
  EXPECT_THAT(fake.notifier.questions, ElementsAre(std::string(kUpdateQuestion)));
  EXPECT_THAT(fake.notifier.messages, ElementsAre(std::string(kUpdatedText)));
  // The key of the vendor was opened to the user before anything was written.
  auto access = fake.registry.accessList(platform::Hive::LocalMachine, std::string(app::kVendorKey));
  ASSERT_TRUE(access);
  EXPECT_FALSE(access->entries.empty());
}

TEST_F(ManualUpdateTest, SameDayAsksTheServerEveryTime) {
  settings.setSetting("update N", "57");
  serve("57|https://cdn.example/vir.sig");
  EXPECT_EQ(run(), UpdateOutcome::UpToDate);
  serve("58|https://cdn.example/vir.sig");
  fake.http.responses["https://cdn.example/vir.sig"] = {200, testing::newSignatures()};
  EXPECT_EQ(run(), UpdateOutcome::Updated) << "the second check of the day still finds 58";
  EXPECT_EQ(fake.http.requests.size(), 3u);
  EXPECT_EQ(fake.notifier.messages.front(), kUpToDateText);
}

TEST_F(ManualUpdateTest, UpToDateChangesNothingButTheDayOfTheCheck) {
  // Same number, last update long ago: the old program ran a fake "refresh" here.
  settings.setSetting("update N", "57");
  settings.setSetting("last update", "01-06-2026");
  serve("57|https://cdn.example/vir.sig");
  EXPECT_EQ(run(), UpdateOutcome::UpToDate);
  EXPECT_EQ(fake.files.content("/app/vir.sig"), testing::oldSignatures());
  EXPECT_EQ(settings.setting("update N"), "57");
  EXPECT_EQ(settings.setting("last update"), "10-12-2026");
  EXPECT_THAT(fake.notifier.messages, ElementsAre(std::string(kUpToDateText)));
  EXPECT_EQ(fake.http.requests.size(), 1u);
}

TEST_F(ManualUpdateTest, NoStoredNumberCountsAsNothingInstalled) {
  settings.setSetting("update N", "garbage");
  serve("1|https://cdn.example/vir.sig");
  fake.http.responses["https://cdn.example/vir.sig"] = {200, testing::newSignatures()};
  EXPECT_EQ(run(), UpdateOutcome::Updated);
  EXPECT_EQ(settings.setting("update N"), "1");
}

TEST_F(ManualUpdateTest, AnsweringNoTouchesNothing) {
  fake.notifier.answer = false;
  serve("57|https://cdn.example/vir.sig");
  EXPECT_EQ(run(), UpdateOutcome::Declined);
  EXPECT_THAT(fake.http.requests, IsEmpty());
  EXPECT_THAT(fake.notifier.messages, IsEmpty());
  EXPECT_EQ(settings.setting("last update"), "");
  auto access = fake.registry.accessList(platform::Hive::LocalMachine, std::string(app::kVendorKey));
  EXPECT_TRUE(!access || access->entries.empty());
}

TEST_F(ManualUpdateTest, EveryFailureKeepsVirSigAndSaysWhy) {
  struct Case {
    const char* what;
    std::string manifest; ///< empty: no answer at all
    platform::fake::FakeHttp::Response download;
    const char* reason;
  } cases[] = {
      {"unreachable", "", {}, "could not be asked"},
      {"error page as manifest", "<html>oops</html>", {}, "not an update list"},
      {"404", "9|https://cdn.example/v.sig", {404, "<html>Not Found</html>"}, "404"},
      {"truncated",
       "9|https://cdn.example/v.sig",
       {200, testing::newSignatures().substr(0, 40), true,
        make_error_code(platform::HttpError::Incomplete)},
       "could not be downloaded"},
      {"html",
       "9|https://cdn.example/v.sig",
       {200, "<html><body>Login</body></html>"},
       "not a signature file"},
      {"empty", "9|https://cdn.example/v.sig", {200, ""}, "empty"},
      {"two keys", "9|https://cdn.example/v.sig", {200, testing::signatureText(2)}, "fewer than 3"},
      {"plain http", "9|http://cdn.example/v.sig", {200, testing::newSignatures()}, "https"},
  };
  settings.setSetting("update N", "5");
  for (const Case& c : cases) {
    fake.http.responses.clear();
    fake.notifier.messages.clear();
    if (!c.manifest.empty())
      serve(c.manifest);
    fake.http.responses["https://cdn.example/v.sig"] = c.download;
    fake.http.responses["http://cdn.example/v.sig"] = c.download;
    EXPECT_EQ(run(), UpdateOutcome::Failed) << c.what;
    EXPECT_EQ(fake.files.content("/app/vir.sig"), testing::oldSignatures()) << c.what;
    EXPECT_EQ(settings.setting("update N"), "5") << c.what;
    EXPECT_THAT(update.failure(), HasSubstr(c.reason)) << c.what;
    ASSERT_EQ(fake.notifier.messages.size(), 1u) << c.what;
    EXPECT_THAT(fake.notifier.messages[0], HasSubstr("kept")) << c.what;
    EXPECT_EQ(fake.notifier.messageStyles[0].icon, platform::MessageIcon::Critical);
  }
}

} // namespace
} // namespace quorvane::update
