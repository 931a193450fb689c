// `quorvane` killed (SIGKILL) at random moments of the runs that change files: a quarantining
// scan, a restore from the quarantine, `sig add` and `update` (from a loopback server). After
// each kill, every planted file is in place or is a complete copy with its record, and vir.sig is
// the old or the new file; once the next run has started, nothing half-written is left.
#include "support/loopback_server.h"
#include "support/run_cli.h"
#include "update/update_fixtures.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <map>
#include <random>
#include <set>
#include <sys/wait.h>
#include <unistd.h>

namespace quorvane::testing {
namespace {

namespace fs = std::filesystem;

constexpr int kRounds = 10; // per kind of run

/// What is planted: a listed file large enough (1 MiB) that copying it takes a while, so that
/// kills land in the middle of copies.
const std::string& plantedContent() {
  static const std::string content = [] {
    std::string text(1 << 20, '\0');
    std::mt19937 bytes(7);
    for (char& c : text)
      c = static_cast<char>(bytes());
    return text;
  }();
  return content;
}

/// Runs `quorvane ARGS` and kills it after `delay` (unless it ended before). True when it was
/// killed.
bool runAndKill(const std::vector<std::string>& args, std::chrono::microseconds delay) {
  std::vector<std::string> words{QUORVANE_BIN};
  words.insert(words.end(), args.begin(), args.end());
  pid_t child = ::fork();
  if (child == 0) {
    int null = ::open("/dev/null", O_RDWR);
    ::dup2(null, 0), ::dup2(null, 1), ::dup2(null, 2);
    std::vector<char*> argv;
    for (std::string& word : words)
      argv.push_back(word.data());
    argv.push_back(nullptr);
    ::execv(argv[0], argv.data());
    ::_exit(127);
  }
  ::usleep(static_cast<useconds_t>(delay.count()));
  bool killed = ::kill(child, SIGKILL) == 0; // our own child only
  int status = 0;
  ::waitpid(child, &status, 0);
  return killed && WIFSIGNALED(status);
}

/// How long an uncut run takes, in microseconds: the range the kills are spread over.
std::chrono::microseconds timeOf(const std::vector<std::string>& args) {
  auto start = std::chrono::steady_clock::now();
  runCli(args);
  return std::chrono::duration_cast<std::chrono::microseconds>(std::chrono::steady_clock::now() -
                                                               start);
}

class CrashSafetyTest : public ::testing::Test {
protected:
  TempDir home, tree;
  std::mt19937 random{20261210}; // fixed: a failing round can be run again
  std::vector<std::string> planted;

  std::vector<std::string> q(std::vector<std::string> args) const {
    args.insert(args.begin(), {"--home", home.path()});
    return args;
  }
  std::chrono::microseconds someMoment(std::chrono::microseconds within) {
    return std::chrono::microseconds(
        std::uniform_int_distribution<long long>(0, within.count())(random));
  }

  void plant(int count) {
    for (int i = 0; i < count; ++i)
      planted.push_back(tree.write("t/f" + std::to_string(i) + ".exe", plantedContent()));
    ASSERT_EQ(runCli(q({"sig", "add", planted.front()})).status, 0);
  }
  void replant() {
    for (const std::string& path : planted)
      if (!fs::exists(path))
        std::ofstream(path, std::ios::binary) << plantedContent();
  }

  /// The quarantine index: path -> copy file names.
  std::multimap<std::string, std::string> records() const {
    std::multimap<std::string, std::string> out;
    std::string text = home.read("qrntfiles.sig");
    for (std::size_t at = 0; at < text.size();) {
      std::size_t end = text.find("\r\n", at);
      std::string line = text.substr(at, end - at);
      at = end == std::string::npos ? text.size() : end + 2;
      std::vector<std::string> fields;
      for (std::size_t from = 0;;) {
        std::size_t bar = line.find('|', from);
        fields.push_back(line.substr(from, bar == std::string::npos ? bar : bar - from));
        if (bar == std::string::npos)
          break;
        from = bar + 1;
      }
      if (fields.size() >= 4)
        out.emplace(fields[2], fields[3]);
    }
    return out;
  }

  /// Every planted file is whole at its path, or recorded with a whole copy.
  void expectEveryFileKept(const std::string& round) {
    auto index = records();
    for (const std::string& path : planted) {
      if (fs::exists(path)) {
        EXPECT_TRUE(tree.read(path.substr(tree.path().size() + 1)) == plantedContent())
            << round << ": a half-written file at " << path;
        continue;
      }
      bool kept = false;
      auto [first, last] = index.equal_range(path);
      for (auto it = first; it != last && !kept; ++it)
        kept = home.read("qrnt/" + it->second) == plantedContent();
      EXPECT_TRUE(kept) << round << ": " << path << " is neither in place nor in the quarantine";
    }
  }

  /// After the next start: no copy without its record, no temporary.
  void expectNothingHalfWrittenAfterTheNextStart(const std::string& round) {
    ASSERT_EQ(runCli(q({"quarantine", "list"})).status, 0) << round;
    auto index = records();
    std::set<std::string> named;
    for (const auto& [path, copy] : index)
      named.insert(copy);
    if (fs::exists(home / "qrnt")) {
      for (const auto& entry : fs::directory_iterator(home / "qrnt"))
        EXPECT_TRUE(named.count(entry.path().filename().string()))
            << round << ": a copy no record names: " << entry.path();
    }
    for (const auto& entry : fs::directory_iterator(home.path()))
      EXPECT_EQ(entry.path().filename().string().find(".tmp-"), std::string::npos)
          << round << ": a temporary left: " << entry.path();
  }
};

TEST_F(CrashSafetyTest, AQuarantiningScanKilledAnywhereLosesNoFile) {
  plant(12);
  std::vector<std::string> scan = q({"scan", "--action", "quarantine", tree / "t"});
  auto span = timeOf(scan);
  replant();
  for (int round = 0; round < kRounds; ++round) {
    std::string name = "round " + std::to_string(round);
    runAndKill(scan, someMoment(span));
    expectEveryFileKept(name);
    expectNothingHalfWrittenAfterTheNextStart(name);
    replant();
  }
}

TEST_F(CrashSafetyTest, ARestoreKilledAnywhereLosesNoFile) {
  plant(12);
  std::vector<std::string> scan = q({"scan", "--action", "quarantine", tree / "t"});
  auto restoreAll = [&] {
    std::vector<std::string> args = q({"quarantine", "restore"});
    for (std::size_t row = 1; row <= records().size(); ++row)
      args.push_back(std::to_string(row));
    return args;
  };
  runCli(scan);
  auto span = timeOf(restoreAll());
  for (int round = 0; round < kRounds; ++round) {
    std::string name = "round " + std::to_string(round);
    // Every file in the quarantine, then a restore of every row, cut short.
    runCli(scan);
    ASSERT_FALSE(records().empty());
    runAndKill(restoreAll(), someMoment(span));
    expectEveryFileKept(name);
    expectNothingHalfWrittenAfterTheNextStart(name);
  }
}

TEST_F(CrashSafetyTest, SignatureAdditionsKilledAnywhereLeaveTheOldOrTheNewVirSig) {
  TempDir shadow; // the same additions, never cut short: what "the new file" is
  home.write("vir.sig", signatureText(2000));
  shadow.write("vir.sig", home.read("vir.sig"));
  auto span = timeOf(q({"sig", "add", tree.write("probe", "probe")}));
  shadow.write("vir.sig", home.read("vir.sig"));
  for (int round = 0; round < kRounds; ++round) {
    std::string name = "round " + std::to_string(round);
    std::string added =
        tree.write("new" + std::to_string(round), "new file " + std::to_string(round));
    std::string before = home.read("vir.sig");
    ASSERT_EQ(runCli({"--home", shadow.path(), "sig", "add", added}).status, 0);
    runAndKill(q({"sig", "add", added}), someMoment(span));
    std::string after = home.read("vir.sig");
    EXPECT_TRUE(after == before || after == shadow.read("vir.sig")) << name << ": vir.sig torn";
    expectNothingHalfWrittenAfterTheNextStart(name);
    shadow.write("vir.sig", after);
  }
}

TEST_F(CrashSafetyTest, UpdatesKilledAnywhereLeaveTheOldOrTheNewVirSig) {
  LoopbackServer server(LoopbackServer::Scheme::Http);
  ASSERT_EQ(runCli(q({"settings", "update server", server.baseUrl()})).status, 0);
  home.write("vir.sig", oldSignatures());
  auto offer = [&](int number) {
    std::string body = signatureText(3000 + number, static_cast<char>('1' + number % 9));
    server.route("/updates.txt", {.body = std::to_string(number) + "|" + server.baseUrl() + "/v" +
                                          std::to_string(number) + ".sig\r\n"});
    server.route("/v" + std::to_string(number) + ".sig", {.body = body});
    return body;
  };
  offer(1);
  auto span = timeOf(q({"update", "--yes"}));
  for (int round = 0; round < kRounds; ++round) {
    std::string name = "round " + std::to_string(round);
    std::string before = home.read("vir.sig");
    std::string offered = offer(round + 2);
    runAndKill(q({"update", "--yes"}), someMoment(span));
    std::string after = home.read("vir.sig");
    EXPECT_TRUE(after == before || after == offered) << name << ": vir.sig torn";
    expectNothingHalfWrittenAfterTheNextStart(name);
  }
}

} // namespace
} // namespace quorvane::testing
