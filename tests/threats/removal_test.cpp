// Removing detected threats and the pending list.
#include "threats/removal.h"

#include "platform/fake/fakes.h"
#include "threats/quarantine.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::threats {
namespace {

using ::testing::ElementsAre;
using ::testing::IsEmpty;

class RemovalTest : public ::testing::Test {
protected:
  std::string md5Of(const std::string& data) {
    auto hash = fake.crypto.newMd5();
    (*hash)->update(data.data(), data.size());
    std::string text;
    for (std::uint8_t byte : *(*hash)->finish()) {
      const char* hex = "0123456789abcdef";
      text += hex[byte >> 4];
      text += hex[byte & 15];
    }
    return text;
  }
  platform::fake::FakePlatform fake;
  ThreatRemover remover{fake.platform, "/app"};
  threats::ScanResults results;

  void SetUp() override {
    for (const char* f : {"/app", "/d"})
      fake.files.createDirectory(f);
    for (int i = 1; i <= 4; ++i) {
      std::string name = "t" + std::to_string(i) + ".exe";
      fake.files.put("/d/" + name, "threat " + std::to_string(i));
      // As a scan leaves them: each row names the file it checked.
      results.rows.push_back({name, "/d/" + name, false, std::nullopt, false,
                              fake.files.status("/d/" + name)->identity()});
      results.digests.push_back("digest" + std::to_string(i));
    }
  }
  std::vector<std::string> storedPending() {
    auto value = fake.registry.queryValue(platform::Hive::LocalMachine, kSessionManagerKey,
                                          kPendingValue);
    return value ? decodeMultiString(value->data) : std::vector<std::string>{};
  }
};

TEST(MultiStringTest, DecodesWhatOthersWroteAndEncodesWithTheClosingNul) {
  using S = std::vector<std::string>;
  EXPECT_EQ(decodeMultiString(std::string("a\0b\0\0", 5)), (S{"a", "b"}));
  EXPECT_EQ(decodeMultiString(std::string("\\??\\x\0\0\0", 8)), (S{"\\??\\x", ""}));
  EXPECT_EQ(decodeMultiString(std::string("a\0b", 3)), (S{"a", "b"})); // no closing NUL
  EXPECT_EQ(decodeMultiString(std::string("a\0", 2)), (S{"a"}));
  EXPECT_EQ(decodeMultiString(""), S{});
  EXPECT_EQ(encodeMultiString({"\\??\\x", ""}), std::string("\\??\\x\0\0\0", 8));
  for (S strings : {S{}, S{"a"}, S{"", "x", ""}, S{"\\??\\p", "", "\\??\\q", ""}})
    EXPECT_EQ(decodeMultiString(encodeMultiString(strings)), strings);
}

TEST_F(RemovalTest, CleanDeletionLeavesNoPairAndNoQuestion) {
  results.rows[1].checked = results.rows[2].checked = true;
  EXPECT_THAT(remover.removeSelectedThreats(results, {}, RemovalMode::Delete), IsEmpty());
  EXPECT_FALSE(fake.files.exists("/d/t2.exe"));
  EXPECT_FALSE(fake.files.exists("/d/t3.exe"));
  EXPECT_TRUE(fake.files.exists("/d/t1.exe"));
  // Rows 2 and 3 of four go with their digests; 1 and 4 stay paired.
  ASSERT_EQ(results.rows.size(), 2u);
  EXPECT_EQ(results.rows[0].fileName, "t1.exe");
  EXPECT_EQ(results.rows[1].fileName, "t4.exe");
  EXPECT_THAT(results.digests, ElementsAre("digest1", "digest4"));
  EXPECT_EQ(fake.files.content("/app/files.sig"), "/d/t2.exe\r\n/d/t3.exe\r\n");
  EXPECT_THAT(fake.notifier.questions, IsEmpty());
  EXPECT_THAT(storedPending(), IsEmpty());
  auto appInit = fake.registry.queryValue(platform::Hive::LocalMachine,
                                          "software\\Microsoft\\windows nt\\currentversion\\windows",
                                          "AppInit_DLLs");
  ASSERT_TRUE(appInit);
  EXPECT_EQ(appInit->data, "0");
}

TEST_F(RemovalTest, LockedFilesArePendingAfterWhatOthersStored) {
  fake.registry.createKey(platform::Hive::LocalMachine, kSessionManagerKey);
  fake.registry.setValue(platform::Hive::LocalMachine, kSessionManagerKey, kPendingValue,
                         platform::ValueType::MultiString, std::string("odd\0\0other", 10));
  fake.files.undeletable = {"/d/t1.exe", "/d/t4.exe"};
  results.rows[0].checked = results.rows[3].checked = true;
  fake.notifier.answer = false;
  EXPECT_THAT(remover.removeSelectedThreats(results, {}, RemovalMode::Delete),
              ElementsAre("/d/t1.exe", "/d/t4.exe"));
  EXPECT_THAT(storedPending(),
              ElementsAre("odd", "", "other", "\\??\\/d/t1.exe", "", "\\??\\/d/t4.exe", ""));
  EXPECT_THAT(fake.notifier.questions, ElementsAre(kRestartQuestion)); // one question
  EXPECT_EQ(fake.power.restarts, 0);

  // Yes restarts through the power facility (the fake: nothing happens to the machine).
  results.rows[0].checked = true;
  fake.notifier.answer = true;
  fake.files.undeletable.insert("/d/t2.exe");
  remover.removeSelectedThreats(results, {}, RemovalMode::Delete);
  EXPECT_EQ(fake.power.restarts, 1);
}

TEST_F(RemovalTest, PendingDeletionsAreCarriedOutAndOtherStringsStay) {
  fake.registry.createKey(platform::Hive::LocalMachine, kSessionManagerKey);
  fake.files.put("/d/locked.exe", "x");
  fake.files.undeletable.insert("/d/locked.exe");
  std::vector<std::string> stored = {"\\??\\/d/t1.exe", "",  "\\??\\/d/rename", "\\??\\/d/to",
                                     "\\??\\/d/locked.exe", "", "",        "\\??\\/d/gone.exe", ""};
  stored.insert(stored.begin(), {"\\??\\/d/t3.exe", ""}); // not ours: never carried out
  fake.registry.setValue(platform::Hive::LocalMachine, kSessionManagerKey, kPendingValue,
                         platform::ValueType::MultiString, encodeMultiString(stored));
  auto recorded = [&](const std::string& path) {
    auto st = fake.files.status(path);
    std::string digest = md5Of(fake.files.content(path));
    return recordedFileLine(
        path, {st ? st->identity() : platform::FileIdentity{9, 9}, st ? st->size : 1, digest});
  };
  // t3 was handled once, by path alone: that says nothing of which file may go.
  fake.files.put("/app/files.sig", "/d/t3.exe\r\n" + recorded("/d/t1.exe") +
                                       recorded("/d/locked.exe") + recorded("/d/gone.exe"));
  EXPECT_THAT(remover.pendingDeletions(), ElementsAre("/d/t1.exe", "/d/locked.exe", "/d/gone.exe"));
  EXPECT_THAT(remover.carryOutPendingDeletions(), ElementsAre("/d/t1.exe"));
  EXPECT_FALSE(fake.files.exists("/d/t1.exe"));
  EXPECT_TRUE(fake.files.exists("/d/t3.exe"));
  EXPECT_THAT(storedPending(), ElementsAre("\\??\\/d/t3.exe", "", "\\??\\/d/rename", "\\??\\/d/to",
                                           "\\??\\/d/locked.exe", "", ""));
}

TEST_F(RemovalTest, ASurvivorIsRecordedByIdentityAndOnlyThatFileGoesLater) {
  fake.files.undeletable = {"/d/t1.exe"};
  results.rows[0].checked = true;
  fake.notifier.answer = false;
  EXPECT_THAT(remover.removeSelectedThreats(results, {}, RemovalMode::Delete),
              ElementsAre("/d/t1.exe"));
  auto lines = fake.files.content("/app/files.sig");
  auto cut = lines.find("\r\n");
  auto parsed = parseRecordedFileLine(lines.substr(cut + 2, lines.size() - cut - 4));
  ASSERT_TRUE(parsed);
  EXPECT_EQ(parsed->first, "/d/t1.exe");
  EXPECT_EQ(parsed->second.identity, fake.files.status("/d/t1.exe")->identity());
  EXPECT_EQ(parsed->second.digest, md5Of("threat 1"));

  // Before the next start the threat is replaced by a clean file of the same name and content
  // length: it is not the recorded file, so it stays, and the pair is done.
  fake.files.undeletable.clear();
  fake.files.put("/d/t1.exe", "clean  1");
  ThreatRemover later(fake.platform, "/app");
  EXPECT_THAT(later.carryOutPendingDeletions(), IsEmpty());
  EXPECT_EQ(fake.files.content("/d/t1.exe"), "clean  1");
  EXPECT_THAT(storedPending(), IsEmpty());
}

TEST_F(RemovalTest, AtStartPendingDeletionsGoFirstAndOnlyWhatStillWaitsStaysRecorded) {
  fake.files.undeletable = {"/d/t1.exe", "/d/t2.exe"};
  results.rows[0].checked = results.rows[1].checked = true;
  fake.notifier.answer = false;
  ASSERT_EQ(remover.removeSelectedThreats(results, {}, RemovalMode::Delete).size(), 2u);
  // By the next start t1 can go; t2 is still held.
  fake.files.undeletable = {"/d/t2.exe"};
  ThreatRemover atStart(fake.platform, "/app");
  EXPECT_THAT(atStart.carryOutAtStart(), ElementsAre("/d/t1.exe"));
  EXPECT_FALSE(fake.files.exists("/d/t1.exe"));
  EXPECT_EQ(storedPending(), (std::vector<std::string>{"\\??\\/d/t2.exe", ""}));
  auto record = fake.files.content("/app/files.sig");
  auto parsed = parseRecordedFileLine(record.substr(0, record.size() - 2));
  ASSERT_TRUE(parsed) << record;
  EXPECT_EQ(parsed->first, "/d/t2.exe");
  // Once nothing waits, the record goes.
  fake.files.undeletable.clear();
  EXPECT_THAT(ThreatRemover(fake.platform, "/app").carryOutAtStart(), ElementsAre("/d/t2.exe"));
  EXPECT_FALSE(fake.files.exists("/app/files.sig"));
}

TEST(RecordedFileLineTest, AnyLineParsesOrIsRefusedWithoutThrowing) {
  const std::string digest = "44d88612fea8a8f36de82e1278abb02f";
  EXPECT_TRUE(parseRecordedFileLine("/d/a|2049|12|68|" + digest));
  for (const std::string& line : std::vector<std::string>{
           "/d/a|99999999999999999999|12|68|" + digest, // past 64 bits
           "/d/a|18446744073709551616|12|68|" + digest, "/d/a|-1|12|68|" + digest,
           "/d/a|+1|12|68|" + digest, "/d/a|1||68|" + digest, "/d/a|1|2|3|" + digest + "\r",
           std::string("/d/a|1|2|3|") + "44D88612FEA8A8F36DE82E1278ABB02F", "|1|2|3|" + digest,
           "/d/a|1|2|3", "/d/only-a-path"})
    EXPECT_FALSE(parseRecordedFileLine(line)) << line;
}

TEST_F(RemovalTest, ARowWhosePathNamesAnotherFileNowIsLeftAlone) {
  fake.files.put("/d/t2.exe", "a new file at the old path");
  results.rows[1].checked = true;
  EXPECT_THAT(remover.removeSelectedThreats(results, {}, RemovalMode::Quarantine), IsEmpty());
  EXPECT_THAT(remover.leftAlone(), ElementsAre("/d/t2.exe"));
  EXPECT_EQ(fake.files.content("/d/t2.exe"), "a new file at the old path");
  EXPECT_FALSE(fake.files.exists("/app/qrntfiles.sig"));
}

TEST_F(RemovalTest, AutostartEntriesNamingTheFileLateAreCut) {
  const std::string run = "Software\\Microsoft\\windows\\currentversion\\run";
  fake.registry.createKey(platform::Hive::CurrentUser, run);
  for (const char* name : {"late", "early"})
    fake.registry.setValue(platform::Hive::CurrentUser, run, name, platform::ValueType::String, "x");
  // "t1.exe" first occurs after position 10 in the first row, at position 1 in the second.
  std::vector<std::string> refs = {"HKCU|" + run + "|late|/d/t1.exe", "t1.exe|" + run + "|early|x"};
  results.rows[0].checked = true;
  remover.removeSelectedThreats(results, refs, RemovalMode::Delete);
  EXPECT_FALSE(fake.registry.queryValue(platform::Hive::CurrentUser, run, "late"));
  EXPECT_TRUE(fake.registry.queryValue(platform::Hive::CurrentUser, run, "early"));
}

TEST_F(RemovalTest, QuarantineModeCopiesUnderTheLowerCasedNameFirst) {
  results.rows[0].fileName = "T1.EXE ";
  results.rows[0].checked = true;
  remover.removeSelectedThreats(results, {}, RemovalMode::Quarantine);
  EXPECT_EQ(fake.files.content("/app/qrnt/t1.exe.qrt"), "threat 1");
  EXPECT_FALSE(fake.files.exists("/d/t1.exe"));

  fake.files.removeFile("/app/qrntfiles.sig");
  fake.files.put("/app/qrnt", "in the way"); // quarantine cannot be made now
  results.rows[0].checked = true;            // t2 is now row 0
  remover.removeSelectedThreats(results, {}, RemovalMode::Quarantine);
  EXPECT_TRUE(fake.files.exists("/d/t2.exe")); // kept: no copy, no deletion
}

TEST_F(RemovalTest, EachTickedRowIsRecordedStoppedThenDeletedEvenWhenAlreadyGone) {
  fake.files.removeFile("/d/t1.exe"); // gone before the removal
  fake.processes.add(7, "/d/t2.exe");
  fake.processes.add(8, "/usr/bin/t2.exe"); // another program of the same name
  results.rows[0].checked = results.rows[1].checked = true;
  EXPECT_THAT(remover.removeSelectedThreats(results, {}, RemovalMode::Delete), IsEmpty());
  EXPECT_EQ(fake.files.content("/app/files.sig"), "/d/t1.exe\r\n/d/t2.exe\r\n");
  EXPECT_THAT(fake.processes.terminated, ElementsAre(7));
  EXPECT_FALSE(fake.files.exists("/d/t2.exe"));
  EXPECT_THAT(storedPending(), IsEmpty());
  EXPECT_EQ(results.rows.size(), 2u);
}

TEST_F(RemovalTest, RemoveFromMemoryStopsProgramsThatLoadTheFileAndEmptiesTheList) {
  fake.processes.add(1, "/usr/bin/host");
  fake.processes.moduleLists[1] = {"/d/t2.exe"};
  fake.processes.add(2, "/usr/bin/other");
  fake.processes.moduleLists[2] = {"/usr/lib/t2.exe"}; // same name, another file
  results.rows[1].selected = true;
  results.rows[3].selected = true; // loaded nowhere: nothing ends for it
  remover.removeThreatFromMemory(results);
  EXPECT_THAT(fake.processes.terminated, ElementsAre(1));
  EXPECT_TRUE(results.rows.empty());
  EXPECT_TRUE(results.digests.empty());
}

} // namespace
} // namespace quorvane::threats
