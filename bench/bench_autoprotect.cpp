// Auto-protect on the real process table: its idle cost with 300 processes running, and how
// soon a newly started threat is ended. Starts its own children (copies of `sleep`) and ends
// only those.
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "engine/sigtable.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "protect/autoprotect.h"

#include <atomic>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <random>
#include <sys/wait.h>
#include <thread>
#include <time.h>
#include <unistd.h>
#include <vector>

using namespace quorvane;
using Clock = std::chrono::steady_clock;

namespace {

pid_t startChild(const std::string& program, const char* seconds) {
  pid_t pid = fork();
  if (pid == 0) {
    execl(program.c_str(), program.c_str(), seconds, static_cast<char*>(nullptr));
    _exit(127);
  }
  return pid;
}

double threadCpuSeconds() {
  timespec ts{};
  clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
  return static_cast<double>(ts.tv_sec) + static_cast<double>(ts.tv_nsec) / 1e9;
}

std::string sleepProgram() {
  for (const char* candidate : {"/usr/bin/sleep", "/bin/sleep"})
    if (std::filesystem::exists(candidate))
      return candidate;
  return {};
}

} // namespace

int main(int argc, char** argv) {
  int idleSeconds = argc > 1 ? std::atoi(argv[1]) : 20;
  int trials = argc > 2 ? std::atoi(argv[2]) : 100;
  std::string dir = std::filesystem::temp_directory_path() / ("qv-bench-ap-" + std::to_string(getpid()));
  std::filesystem::create_directories(dir);
  std::string idler = dir + "/qv-idle", threat = dir + "/qv-threat";
  std::filesystem::copy_file(sleepProgram(), idler);
  std::filesystem::copy_file(sleepProgram(), threat);
  std::ofstream(threat, std::ios::app) << "planted threat bytes";

  platform::fake::FakePlatform fake;
  platform::LinuxFileSystem files;
  platform::LinuxProcesses processes;
  platform::LinuxClock clock;
  platform::Platform p{fake.registry, files,     clock,      fake.environment, fake.crypto,
                       fake.notifier, processes, fake.power, fake.http,        fake.shell,
                       fake.drives,   fake.integration};
  auto digest = engine::hashFile(p, threat);
  std::ofstream(dir + "/vir.sig") << engine::fileKeyText(engine::digestText(*digest),
                                                         std::filesystem::file_size(threat))
                                  << "\r\n";
  engine::SignatureDatabase signatures(files, dir + "/vir.sig");
  signatures.loadSignatureTable();
  protect::AutoProtect guard(p, dir, signatures);

  // Enough children of our own for 300 processes in all.
  std::vector<pid_t> idle;
  std::size_t running = processes.ids().size();
  while (running + idle.size() < 300)
    idle.push_back(startChild(idler, "600"));
  std::this_thread::sleep_for(std::chrono::milliseconds(500));

  std::atomic<bool> stop{false};
  std::atomic<double> cpu{0};
  auto guardLoop = [&] {
    double start = threadCpuSeconds();
    auto next = Clock::now();
    while (!stop) {
      guard.tick();
      next += std::chrono::milliseconds(protect::kAutoProtectTickMs);
      std::this_thread::sleep_until(next);
    }
    cpu = threadCpuSeconds() - start;
  };

  // Idle: nothing starts; the cost is that of looking.
  guard.tick(); // the first pass checks everything once; the idle figure leaves it out
  auto wallStart = Clock::now();
  std::thread idleThread(guardLoop);
  std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
  stop = true;
  idleThread.join();
  double wall = std::chrono::duration<double>(Clock::now() - wallStart).count();
  std::printf("processes running: %zu\n", processes.ids().size());
  std::printf("idle cost: %.3f s CPU in %.1f s = %.3f %% of one core\n", cpu.load(), wall,
              100.0 * cpu.load() / wall);

  // Latency: start the threat at random moments and time until it is ended.
  stop = false;
  std::thread guardThread(guardLoop);
  std::mt19937 random(12345);
  std::vector<double> latencies;
  for (int i = 0; i < trials; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50 + random() % 250));
    auto started = Clock::now();
    pid_t child = startChild(threat, "30");
    int status = 0;
    waitpid(child, &status, 0);
    double ms = std::chrono::duration<double, std::milli>(Clock::now() - started).count();
    latencies.push_back(WIFSIGNALED(status) ? ms : 1e9);
  }
  stop = true;
  guardThread.join();
  std::sort(latencies.begin(), latencies.end());
  int within = static_cast<int>(std::count_if(latencies.begin(), latencies.end(),
                                              [](double ms) { return ms <= 300; }));
  std::printf("threat ended within 300 ms: %d of %d (median %.0f ms, 95th %.0f ms, worst %.0f ms)\n",
              within, trials, latencies[latencies.size() / 2],
              latencies[std::max<std::size_t>(1, latencies.size() * 95 / 100) - 1], latencies.back());

  for (pid_t pid : idle)
    kill(pid, SIGKILL); // our own children only
  for (pid_t pid : idle)
    waitpid(pid, nullptr, 0);
  std::filesystem::remove_all(dir);
  return within * 100 >= trials * 95 ? 0 : 1;
}
