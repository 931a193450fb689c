// Bisection of the signature table.
#include "engine/lookup.h"

namespace quorvane::engine {

bool findInSortedTable(std::span<const double> array, double key, std::int32_t count) {
  if (count < 1 || static_cast<std::size_t>(count) > array.size())
    return false;
  std::int64_t low = 0;
  std::int64_t high = count - 1;
  std::int64_t candidate = 0;
  while (low <= high) {
    std::int64_t sum = low + high;
    std::int64_t mid = sum / 2;
    if ((sum & 1) != 0 && (mid & 1) != 0)
      ++mid; // x.5 goes to the even neighbour
    double v = array[static_cast<std::size_t>(mid)];
    if (v <= key) {
      low = mid + 1;
      candidate = mid;
    } else {
      high = mid - 1;
    }
  }
  return array[static_cast<std::size_t>(candidate)] == key;
}

} // namespace quorvane::engine
