// Bisection of the signature table.
#include "engine/lookup.h"

#include <gtest/gtest.h>

#include <vector>

namespace quorvane::engine {
namespace {

struct LookupCase {
  std::vector<double> table; // entries, then the closing 0 slot is added
  double key;
  bool found;
};

class LookupTest : public ::testing::TestWithParam<LookupCase> {};

TEST_P(LookupTest, FindsExactlyTheListedKeys) {
  const LookupCase& c = GetParam();
  std::vector<double> slots = c.table;
  slots.push_back(0.0);
  EXPECT_EQ(findInSortedTable(slots, c.key, static_cast<std::int32_t>(c.table.size())), c.found);
}

INSTANTIATE_TEST_SUITE_P(
    Tables, LookupTest,
    ::testing::Values(LookupCase{{10, 20, 30}, 20, true}, LookupCase{{10, 20, 30}, 25, false},
                      LookupCase{{10, 20, 30}, 5, false}, LookupCase{{10, 20, 30}, 30, true},
                      LookupCase{{10, 20, 30}, 10, true}, LookupCase{{10, 20, 30}, 31, false},
                      LookupCase{{10}, 10, true}, LookupCase{{10}, 11, false},
                      LookupCase{{0, 0, 5}, 0, true}, LookupCase{{7, 7, 7, 7}, 7, true},
                      LookupCase{{1, 2, 2, 2, 3}, 2, true},
                      // Neighbouring doubles are told apart.
                      LookupCase{{1.0, 1.0000000000000002}, 1.0000000000000002, true},
                      LookupCase{{1.0, 1.0000000000000004}, 1.0000000000000002, false}));

TEST(LookupTest, MidpointRoundsHalvesToEven) {
  // Out of order on purpose: only the probe sequence decides the answer here. With the midpoint
  // rounded down, the first probe would land on 3 and miss the 2.
  std::vector<double> slots = {1, 3, 2, 4, 0};
  EXPECT_TRUE(findInSortedTable(slots, 2, 4));
  std::vector<double> five = {1, 2, 3, 5, 4, 0};
  EXPECT_TRUE(findInSortedTable(five, 4, 5));
}

TEST(LookupTest, EmptyOrShortTablesFindNothing) {
  std::vector<double> onlyClosingSlot = {0.0};
  EXPECT_FALSE(findInSortedTable(onlyClosingSlot, 0.0, 0)); // the closing slot is not an entry
  EXPECT_FALSE(findInSortedTable({}, 0.0, 0));
  std::vector<double> shortTable = {1, 2};
  EXPECT_FALSE(findInSortedTable(shortTable, 2, 5));
  EXPECT_FALSE(findInSortedTable(shortTable, 1, -1));
}

} // namespace
} // namespace quorvane::engine
