// Registry key paths and the texts of `reg`: any key path and value name go into the store and
// come back; any `reg` argument list and value data either parse or are refused.
#include "app/settings.h"
#include "cli/reg_text.h"
#include "fuzz_support.h"
#include "platform/fake/fakes.h"

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  using platform::Hive;
  auto parts = fuzz::splitInput(fuzz::asText(data, size), 4);
  static platform::fake::FakePlatform fake;
  app::SettingsStore store(fake.platform);
  app::RegistryPath split = store.splitRegistryPath(parts[0]);
  store.classifySource(parts[0]);
  if (split.root != Hive::None && !fake.registry.createKey(split.root, split.subkey)) {
    FUZZ_EXPECT(fake.registry.keyExists(split.root, split.subkey));
    if (!fake.registry.setValue(split.root, split.subkey, parts[1], platform::ValueType::String,
                                parts[2])) {
      auto value = fake.registry.queryValue(split.root, split.subkey, parts[1]);
      FUZZ_EXPECT(value && value->data == parts[2]);
    }
    std::size_t keys = 0;
    fake.registry.walkTree(split.root, "",
                           [&](const platform::Registry::KeyVisit&) { return ++keys < 100000; });
    FUZZ_EXPECT(keys > 0);
    store.deleteRegistryTree(split.root, split.subkey);
  }

  // `reg` arguments: the words of parts[3], cut at line ends.
  std::vector<std::string> words;
  std::string_view rest = parts[3];
  while (!rest.empty()) {
    std::size_t nl = rest.find('\n');
    words.emplace_back(rest.substr(0, nl));
    rest = nl == std::string_view::npos ? std::string_view() : rest.substr(nl + 1);
  }
  try {
    cli::RegArgs args = cli::parseRegArguments(words, " v ve s f t d ");
    FUZZ_EXPECT(args.hive != Hive::None);
  } catch (const cli::CommandError&) {
  }
  try {
    auto [type, bytes] = cli::encodeRegistryData(
        parts[1].empty() ? std::nullopt : std::optional(parts[1]), parts[2]);
    cli::showRegistryData({"name", type, bytes});
  } catch (const cli::CommandError&) {
  }
  return 0;
}
