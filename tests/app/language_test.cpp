#include "app/language.h"

#include "app/settings.h"
#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

using ::testing::ElementsAre;

class LanguageTest : public ::testing::Test {
protected:
  LanguageTest() {
    fake.files.createDirectory("/app");
    fake.files.createDirectory("/app/lang");
    fake.files.put("/app/lang/english.ini", "[001]\r\n004=Quick Scan\r\n005=Smart Scan\r\n");
    fake.files.put("/app/lang/russia.ini", "[001]\r\n004=Быстрая проверка\r\n");
    fake.files.put("/app/lang/klingon.ini", "[001]\r\n004=nom\r\n");
    fake.files.put("/app/lang/readme.txt", "not a language");
  }
  platform::fake::FakePlatform fake;
  SettingsStore settings{fake.platform};
  Language language{fake.platform, "/app"};
};

TEST_F(LanguageTest, BlankSettingMeansEnglishAndBlanksAreTrimmed) {
  EXPECT_EQ(language.loadLanguage(), "english.ini");
  EXPECT_EQ(language.readLanguageText("004"), "Quick Scan");
  settings.setSetting("language", " russia.ini ");
  EXPECT_EQ(language.loadLanguage(), "russia.ini");
  EXPECT_EQ(language.readLanguageText("004"), "Быстрая проверка");
}

TEST_F(LanguageTest, MissingKeysAndFilesFallBackToEnglish) {
  settings.setSetting("language", "russia.ini");
  language.loadLanguage();
  EXPECT_EQ(language.readLanguageText("005", "design"), "Smart Scan");
  EXPECT_EQ(language.readLanguageText("999", "Design caption"), "Design caption");
  language.chooseLanguage("gone.ini");
  EXPECT_EQ(settings.setting("language"), "gone.ini");
  EXPECT_EQ(language.readLanguageText("004"), "Quick Scan");
  fake.files.removeFile("/app/lang/english.ini");
  language.loadLanguage();
  EXPECT_EQ(language.readLanguageText("004", "Quick Scan (built in)"), "Quick Scan (built in)");
}

TEST_F(LanguageTest, ValuesAreCutTo254CharactersWholeCharactersOnly) {
  fake.files.put("/app/lang/english.ini", "[001]\r\n010=" + std::string(300, 'x') + "\r\n011=" +
                                              std::string(253, 'y') + "é\r\n");
  language.loadLanguage();
  EXPECT_EQ(language.readLanguageText("010"), std::string(254, 'x'));
  EXPECT_EQ(language.readLanguageText("011"), std::string(253, 'y')) << "no half of é";
}

TEST_F(LanguageTest, TheChooserOffersOnlyFilesPresent) {
  EXPECT_THAT(language.availableLanguages(),
              ElementsAre("english.ini", "russia.ini", "klingon.ini"));
  fake.files.removeFile("/app/lang/russia.ini");
  EXPECT_THAT(language.availableLanguages(), ElementsAre("english.ini", "klingon.ini"));
}

} // namespace
} // namespace quorvane::app
