// What administrators script: JSON Lines output parsed back, the scan options scanners share,
// and the publisher's signing commands.
#include "support/run_cli.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <nlohmann/json.hpp>

#include <filesystem>
#include <sys/stat.h>

namespace quorvane::testing {
namespace {

using ::testing::ElementsAre;
using ::testing::HasSubstr;
using ::testing::Not;
using Json = nlohmann::json;

/// Every line of the output as a JSON object (a line that is not one fails the test).
std::vector<Json> jsonLines(const std::string& out) {
  std::vector<Json> objects;
  std::size_t start = 0;
  while (start < out.size()) {
    std::size_t end = out.find('\n', start);
    std::string line = out.substr(start, end - start);
    start = end == std::string::npos ? out.size() : end + 1;
    Json object = Json::parse(line, nullptr, false);
    EXPECT_TRUE(object.is_object()) << "not a JSON object: " << line;
    objects.push_back(object);
  }
  return objects;
}

std::vector<Json> eventsOf(const std::vector<Json>& objects, const std::string& event) {
  std::vector<Json> out;
  for (const Json& object : objects)
    if (object.value("event", "") == event)
      out.push_back(object);
  return out;
}

/// A home whose vir.sig lists two planted programs, and a tree that holds them.
class CliAdminTest : public ::testing::Test {
protected:
  void SetUp() override {
    tree.write("bin/clean.exe", "an ordinary program");
    tree.write("bin/evil.exe", "EVIL ONE");
    tree.write("cache/evil-copy.exe", "EVIL ONE");
    tree.write("lib/other.dll", "EVIL TWO");
    std::string keys = runCli({"key", tree / "bin/evil.exe", tree / "lib/other.dll"}).out;
    std::string virSig;
    for (std::size_t pos = 0; pos < keys.size();) {
      std::size_t tab = keys.find('\t', pos);
      virSig += keys.substr(pos, tab - pos) + "\r\n";
      pos = keys.find('\n', pos) + 1;
    }
    home.write("vir.sig", virSig);
  }
  CliResult scan(std::vector<std::string> args, const std::string& input = "") {
    args.insert(args.begin(), {"--home", home.path(), "scan"});
    return runCli(args, input, tree.path());
  }

  TempDir home, tree;
};

TEST_F(CliAdminTest, ScanJsonCarriesEachFindingAndTheSummary) {
  CliResult r = scan({"--json", "--action", "quarantine", tree.path(), tree / "no-such-file"});
  EXPECT_EQ(r.status, 2) << r.err; // a name that cannot be checked wins over a detection
  std::vector<Json> lines = jsonLines(r.out);
  std::vector<Json> found = eventsOf(lines, "found");
  ASSERT_EQ(found.size(), 3u) << r.out;
  EXPECT_EQ(found[0]["path"], tree / "bin/evil.exe");
  EXPECT_EQ(found[0]["size"], 8);
  EXPECT_EQ(found[0]["md5"].get<std::string>().size(), 32u);
  EXPECT_EQ(found[0]["action"], "quarantined");
  std::vector<Json> notChecked = eventsOf(lines, "not_checked");
  ASSERT_EQ(notChecked.size(), 1u);
  EXPECT_EQ(notChecked[0]["path"], tree / "no-such-file");
  EXPECT_THAT(notChecked[0]["reason"].get<std::string>(), HasSubstr("No such file"));
  std::vector<Json> summary = eventsOf(lines, "summary");
  ASSERT_EQ(summary.size(), 1u);
  EXPECT_EQ(summary[0]["files_scanned"], 4);
  EXPECT_EQ(summary[0]["threats"], 3);
  EXPECT_EQ(summary[0]["not_checked"], 0);
  EXPECT_TRUE(summary[0]["elapsed_seconds"].is_number());
  EXPECT_EQ(lines.back()["event"], "summary"); // the summary ends the run

  // What the run logged and quarantined, read back the same way.
  std::vector<Json> history =
      jsonLines(runCli({"--home", home.path(), "history", "--json"}).out);
  ASSERT_EQ(history.size(), 3u);
  EXPECT_EQ(history[0]["event"], "threat");
  EXPECT_EQ(history[0]["name"], "evil.exe");
  EXPECT_EQ(history[0]["path"], tree / "bin/evil.exe");
  EXPECT_TRUE(history[0]["date"].is_string());
  std::vector<Json> quarantined =
      jsonLines(runCli({"--home", home.path(), "quarantine", "list", "--json"}).out);
  ASSERT_EQ(quarantined.size(), 3u);
  EXPECT_EQ(quarantined[2]["event"], "quarantined");
  EXPECT_EQ(quarantined[2]["number"], 3);
  EXPECT_EQ(quarantined[2]["path"], tree / "lib/other.dll");
}

TEST_F(CliAdminTest, APathThatIsNotUtf8IsCarriedByteForByte) {
  std::string name = "odd\xff\xfe name\n.exe";
  tree.write(name, "EVIL ONE");
  CliResult r = scan({"--json", "--no-summary", tree.path()});
  std::vector<Json> found = eventsOf(jsonLines(r.out), "found");
  bool seen = false;
  for (const Json& event : found) {
    if (!event.contains("path_base64"))
      continue;
    seen = true;
    EXPECT_EQ(event["path"], tree.path() + "/odd\\xFF\\xFE name\\n.exe");
    // Decoded with the test's own base64 reading: the exact bytes of the name.
    std::string encoded = event["path_base64"];
    std::string decoded;
    int bits = 0, value = 0;
    for (char c : encoded) {
      if (c == '=')
        break;
      value = (value << 6) | static_cast<int>(std::string_view(
                                 "ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz0123456789+/")
                                                    .find(c));
      if ((bits += 6) >= 8) {
        decoded += static_cast<char>((value >> (bits - 8)) & 0xFF);
        bits -= 8;
      }
    }
    EXPECT_EQ(decoded, tree / name);
  }
  EXPECT_TRUE(seen) << r.out;
  EXPECT_TRUE(eventsOf(jsonLines(r.out), "summary").empty()); // --no-summary
}

TEST_F(CliAdminTest, QuickScanJsonEndsWithItsAreas) {
  CliResult r = runCli({"--home", home.path(), "quick", "--json", "--action", "leave"});
  std::vector<Json> summary = eventsOf(jsonLines(r.out), "summary");
  ASSERT_EQ(summary.size(), 1u) << r.out << r.err;
  EXPECT_GT(summary[0]["files_scanned"].get<long long>(), 0);
  EXPECT_TRUE(summary[0]["areas"].is_object());
  EXPECT_TRUE(summary[0].contains("safe_files"));
}

TEST_F(CliAdminTest, OutputOptions) {
  // -i: the detections alone.
  CliResult infected = scan({"-i", "."});
  EXPECT_EQ(infected.status, 1);
  EXPECT_EQ(infected.out, tree / "bin/evil.exe" + ": Quorvane.Threat FOUND\n" + tree /
                              "cache/evil-copy.exe" + ": Quorvane.Threat FOUND\n" + tree /
                              "lib/other.dll" + ": Quorvane.Threat FOUND\n");
  // --no-summary: the same, -r accepted for habit.
  EXPECT_EQ(scan({"--no-summary", "-r", "."}).out, infected.out);
  // --log: what standard output shows, appended to the file.
  home.write("scan.log", "earlier run\n");
  CliResult logged = scan({"--log", home / "scan.log", "."});
  EXPECT_EQ(home.read("scan.log"), "earlier run\n" + logged.out);
  EXPECT_THAT(logged.out, HasSubstr("Threats Found : 3"));
}

TEST_F(CliAdminTest, LogNeverWritesThroughALink) {
  home.write("target", "not to be touched\n");
  std::filesystem::create_symlink(home / "target", home / "scan.log");
  CliResult r = scan({"--log", home / "scan.log", "bin"});
  EXPECT_EQ(home.read("target"), "not to be touched\n");
  EXPECT_THAT(r.err, HasSubstr("the log could not be written"));
}

TEST_F(CliAdminTest, ExclusionsLeaveOutFilesAndFolders) {
  struct Case {
    std::vector<std::string> args;
    std::vector<std::string> found;
  } cases[] = {
      {{"--exclude", "evil"}, {"lib/other.dll"}},
      {{"--exclude", "\\.dll$", "--exclude", "copy"}, {"bin/evil.exe"}},
      {{"--exclude-dir", "/cache$"}, {"bin/evil.exe", "lib/other.dll"}},
      {{"--exclude-dir", "cache", "--exclude-dir", "^.*/lib$"}, {"bin/evil.exe"}},
  };
  for (const Case& c : cases) {
    std::vector<std::string> args = c.args;
    args.insert(args.end(), {"--json", tree.path()});
    std::vector<std::string> paths;
    for (const Json& event : eventsOf(jsonLines(scan(args).out), "found"))
      paths.push_back(event["path"].get<std::string>().substr(tree.path().size() + 1));
    EXPECT_EQ(paths, c.found) << c.args[1];
  }
  CliResult bad = scan({"--exclude", "(", "."});
  EXPECT_EQ(bad.status, 2);
  EXPECT_THAT(bad.err, HasSubstr("not a regular expression"));
}

TEST_F(CliAdminTest, FileListsAndStandardInput) {
  tree.write("list.txt", tree / "bin/clean.exe" + "\n\n" + tree / "lib/other.dll" + "\n");
  CliResult fromFile = scan({"-f", "list.txt", "--json"});
  std::vector<Json> found = eventsOf(jsonLines(fromFile.out), "found");
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]["path"], tree / "lib/other.dll");
  EXPECT_EQ(eventsOf(jsonLines(fromFile.out), "summary")[0]["files_scanned"], 2);

  CliResult fromInput = scan({"--file-list", "-", "-i"}, tree / "bin/evil.exe" + "\n");
  EXPECT_EQ(fromInput.out, tree / "bin/evil.exe" + ": Quorvane.Threat FOUND\n");

  // "-" checks the data itself.
  CliResult listed = scan({"-"}, "EVIL TWO");
  EXPECT_EQ(listed.status, 1);
  EXPECT_THAT(listed.out, HasSubstr("stdin: Quorvane.Threat FOUND"));
  CliResult clean = scan({"-", "--json"}, "nothing listed");
  EXPECT_EQ(clean.status, 0);
  EXPECT_TRUE(eventsOf(jsonLines(clean.out), "found").empty());
  EXPECT_EQ(scan({}).status, 2); // nothing to scan
  EXPECT_EQ(scan({"-", "-f", "-"}, "x").status, 2); // one standard input for two readers
}

TEST(CliSigningTest, KeygenSignAndVerify) {
  TempDir dir;
  CliResult made = runCli({"sig", "keygen", "-o", "mirror"}, "", dir.path());
  ASSERT_EQ(made.status, 0) << made.err;
  struct stat key {};
  ASSERT_EQ(stat((dir / "mirror.key").c_str(), &key), 0);
  EXPECT_EQ(key.st_mode & 0777, 0600u);
  EXPECT_THAT(dir.read("mirror.pub"), HasSubstr("BEGIN PUBLIC KEY"));
  // A key pair is never replaced.
  std::string before = dir.read("mirror.key");
  EXPECT_EQ(runCli({"sig", "keygen", "-o", "mirror"}, "", dir.path()).status, 2);
  EXPECT_EQ(dir.read("mirror.key"), before);

  dir.write("updates.txt", "7|https://mirror.example/vir7.sig\r\n");
  dir.write("vir7.sig", std::string(32, '1') + ".100\r\n");
  ASSERT_EQ(runCli({"sig", "sign", "--key", "mirror.key", "updates.txt"}, "", dir.path()).status, 0);
  ASSERT_EQ(
      runCli({"sig", "sign", "--key", "mirror.key", "--number", "7", "vir7.sig"}, "", dir.path()).status,
      0);
  auto verify = [&](std::vector<std::string> args) {
    args.insert(args.begin(), {"sig", "verify"});
    return runCli(args, "", dir.path());
  };
  CliResult good = verify({"updates.txt", "--pub", "mirror.pub"});
  EXPECT_EQ(good.status, 0);
  EXPECT_EQ(good.out, "updates.txt: signature good\n");
  EXPECT_EQ(verify({"vir7.sig", "--pub", "mirror.pub", "--number", "7"}).status, 0);
  EXPECT_EQ(verify({"vir7.sig", "--pub", "mirror.pub", "--number", "6"}).status, 2);
  EXPECT_EQ(verify({"vir7.sig", "--pub", "mirror.pub"}).status, 2);
  EXPECT_EQ(verify({"vir7.sig"}).out, "1 keys, 0 problems\n"); // the format check as before

  dir.write("updates.txt", "8|https://mirror.example/vir7.sig\r\n");
  CliResult changed = verify({"updates.txt", "--pub", "mirror.pub"});
  EXPECT_EQ(changed.status, 2);
  EXPECT_THAT(changed.out, HasSubstr("signature not good"));
  ASSERT_EQ(runCli({"sig", "keygen", "-o", "other"}, "", dir.path()).status, 0);
  EXPECT_EQ(verify({"vir7.sig", "--pub", "other.pub", "--number", "7"}).status, 2);
  EXPECT_EQ(runCli({"sig", "sign", "--key", "other.pub", "updates.txt"}, "", dir.path()).status, 2);
}

} // namespace
} // namespace quorvane::testing
