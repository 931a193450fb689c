// The blocking guard's cost: 1,000 starts of a small program (a copy of `true`) with no guard,
// with the guard and its verdict cached (warm), and with a file the guard has not seen before
// each time (cold: read and hashed); then the CPU `quorvane monitor` uses at rest with blocking on
// and off. Needs root. The per-start figures are medians over ROUNDS rounds, each round timing
// the three cases back to back, so that a change of machine load falls on all three alike.
#include "engine/filekey.h"
#include "engine/sigtable.h"
#include "platform/exec_gate.h"
#include "platform/linux/linux_platform.h"
#include "protect/exec_blocker.h"

#include <algorithm>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <fcntl.h>
#include <filesystem>
#include <fstream>
#include <spawn.h>
#include <sstream>
#include <string>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>
#include <vector>

extern char** environ;

using namespace quorvane;
using Clock = std::chrono::steady_clock;

namespace {

constexpr int kStarts = 1000;

void runOnce(const std::string& program) {
  pid_t pid = 0;
  std::string name = program;
  char* argv[] = {name.data(), nullptr};
  if (posix_spawn(&pid, program.c_str(), nullptr, nullptr, argv, environ) != 0) {
    std::fprintf(stderr, "could not start %s\n", program.c_str());
    std::exit(1);
  }
  int status = 0;
  waitpid(pid, &status, 0);
}

/// Microseconds per start over these programs, each started once in turn.
double microsecondsPerStart(const std::vector<std::string>& programs) {
  auto start = Clock::now();
  for (const std::string& program : programs)
    runOnce(program);
  return std::chrono::duration<double, std::micro>(Clock::now() - start).count() /
         static_cast<double>(programs.size());
}

double median(std::vector<double> values) {
  std::sort(values.begin(), values.end());
  return values[values.size() / 2];
}

/// A copy of `true` made unique by `extra` trailing bytes (it still runs).
std::string copyOfTrue(const std::string& path, std::size_t extra) {
  for (const char* candidate : {"/usr/bin/true", "/bin/true"})
    if (std::filesystem::exists(candidate)) {
      std::filesystem::copy_file(candidate, path, std::filesystem::copy_options::overwrite_existing);
      std::ofstream(path, std::ios::binary | std::ios::app) << std::string(extra, '\0');
      std::filesystem::permissions(path, std::filesystem::perms::owner_all);
      return path;
    }
  std::fprintf(stderr, "no `true` program found\n");
  std::exit(1);
}

/// User and system CPU seconds a process used so far.
double cpuSecondsOf(pid_t pid) {
  std::ifstream in("/proc/" + std::to_string(pid) + "/stat");
  std::string text((std::istreambuf_iterator<char>(in)), {});
  std::istringstream fields(text.substr(text.rfind(')') + 2));
  std::string field;
  unsigned long long utime = 0, stime = 0;
  for (int i = 3; i <= 15 && fields >> field; ++i) {
    if (i == 14)
      utime = std::stoull(field);
    if (i == 15)
      stime = std::stoull(field);
  }
  return static_cast<double>(utime + stime) / static_cast<double>(sysconf(_SC_CLK_TCK));
}

/// The share of one core `quorvane monitor` uses at rest over `seconds`, after it settled.
double idleShare(const std::string& quorvane, const std::string& home, bool block, int seconds) {
  pid_t pid = fork();
  if (pid == 0) {
    int null = open("/dev/null", O_WRONLY);
    dup2(null, 1);
    dup2(null, 2);
    if (block)
      execl(quorvane.c_str(), quorvane.c_str(), "--home", home.c_str(), "monitor", "--no-drives",
            "--block", static_cast<char*>(nullptr));
    else
      execl(quorvane.c_str(), quorvane.c_str(), "--home", home.c_str(), "monitor", "--no-drives",
            static_cast<char*>(nullptr));
    _exit(127);
  }
  std::this_thread::sleep_for(std::chrono::seconds(3));
  double before = cpuSecondsOf(pid);
  auto start = Clock::now();
  std::this_thread::sleep_for(std::chrono::seconds(seconds));
  double used = cpuSecondsOf(pid) - before;
  double elapsed = std::chrono::duration<double>(Clock::now() - start).count();
  kill(pid, SIGTERM); // our own child
  waitpid(pid, nullptr, 0);
  return 100.0 * used / elapsed;
}

} // namespace

int main(int argc, char** argv) {
  int rounds = argc > 1 ? std::atoi(argv[1]) : 5;
  int idleSeconds = argc > 2 ? std::atoi(argv[2]) : 20;
  if (geteuid() != 0) {
    std::fprintf(stderr, "bench_exec_guard needs root (the exec gate needs CAP_SYS_ADMIN)\n");
    return 1;
  }
  char pattern[] = "/tmp/quorvane-exec-bench-XXXXXX";
  if (!mkdtemp(pattern))
    return 1;
  std::string dir = pattern;
  std::string guarded = dir + "/guarded", home = dir + "/home";
  std::filesystem::create_directories(guarded);
  std::filesystem::create_directories(home);

  // The warm program, and the cold ones: every length is listed (by keys of other digests) so
  // that each cold start is read and hashed, as a program of a listed length is.
  std::string warm = copyOfTrue(guarded + "/warm", 0);
  std::vector<std::string> warmRuns(kStarts, warm);
  std::string keys;
  std::vector<std::size_t> lengths;
  for (int i = 0; i <= kStarts; ++i)
    lengths.push_back(std::filesystem::file_size(warm) + static_cast<std::size_t>(i));
  for (std::size_t length : lengths)
    keys += engine::fileKeyText("0123456789ABCDEF0123456789ABCDEF", length) + "\r\n";
  std::ofstream(home + "/vir.sig", std::ios::binary) << keys;

  platform::SystemPlatform system(home);
  engine::SignatureDatabase signatures(system.get().files, home + "/vir.sig");
  signatures.loadSignatureTable();

  std::vector<double> bare, warmGuard, coldGuard;
  for (int round = 0; round < rounds; ++round) {
    std::vector<std::string> cold;
    for (int i = 0; i < kStarts; ++i)
      cold.push_back(copyOfTrue(guarded + "/cold-" + std::to_string(round) + "-" + std::to_string(i),
                                static_cast<std::size_t>(i + 1)));
    bare.push_back(microsecondsPerStart(warmRuns));

    platform::ExecGateOptions options;
    options.folders = {guarded};
    auto gate = platform::openExecGate(options);
    if (!gate) {
      std::fprintf(stderr, "no exec gate: %s\n", gate.error().message().c_str());
      return 1;
    }
    protect::ExecBlockerOptions guardOptions;
    protect::ExecBlocker blocker(system.get(), **gate, home, signatures, guardOptions);
    blocker.start();
    runOnce(warm); // the verdict is cached from here on
    warmGuard.push_back(microsecondsPerStart(warmRuns));
    coldGuard.push_back(microsecondsPerStart(cold));
    protect::ExecBlockerCounts counts = blocker.counts();
    blocker.stop();
    if (counts.refused != 0 || counts.unchecked != 0 || counts.overBudget != 0) {
      std::fprintf(stderr, "unexpected verdicts: %llu refused, %llu unchecked, %llu over budget\n",
                   static_cast<unsigned long long>(counts.refused),
                   static_cast<unsigned long long>(counts.unchecked),
                   static_cast<unsigned long long>(counts.overBudget));
      return 1;
    }
    for (const std::string& file : cold)
      std::filesystem::remove(file);
  }
  double base = median(bare);
  std::printf("start of a small program, median of %d rounds of %d starts:\n", rounds, kStarts);
  std::printf("  no guard:             %8.1f us\n", base);
  std::printf("  guard, cached (warm): %8.1f us  (+%.1f us per start)\n", median(warmGuard),
              median(warmGuard) - base);
  std::printf("  guard, new file (cold, %ju bytes read and hashed): %8.1f us  (+%.1f us per start)\n",
              static_cast<std::uintmax_t>(lengths.front()), median(coldGuard),
              median(coldGuard) - base);

  std::string quorvane = QUORVANE_BIN;
  double blocking = idleShare(quorvane, home, true, idleSeconds);
  double polling = idleShare(quorvane, home, false, idleSeconds);
  std::printf("quorvane monitor at rest over %d s: %.2f %% of a core with --block, %.2f %% "
              "without\n",
              idleSeconds, blocking, polling);
  std::filesystem::remove_all(dir);
  return 0;
}
