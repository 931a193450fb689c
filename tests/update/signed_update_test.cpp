// Signed updates against a loopback HTTPS server: with a trusted key, only what that key signed
// (for the update's own number) is installed; without one, updates go on as before.
#include "app/settings.h"
#include "app/text.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "platform/signing.h"
#include "support/loopback_server.h"
#include "support/run_cli.h"
#include "support/temp_dir.h"
#include "update/engine_check.h"
#include "update/manual_update.h"
#include "update/signed_files.h"
#include "served_home.h"
#include "update_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>

namespace quorvane::update {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using testing::LoopbackServer;

/// A publisher: a key pair, and the signature files it writes.
struct Publisher {
  Publisher() : keys(*platform::generateSigningKeyPair()) {}
  std::string signatureOf(const std::string& bytes, std::optional<int> number = std::nullopt) const {
    return signatureFileText(*platform::signMessage(keys.privateKey, signedMessage(bytes, number)));
  }
  platform::SigningKeyPair keys;
};

class SignedUpdateTest : public ::testing::Test, protected testing::ServedHome {
protected:
  SignedUpdateTest() : ServedHome(LoopbackServer::Scheme::Https) {
    settings.setSetting("update N", "56");
    manifest = "57|" + server.baseUrl() + "/files/vir57.sig\r\n";
  }
  void trust(const Publisher& publisher, const std::string& name = "publisher.pub") {
    home.write("keys/" + name, publisher.keys.publicKey);
  }
  /// The server offers update 57: the list and the database, each with the signature given.
  void offer(const std::string& listSignature, const std::string& databaseSignature,
             const std::string& database = testing::newSignatures()) {
    server.route("/updates.txt", {.body = manifest});
    server.route("/updates.txt.sig", {.body = listSignature});
    server.route("/files/vir57.sig", {.body = database});
    server.route("/files/vir57.sig.sig", {.body = databaseSignature});
  }
  ManualUpdate update{p, home.path()};
  Publisher publisher;
  std::string manifest;
};

TEST_F(SignedUpdateTest, AnUpdateSignedByATrustedKeyIsInstalled) {
  trust(publisher);
  offer(publisher.signatureOf(manifest), publisher.signatureOf(testing::newSignatures(), 57));
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Updated) << update.failure();
  EXPECT_TRUE(update.authenticated());
  EXPECT_EQ(virSig(), testing::newSignatures());
  EXPECT_EQ(settings.setting("update N"), "57");
  EXPECT_THAT(server.requests(), ElementsAre("/updates.txt", "/updates.txt.sig",
                                             "/files/vir57.sig", "/files/vir57.sig.sig"));
}

TEST_F(SignedUpdateTest, UnsignedOrBadlySignedUpdatesAreRefusedAndTheOldFileKept) {
  trust(publisher);
  Publisher stranger;
  std::string database = testing::newSignatures();
  std::string goodList = publisher.signatureOf(manifest);
  std::string goodDatabase = publisher.signatureOf(database, 57);
  struct Case {
    const char* what;
    std::string list, database;
    const char* failure;
  } cases[] = {
      {"list signed by a foreign key", stranger.signatureOf(manifest), goodDatabase,
       "the update list is not signed by a trusted key (no trusted key made this signature)"},
      {"list signature not base64", "not a signature", goodDatabase,
       "the signature file is not a signature"},
      {"list signature of other bytes", publisher.signatureOf("57|elsewhere\r\n"), goodDatabase,
       "no trusted key made this signature"},
      {"database signed by a foreign key", goodList, stranger.signatureOf(database, 57),
       "the new malware definitions are not signed by a trusted key for update 57"},
      {"database signed without its number", goodList, publisher.signatureOf(database),
       "no trusted key made this signature"},
      // An older database, validly signed for the update it belonged to, passed off as 57.
      {"replayed older database", goodList, publisher.signatureOf(database, 56),
       "no trusted key made this signature"},
      {"empty database signature", goodList, "", "the signature file is not a signature"},
  };
  for (const Case& c : cases) {
    offer(c.list, c.database, database);
    EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Failed) << c.what;
    EXPECT_THAT(update.failure(), HasSubstr(c.failure)) << c.what;
    EXPECT_EQ(virSig(), testing::oldSignatures()) << c.what;
    EXPECT_EQ(settings.setting("update N"), "56") << c.what;
  }
}

TEST_F(SignedUpdateTest, AMissingSignatureIsRefused) {
  trust(publisher);
  server.route("/updates.txt", {.body = manifest});
  server.route("/files/vir57.sig", {.body = testing::newSignatures()});
  // No signature of the list: refused before the database is asked for.
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Failed);
  EXPECT_THAT(update.failure(), HasSubstr("its signature could not be downloaded"));
  EXPECT_THAT(server.requests(), ElementsAre("/updates.txt", "/updates.txt.sig"));
  // The list signed, the database not.
  server.route("/updates.txt.sig", {.body = publisher.signatureOf(manifest)});
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Failed);
  EXPECT_THAT(update.failure(), HasSubstr("not signed by a trusted key for update 57"));
  EXPECT_EQ(virSig(), testing::oldSignatures());
}

TEST_F(SignedUpdateTest, AReplayedOlderListInstallsNothing) {
  trust(publisher);
  settings.setSetting("update N", "57");
  std::string older = "50|" + server.baseUrl() + "/files/vir50.sig\r\n";
  server.route("/updates.txt", {.body = older});
  server.route("/updates.txt.sig", {.body = publisher.signatureOf(older)});
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::UpToDate);
  EXPECT_EQ(virSig(), testing::oldSignatures());
  EXPECT_EQ(settings.setting("update N"), "57");
}

TEST_F(SignedUpdateTest, OneOfSeveralTrustedKeysIsEnough) {
  Publisher retired;
  trust(retired, "a-retired.pub");
  trust(publisher, "b-current.pub");
  home.write("keys/notes.txt", "not a key, and not read");
  offer(publisher.signatureOf(manifest), publisher.signatureOf(testing::newSignatures(), 57));
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Updated) << update.failure();
}

TEST_F(SignedUpdateTest, WithoutATrustedKeyUpdatesWorkUnauthenticated) {
  offer("", ""); // signatures are not even asked for
  EXPECT_EQ(update.checkUpdateNow(), UpdateOutcome::Updated) << update.failure();
  EXPECT_FALSE(update.authenticated());
  EXPECT_EQ(virSig(), testing::newSignatures());
  EXPECT_THAT(server.requests(), ElementsAre("/updates.txt", "/files/vir57.sig"));
}

TEST_F(SignedUpdateTest, TheFirstDatabaseMustBeSignedToo) {
  home.write("vir.sig", testing::signatureText(1));
  trust(publisher);
  std::string database = testing::newSignatures();
  server.route("/vir.zip", {.body = database});
  server.route("/vir.zip.sig", {.body = Publisher().signatureOf(database)});
  engine::SignatureDatabase signatures(files, home / "vir.sig");
  EngineCheckResult refused = runEngineCheck(p, home.path(), signatures);
  EXPECT_FALSE(refused.downloaded);
  EXPECT_THAT(refused.failure, HasSubstr("not signed by a trusted key"));
  EXPECT_EQ(virSig(), testing::signatureText(1));

  server.route("/vir.zip.sig", {.body = publisher.signatureOf(database)});
  EngineCheckResult installed = runEngineCheck(p, home.path(), signatures);
  EXPECT_TRUE(installed.downloaded) << installed.failure;
  EXPECT_EQ(virSig(), database);
}

/// `quorvane update --json` in a home of its own, served by the fixture's server.
TEST_F(SignedUpdateTest, UpdateJsonTellsTheOutcomeAndWhetherItWasAuthenticated) {
  testing::TempDir cliHome;
  cliHome.write("vir.sig", testing::oldSignatures());
  for (const auto& [name, value] : {std::pair<std::string, std::string>{"update server", server.baseUrl()},
                                    {"update ca file", home / "ca.pem"},
                                    {"update N", "56"}})
    ASSERT_EQ(testing::runCli({"--home", cliHome.path(), "settings", name, value}).status, 0);
  auto events = [](const std::string& out) {
    std::vector<nlohmann::json> lines;
    for (std::string_view line : app::splitLines(out))
      lines.push_back(nlohmann::json::parse(line));
    return lines;
  };

  // No key trusted: installed, and said to be unauthenticated.
  offer("", "");
  testing::CliResult plain = testing::runCli({"--home", cliHome.path(), "update", "--yes"});
  EXPECT_EQ(plain.status, 0) << plain.out << plain.err;
  EXPECT_THAT(plain.out, HasSubstr("Note: updates are not authenticated"));
  EXPECT_EQ(cliHome.read("vir.sig"), testing::newSignatures());

  // A trusted key and a foreign signature: refused, vir.sig kept, exit 2.
  cliHome.write("vir.sig", testing::oldSignatures());
  ASSERT_EQ(testing::runCli({"--home", cliHome.path(), "settings", "update N", "56"}).status, 0);
  cliHome.write("keys/publisher.pub", publisher.keys.publicKey);
  offer(Publisher().signatureOf(manifest), "");
  testing::CliResult refused =
      testing::runCli({"--home", cliHome.path(), "update", "--yes", "--json"});
  EXPECT_EQ(refused.status, 2);
  std::vector<nlohmann::json> lines = events(refused.out);
  ASSERT_FALSE(lines.empty()) << refused.out;
  EXPECT_EQ(lines.front()["event"], "question");
  EXPECT_EQ(lines.front()["answer"], true);
  EXPECT_EQ(lines.back()["event"], "summary");
  EXPECT_EQ(lines.back()["result"], "failed");
  EXPECT_EQ(lines.back()["authenticated"], true);
  EXPECT_EQ(lines.back()["signatures"], 3);
  EXPECT_THAT(refused.out, HasSubstr("not signed by a trusted key"));
  EXPECT_EQ(cliHome.read("vir.sig"), testing::oldSignatures());

  // Signed: installed.
  offer(publisher.signatureOf(manifest), publisher.signatureOf(testing::newSignatures(), 57));
  testing::CliResult signedRun =
      testing::runCli({"--home", cliHome.path(), "update", "--yes", "--json"});
  EXPECT_EQ(signedRun.status, 0) << signedRun.out;
  lines = events(signedRun.out);
  EXPECT_EQ(lines.back()["result"], "updated");
  EXPECT_EQ(lines.back()["signatures"], 5);
  EXPECT_EQ(cliHome.read("vir.sig"), testing::newSignatures());
}

} // namespace
} // namespace quorvane::update
