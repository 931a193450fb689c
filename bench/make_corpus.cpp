// Builds benchmark corpus A in a folder:
//   tree/        8,000 program files (.exe .dll .bat .com .ocx) in 37 x 11 nested folders, sizes
//                log-uniform from 256 B to 4 MiB, plus 5 files just over 5 MiB; 40 of the files
//                are planted threats
//   vir.sig      the 40 threats' keys and 100,000 random keys (lengths 100 to 5,000,000), sorted
//   vir-nolen.sig the same keys without their lengths (the size prefilter is then off)
//   hashes.txt   md5sum-style list of the same 100,040 digests, for md5deep -m
//   sigs.hdb     the same signatures as a ClamAV hash database (md5:size:name)
//   threats.txt  the planted threat paths
// Usage: make_corpus DIR [FILES]
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/fake/fakes.h"
#include "platform/linux/linux_platform.h"
#include "platform/registry_store.h"

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <fstream>
#include <iostream>
#include <random>
#include <string>
#include <sys/stat.h>
#include <vector>

namespace {

using namespace quorvane;

struct Signature {
  double key;
  std::string keyText, keyNoLength, digest;
  std::uint64_t length;
};

void writeRandomFile(const std::string& path, std::uint64_t size, std::mt19937_64& random) {
  std::vector<std::uint64_t> block(8192);
  std::ofstream out(path, std::ios::binary);
  while (size > 0) {
    for (auto& word : block)
      word = random();
    std::uint64_t n = std::min<std::uint64_t>(size, block.size() * sizeof(std::uint64_t));
    out.write(reinterpret_cast<const char*>(block.data()), static_cast<std::streamsize>(n));
    size -= n;
  }
}

Signature signatureOf(const std::string& digestUpper, std::uint64_t length) {
  std::string digest;
  for (char c : digestUpper)
    digest += static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  std::string text = engine::fileKeyText(digest, length);
  return {engine::keyTextToNumber(text), text, engine::mapDigestDigits(digest), digest, length};
}

} // namespace

int main(int argc, char** argv) {
  if (argc < 2) {
    std::cerr << "usage: make_corpus DIR [FILES]\n";
    return 2;
  }
  std::string dir = argv[1];
  int files = argc > 2 ? std::stoi(argv[2]) : 8000;
  constexpr int kTop = 37, kSub = 11, kThreats = 40, kOversized = 5, kRandomSignatures = 100000;
  const char* kExtensions[] = {".exe", ".dll", ".bat", ".com", ".ocx"};

  std::mt19937_64 random(20261209);
  std::vector<std::string> folders;
  mkdir(dir.c_str(), 0755);
  mkdir((dir + "/tree").c_str(), 0755);
  for (int t = 0; t < kTop; ++t) {
    std::string top = dir + "/tree/d" + std::to_string(t);
    mkdir(top.c_str(), 0755);
    for (int s = 0; s < kSub; ++s) {
      folders.push_back(top + "/s" + std::to_string(s));
      mkdir(folders.back().c_str(), 0755);
    }
  }

  std::uniform_real_distribution<double> logSize(std::log(256.0), std::log(4194304.0));
  std::vector<std::string> paths;
  std::uint64_t total = 0;
  for (int i = 0; i < files; ++i) {
    std::string path = folders[static_cast<std::size_t>(i) % folders.size()] + "/f" +
                       std::to_string(i) + kExtensions[i % 5];
    auto size = static_cast<std::uint64_t>(std::exp(logSize(random)));
    writeRandomFile(path, size, random);
    paths.push_back(path);
    total += size;
  }
  for (int i = 0; i < kOversized; ++i) {
    std::string path = folders[static_cast<std::size_t>(i) * 50] + "/big" + std::to_string(i) + ".exe";
    writeRandomFile(path, 5242880 + 1 + static_cast<std::uint64_t>(i), random);
    total += 5242881 + static_cast<std::uint64_t>(i);
  }

  platform::LinuxFileSystem fs;
  platform::OpenSslCrypto crypto;
  platform::LinuxClock clock;
  platform::LinuxEnvironment environment;
  platform::StderrNotifier notifier;
  platform::LinuxProcesses processes;
  platform::SqliteRegistry registry(":memory:");
  platform::fake::FakePower power; // never used: the corpus needs no power action
  platform::fake::FakeHttp http;   // nor the network
  platform::fake::FakeShell shell;
  platform::fake::FakeDrives drives;
  platform::fake::FakeIntegration integration;
  platform::Platform p{registry, fs,    clock, environment, crypto, notifier,
                       processes, power, http,  shell,       drives, integration};

  std::vector<Signature> signatures;
  std::ofstream threatList(dir + "/threats.txt");
  for (int i = 0; i < kThreats; ++i) {
    const std::string& path = paths[static_cast<std::size_t>(i) * (paths.size() / kThreats)];
    struct stat st;
    stat(path.c_str(), &st);
    signatures.push_back(signatureOf(engine::getFileMD5HashCode(p, path, 1 << 20),
                                     static_cast<std::uint64_t>(st.st_size)));
    threatList << path << '\n';
  }
  std::uniform_int_distribution<std::uint64_t> length(100, 5000000);
  static constexpr char kHex[] = "0123456789ABCDEF";
  for (int i = 0; i < kRandomSignatures; ++i) {
    std::string digest(32, '0');
    for (char& c : digest)
      c = kHex[random() % 16];
    signatures.push_back(signatureOf(digest, length(random)));
  }
  std::sort(signatures.begin(), signatures.end(),
            [](const Signature& a, const Signature& b) { return a.key < b.key; });
  std::ofstream virSig(dir + "/vir.sig", std::ios::binary), noLength(dir + "/vir-nolen.sig", std::ios::binary),
      hashes(dir + "/hashes.txt"), hdb(dir + "/sigs.hdb");
  int n = 0;
  for (const Signature& s : signatures) {
    virSig << s.keyText << "\r\n";
    noLength << s.keyNoLength << "\r\n";
    hashes << s.digest << "  sig" << n << "\n";
    hdb << s.digest << ":" << s.length << ":Quorvane.Sig" << n++ << "\n";
  }
  std::cout << "corpus A in " << dir << ": " << files + kOversized << " files, " << total / 1000000
            << " MB, " << signatures.size() << " signatures\n";
  return 0;
}
