// Checking files in order while reading them on several threads.
#include "scan/check_pipeline.h"

#include "app/text.h"
#include "engine/filekey.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <thread>

namespace quorvane::scan {
namespace {

using ::testing::ElementsAreArray;

class Recorder final : public scan::ScanObserver {
public:
  std::vector<std::string> checked, found;
  void checking(const std::string& path, long long) override { checked.push_back(path); }
  void detected(const threats::ThreatRow& row, const std::string&) override {
    found.push_back(row.fullPath);
  }
};

/// 200 files of many sizes, every 7th listed as a threat.
class PipelineTest : public ::testing::Test {
protected:
  platform::fake::FakePlatform fake;
  platform::Platform& p = fake.platform;
  engine::SignatureDatabase signatures{fake.files, "/app/vir.sig"};
  scan::ScanState state;
  threats::ScanResults results;
  FileChecker checker{p, "/app", signatures, state, results};
  engine::RunControl control;
  Recorder recorder;
  std::vector<std::string> paths, threats;

  void SetUp() override {
    fake.files.createDirectory("/app");
    fake.files.createDirectory("/d");
    std::string virSig;
    for (int i = 0; i < 200; ++i) {
      std::string path = "/d/f" + std::to_string(i) + ".exe";
      std::string content(static_cast<std::size_t>(i * 37 % 5000), static_cast<char>('a' + i % 26));
      fake.files.put(path, content);
      paths.push_back(path);
      if (i % 7 == 0) {
        threats.push_back(path);
        virSig += engine::fileKeyText(engine::getFileMD5HashCode(p, path), content.size()) + "\r\n";
      }
    }
    fake.files.put("/app/vir.sig", virSig);
    signatures.loadSignatureTable();
    checker.observer = &recorder;
  }
};

TEST_F(PipelineTest, RecordsInSubmitOrderWhateverTheThreads) {
  for (unsigned workers : {1u, 2u, 4u}) {
    recorder = Recorder{};
    results.clear();
    state.filesScanned = 0;
    {
      CheckPipeline pipeline(checker, control, workers, 8);
      for (const std::string& path : paths)
        pipeline.submit(path);
      pipeline.finish();
    }
    EXPECT_THAT(recorder.checked, ElementsAreArray(paths)) << workers;
    EXPECT_THAT(recorder.found, ElementsAreArray(threats)) << workers;
    EXPECT_EQ(state.filesScanned, 200);
    EXPECT_EQ(results.rows.size(), threats.size());
  }
}

TEST_F(PipelineTest, OnlyFilesOfListedLengthsAreRead) {
  CheckPipeline pipeline(checker, control, 2);
  for (const std::string& path : paths)
    pipeline.submit(path);
  pipeline.finish();
  auto table = signatures.current();
  for (const std::string& path : paths) {
    bool listedLength = table->mayMatchLength(fake.files.content(path).size());
    EXPECT_EQ(fake.files.reads[path] > 0, listedLength) << path;
  }
  EXPECT_EQ(recorder.found.size(), threats.size());
}

TEST_F(PipelineTest, WithoutLengthsEveryFileIsReadAndTheSameAreFound) {
  // The same keys written without their lengths: the filter is off, the detections stay.
  std::string virSig;
  for (const std::string& path : threats)
    virSig += engine::mapDigestDigits(engine::getFileMD5HashCode(p, path)) + "\r\n";
  fake.files.put("/app/vir.sig", virSig);
  signatures.loadSignatureTable();
  ASSERT_FALSE(signatures.current()->filtersLengths());
  fake.files.reads.clear();
  {
    CheckPipeline pipeline(checker, control, 2);
    for (const std::string& path : paths)
      pipeline.submit(path);
  }
  for (const std::string& path : paths)
    EXPECT_GT(fake.files.reads[path], 0) << path;
  EXPECT_THAT(recorder.found, ElementsAreArray(threats));
}

TEST_F(PipelineTest, CancelRecordsNothingMore) {
  struct CancelAt final : scan::ScanObserver {
    engine::RunControl* control;
    int seen = 0;
    void checking(const std::string&, long long) override {
      if (++seen == 3)
        control->cancel();
    }
  } cancelling;
  cancelling.control = &control;
  checker.observer = &cancelling;
  CheckPipeline pipeline(checker, control, 2, 4);
  for (const std::string& path : paths)
    pipeline.submit(path);
  pipeline.finish();
  EXPECT_EQ(state.filesScanned, 3);
}

TEST_F(PipelineTest, PauseHoldsTheReadingOfAFile) {
  // A file of three pieces: paused after the first, the digest is still that of the whole file.
  std::string content(3 * CheckPipeline::kPieceSize, 'z');
  fake.files.put("/d/big.exe", content);
  std::string expected = engine::getFileMD5HashCode(p, "/d/big.exe", 1 << 20);
  fake.files.put("/app/vir.sig", engine::fileKeyText(expected, content.size()) + "\r\n");
  signatures.loadSignatureTable();

  control.pause();
  std::thread resumer([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(30));
    control.resume();
  });
  PreparedFile prepared = checker.prepare("/d/big.exe", &control, CheckPipeline::kPieceSize);
  resumer.join();
  EXPECT_TRUE(prepared.lookUp);
  EXPECT_EQ(prepared.digest, app::toLower(expected));

  control.cancel();
  EXPECT_FALSE(checker.prepare("/d/big.exe", &control, CheckPipeline::kPieceSize).lookUp);
}

} // namespace
} // namespace quorvane::scan
