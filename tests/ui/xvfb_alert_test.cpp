// The real desktop program on a virtual X display: a threat program started by the test is
// ended and the alert slides up in the bottom-right corner. A picture of the screen is saved in
// the build tree.
#include "engine/filekey.h"
#include "engine/fingerprint.h"
#include "platform/linux/linux_platform.h"
#include "support/child_process.h"
#include "support/virtual_display.h"
#include "support/temp_dir.h"
#include "update/update_fixtures.h"

#include <QGuiApplication>
#include <QImage>
#include <QPixmap>
#include <QScreen>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <chrono>
#include <csignal>
#include <filesystem>
#include <fcntl.h>
#include <sys/wait.h>
#include <thread>
#include <unistd.h>

namespace quorvane {
namespace {

using testing::OwnChild;
using testing::VirtualDisplay;
using testing::kScreenHeight;
using testing::kScreenWidth;

std::string readFile(const std::string& path) {
  std::ifstream in(path);
  return {std::istreambuf_iterator<char>(in), {}};
}

/// The start's argument: none (a normal start through the engine check) or "s" (silent, hidden
/// in the notification area, or minimised where there is none).
class XvfbAlertTest : public ::testing::TestWithParam<std::string> {};

TEST_P(XvfbAlertTest, TheRealProgramEndsAPlantedProcessAndShowsTheAlert) {
  ASSERT_TRUE(std::filesystem::exists("/usr/bin/Xvfb")) << "the xvfb package is needed";
  VirtualDisplay display;
  ASSERT_FALSE(display.name().empty()) << "Xvfb did not start";

  testing::TempDir home;
  std::string planted = home / "qv-planted";
  testing::copySleep(planted, "xvfb planted " + home.path());
  platform::SystemPlatform system(home.path());
  auto digest = engine::hashFile(system.get(), planted);
  ASSERT_TRUE(digest);
  // Three keys, so that the start's engine check has nothing to download.
  home.write("vir.sig", testing::signatureText(2) +
                            engine::fileKeyText(engine::digestText(*digest),
                                                std::filesystem::file_size(planted)) +
                            "\r\n");

  std::string errors = home / "quorvaneam.err";
  std::vector<std::string> command{QUORVANEAM_BIN};
  if (!GetParam().empty())
    command.push_back(GetParam());
  OwnChild program(command,
                   {"DISPLAY=" + display.name(), "QT_QPA_PLATFORM=xcb", "QUORVANE_HOME=" + home.path()},
                   errors);
  // The window is up once the program has drawn on the display; give it time to start.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  testing::SleepingChild threat(planted);

  std::string reported;
  for (int i = 0; i < 600 && reported.find("Threat Found: qv-planted|") == std::string::npos; ++i) {
    std::this_thread::sleep_for(std::chrono::milliseconds(50));
    reported = readFile(errors);
  }
  ASSERT_THAT(reported, ::testing::HasSubstr("Threat Found: qv-planted|")) << reported;
  EXPECT_THAT(reported, ::testing::HasSubstr(planted));
  EXPECT_TRUE(threat.ended()) << "the planted process was ended";
  EXPECT_THAT(readFile(home / "threatlog.sig"), ::testing::HasSubstr(planted));

  // A picture of the whole display once the alert has risen.
  std::this_thread::sleep_for(std::chrono::milliseconds(1500));
  std::string displayName = display.name();
  qputenv("DISPLAY", QByteArray::fromStdString(displayName));
  qputenv("QT_QPA_PLATFORM", "xcb");
  int argc = 1;
  char name[] = "xvfb_alert_test";
  char* argv[] = {name, nullptr};
  QGuiApplication viewer(argc, argv);
  QImage screen = viewer.primaryScreen()->grabWindow(0).toImage();
  ASSERT_EQ(screen.width(), kScreenWidth);
  std::filesystem::create_directories(QUORVANE_SHOTS_DIR);
  std::string file = std::string(QUORVANE_SHOTS_DIR) + "/xvfb-alert" +
                     (GetParam().empty() ? "" : "-" + GetParam()) + ".png";
  ASSERT_TRUE(screen.save(QString::fromStdString(file)));
  // The alert sits in the bottom-right corner: its light face where the bare display is black.
  QColor corner = screen.pixelColor(kScreenWidth - 160, kScreenHeight - 12);
  EXPECT_GT(corner.lightness(), 200) << "nothing in the bottom-right corner; see " << file;
  QColor free = screen.pixelColor(kScreenWidth - 160, kScreenHeight / 3);
  EXPECT_NE(free, corner) << "the alert covers only the corner";
  EXPECT_EQ(waitpid(program.pid(), nullptr, WNOHANG), 0) << "the program still runs";
}

INSTANTIATE_TEST_SUITE_P(Starts, XvfbAlertTest, ::testing::Values("", "s"),
                         [](const auto& info) { return info.param.empty() ? "Normal" : "Silent"; });

} // namespace
} // namespace quorvane
