// `quorvane sig add|build|verify`: signature files for whoever publishes them.
#include "cli/context.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/sigtools.h"

#include <iostream>

namespace quorvane::cli {
namespace {

/// The key texts of a list text; bad lines are reported on standard error with their number.
std::vector<std::string> keyTextsOf(std::string_view text, const std::string& source, bool& bad) {
  std::vector<std::string> keys;
  std::size_t number = 0;
  for (std::string_view line : app::splitLines(text)) {
    ++number;
    if (auto key = engine::keyTextOfListLine(line)) {
      keys.push_back(*key);
    } else if (line.find_first_not_of(" \t\r") != std::string_view::npos) {
      std::cerr << "quorvane: " << printable(source) << ":" << number
                << ": not a key text or md5:size line\n";
      bad = true;
    }
  }
  return keys;
}

} // namespace

void addSigCommand(CLI::App& app, Context& context, int& status) {
  auto* sig = app.add_subcommand("sig", "Build, extend and check signature files (vir.sig)");
  sig->require_subcommand(1);

  auto files = std::make_shared<std::vector<std::string>>();
  auto* add = sig->add_subcommand("add", "Add the keys of files to the application's vir.sig");
  add->add_option("FILE", *files, "Files to list as threats")->required();
  add->callback([&context, &status, files] {
    platform::Platform& p = context.platform();
    std::string virSig = platform::joinPath(context.appFolder(), app::kVirSigFile);
    bool bad = false;
    std::vector<std::string> keys;
    // Read, add and write back as one cycle: keys added by another run at once are kept.
    platform::DataFilesLock lock(p.files, context.appFolder());
    if (auto text = p.files.readFile(virSig))
      keys = keyTextsOf(*text, virSig, bad);
    for (const std::string& given : *files) {
      if (auto file = fingerprintNamedFile(p, given))
        keys.push_back(engine::fileKeyText(file->digest, file->size));
      else
        status = kExitError;
    }
    if (bad) {
      // Rewriting would drop the lines that are not keys: leave the file for a person to mend.
      std::cerr << "quorvane: " << printable(virSig) << " left unchanged\n";
      status = kExitError;
      return;
    }
    if (auto error = p.files.writeFile(virSig, engine::buildSignatureText(keys))) {
      std::cerr << "quorvane: cannot write " << printable(virSig) << ": " << error.message() << '\n';
      status = kExitError;
    }
  });

  auto list = std::make_shared<std::string>();
  auto output = std::make_shared<std::string>();
  auto* build = sig->add_subcommand(
      "build", "Make a sorted vir.sig from a list of key texts or md5:size lines");
  build->add_option("LIST", *list, "The list (one key text or md5:size[:name] per line)")
      ->required();
  build->add_option("-o,--output", *output, "Write here (default: standard output)");
  build->callback([&context, &status, list, output] {
    platform::Platform& p = context.detachedPlatform();
    std::string path = app::absolutePath(*list, p.environment.currentDirectory());
    auto text = p.files.readFile(path);
    if (!text)
      throw CommandError{*list + ": " + text.error().message()};
    bool bad = false;
    std::string built = engine::buildSignatureText(keyTextsOf(*text, *list, bad));
    if (output->empty()) {
      std::cout << built;
    } else if (auto error = p.files.writeFile(
                   app::absolutePath(*output, p.environment.currentDirectory()), built)) {
      throw CommandError{*output + ": " + error.message()};
    }
    if (bad)
      status = kExitError;
  });

  auto file = std::make_shared<std::string>();
  auto* verify = sig->add_subcommand("verify", "Check a signature file: keys, order, count");
  verify->add_option("FILE", *file, "The signature file")->required();
  verify->callback([&context, &status, file] {
    platform::Platform& p = context.detachedPlatform();
    auto text = p.files.readFile(app::absolutePath(*file, p.environment.currentDirectory()));
    if (!text)
      throw CommandError{*file + ": " + text.error().message()};
    engine::SignatureReport report = engine::verifySignatureText(*text);
    for (const engine::SignatureProblem& problem : report.problems)
      std::cout << printable(*file) << ":" << problem.line << ": " << problem.message << '\n';
    std::cout << report.keys << " keys, " << report.problems.size() << " problems\n";
    if (!report.problems.empty())
      status = kExitError;
  });
}

} // namespace quorvane::cli
