// threatlog.sig and the quarantine index share one record format: whatever a stored line holds,
// a parsed record written back reads as the same record, and a field survives its encoding.
#include "fuzz_support.h"
#include "threats/threatlog.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  std::string_view text = fuzz::asText(data, size);
  FUZZ_EXPECT(threats::decodeRecordField(threats::encodeRecordField(text)) == text);
  for (const threats::ThreatRecord& record : threats::parseThreatRecords(text)) {
    auto again = threats::parseThreatRecords(threats::recordLine(record));
    FUZZ_EXPECT(again.size() == 1 && again.front() == record);
  }
  return 0;
}
