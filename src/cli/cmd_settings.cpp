// `quorvane settings [NAME [VALUE]]`: list, read or store the product's settings.
#include "cli/context.h"

#include "app/settings.h"
#include "app/text.h"

#include <algorithm>
#include <iostream>

namespace quorvane::cli {

void addSettingsCommand(CLI::App& app, Context& context, int& status) {
  auto* cmd = app.add_subcommand(
      "settings", "List every stored setting, print one (NAME) or store one as text (NAME VALUE)");
  auto words = std::make_shared<std::vector<std::string>>();
  cmd->add_option("NAME VALUE", *words, "Setting name and new value")->expected(0, 2);
  cmd->callback([&context, &status, words] {
    app::SettingsStore store(context.platform());
    if (words->empty()) {
      for (const auto& [name, value] : store.storedSettings())
        std::cout << printable(name) << '=' << printable(value) << '\n';
      return;
    }
    const std::string& name = (*words)[0];
    if (words->size() == 1) {
      std::cout << printable(store.setting(name)) << '\n';
      return;
    }
    if (app::trimBlanks(name).empty())
      throw CommandError{"a setting needs a name"};
    const auto& known = app::settingNames();
    bool isKnown = std::any_of(known.begin(), known.end(),
                               [&](std::string_view k) { return app::equalsIgnoreCase(k, name); });
    if (!isKnown)
      std::cerr << "quorvane: note: \"" << printable(name)
                << "\" is not a setting Quorvane reads; stored anyway\n";
    if (!store.setSetting(name, (*words)[1])) {
      std::cerr << "quorvane: cannot store the setting \"" << printable(name) << "\"\n";
      status = kExitError;
    }
  });
}

void addPathsCommand(CLI::App& app, Context& context, int& /*status*/) {
  app.add_subcommand("paths", "Tell which application folder is used, and why")
      ->callback([&context] {
        const app::AppFolderChoice& choice = context.appFolderChoice();
        std::cout << "application folder: "
                  << (choice.folder.empty() ? "none (give --home DIR)" : printable(choice.folder))
                  << " (" << app::describeSource(choice.source) << ")\n"
                  << "shipped data: "
                  << (choice.dataFolder.empty() ? "none beside the program"
                                                : printable(choice.dataFolder))
                  << '\n';
      });
}

} // namespace quorvane::cli
