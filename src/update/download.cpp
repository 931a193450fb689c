// Fetching from the update server.
#include "update/download.h"

#include "app/appfolder.h"
#include "app/text.h"
#include "engine/datafiles.h"
#include "engine/sigtools.h"

#include <cmath>

namespace quorvane::update {
namespace {

constexpr std::size_t kChunk = 1024;
constexpr std::size_t kMinimumKeys = 3;

bool startsWithNoCase(std::string_view text, std::string_view prefix) {
  return text.size() >= prefix.size() && app::equalsIgnoreCase(text.substr(0, prefix.size()), prefix);
}

/// Collects a body and turns its arrival into the download bar's values.
class BodyCollector final : public platform::HttpReceiver {
public:
  BodyCollector(std::size_t maxBytes, const ProgressFn& progress)
      : maxBytes_(maxBytes), progress_(progress) {}

  bool onResponse(int status, std::optional<std::uint64_t> contentLength) override {
    status_ = status;
    total_ = contentLength;
    if (status < 200 || status > 299) {
      error_ = "the server answered with status " + std::to_string(status);
      return false;
    }
    if (contentLength && *contentLength > maxBytes_) {
      error_ = "the server announced " + std::to_string(*contentLength) + " bytes, too many";
      return false;
    }
    if (contentLength)
      body_.reserve(*contentLength);
    return true;
  }

  bool onData(std::string_view bytes) override {
    if (body_.size() + bytes.size() > maxBytes_) {
      error_ = "the answer is larger than " + std::to_string(maxBytes_) + " bytes";
      return false;
    }
    body_.append(bytes);
    // One bar value per chunk of the announced length, as each chunk completes.
    while (total_ && counted_ < *total_) {
      std::uint64_t next = std::min<std::uint64_t>(counted_ + kChunk, *total_);
      if (body_.size() < next)
        break;
      counted_ = next;
      report(progressPercent(*total_, counted_));
    }
    return true;
  }

  /// After the transfer: whether the whole announced body arrived.
  bool complete() {
    if (total_ && body_.size() != *total_) {
      error_ = "only " + std::to_string(body_.size()) + " of " + std::to_string(*total_) +
               " bytes arrived";
      return false;
    }
    if (!total_)
      report(100);
    return true;
  }

  const std::string& error() const { return error_; }
  std::string takeBody() { return std::move(body_); }

private:
  void report(int percent) {
    if (progress_)
      progress_(percent);
  }

  std::size_t maxBytes_;
  const ProgressFn& progress_;
  int status_ = 0;
  std::optional<std::uint64_t> total_;
  std::uint64_t counted_ = 0;
  std::string body_;
  std::string error_;
};

} // namespace

std::string UpdateServer::url(std::string_view path) const {
  std::string base = baseUrl;
  while (!base.empty() && base.back() == '/')
    base.pop_back();
  return base + std::string(path);
}

bool UpdateServer::secure() const { return !startsWithNoCase(app::trimBlanks(baseUrl), "http://"); }

platform::HttpRequest UpdateServer::request(const std::string& url) const {
  platform::HttpRequest request;
  request.url = url;
  request.caFile = caFile;
  request.httpsOnly = secure();
  request.connectTimeout = connectTimeout;
  request.stallTimeout = stallTimeout;
  return request;
}

UpdateServer updateServerOf(app::SettingsStore& settings) {
  UpdateServer server;
  std::string base(app::trimBlanks(settings.setting("update server")));
  if (!base.empty())
    server.baseUrl = base;
  server.caFile = std::string(app::trimBlanks(settings.setting("update ca file")));
  return server;
}

int progressPercent(std::uint64_t total, std::uint64_t done) {
  if (total == 0)
    return 0;
  return static_cast<int>(std::nearbyint(100.0 / static_cast<double>(total) * static_cast<double>(done)));
}

std::string downloadFileName(std::string_view url, bool removeLineBreaks) {
  std::size_t slash = url.rfind('/');
  std::string name(slash == std::string_view::npos ? url : url.substr(slash + 1));
  if (removeLineBreaks)
    for (std::size_t at; (at = name.find("\r\n")) != std::string::npos;)
      name.erase(at, 2);
  return name;
}

DownloadResult downloadFromServer(platform::Http& http, const UpdateServer& server,
                                  std::string_view url, bool removeLineBreaks,
                                  const ProgressFn& progress) {
  DownloadResult result;
  result.name = downloadFileName(url, removeLineBreaks);
  std::string address(app::trimBlanks(url));
  if (server.secure() && !startsWithNoCase(address, "https://")) {
    result.error = "the update server is secure but the file is not offered over https";
    return result;
  }
  BodyCollector collector(server.maxBytes, progress);
  auto status = http.get(server.request(address), collector);
  if (!collector.error().empty()) {
    result.error = collector.error();
    return result;
  }
  if (!status) {
    result.error = status.error().message();
    return result;
  }
  if (!collector.complete()) {
    result.error = collector.error();
    return result;
  }
  result.body = collector.takeBody();
  result.ok = true;
  return result;
}

std::optional<std::string> signatureDownloadProblem(std::string_view body) {
  if (body.empty())
    return "the file is empty";
  engine::SignatureReport report = engine::verifySignatureText(body);
  for (const engine::SignatureProblem& problem : report.problems) {
    // Order does not matter: the table is sorted when it is loaded.
    if (problem.kind == engine::SignatureProblem::Kind::OutOfOrder)
      continue;
    return "line " + std::to_string(problem.line) + " is not a signature";
  }
  if (report.keys < kMinimumKeys)
    return "it holds " + std::to_string(report.keys) + " signatures, fewer than " +
           std::to_string(kMinimumKeys);
  return std::nullopt;
}

std::error_code installSignatureFile(platform::FileSystem& files, const std::string& appFolder,
                                     std::string_view body) {
  return files.writeFile(platform::joinPath(appFolder, std::string(app::kVirSigFile)), body);
}

} // namespace quorvane::update
