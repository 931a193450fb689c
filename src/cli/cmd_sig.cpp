// `quorvane sig add|build|verify|keygen|sign`: signature files for whoever publishes them, and
// the publisher's signing of what a mirror offers.
#include "cli/context.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/filekey.h"
#include "engine/sigtools.h"
#include "platform/signing.h"
#include "update/signed_files.h"

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
    std::string text = readNamedFile(p, *list);
    bool bad = false;
    std::string built = engine::buildSignatureText(keyTextsOf(text, *list, bad));
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
  auto* verify = sig->add_subcommand(
      "verify", "Check a signature file: keys, order, count; with --pub, check the publisher's "
                "signature of any file (FILE.sig) instead");
  verify->add_option("FILE", *file, "The signature file (or any signed file, with --pub)")
      ->required();
  auto publicKey = std::make_shared<std::string>();
  auto verifyNumber = std::make_shared<std::optional<int>>();
  verify->add_option("--pub", *publicKey, "The publisher's public key (NAME.pub)");
  verify->add_option("--number", *verifyNumber,
                     "The update number the file was signed for (a database an update list names)");
  verify->callback([&context, &status, file, publicKey, verifyNumber] {
    platform::Platform& p = context.detachedPlatform();
    std::string text = readNamedFile(p, *file);
    if (!publicKey->empty()) {
      std::string key = readNamedFile(p, *publicKey);
      std::string signature = readNamedFile(p, *file + update::kSignatureSuffix);
      if (auto problem = update::signatureProblem({key}, text, *verifyNumber, signature)) {
        std::cout << printable(*file) << ": signature not good: " << *problem << '\n';
        status = kExitError;
      } else {
        std::cout << printable(*file) << ": signature good\n";
      }
      return;
    }
    engine::SignatureReport report = engine::verifySignatureText(text);
    for (const engine::SignatureProblem& problem : report.problems)
      std::cout << printable(*file) << ":" << problem.line << ": " << problem.message << '\n';
    std::cout << report.keys << " keys, " << report.problems.size() << " problems\n";
    if (!report.problems.empty())
      status = kExitError;
  });

  auto* keygen = sig->add_subcommand(
      "keygen", "Make a publisher's key pair: NAME.key (private, this user only) and NAME.pub");
  auto name = std::make_shared<std::string>();
  keygen->add_option("-o,--output", *name, "NAME of the two files")->required();
  keygen->callback([&context, name] {
    platform::Platform& p = context.detachedPlatform();
    auto pair = platform::generateSigningKeyPair();
    if (!pair)
      throw CommandError{"no key pair could be made: " + pair.error().message()};
    std::string base = app::absolutePath(*name, p.environment.currentDirectory());
    // Neither file is ever replaced: a lost private key cannot be made again.
    if (std::error_code error = p.files.createNewFile(base + ".key", pair->privateKey, 0600))
      throw CommandError{*name + ".key: " + error.message()};
    if (std::error_code error = p.files.createNewFile(base + ".pub", pair->publicKey, 0644)) {
      p.files.removeFile(base + ".key");
      throw CommandError{*name + ".pub: " + error.message()};
    }
    std::cout << "wrote " << printable(*name) << ".key (keep it secret) and " << printable(*name)
              << ".pub (copy it into the keys folder of every application folder that trusts "
                 "it)\n";
  });

  auto* sign = sig->add_subcommand("sign", "Sign a file a mirror offers: writes FILE.sig beside it");
  auto signFile = std::make_shared<std::string>();
  auto privateKey = std::make_shared<std::string>();
  auto signNumber = std::make_shared<std::optional<int>>();
  sign->add_option("FILE", *signFile, "updates.txt, vir.zip or a database")->required();
  sign->add_option("--key", *privateKey, "The private key (NAME.key)")->required();
  sign->add_option("--number", *signNumber,
                   "For a database an update list names: the number of that list's line");
  sign->callback([&context, signFile, privateKey, signNumber] {
    platform::Platform& p = context.detachedPlatform();
    std::string key = readNamedFile(p, *privateKey);
    std::string bytes = readNamedFile(p, *signFile);
    auto signature = platform::signMessage(key, update::signedMessage(bytes, *signNumber));
    if (!signature)
      throw CommandError{*privateKey + ": not an Ed25519 private key (" +
                         signature.error().message() + ")"};
    std::string target = app::absolutePath(*signFile + update::kSignatureSuffix,
                                           p.environment.currentDirectory());
    if (std::error_code error = p.files.writeFile(target, update::signatureFileText(*signature)))
      throw CommandError{*signFile + update::kSignatureSuffix + ": " + error.message()};
    std::cout << "wrote " << printable(*signFile) << update::kSignatureSuffix << '\n';
  });
}

} // namespace quorvane::cli
