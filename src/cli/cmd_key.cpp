// `quorvane key FILE...`: the detection key and digest of files.
#include "cli/context.h"

#include "app/appfolder.h"
#include "engine/filekey.h"
#include "engine/fingerprint.h"

#include <iostream>

namespace quorvane::cli {

void addKeyCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand("key", "Print the detection key, MD5 digest and path of files");
  auto files = std::make_shared<std::vector<std::string>>();
  cmd->add_option("FILE", *files, "Files to fingerprint")->required();
  cmd->callback([&context, &status, files] {
    platform::Platform& p = context.detachedPlatform();
    for (const std::string& given : *files) {
      std::string path = app::AbsolutePath(given, p.environment.currentDirectory());
      auto st = p.files.status(path);
      std::error_code error = st ? std::error_code() : st.error();
      if (st && st->kind == platform::FileKind::Directory)
        error = std::make_error_code(std::errc::is_a_directory);
      platform::ErrorOr<platform::Md5Digest> digest = std::errc::io_error;
      if (!error) {
        digest = engine::HashFile(p, path, 1 << 20);
        if (!digest)
          error = digest.error();
      }
      if (error) {
        std::cerr << "quorvane: " << printable(given) << ": " << error.message() << '\n';
        status = kExitError;
        continue;
      }
      std::string text = engine::DigestText(*digest);
      std::cout << engine::FileKeyText(text, st->size) << '\t' << text << '\t'
                << printable(given) << '\n';
    }
  });
}

} // namespace quorvane::cli
