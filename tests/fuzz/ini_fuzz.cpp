// INI text (language files, settings kept in an INI file): lookups of any section and key, and
// blanking a key, which a lookup then finds empty.
#include "app/ini.h"
#include "app/settings.h"
#include "fuzz_support.h"
#include "platform/fake/fakes.h"

#include <cctype>

namespace {

bool isPlainName(const std::string& name) {
  if (name.empty())
    return false;
  for (unsigned char c : name)
    if (!std::isalnum(c))
      return false;
  return true;
}

} // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  using namespace quorvane;
  auto parts = fuzz::splitInput(fuzz::asText(data, size), 3);
  const std::string& text = parts[2];
  app::iniLookup(text, parts[0], parts[1]);
  std::string blanked = app::iniBlankKey(text, parts[0], parts[1]);
  if (isPlainName(parts[0]) && isPlainName(parts[1])) {
    auto value = app::iniLookup(blanked, parts[0], parts[1]);
    FUZZ_EXPECT(value && value->empty());
  }

  // The settings reader over an INI file.
  static platform::fake::FakePlatform fake;
  fake.files.put("/app/settings.ini", text);
  app::SettingsStore store(fake.platform);
  for (const char* type : {"S", "B", "D"})
    store.fReadValue("/app/settings.ini", parts[0], parts[1], type, "fallback");
  return 0;
}
