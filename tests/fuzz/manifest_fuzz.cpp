// The update manifest a server sends.
#include "fuzz_support.h"
#include "update/manual_update.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  if (auto manifest = update::parseManifest(fuzz::asText(data, size)))
    FUZZ_EXPECT(!manifest->url.empty());
  return 0;
}
