// Bisection of the signature table.
#pragma once

#include <cstdint>
#include <span>

namespace quorvane::engine {

/// True when `key` is among entries 0..count-1 of the ascending `array`. The midpoint of each
/// probe rounds halves to the even neighbour. A count below 1, or above the array's size,
/// finds nothing.
bool findInSortedTable(std::span<const double> array, double key, std::int32_t count);

} // namespace quorvane::engine
