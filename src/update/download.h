// Fetching from the update server: the server settings, the download routine with its progress
// figures, and the checks a signature file passes before it replaces vir.sig.
#pragma once

#include "app/settings.h"
#include "platform/platform.h"

#include <chrono>
#include <cstdint>
#include <functional>
#include <optional>
#include <string>
#include <string_view>

namespace quorvane::update {

/// Where updates come from unless the "update server" setting says otherwise.
inline constexpr std::string_view kDefaultUpdateServer = "https://update.quorvane.com";
inline constexpr std::string_view kManifestPath = "/updates.txt";
inline constexpr std::string_view kFirstDatabasePath = "/vir.zip";

struct UpdateServer {
  std::string baseUrl{kDefaultUpdateServer}; ///< scheme and host, maybe a port and a folder
  std::string caFile;                        ///< extra trusted authorities (PEM), if any
  std::chrono::milliseconds connectTimeout{15000};
  std::chrono::milliseconds stallTimeout{30000};
  std::size_t maxBytes = std::size_t{1} << 30; ///< larger answers are refused

  /// The address of a path on the server ("/updates.txt").
  std::string url(std::string_view path) const;
  /// True unless the server is reached over plain http; then every download must be https too.
  bool secure() const;
  /// A request for `url` with this server's limits and authorities.
  platform::HttpRequest request(const std::string& url) const;
};

/// The server of the "update server" and "update ca file" settings.
UpdateServer updateServerOf(app::SettingsStore& settings);

/// The download bar's value once `done` of `total` bytes are in: 100 / total × done, to the
/// nearest whole number, halves to the even one.
int progressPercent(std::uint64_t total, std::uint64_t done);

/// The file name a download is saved under: the text after the last "/" (the whole URL when
/// there is none), every CR LF pair removed when asked.
std::string downloadFileName(std::string_view url, bool removeLineBreaks);

using ProgressFn = std::function<void(int percent)>;

struct DownloadResult {
  bool ok = false;
  std::string name;  ///< the file name of the URL
  std::string body;  ///< the whole body, when ok
  std::string error; ///< why not, when not ok
};

/// The download routine: GETs `url` (blanks around it trimmed) and reports progress once per
/// 1024-byte chunk of the announced "Content-Length" (and 100 at the end when none was
/// announced). Fails on an error status, a body shorter than announced, a stalled transfer, or
/// an http URL from a secure server.
DownloadResult downloadFromServer(platform::Http& http, const UpdateServer& server,
                                  std::string_view url, bool removeLineBreaks,
                                  const ProgressFn& progress = {});

/// Why a downloaded text may not replace vir.sig (a line that is not a key, fewer than three
/// keys); nothing when it may.
std::optional<std::string> signatureDownloadProblem(std::string_view body);

/// Replaces vir.sig in `appFolder` by `body`: written beside it, flushed, renamed over it.
std::error_code installSignatureFile(platform::FileSystem& files, const std::string& appFolder,
                                     std::string_view body);

} // namespace quorvane::update
