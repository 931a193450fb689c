#include "app/tray.h"

#include "platform/fake/fakes.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvane::app {
namespace {

using platform::TrayCall;
using platform::TrayIconRecord;

TEST(DecodeTrayEventTest, TheEventTable) {
  struct Case {
    int value;
    TrayEvent event;
    int button;
  } cases[] = {{512, TrayEvent::MouseMove, 0}, {513, TrayEvent::MouseDown, 1},
               {514, TrayEvent::MouseUp, 1},   {515, TrayEvent::DblClick, 1},
               {516, TrayEvent::MouseDown, 2}, {517, TrayEvent::MouseUp, 2},
               {518, TrayEvent::DblClick, 2},  {519, TrayEvent::None, 0},
               {0, TrayEvent::None, 0}};
  for (const Case& c : cases) {
    TrayMouse mouse = decodeTrayEvent(c.value);
    EXPECT_EQ(mouse.event, c.event) << c.value;
    EXPECT_EQ(mouse.button, c.button) << c.value;
  }
}

TEST(TrayAreaTest, AddsWithAFreshIdentifierAndTheValidFields) {
  platform::fake::FakeTray shell;
  std::vector<double> draws = {0.0, 0.99999};
  std::size_t next = 0;
  {
    TrayArea tray(shell, 77, [&] { return draws[next++ % draws.size()]; });
    tray.setVisible(false); // unchanged: nothing happens
    EXPECT_TRUE(shell.calls.empty());
    tray.setIcon("shield-on");
    tray.setVisible(true);
    ASSERT_EQ(shell.calls.size(), 1u);
    auto [call, record] = shell.calls[0];
    EXPECT_EQ(call, TrayCall::Add);
    EXPECT_EQ(record.size, 88u);
    EXPECT_EQ(record.owner, 77u);
    EXPECT_EQ(record.identifier, 1u);
    EXPECT_EQ(record.callbackMessage, 512u);
    EXPECT_EQ(record.flags, TrayIconRecord::kMessageValid | TrayIconRecord::kIconValid);

    tray.setToolTip("  " + std::string(70, 't') + "  ");
    EXPECT_EQ(tray.toolTip(), std::string(70, 't'));
    EXPECT_EQ(shell.calls.back().second.tip, std::string(63, 't'));
    EXPECT_EQ(shell.calls.back().second.flags, TrayIconRecord::kTipValid);

    tray.setVisible(false);
    tray.setVisible(true);
    EXPECT_EQ(shell.calls.back().first, TrayCall::Add);
    EXPECT_EQ(tray.identifier(), 65535u);
    EXPECT_EQ(shell.calls.back().second.flags, TrayIconRecord::kMessageValid |
                                                   TrayIconRecord::kIconValid |
                                                   TrayIconRecord::kTipValid);
  }
  EXPECT_EQ(shell.calls.back().first, TrayCall::Delete) << "the component's end removes it";
  EXPECT_TRUE(shell.shown.empty());
}

} // namespace
} // namespace quorvane::app
