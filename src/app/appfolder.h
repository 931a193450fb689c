// The application folder: where every data file of the product lives.
#pragma once

#include "platform/platform.h"

#include <optional>
#include <string>

namespace quorvane::app {

/// The folder given on the command line, else the variable QUORVANE_HOME, else the folder of the
/// running program; a relative folder is taken from the working folder.
std::string ResolveAppFolder(const std::optional<std::string>& fromCommandLine,
                             platform::Environment& environment);

/// An absolute path with "." and ".." parts resolved and repeated or trailing "/" dropped, by
/// text alone (links are not looked at).
std::string NormalizePath(const std::string& path);

/// A path made absolute against `base` and normalized.
std::string AbsolutePath(const std::string& path, const std::string& base);

/// The folder part of a path ("" when it has none).
std::string FolderOf(const std::string& path);

} // namespace quorvane::app
