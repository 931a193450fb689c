// The real desktop program on virtual screens of the sizes laptops have: its window lies wholly
// on the screen. What the X server says of the window is read with xwininfo.
#include "support/run_cli.h"
#include "support/temp_dir.h"
#include "support/virtual_display.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <cstdio>
#include <filesystem>
#include <regex>
#include <thread>

namespace quorvane {
namespace {

using testing::OwnChild;
using testing::VirtualDisplay;

struct ScreenSize {
  int width, height;
};

class XvfbWindowTest : public ::testing::TestWithParam<ScreenSize> {};

TEST_P(XvfbWindowTest, TheWindowLiesWhollyOnTheScreen) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/Xvfb")) << "the xvfb package is needed";
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/xwininfo")) << "the x11-utils package is needed";
  const ScreenSize screen = GetParam();
  VirtualDisplay display(false, screen.width, screen.height);
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";
  testing::TempDir home;
  // Three keys: nothing for the start to download.
  home.write("vir.sig", std::string(32, '1') + ".100\r\n" + std::string(32, '1') + ".101\r\n" +
                            std::string(32, '1') + ".102\r\n");
  OwnChild program({QUORVANEAM_BIN},
                   {"DISPLAY=" + display.name(), "QT_QPA_PLATFORM=xcb", "QUORVANE_HOME=" + home.path()},
                   home / "quorvaneam.err");

  // "0x1a00007 "Quorvane Antimalware": ("quorvaneam" "quorvaneam")  820x560+102+97  +102+97"
  const std::regex line(R"("Quorvane Antimalware": \([^)]*\)\s+(\d+)x(\d+)\+-?\d+\+-?\d+\s+\+(-?\d+)\+(-?\d+))");
  // Read until the window has stood still for a moment: the X server may map it before the
  // program's placement has reached it.
  std::smatch found;
  std::string tree, place, before;
  for (int i = 0; i < 100; ++i) {
    tree = testing::runCommandLine("xwininfo -root -tree -display " + display.name()).out;
    place = std::regex_search(tree, found, line) ? found[0].str() : std::string();
    if (!place.empty() && place == before)
      break;
    before = place;
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
  }
  ASSERT_FALSE(place.empty()) << tree << home.read("quorvaneam.err");
  ASSERT_TRUE(std::regex_search(tree, found, line));
  int width = std::stoi(found[1]), height = std::stoi(found[2]);
  int x = std::stoi(found[3]), y = std::stoi(found[4]);
  EXPECT_GE(x, 0);
  EXPECT_GE(y, 0);
  EXPECT_LE(x + width, screen.width) << tree;
  EXPECT_LE(y + height, screen.height) << tree;
  // Centred across, a little above the middle.
  EXPECT_NEAR(x + width / 2, screen.width / 2, 2);
  EXPECT_LT(y + height / 2, screen.height / 2);
}

INSTANTIATE_TEST_SUITE_P(Screens, XvfbWindowTest,
                         ::testing::Values(ScreenSize{1024, 768}, ScreenSize{1280, 800}),
                         [](const ::testing::TestParamInfo<ScreenSize>& info) {
                           return std::to_string(info.param.width) + "x" +
                                  std::to_string(info.param.height);
                         });

} // namespace
} // namespace quorvane
