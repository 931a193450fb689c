#include "protect/autoprotect.h"

#include "app/text.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::protect {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class AutoProtectTest : public ::testing::Test {
protected:
  AutoProtectTest() {
    fake.files.createDirectory("/app");
    fake.files.put("/opt/evil/qv-evil", "EVIL PROGRAM", true);
    fake.files.put("/usr/bin/qv-evil", "harmless program of the same name", true);
    fake.files.put("/usr/bin/editor", "an editor", true);
    listAsThreats({"/opt/evil/qv-evil"});
  }
  /// Writes vir.sig with the keys of these files and loads it.
  void listAsThreats(const std::vector<std::string>& paths) {
    std::string text;
    for (const std::string& path : paths) {
      std::string content = fake.files.content(path);
      auto digest = engine::hashFile(fake.platform, path);
      text += engine::fileKeyText(engine::digestText(*digest), content.size()) + "\r\n";
    }
    fake.files.put("/app/vir.sig", text);
    signatures.loadSignatureTable();
  }
  int reads(const std::string& path) { return fake.files.reads[path]; }
  std::vector<std::string> logged() {
    std::vector<std::string> names;
    for (const threats::ThreatRecord& r :
         threats::ThreatLog(fake.platform, "/app").showScanHistory())
      names.push_back(r.name);
    return names;
  }

  platform::fake::FakePlatform fake;
  engine::SignatureDatabase signatures{fake.files, "/app/vir.sig"};
  AutoProtect guard{fake.platform, "/app", signatures};
};

TEST_F(AutoProtectTest, FirstPassEndsAThreatAlreadyRunning) {
  fake.processes.add(100, "/usr/bin/editor");
  fake.processes.add(101, "/opt/evil/qv-evil");
  std::vector<threats::AlertRecord> seen;
  guard.onThreat = [&](const threats::AlertRecord& r) { seen.push_back(r); };
  guard.tick();
  EXPECT_TRUE(guard.firstPassDone());
  EXPECT_THAT(fake.processes.terminated, ElementsAre(101));
  EXPECT_THAT(logged(), ElementsAre("qv-evil"));
  std::string digest =
      app::toLower(engine::digestText(*engine::hashFile(fake.platform, "/opt/evil/qv-evil")));
  EXPECT_THAT(fake.notifier.alerts, ElementsAre("qv-evil|" + digest + "|/opt/evil/qv-evil|0"));
  ASSERT_EQ(seen.size(), 1u);
  guard.tick();
  EXPECT_THAT(logged(), ElementsAre("qv-evil")); // logged once
}

TEST_F(AutoProtectTest, ANewProgramIsCheckedOnceWhileItRunsAndAgainWhenRestarted) {
  fake.processes.add(100, "/usr/bin/editor");
  guard.tick();
  fake.processes.add(200, "/opt/evil/qv-evil");
  fake.processes.add(201, "/usr/bin/qv-evil"); // same name, another file
  guard.tick();
  EXPECT_THAT(fake.processes.terminated, ElementsAre(200)); // the harmless namesake runs on
  int editorReads = reads("/usr/bin/editor");
  for (int i = 0; i < 10; ++i)
    guard.tick();
  EXPECT_EQ(reads("/usr/bin/editor"), editorReads) << "a known program is not read again";

  fake.processes.add(202, "/opt/evil/qv-evil"); // started again: a new process
  guard.tick();
  EXPECT_THAT(fake.processes.terminated, ElementsAre(200, 202));
  EXPECT_THAT(logged(), ElementsAre("qv-evil", "qv-evil"));
}

TEST_F(AutoProtectTest, AProcessThatReplacesItsProgramIsCheckedAgain) {
  fake.processes.add(100, "/usr/bin/editor");
  guard.tick();
  fake.processes.add(300, "/usr/bin/editor"); // forked, not yet replaced by its program
  guard.tick();
  fake.processes.processes.back() = {300, "qv-evil", "/opt/evil/qv-evil", {}};
  guard.tick();
  EXPECT_THAT(fake.processes.terminated, ElementsAre(300));
  // An old process that replaces its program late is caught by the sweep within two seconds.
  fake.processes.add(301, "/usr/bin/editor");
  for (int i = 0; i < 12; ++i)
    guard.tick();
  fake.processes.processes.back() = {301, "qv-evil", "/opt/evil/qv-evil", {}};
  for (int i = 0; i < 8; ++i)
    guard.tick();
  EXPECT_THAT(fake.processes.terminated, ElementsAre(300, 301));
}

TEST_F(AutoProtectTest, SwitchedOffNothingIsCheckedAndOnAgainOnlyNewcomersAre) {
  fake.processes.add(100, "/usr/bin/editor");
  guard.tick();
  EXPECT_EQ(guard.toggleAutoProtect(), kEnableAutoProtectCaption);
  EXPECT_FALSE(guard.enabled());
  fake.processes.add(400, "/opt/evil/qv-evil");
  int editorReads = reads("/usr/bin/editor");
  guard.tick();
  EXPECT_THAT(fake.processes.terminated, IsEmpty());
  EXPECT_EQ(guard.toggleAutoProtect(), kDisableAutoProtectCaption);
  guard.tick();
  EXPECT_THAT(fake.processes.terminated, ElementsAre(400));
  EXPECT_EQ(reads("/usr/bin/editor"), editorReads);
}

TEST_F(AutoProtectTest, SizeLimitAndSafeListSpareAProgram) {
  fake.files.put("/opt/big", std::string(kSizeLimit, 'b'), true);
  fake.files.put("/opt/big-1", std::string(kSizeLimit - 1, 'b'), true);
  listAsThreats({"/opt/evil/qv-evil", "/opt/big", "/opt/big-1"});
  std::string evilDigest =
      app::toLower(engine::digestText(*engine::hashFile(fake.platform, "/opt/evil/qv-evil")));
  fake.files.put("/app/safe.sig", evilDigest + "\r\n");
  fake.files.reads.clear();
  fake.processes.add(500, "/opt/big");
  fake.processes.add(501, "/opt/big-1");
  fake.processes.add(502, "/opt/evil/qv-evil");
  guard.tick();
  EXPECT_THAT(fake.processes.terminated, ElementsAre(501));
  EXPECT_EQ(reads("/opt/big"), 0);
}

TEST(IsApplicationRunningTest, FirstProgramPathContainingTheNameIgnoringCase) {
  platform::fake::FakePlatform fake;
  fake.processes.add(1, "/usr/bin/bash");
  fake.processes.add(2, "/opt/Tools/Thing");
  fake.processes.add(3, "/opt/thing");
  EXPECT_EQ(isApplicationRunning(fake.platform, "thing"), "/opt/Tools/Thing");
  EXPECT_EQ(isApplicationRunning(fake.platform, "BASH"), "/usr/bin/bash");
  EXPECT_EQ(isApplicationRunning(fake.platform, "zsh"), "");
}

} // namespace
} // namespace quorvane::protect
