// INI text: look-ups and blanking a key.
#include "app/ini.h"

#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

constexpr const char* kText = "; language file\r\n"
                              "[Main]\r\n"
                              "001 = Scan Now \r\n"
                              "002=\"  quoted  \"\r\n"
                              "003=\r\n"
                              "[Other]\r\n"
                              "001=other\r\n";

TEST(IniLookupTest, FindsKeysBySectionIgnoringCase) {
  EXPECT_EQ(IniLookup(kText, "main", "001"), "Scan Now");
  EXPECT_EQ(IniLookup(kText, "MAIN", "002"), "  quoted  ");
  EXPECT_EQ(IniLookup(kText, "Main", "003"), "");
  EXPECT_EQ(IniLookup(kText, "Other", "001"), "other");
  EXPECT_EQ(IniLookup(kText, "Main", "004"), std::nullopt);
  EXPECT_EQ(IniLookup(kText, "Missing", "001"), std::nullopt);
  EXPECT_EQ(IniLookup("[s]\nk=lf only", "s", "k"), "lf only");
  EXPECT_EQ(IniLookup("k=outside\n[s]\n", "s", "k"), std::nullopt);
}

TEST(IniBlankKeyTest, BlanksInPlaceAndKeepsEverythingElse) {
  std::string out = IniBlankKey(kText, "main", "001");
  EXPECT_EQ(IniLookup(out, "Main", "001"), "");
  EXPECT_EQ(IniLookup(out, "Other", "001"), "other");
  EXPECT_EQ(out, std::string(kText).replace(std::string(kText).find("001 = Scan Now "), 15, "001="));
}

TEST(IniBlankKeyTest, AddsAMissingKeyOrSection) {
  std::string out = IniBlankKey(kText, "Other", "009");
  EXPECT_EQ(IniLookup(out, "Other", "009"), "");
  EXPECT_EQ(IniLookup(out, "Other", "001"), "other");
  std::string added = IniBlankKey("[a]\nx=1", "b", "y");
  EXPECT_EQ(added, "[a]\nx=1\n[b]\ny=\n");
  EXPECT_EQ(IniBlankKey("[a]\nx=1", "a", "y"), "[a]\nx=1\ny=\n");
}

} // namespace
} // namespace quorvane::app
