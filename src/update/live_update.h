// Starting the separate updater program that is installed beside ours.
#pragma once

#include "platform/platform.h"

#include <string>
#include <string_view>

namespace quorvane::update {

inline constexpr std::string_view kUpdaterProgram = "exeupdt";
inline constexpr std::string_view kUpdaterMissingText = "Live update software not found !";
inline constexpr std::string_view kUpdaterMissingTitle = "Error update";

/// Starts the updater from the program's folder, in that folder, without a window, updating the
/// application folder `appFolder`. When it cannot be started, says so and returns false.
bool launchLiveUpdate(platform::Platform& platform, const std::string& appFolder);

} // namespace quorvane::update
