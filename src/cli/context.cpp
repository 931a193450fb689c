// The shared state of the `quorvane` subcommands.
#include "cli/context.h"
#include "cli/json_lines.h"

#include "app/appfolder.h"
#include "engine/fingerprint.h"
#include "platform/platform.h"
#include "platform/registry_store.h"
#include "threats/quarantine.h"

#include <cstdio>
#include <iostream>

namespace quorvane::cli {

const app::AppFolderChoice& Context::appFolderChoice() {
  if (!choice_) {
    choice_ = app::chooseAppFolder(homeOption, *platform::systemEnvironment(),
                                   *platform::systemFileSystem());
  }
  return *choice_;
}

const std::string& Context::appFolder() {
  if (!appFolder_) {
    const app::AppFolderChoice& choice = appFolderChoice();
    if (choice.folder.empty())
      throw CommandError{"cannot tell the application folder; give --home DIR"};
    if (std::error_code error = app::prepareAppFolder(choice, *platform::systemFileSystem()))
      throw CommandError{"cannot use the application folder " + printable(choice.folder) + ": " +
                         error.message()};
    appFolder_ = choice.folder;
  }
  return *appFolder_;
}

platform::Platform& Context::platform() {
  if (!system_) {
    try {
      system_ = std::make_unique<platform::SystemPlatform>(appFolder());
    } catch (const platform::RegistryStoreError& error) {
      throw CommandError{error.what()};
    }
    // What a killed run left behind goes before anything else reads the folder.
    threats::cleanUpAfterAKilledRun(system_->get(), appFolder());
  }
  return system_->get();
}

platform::Platform& Context::detachedPlatform() {
  if (!system_)
    system_ = std::make_unique<platform::SystemPlatform>(std::string());
  return system_->get();
}

void StdoutNotifier::messageBox(const std::string& text, const platform::MessageStyle&) {
  if (json_) {
    Json line;
    line["event"] = "message";
    putText(line, "text", text);
    writeJsonLine(std::cout, line);
    return;
  }
  std::string line = text;
  for (char& c : line)
    if (c == '\r')
      c = '\n';
  std::cout << line << std::endl;
}

namespace {

/// Shows the question with a [y/N] prompt on `prompt` and reads the answer from standard input.
bool readYes(std::ostream& prompt, const std::string& text) {
  prompt << text << " [y/N] " << std::flush;
  std::string answer;
  bool yes = std::getline(std::cin, answer) &&
             (answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes");
  if (!std::cin)
    prompt << '\n';
  return yes;
}

} // namespace

bool StdoutNotifier::ask(const std::string& text, const platform::MessageStyle&) {
  bool interactive = !assumeYes_ && askInput_ && platform::inputIsTerminal();
  if (json_) {
    // The prompt goes to standard error: standard output holds the events alone.
    bool yes = interactive ? readYes(std::cerr, text) : assumeYes_;
    Json line;
    line["event"] = "question";
    putText(line, "text", text);
    line["answer"] = yes;
    writeJsonLine(std::cout, line);
    return yes;
  }
  if (interactive)
    return readYes(std::cout, text);
  std::cout << text
            << (assumeYes_  ? " yes"
                : askInput_ ? " no (standard input is not a terminal)"
                            : " no")
            << std::endl;
  return assumeYes_;
}

void StdoutNotifier::showThreatAlert(const std::string& record) {
  std::cout << "Threat Found: " << printable(record) << std::endl;
}

std::string readNamedFile(platform::Platform& p, const std::string& given) {
  auto text = p.files.readFile(app::absolutePath(given, p.environment.currentDirectory()));
  if (!text)
    throw CommandError{printable(given) + ": " + text.error().message()};
  return std::move(*text);
}

std::optional<NamedFile> fingerprintNamedFile(platform::Platform& p, const std::string& given) {
  std::string path = app::absolutePath(given, p.environment.currentDirectory());
  auto st = p.files.status(path);
  std::error_code error = st ? std::error_code() : st.error();
  if (st && st->kind == platform::FileKind::Directory)
    error = std::make_error_code(std::errc::is_a_directory);
  else if (st && st->kind != platform::FileKind::Regular)
    error = platform::FileError::NotRegular; // a FIFO or device: nothing to fingerprint
  if (!error) {
    // The size is what was read: the key of the bytes hashed, even if the file changed.
    auto real = p.files.canonicalPath(path);
    auto hashed = real ? engine::hashEntry(p, *real, 1 << 20)
                       : platform::ErrorOr<engine::HashedFile>(real.error());
    if (hashed)
      return NamedFile{engine::digestText(hashed->digest), hashed->length};
    error = hashed.error();
  }
  std::cerr << "quorvane: " << printable(given) << ": " << error.message() << '\n';
  return std::nullopt;
}

std::string printable(std::string_view text) {
  std::string out;
  out.reserve(text.size());
  auto escape = [&](unsigned char byte) {
    char buffer[8];
    std::snprintf(buffer, sizeof buffer, "\\x%02X", byte);
    out += buffer;
  };
  for (std::size_t i = 0; i < text.size();) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c == '\n') {
      out += "\\n", ++i;
    } else if (c == '\r') {
      out += "\\r", ++i;
    } else if (c == '\t') {
      out += "\\t", ++i;
    } else if (c < 0x20 || c == 0x7F) {
      escape(c), ++i;
    } else if (c < 0x80) {
      out += static_cast<char>(c), ++i;
    } else {
      // A well-formed UTF-8 sequence passes; any other byte is escaped.
      std::size_t length = c >= 0xF0 && c <= 0xF4  ? 4
                           : c >= 0xE0             ? 3
                           : c >= 0xC2 && c < 0xE0 ? 2
                                                   : 0;
      bool valid = length > 0 && i + length <= text.size();
      for (std::size_t k = 1; valid && k < length; ++k)
        valid = (static_cast<unsigned char>(text[i + k]) & 0xC0) == 0x80;
      if (valid) {
        out.append(text.substr(i, length));
        i += length;
      } else {
        escape(c), ++i;
      }
    }
  }
  return out;
}

} // namespace quorvane::cli
