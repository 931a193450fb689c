// Loading and rebuilding the signature table: a vir.sig of 1,000,000 random sorted keys.
#include "engine/filekey.h"
#include "engine/sigtable.h"
#include "platform/linux/linux_platform.h"

#include <benchmark/benchmark.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <random>
#include <string>
#include <unistd.h>

namespace {

using namespace quorvane;

/// A vir.sig of `lines` random keys in ascending order, in a temporary folder.
class VirSigFixture {
public:
  explicit VirSigFixture(std::size_t lines) {
    char pattern[] = "/tmp/quorvane-bench-XXXXXX";
    folder_ = mkdtemp(pattern);
    path_ = folder_ + "/vir.sig";
    std::mt19937_64 random(42);
    std::vector<std::pair<double, std::string>> keys;
    keys.reserve(lines);
    static constexpr char kHex[] = "0123456789abcdef";
    for (std::size_t i = 0; i < lines; ++i) {
      std::string digest(32, '0');
      for (char& c : digest)
        c = kHex[random() % 16];
      std::string text = engine::fileKeyText(digest, 100 + random() % 5000000);
      keys.emplace_back(engine::keyTextToNumber(text), std::move(text));
    }
    std::sort(keys.begin(), keys.end());
    std::ofstream out(path_, std::ios::binary);
    for (const auto& key : keys)
      out << key.second << "\r\n";
  }
  ~VirSigFixture() {
    std::remove(path_.c_str());
    rmdir(folder_.c_str());
  }
  const std::string& path() const { return path_; }

private:
  std::string folder_;
  std::string path_;
};

VirSigFixture& millionLines() {
  static VirSigFixture fixture(1000000);
  return fixture;
}

void BM_LoadSignatureTable(benchmark::State& state) {
  platform::LinuxFileSystem files;
  engine::SignatureDatabase database(files, millionLines().path());
  for (auto _ : state) {
    database.loadSignatureTable();
    benchmark::DoNotOptimize(database.current());
  }
  auto table = database.current();
  state.counters["signatures"] = table->signatureCount();
  double count = table->signatureCount();
  state.counters["table_bytes_per_signature"] =
      static_cast<double>(table->slots().size() * sizeof(double)) / count;
  state.counters["distinct_lengths"] = static_cast<double>(table->distinctLengths());
  state.counters["all_bytes_per_signature"] = static_cast<double>(table->memoryBytes()) / count;
}
BENCHMARK(BM_LoadSignatureTable)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_ReloadTickUnchanged(benchmark::State& state) {
  platform::LinuxFileSystem files;
  engine::SignatureDatabase database(files, millionLines().path());
  database.loadSignatureTable();
  for (auto _ : state)
    benchmark::DoNotOptimize(database.reloadSignatureTableTick());
}
BENCHMARK(BM_ReloadTickUnchanged)->Unit(benchmark::kMicrosecond)->UseRealTime();

void BM_Lookup(benchmark::State& state) {
  platform::LinuxFileSystem files;
  engine::SignatureDatabase database(files, millionLines().path());
  database.loadSignatureTable();
  auto table = database.current();
  std::mt19937_64 random(7);
  for (auto _ : state) {
    double key = table->slots()[random() % static_cast<std::size_t>(table->signatureCount())];
    benchmark::DoNotOptimize(table->contains(key));
  }
}
BENCHMARK(BM_Lookup);

} // namespace

BENCHMARK_MAIN();
