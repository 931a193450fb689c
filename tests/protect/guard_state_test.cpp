// The state file of a guard running for the whole machine, as the desktop program reads it.
#include "protect/guard_state.h"

#include "platform/fake/fakes.h"

#include <gtest/gtest.h>

namespace quorvane::protect {
namespace {

TEST(GuardStateTest, WhatTheGuardWritesReadsBackWhileItsProcessRuns) {
  platform::fake::FakePlatform fake;
  fake.processes.add(321, "/usr/bin/quorvane");
  fake.files.put("/run/guard.state", guardStateText({true, 321, "blocking: 3 file systems\nx"}));
  auto state = readGuardState(fake.platform, "/run/guard.state");
  ASSERT_TRUE(state.has_value());
  EXPECT_TRUE(state->blocking);
  EXPECT_EQ(state->pid, 321u);
  EXPECT_EQ(state->detail, "blocking: 3 file systems x"); // one line, whatever it was given
}

TEST(GuardStateTest, NoGuardIsShownForFilesThatSayNothingSensible) {
  const char* texts[] = {
      "",                                       // empty
      "mode=blocking\n",                        // no process
      "mode=blocking\npid=999\n",               // a process that is gone
      "mode=sometimes\npid=321\n",              // an unknown mode
      "pid=321\n",                              // no mode
      "mode=blocking\npid=-5\n",                // no such id
      "mode=blocking\npid=99999999999999999\n", // out of range
  };
  for (const char* text : texts) {
    platform::fake::FakePlatform fake;
    fake.processes.add(321, "/usr/bin/quorvane");
    fake.files.put("/run/guard.state", text);
    EXPECT_FALSE(readGuardState(fake.platform, "/run/guard.state").has_value()) << text;
  }
  platform::fake::FakePlatform fake;
  EXPECT_FALSE(readGuardState(fake.platform, "/run/missing").has_value());
}

TEST(GuardStateTest, TheEnvironmentMayNameAnotherStateFile) {
  platform::fake::FakePlatform fake;
  EXPECT_EQ(systemGuardStateFile(fake.platform), kSystemGuardStateFile);
  fake.environment.variables["QUORVANE_GUARD_STATE"] = "/tmp/state";
  EXPECT_EQ(systemGuardStateFile(fake.platform), "/tmp/state");
}

} // namespace
} // namespace quorvane::protect
