// folderscan.sig, the folder handed over by another start of the program.
#include "engine/datafiles.h"
#include "fuzz_support.h"
#include "scan/scan_runs.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  std::string field = engine::firstDelimitedField(fuzz::asText(data, size));
  FUZZ_EXPECT(field.size() <= size);
  std::string path = scan::requestedFolderPath(field);
  FUZZ_EXPECT(path.find('"') == std::string::npos);
  return 0;
}
