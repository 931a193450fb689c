// files.sig and the pending list at the next start, both as anybody may have written them: the
// lines parse and write back unchanged, and nothing is deleted but a file recorded with its
// identity and digest.
#include "app/text.h"
#include "fuzz_support.h"
#include "platform/fake/fakes.h"
#include "threats/removal.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  auto parts = fuzz::splitInput(fuzz::asText(data, size), 2);
  std::string_view record = parts[0];
  while (!record.empty()) {
    std::size_t nl = record.find('\n');
    std::string_view line = record.substr(0, nl);
    record = nl == std::string_view::npos ? std::string_view() : record.substr(nl + 1);
    if (auto parsed = threats::parseRecordedFileLine(line)) {
      std::string written = threats::recordedFileLine(parsed->first, parsed->second);
      FUZZ_EXPECT(written.ends_with("\r\n"));
      written.resize(written.size() - 2);
      auto again = threats::parseRecordedFileLine(written);
      FUZZ_EXPECT(again && again->first == parsed->first &&
                  again->second.identity == parsed->second.identity &&
                  again->second.size == parsed->second.size &&
                  again->second.digest == parsed->second.digest);
    }
  }
  std::vector<std::string> strings = threats::decodeMultiString(parts[1]);
  FUZZ_EXPECT(threats::decodeMultiString(threats::encodeMultiString(strings)) == strings);

  platform::fake::FakePlatform fake;
  fake.files.put("/app/files.sig", parts[0]);
  fake.files.put("/home/u/keep", "not a threat");
  fake.registry.createKey(platform::Hive::LocalMachine, threats::kSessionManagerKey);
  fake.registry.setValue(platform::Hive::LocalMachine, threats::kSessionManagerKey,
                         threats::kPendingValue, platform::ValueType::MultiString, parts[1]);
  threats::ThreatRemover remover(fake.platform, "/app");
  remover.loadPendingDeletions();
  remover.pendingDeletions();
  remover.carryOutAtStart();
  // Gone only when files.sig recorded that very file, digest (MD5 of its content) and all.
  if (!fake.files.exists("/home/u/keep")) {
    std::string lower = app::toLower(parts[0]);
    FUZZ_EXPECT(lower.find("2e3d0f600eed3356d56a5779e7bed993") != std::string::npos);
  }
  return 0;
}
