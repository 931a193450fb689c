// safe.sig: any text parses into 32-digit lower-case digests, and a digest appended to it is
// listed afterwards, whatever the file ended with.
#include "engine/datafiles.h"
#include "engine/safelist.h"
#include "fuzz_support.h"
#include "platform/fake/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  std::string_view text = fuzz::asText(data, size);
  for (const std::string& digest : engine::parseSafeList(text)) {
    FUZZ_EXPECT(digest.size() == 32);
    FUZZ_EXPECT(digest.find_first_not_of("0123456789abcdef") == std::string::npos);
  }
  platform::fake::MemoryFileSystem files;
  files.createDirectory("/app");
  files.put("/app/safe.sig", std::string(text));
  const std::string added = "0123456789abcdef0123456789abcdef";
  FUZZ_EXPECT(!engine::appendSafeRecord(files, "/app/safe.sig", {added}));
  engine::SafeList safe(files, "/app/safe.sig");
  FUZZ_EXPECT(safe.contains(added));
  return 0;
}
