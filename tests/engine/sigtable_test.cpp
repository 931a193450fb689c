// The signature table: parsing vir.sig, sorting, and the rebuild that follows the file.
#include "engine/sigtable.h"

#include "engine/filekey.h"

#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <random>
#include <set>

#include <thread>

namespace quorvane::engine {
namespace {

using ::testing::ElementsAre;
using ::testing::ElementsAreArray;

std::vector<double> slotsOf(const SignatureTable& table) {
  return {table.slots().begin(), table.slots().end()};
}

TEST(ParseSignatureTableTest, ThreeLinesGiveThreeEntriesAndAClosingZero) {
  SignatureTable table = parseSignatureTable("1\r\n2\r\n3\r\n");
  EXPECT_EQ(table.signatureCount(), 3);
  EXPECT_THAT(slotsOf(table), ElementsAre(1, 2, 3, 0));
  EXPECT_TRUE(table.arrivedSorted());
}

struct LineEndCase {
  std::string name;
  std::string text;
  std::vector<double> slots;
};

class LineEndTest : public ::testing::TestWithParam<LineEndCase> {};

TEST_P(LineEndTest, EveryLineIsOneEntry) {
  EXPECT_THAT(slotsOf(parseSignatureTable(GetParam().text)), ElementsAreArray(GetParam().slots));
}

INSTANTIATE_TEST_SUITE_P(
    Files, LineEndTest,
    ::testing::Values(
        LineEndCase{"LF", "1\n2\n3", {1, 2, 3, 0}},
        LineEndCase{"CRLF_no_final_end", "1\r\n2\r\n3", {1, 2, 3, 0}},
        LineEndCase{"lone_CR", "1\r2\r3\r", {1, 2, 3, 0}},
        LineEndCase{"mixed", "1\r\n2\n3\r4", {1, 2, 3, 4, 0}},
        // Blank and non-numeric lines are entries 0 and sort first.
        LineEndCase{"blank_lines", "5\n\n6\r\n\r\n", {0, 0, 5, 6, 0}},
        LineEndCase{"letters", "abc\n12.5abc\n20", {0, 12.5, 20, 0}},
        LineEndCase{"nul_bytes", std::string("7\0x\n\0\n8", 8), {0, 7, 8, 0}},
        LineEndCase{"empty_file", "", {0}}),
    [](const auto& info) { return info.param.name; });

TEST(ParseSignatureTableTest, UnsortedLinesAreSortedSoLookupsHold) {
  SignatureTable table = parseSignatureTable("30\n10\n20\n10\n");
  EXPECT_FALSE(table.arrivedSorted());
  EXPECT_THAT(slotsOf(table), ElementsAre(10, 10, 20, 30, 0));
  for (double key : {10.0, 20.0, 30.0})
    EXPECT_TRUE(table.contains(key)) << key;
  EXPECT_FALSE(table.contains(15.0));
}

TEST(ParseSignatureTableTest, AMegabyteLineIsOneEntry) {
  std::string text = "5\n" + std::string(1 << 20, '1') + "\n7\n";
  SignatureTable table = parseSignatureTable(text);
  EXPECT_EQ(table.signatureCount(), 3);
  EXPECT_TRUE(table.contains(5.0));
  EXPECT_TRUE(table.contains(7.0));
}

TEST(SignatureDatabaseLoadTest, HoldsEightBytesPerSignature) {
  std::string text;
  for (int i = 0; i < 1000; ++i)
    text += std::to_string(i) + "\r\n";
  platform::fake::MemoryFileSystem files;
  files.put("/vir.sig", text);
  SignatureDatabase database(files, "/vir.sig");
  database.loadSignatureTable();
  EXPECT_EQ(database.current()->signatureCount(), 1000);
  EXPECT_EQ(database.current()->memoryBytes(), (1000 + 1) * sizeof(double));
}

class SignatureDatabaseTest : public ::testing::Test {
protected:
  platform::fake::MemoryFileSystem files;
  std::string path = "/app/vir.sig";
  SignatureDatabase database{files, path};

  void SetUp() override { files.createDirectory("/app"); }
};

TEST_F(SignatureDatabaseTest, MissingFileGivesAnEmptyTable) {
  database.loadSignatureTable();
  EXPECT_EQ(database.current()->signatureCount(), 0);
  EXPECT_FALSE(database.current()->contains(0.0));
}

TEST_F(SignatureDatabaseTest, TickReloadsOnlyWhenTheFileChanged) {
  files.put(path, "1\r\n2\r\n");
  database.loadSignatureTable();
  auto first = database.current();
  EXPECT_FALSE(database.reloadSignatureTableTick());
  EXPECT_EQ(database.current(), first); // the very same table: nothing was read again

  files.put(path, "1\r\n2\r\n3\r\n");
  EXPECT_TRUE(database.reloadSignatureTableTick());
  EXPECT_EQ(database.current()->signatureCount(), 3);

  // Same size, new content (a new version of the file): reloaded too.
  files.put(path, "4\r\n5\r\n6\r\n");
  EXPECT_TRUE(database.reloadSignatureTableTick());
  EXPECT_TRUE(database.current()->contains(6.0));
}

TEST_F(SignatureDatabaseTest, DeletingEmptiesAtTheNextTickAndPuttingBackRefills) {
  files.put(path, "1\r\n2\r\n3\r\n");
  database.loadSignatureTable();
  ASSERT_EQ(database.current()->signatureCount(), 3);

  files.removeFile(path);
  EXPECT_TRUE(database.reloadSignatureTableTick());
  EXPECT_EQ(database.current()->signatureCount(), 0);
  EXPECT_FALSE(database.reloadSignatureTableTick()); // still gone: nothing to do

  files.put(path, "1\r\n2\r\n3\r\n");
  EXPECT_TRUE(database.reloadSignatureTableTick());
  EXPECT_EQ(database.current()->signatureCount(), 3);
}

TEST_F(SignatureDatabaseTest, AHeldTableStaysWholeWhileARebuildSwaps) {
  files.put(path, "1\n2\n3\n");
  database.loadSignatureTable();
  auto held = database.current();

  std::string big;
  for (int i = 0; i < 20000; ++i)
    big += std::to_string(100 + i) + "\n";
  std::atomic<bool> stop{false};
  std::thread reader([&] {
    // Every table a lookup can see is complete: either the old one or the new one.
    while (!stop) {
      auto table = database.current();
      std::int32_t count = table->signatureCount();
      EXPECT_TRUE(count == 3 || count == 20000) << count;
    }
  });
  files.put(path, big);
  database.reloadSignatureTableTick();
  stop = true;
  reader.join();

  EXPECT_THAT(slotsOf(*held), ElementsAre(1, 2, 3, 0));
  EXPECT_EQ(database.current()->signatureCount(), 20000);
}

} // namespace
} // namespace quorvane::engine

namespace quorvane::engine {
namespace {

TEST(SignatureDatabaseLoadTest, LineEndsCutBetweenReadPiecesCountOnce) {
  // The loader reads in pieces of 1 MiB: put a CR LF and a line across that boundary.
  constexpr std::size_t kPiece = 1 << 20;
  std::string text = "7" + std::string(kPiece - 2, ' ') + "\r\n" + "8\r\n";
  text += std::string(kPiece - 3, ' ') + "9" + "12" + "\n"; // "   ...912" spans a boundary
  platform::fake::MemoryFileSystem files;
  files.createDirectory("/app");
  files.put("/app/vir.sig", text);
  SignatureDatabase database(files, "/app/vir.sig");
  database.loadSignatureTable();
  auto table = database.current();
  EXPECT_EQ(table->signatureCount(), 3);
  EXPECT_THAT(slotsOf(*table), ElementsAre(7, 8, 912, 0));
  EXPECT_EQ(table->memoryBytes(), 4 * sizeof(double));
}

} // namespace
} // namespace quorvane::engine

namespace quorvane::engine {
namespace {

TEST(LengthFilterTest, KeepsTheLengthsTheKeysCarry) {
  SignatureTable table = parseSignatureTable("\r\n12345.68\r\n12346.100\r\nabc\r\n12347.68\r\n");
  EXPECT_TRUE(table.filtersLengths());
  EXPECT_EQ(table.distinctLengths(), 2u);
  EXPECT_TRUE(table.mayMatchLength(68));
  EXPECT_TRUE(table.mayMatchLength(100));
  EXPECT_FALSE(table.mayMatchLength(69));
  EXPECT_FALSE(table.mayMatchLength(0));
}

TEST(LengthFilterTest, EveryLengthIsFoundWhateverItsSizeAndOrder) {
  // Lengths in every range the sort passes over: below 64 KB, below 4 GB, up to 64 bits; given
  // out of order, with repeats; on either side of the lengths kept as bits (8 MB). A few
  // thousand lengths are searched, many thousands looked up by bit: both must agree.
  for (int extra : {2000, 20000}) {
    std::vector<std::uint64_t> lengths = {5242879,
                                          1,
                                          65535,
                                          65536,
                                          4294967295ULL,
                                          4294967296ULL,
                                          68,
                                          18446744073709551615ULL,
                                          68,
                                          1ULL << 40,
                                          281474976710656ULL,
                                          65537,
                                          100,
                                          3,
                                          8388607,
                                          8388609};
    std::mt19937_64 random(42);
    for (int i = 0; i < extra; ++i)
      lengths.push_back(random() >> (random() % 64));
    std::string text;
    for (std::uint64_t length : lengths)
      text += "12345." + std::to_string(length) + "\n";
    SignatureTable table = parseSignatureTable(text);
    std::set<std::uint64_t> distinct(lengths.begin(), lengths.end());
    EXPECT_EQ(table.distinctLengths(), distinct.size());
    for (std::uint64_t length : distinct) {
      EXPECT_TRUE(table.mayMatchLength(length)) << length;
      if (!distinct.count(length + 1) && length + 1 != 0) {
        EXPECT_FALSE(table.mayMatchLength(length + 1)) << length + 1;
      }
    }
    for (std::uint64_t unlisted : {std::uint64_t{0}, std::uint64_t{8388608}})
      if (!distinct.count(unlisted)) {
        EXPECT_FALSE(table.mayMatchLength(unlisted)) << unlisted << " with " << extra;
      }
  }
}

TEST(LengthFilterTest, AKeyWithoutALengthTurnsTheFilterOff) {
  for (const char* text : {"12345.68\n12346\n", "12345.68\n12346.\n", "12345.68\n99.x\n"}) {
    SignatureTable table = parseSignatureTable(text);
    EXPECT_FALSE(table.filtersLengths()) << text;
    EXPECT_TRUE(table.mayMatchLength(1234)) << text;
  }
}

TEST(LengthFilterTest, AnEmptyTableMatchesNoLength) {
  EXPECT_FALSE(SignatureTable().mayMatchLength(68));
  EXPECT_FALSE(parseSignatureTable("").mayMatchLength(68));
  EXPECT_FALSE(parseSignatureTable("\n\n").mayMatchLength(0)); // blank lines carry nothing
}

TEST(LengthFilterTest, KeyTextLength) {
  EXPECT_EQ(keyTextLength("4458861276.68"), 68u);
  EXPECT_EQ(keyTextLength("  12.5abc"), 5u);
  EXPECT_EQ(keyTextLength("12."), std::nullopt);
  EXPECT_EQ(keyTextLength("12"), std::nullopt);
  EXPECT_EQ(keyTextLength("x.12"), std::nullopt);
  EXPECT_EQ(keyTextLength(".7"), 7u);
}

} // namespace
} // namespace quorvane::engine
