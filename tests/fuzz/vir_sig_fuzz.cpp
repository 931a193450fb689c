// vir.sig: any text loads into a sorted table in which every entry is found again.
#include "engine/sigtable.h"
#include "fuzz_support.h"

#include <algorithm>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  engine::SignatureTable table = engine::parseSignatureTable(fuzz::asText(data, size));
  auto slots = table.slots();
  FUZZ_EXPECT(!slots.empty() && slots.back() == 0.0);
  auto keys = slots.first(slots.size() - 1);
  FUZZ_EXPECT(std::is_sorted(keys.begin(), keys.end()));
  for (std::size_t i = 0; i < keys.size() && i < 64; ++i)
    FUZZ_EXPECT(table.contains(keys[i]));
  if (table.holdsAnyKey())
    FUZZ_EXPECT(keys.back() > 0.0);
  table.mayMatchLength(size);
  return 0;
}
