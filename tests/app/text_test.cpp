// The small text helpers.
#include "app/text.h"

#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

TEST(Base64Test, EncodesTheRfcVectorsAndDecodesThemBack) {
  const std::pair<std::string, std::string> vectors[] = {
      {"", ""},         {"f", "Zg=="},         {"fo", "Zm8="},          {"foo", "Zm9v"},
      {"foob", "Zm9vYg=="}, {"fooba", "Zm9vYmE="}, {"foobar", "Zm9vYmFy"},
      {std::string("\xff\x00\xfe", 3), "/wD+"},
  };
  for (const auto& [bytes, text] : vectors) {
    EXPECT_EQ(base64Encode(bytes), text);
    EXPECT_EQ(base64Decode(text), bytes) << text;
  }
  EXPECT_EQ(base64Decode("Zm9v\r\nYmFy \n"), "foobar"); // line ends and blanks are ignored
}

TEST(Base64Test, RefusesWhatIsNotBase64) {
  for (const char* text : {"Zm9", "Zm9v!", "Z===", "Zg=a", "=Zg=", "Zg==Zg=="})
    EXPECT_FALSE(base64Decode(text).has_value()) << text;
  EXPECT_FALSE(base64Decode(std::string("Zm\0v", 4)).has_value());
}

} // namespace
} // namespace quorvane::app
