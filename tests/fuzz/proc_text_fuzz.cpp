// What the kernel's /proc texts hold is partly chosen by other users (file and mount point
// names): /proc/PID/maps and mountinfo.
#include "fuzz_support.h"
#include "platform/linux/linux_platform.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  if (size == 0)
    return 0;
  std::string_view text = fuzz::asText(data + 1, size - 1);
  if (data[0] % 2 == 0) {
    for (const platform::MappedFile& file : platform::parseProcMaps(text)) {
      FUZZ_EXPECT(!file.path.empty() && file.path.front() == '/');
      FUZZ_EXPECT(file.addresses.find('/') == std::string::npos);
    }
  } else {
    for (const platform::MountEntry& entry : platform::parseMountInfo(text))
      FUZZ_EXPECT(!entry.mountPoint.empty());
  }
  return 0;
}
