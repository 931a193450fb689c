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
  EXPECT_EQ(iniLookup(kText, "main", "001"), "Scan Now");
  EXPECT_EQ(iniLookup(kText, "MAIN", "002"), "  quoted  ");
  EXPECT_EQ(iniLookup(kText, "Main", "003"), "");
  EXPECT_EQ(iniLookup(kText, "Other", "001"), "other");
  EXPECT_EQ(iniLookup(kText, "Main", "004"), std::nullopt);
  EXPECT_EQ(iniLookup(kText, "Missing", "001"), std::nullopt);
  EXPECT_EQ(iniLookup("[s]\nk=lf only", "s", "k"), "lf only");
  EXPECT_EQ(iniLookup("k=outside\n[s]\n", "s", "k"), std::nullopt);
}

TEST(IniBlankKeyTest, BlanksInPlaceAndKeepsEverythingElse) {
  std::string out = iniBlankKey(kText, "main", "001");
  EXPECT_EQ(iniLookup(out, "Main", "001"), "");
  EXPECT_EQ(iniLookup(out, "Other", "001"), "other");
  EXPECT_EQ(out, std::string(kText).replace(std::string(kText).find("001 = Scan Now "), 15, "001="));
}

TEST(IniBlankKeyTest, AddsAMissingKeyOrSection) {
  std::string out = iniBlankKey(kText, "Other", "009");
  EXPECT_EQ(iniLookup(out, "Other", "009"), "");
  EXPECT_EQ(iniLookup(out, "Other", "001"), "other");
  std::string added = iniBlankKey("[a]\nx=1", "b", "y");
  EXPECT_EQ(added, "[a]\nx=1\n[b]\ny=\n");
  EXPECT_EQ(iniBlankKey("[a]\nx=1", "a", "y"), "[a]\nx=1\ny=\n");
}

} // namespace
} // namespace quorvane::app
