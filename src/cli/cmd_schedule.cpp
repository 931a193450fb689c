// `quorvane schedule`, `quorvane integrate` and `quorvane restore-defaults`.
#include "cli/context.h"

#include "app/settings.h"
#include "app/text.h"
#include "repair/restore_defaults.h"
#include "schedule/integration.h"
#include "schedule/scheduler.h"

#include <cstdio>
#include <iostream>
#include <sstream>

namespace quorvane::cli {
namespace {

constexpr const char* kDayNames[] = {"mon", "tue", "wed", "thu", "fri", "sat", "sun"};

std::string describe(const schedule::Schedule& s) {
  auto number = [](const std::string& text) { return app::leadingInteger(text); };
  char time[32];
  std::snprintf(time, sizeof time, "%02lld:%02lld", number(s.hour), number(s.minute));
  std::string days;
  if (s.everyDay == 1) {
    days = "all";
  } else {
    for (int day = 0; day < 7; ++day)
      if (s.weekdays[day] == 1)
        days += std::string(days.empty() ? "" : ",") + kDayNames[day];
    if (days.empty())
      days = "none";
  }
  const char* mode = s.scanMode == 1 ? "quick" : s.scanMode == 2 ? "smart" : "none";
  const char* period = s.scanPeriod == 1   ? "once"
                       : s.scanPeriod == 2 ? "weekly"
                       : s.scanPeriod == 3 ? "monthly"
                                           : "none";
  std::ostringstream out;
  out << "time: " << time << "\ndays: " << days << "\nmode: " << mode
      << "\nshutdown: " << (s.shutdown == 1 ? "on" : "off") << "\nperiod: " << period << '\n';
  return out.str();
}

struct ScheduleOptions {
  std::optional<int> hour, minute;
  std::optional<std::string> days, mode, shutdown, period;
};

bool onOff(const std::string& word) { return word == "on"; }

} // namespace

void addScheduleCommands(CLI::App& app, Context& context, int& status) {
  auto options = std::make_shared<ScheduleOptions>();
  auto* cmd = app.add_subcommand(
      "schedule", "Print the scheduled scan, or store it (the values the schedule page saves)");
  cmd->add_option("--hour", options->hour, "Hour, 0-23")->check(CLI::Range(0, 23));
  cmd->add_option("--minute", options->minute, "Minute, 0-59")->check(CLI::Range(0, 59));
  cmd->add_option("--days", options->days, "mon,tue,wed,thu,fri,sat,sun or all");
  cmd->add_option("--mode", options->mode, "quick or smart")
      ->check(CLI::IsMember({"quick", "smart"}));
  cmd->add_option("--shutdown", options->shutdown, "Switch the computer off after the scan")
      ->check(CLI::IsMember({"on", "off"}));
  cmd->add_option("--period", options->period, "once, weekly or monthly (shown only)")
      ->check(CLI::IsMember({"once", "weekly", "monthly"}));
  cmd->callback([&context, &status, options] {
    app::SettingsStore settings(context.platform());
    schedule::Schedule s = schedule::readSchedule(settings);
    bool change = options->hour || options->minute || options->days || options->mode ||
                  options->shutdown || options->period;
    if (change) {
      if (options->hour)
        s.hour = std::to_string(*options->hour);
      if (options->minute)
        s.minute = std::to_string(*options->minute);
      if (options->days) {
        s.everyDay = 0;
        s.weekdays = {};
        std::stringstream words(app::toLower(*options->days));
        for (std::string word; std::getline(words, word, ',');) {
          word = std::string(app::trimBlanks(word));
          bool known = word == "all";
          if (known)
            s.everyDay = 1;
          for (int day = 0; day < 7; ++day)
            if (word == kDayNames[day]) {
              s.weekdays[day] = 1;
              known = true;
            }
          if (!known)
            throw CommandError{"--days: \"" + printable(word) +
                               "\" is not one of mon,tue,wed,thu,fri,sat,sun,all"};
        }
      }
      if (options->mode)
        s.scanMode = *options->mode == "quick" ? 1 : 2;
      if (options->shutdown)
        s.shutdown = onOff(*options->shutdown) ? 1 : 0;
      if (options->period)
        s.scanPeriod = *options->period == "once" ? 1 : *options->period == "weekly" ? 2 : 3;
      else if (s.scanPeriod < 1 || s.scanPeriod > 3)
        s.scanPeriod = 1;
      schedule::writeSchedule(settings, s);
      s = schedule::readSchedule(settings);
    }
    std::cout << describe(s);
    status = kExitOk;
  });

  auto startup = std::make_shared<std::optional<std::string>>();
  auto menu = std::make_shared<std::optional<std::string>>();
  auto* integrate = app.add_subcommand(
      "integrate", "Start with the session (XDG autostart, the Run value on Windows) and the "
                   "folder menu entry; without options, print their state");
  integrate->add_option("--startup", *startup, "Start quorvaneam hidden at every log-on")
      ->check(CLI::IsMember({"on", "off"}));
  integrate->add_option("--context-menu", *menu, "\"Scan with Quorvane Antimalware\" for folders")
      ->check(CLI::IsMember({"on", "off"}));
  integrate->callback([&context, &status, startup, menu] {
    schedule::SystemIntegration integration(context.platform(), context.appFolder());
    status = kExitOk;
    auto apply = [&](const char* what, std::error_code error) {
      if (error) {
        std::cerr << "quorvane: " << what << ": " << error.message() << '\n';
        status = kExitError;
      }
    };
    if (*startup)
      apply("start with the session", integration.setStartWithSystem(onOff(**startup)));
    if (*menu)
      apply("folder menu entry", integration.setContextMenu(onOff(**menu)));
    schedule::SettingsPageState state = integration.fillSettingsPage();
    std::cout << "startup: " << (state.startWithSystem ? "on" : "off") << '\n'
              << "context-menu: " << (state.contextMenu ? "on" : "off") << '\n';
  });

  auto* restore = app.add_subcommand(
      "restore-defaults", "Undo registry changes malware makes (the registry store on Linux)");
  restore->callback([&context, &status] {
    StdoutNotifier notifier(false, false);
    platform::Platform p = platform::withNotifier(context.platform(), notifier);
    repair::restoreSystemDefaults(p);
    status = kExitOk;
  });
}

} // namespace quorvane::cli
