// Signature-file tools: key texts, building and verifying.
#include "engine/sigtools.h"

#include "engine/filekey.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::engine {
namespace {

using ::testing::ElementsAre;
using ::testing::Field;

const std::string kEicar = "44588612762828736568261278233027.68";

TEST(SigToolsTest, KeyTextsAndListLines) {
  EXPECT_TRUE(isKeyText(kEicar));
  EXPECT_FALSE(isKeyText("44588612762828736568261278233027."));
  EXPECT_FALSE(isKeyText("4458861276282873656826127823302.68")); // 31 digits
  EXPECT_FALSE(isKeyText("44d88612fea8a8f36de82e1278abb02f.68"));
  EXPECT_EQ(keyTextOfListLine(kEicar + "\r"), kEicar);
  EXPECT_EQ(keyTextOfListLine("44D88612FEA8A8F36DE82E1278ABB02F:68:Eicar-Test"), kEicar);
  EXPECT_EQ(keyTextOfListLine(" 44d88612fea8a8f36de82e1278abb02f:68 "), kEicar);
  EXPECT_EQ(keyTextOfListLine("44d88612fea8a8f36de82e1278abb02f:"), std::nullopt);
  EXPECT_EQ(keyTextOfListLine("44d88612fea8a8f36de82e1278abb02f:99999999999999999999999"),
            std::nullopt);
  EXPECT_EQ(keyTextOfListLine("<html>"), std::nullopt);
}

TEST(SigToolsTest, BuildSortsByValueAndDropsDuplicates) {
  std::string small = "10000000000000000000000000000000.5";
  std::string text = buildSignatureText({kEicar, small, kEicar});
  EXPECT_EQ(text, small + "\r\n" + kEicar + "\r\n");
  EXPECT_TRUE(verifySignatureText(text).problems.empty());
  EXPECT_EQ(verifySignatureText(text).keys, 2u);
}

TEST(SigToolsTest, VerifySaysWhatIsWrongAndWhere) {
  std::string small = "10000000000000000000000000000000.5";
  SignatureReport report = verifySignatureText(kEicar + "\r\n\r\n" + small + "\nnot a key\n");
  EXPECT_EQ(report.keys, 2u);
  EXPECT_THAT(report.problems,
              ElementsAre(Field(&SignatureProblem::line, 2u), Field(&SignatureProblem::line, 3u),
                          Field(&SignatureProblem::line, 4u)));
  EXPECT_EQ(report.problems[1].message, "out of order: below the key before it");
}

} // namespace
} // namespace quorvane::engine
