// The application folder: where every data file of the product lives.
#pragma once

#include "platform/platform.h"

#include <optional>
#include <string>

namespace quorvane::app {

/// Data files in the application folder.
inline constexpr const char* kVirSigFile = "vir.sig";
inline constexpr const char* kFolderScanFile = "folderscan.sig";
inline constexpr const char* kSafeFile = "safe.sig";

/// Why a folder is the application folder.
enum class AppFolderSource {
  CommandLine, ///< --home DIR
  Variable,    ///< QUORVANE_HOME
  Portable,    ///< the program's own folder: it holds vir.sig and this user may write there
  PerUser,     ///< quorvane in the data folder the system names (Windows: Local AppData),
               ///< else $XDG_DATA_HOME/quorvane, by default ~/.local/share/quorvane
};

/// The application folder chosen, why, and where the shipped data files are.
struct AppFolderChoice {
  std::string folder; ///< empty when none can be told (no HOME)
  AppFolderSource source = AppFolderSource::PerUser;
  std::string dataFolder; ///< the installed data (vir.sig, lang/): ../share/quorvane beside the program; "" when absent
};

/// The folder given on the command line, else the variable QUORVANE_HOME, else the program's
/// folder when it is portable, else the per-user folder. A relative folder is taken from the
/// working folder.
AppFolderChoice chooseAppFolder(const std::optional<std::string>& fromCommandLine,
                                platform::Environment& environment, platform::FileSystem& files);

/// The folder the rule gives when neither --home nor QUORVANE_HOME says otherwise.
AppFolderChoice defaultAppFolder(platform::Environment& environment, platform::FileSystem& files);

/// A few words on why the folder was chosen ("given with --home", ...).
std::string describeSource(AppFolderSource source);

/// Creates the chosen folder when missing (the per-user one readable by this user only) and
/// seeds it from the data folder: vir.sig and lang/*.ini, each only when absent, so an updated
/// vir.sig or a user's language file is never replaced.
std::error_code prepareAppFolder(const AppFolderChoice& choice, platform::FileSystem& files);

/// An absolute path with "." and ".." parts resolved and repeated or trailing "/" dropped, by
/// text alone (links are not looked at).
std::string normalizePath(const std::string& path);

/// A path made absolute against `base` and normalized.
std::string absolutePath(const std::string& path, const std::string& base);

/// Removes what a killed run left in the application folder: the temporaries of whole-file
/// writes ("NAME.tmp-PID") whose process is gone. Returns how many went.
int removeStaleTemporaries(platform::Platform& platform, const std::string& folder);

/// The folder part of a path ("" when it has none).
std::string folderOf(const std::string& path);

} // namespace quorvane::app
