// The detection key: text-to-number conversion, digit mapping and the key of a file.
#include "engine/filekey.h"

#include <gtest/gtest.h>

#include <clocale>
#include <cmath>
#include <string>

namespace quorvane::engine {
namespace {

struct NumberCase {
  std::string text;
  double value;
};

class KeyTextToNumberTest : public ::testing::TestWithParam<NumberCase> {};

TEST_P(KeyTextToNumberTest, ReadsTheLeadingDecimalNumber) {
  EXPECT_EQ(keyTextToNumber(GetParam().text), GetParam().value) << GetParam().text;
}

INSTANTIATE_TEST_SUITE_P(
    Lines, KeyTextToNumberTest,
    ::testing::Values(NumberCase{"1", 1.0}, NumberCase{"12.5abc", 12.5}, NumberCase{"abc", 0.0},
                      NumberCase{"", 0.0}, NumberCase{"   7.25", 7.25}, NumberCase{"\t3", 3.0},
                      NumberCase{"-5", 0.0}, NumberCase{"+5", 0.0}, NumberCase{"1e5", 1.0},
                      NumberCase{"1.2.3", 1.2}, NumberCase{".5", 0.5}, NumberCase{"7.", 7.0},
                      NumberCase{".", 0.0}, NumberCase{"inf", 0.0}, NumberCase{"nan", 0.0},
                      NumberCase{"0x10", 0.0}, NumberCase{std::string("42\0tail", 7), 42.0},
                      NumberCase{"12,5", 12.0}));

TEST(KeyTextToNumberTest, HugeAndTinyNumbersSaturate) {
  EXPECT_TRUE(std::isinf(keyTextToNumber(std::string(400, '9'))));
  EXPECT_EQ(keyTextToNumber("0." + std::string(400, '0') + "1"), 0.0);
  EXPECT_EQ(keyTextToNumber(std::string(1 << 20, '0') + "1"), 1.0); // a 1 MB line
}

TEST(KeyTextToNumberTest, IgnoresTheLocaleDecimalSeparator) {
  const char* old = std::setlocale(LC_NUMERIC, nullptr);
  std::string saved = old ? old : "C";
  if (!std::setlocale(LC_NUMERIC, "de_DE.UTF-8") && !std::setlocale(LC_NUMERIC, "fr_FR.UTF-8"))
    GTEST_SKIP() << "no locale with a decimal comma installed";
  EXPECT_EQ(keyTextToNumber("12.5"), 12.5);
  std::setlocale(LC_NUMERIC, saved.c_str());
}

TEST(FileKeyTest, MapsDigestLettersToDigits) {
  EXPECT_EQ(mapDigestDigits("0123456789abcdef0123456789abcdef"),
            "01234567892345670123456789234567.");
  EXPECT_EQ(fileKeyText("0123456789abcdef0123456789abcdef", 1234),
            "01234567892345670123456789234567.1234");
  EXPECT_EQ(fileKeyText("0123456789ABCDEF0123456789ABCDEF", 1234),
            fileKeyText("0123456789abcdef0123456789abcdef", 1234));
}

TEST(FileKeyTest, KeyEqualsTheLoadedLineBitForBit) {
  // The EICAR test file: what vir.sig lists and what a scan computes must be the same double.
  std::string digest = "44D88612FEA8A8F36DE82E1278ABB02F";
  EXPECT_EQ(fileKeyText(digest, 68), "44588612762828736568261278233027.68");
  EXPECT_EQ(fileKey(digest, 68), keyTextToNumber("44588612762828736568261278233027.68\r"));
  EXPECT_EQ(fileKey(digest, 68), 44588612762828736568261278233027.68);
}

TEST(FileKeyTest, LengthMattersOnlyBehindLeadingZeros) {
  // 32 digits: the length after the point is far below a double's precision...
  EXPECT_EQ(fileKey("44d88612fea8a8f36de82e1278abb02f", 68),
            fileKey("44d88612fea8a8f36de82e1278abb02f", 69));
  // ...unless the digits are all zeros, as in a digest cut off by the time limit.
  EXPECT_NE(fileKey(std::string(32, '0'), 68), fileKey(std::string(32, '0'), 69));
  EXPECT_LT(fileKey(std::string(32, '0'), 68), 1.0);
}

} // namespace
} // namespace quorvane::engine
