// What a run's state tells the pages.
#include "scan/scan_state.h"

#include <gtest/gtest.h>

namespace quorvane::scan {
namespace {

TEST(ScanStateTest, EndOfScanNoticeFollowsTheFourCounters) {
  ScanState state;
  EXPECT_EQ(endOfScanNotice(state), kNoThreatNotice);
  state.componentThreats = 1;
  EXPECT_EQ(endOfScanNotice(state), kThreatsFoundNotice);
}

TEST(ScanStateTest, AreaCountOpensTheResultsOnlyWithThreatsAndWhenIdle) {
  ScanState state;
  int loads = 0;
  auto loadPendingDeletions = [&] { ++loads; };
  state.areaCounts = {{kAreaMemory, 0}, {kAreaRegistry, 0}};
  EXPECT_FALSE(openResultsFromAreaCount(state, loadPendingDeletions));
  EXPECT_EQ(loads, 0);
  state.areaCounts[kAreaRegistry] = 2;
  state.holdFlag = 0; // running
  EXPECT_FALSE(openResultsFromAreaCount(state, loadPendingDeletions));
  EXPECT_EQ(loads, 1);
  state.holdFlag = 1;
  EXPECT_TRUE(openResultsFromAreaCount(state, loadPendingDeletions));
}

} // namespace
} // namespace quorvane::scan
