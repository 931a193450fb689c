// qrntfiles.sig as anybody may have written it: every row is shown, and deleting every row
// removes nothing but copies inside qrnt/; restoring puts nothing over a file that is there.
#include "fuzz_support.h"
#include "platform/fake/fakes.h"
#include "threats/quarantine.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  platform::fake::FakePlatform fake;
  fake.files.put("/app/qrntfiles.sig", std::string(fuzz::asText(data, size)));
  fake.files.put("/app/qrnt/a.qrt", "copy a");
  fake.files.put("/app/vir.sig", "keys");
  fake.files.put("/etc/passwd", "root");
  fake.files.put("/home/u/a", "kept");
  threats::Quarantine quarantine(fake.platform, "/app");

  std::vector<threats::QuarantineRow> rows = quarantine.showQuarantine();
  for (threats::QuarantineRow& row : rows) {
    threats::describeProblem(row);
    if (auto copy = quarantine.copyPath(row.record)) {
      FUZZ_EXPECT(copy->rfind("/app/qrnt/", 0) == 0);
      FUZZ_EXPECT(threats::isPlainFileName(copy->substr(10)));
    }
    row.checked = true;
  }
  quarantine.restoreQuarantined(rows);
  FUZZ_EXPECT(fake.files.content("/etc/passwd") == "root");
  FUZZ_EXPECT(fake.files.content("/home/u/a") == "kept");
  quarantine.deleteQuarantined(quarantine.showQuarantine());
  FUZZ_EXPECT(fake.files.exists("/app/vir.sig") && fake.files.exists("/etc/passwd"));
  quarantine.removeOrphanCopies();
  FUZZ_EXPECT(fake.files.exists("/app/vir.sig") && fake.files.exists("/app/qrntfiles.sig"));
  return 0;
}
