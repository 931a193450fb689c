// autorun.inf lines on a removable drive: a line names a file inside the drive or nothing.
#include "fuzz_support.h"
#include "protect/drive_protect.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  std::string_view text = fuzz::asText(data, size);
  while (!text.empty()) {
    std::size_t nl = text.find('\n');
    std::string_view line = text.substr(0, nl);
    text = nl == std::string_view::npos ? std::string_view() : text.substr(nl + 1);
    if (auto target = protect::autorunTarget(line, "/media/usb")) {
      FUZZ_EXPECT(target->rfind("/media/usb/", 0) == 0);
      FUZZ_EXPECT(target->find("/../") == std::string::npos && !target->ends_with("/.."));
    }
  }
  return 0;
}
