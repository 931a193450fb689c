// `quorvane key FILE...`: the detection key and digest of files.
#include "cli/context.h"

#include "engine/filekey.h"

#include <iostream>

namespace quorvane::cli {

void addKeyCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand("key", "Print the detection key, MD5 digest and path of files");
  auto files = std::make_shared<std::vector<std::string>>();
  cmd->add_option("FILE", *files, "Files to fingerprint")->required();
  cmd->callback([&context, &status, files] {
    platform::Platform& p = context.detachedPlatform();
    for (const std::string& given : *files) {
      auto file = fingerprintNamedFile(p, given);
      if (!file) {
        status = kExitError;
        continue;
      }
      std::cout << engine::fileKeyText(file->digest, file->size) << '\t' << file->digest << '\t'
                << printable(given) << '\n';
    }
  });
}

} // namespace quorvane::cli
