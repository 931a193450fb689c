// Signed update files.
#include "update/signed_files.h"

#include "app/text.h"
#include "platform/platform.h"
#include "platform/signing.h"

#include <algorithm>

namespace quorvane::update {
namespace {

/// A signature file is one line of base64; anything much longer is not one.
constexpr std::size_t kSignatureFileLimit = 4096;

} // namespace

std::vector<std::string> trustedKeys(platform::FileSystem& files, const std::string& appFolder) {
  std::vector<std::string> keys;
  std::string folder = platform::joinPath(appFolder, kTrustedKeysFolder);
  auto entries = files.listDirectory(folder);
  if (!entries)
    return keys;
  std::sort(entries->begin(), entries->end(),
            [](const platform::DirEntry& a, const platform::DirEntry& b) { return a.name < b.name; });
  for (const platform::DirEntry& entry : *entries) {
    if (entry.kind != platform::FileKind::Regular || !entry.name.ends_with(".pub"))
      continue;
    if (auto text = files.readFile(platform::joinPath(folder, entry.name)))
      keys.push_back(std::move(*text));
  }
  return keys;
}

std::string signedMessage(std::string_view bytes, std::optional<int> updateNumber) {
  if (!updateNumber)
    return std::string(bytes);
  return "quorvane update " + std::to_string(*updateNumber) + "\n" + std::string(bytes);
}

std::string signatureFileText(std::string_view signature) {
  return app::base64Encode(signature) + "\n";
}

std::optional<std::string> signatureProblem(const std::vector<std::string>& keys,
                                            std::string_view bytes,
                                            std::optional<int> updateNumber,
                                            std::string_view signatureText) {
  std::optional<std::string> signature =
      signatureText.size() <= kSignatureFileLimit ? app::base64Decode(signatureText) : std::nullopt;
  if (!signature || signature->empty())
    return "the signature file is not a signature";
  std::string message = signedMessage(bytes, updateNumber);
  std::string problem = "no trusted key made this signature";
  for (const std::string& key : keys) {
    platform::ErrorOr<bool> good = platform::verifySignature(key, message, *signature);
    if (good && *good)
      return std::nullopt;
    if (!good && good.error() == std::errc::not_supported)
      problem = "signatures cannot be checked on this system";
  }
  return problem;
}

std::optional<std::string> downloadedSignatureProblem(platform::Http& http,
                                                      const UpdateServer& server,
                                                      std::string_view url, std::string_view bytes,
                                                      const std::vector<std::string>& keys,
                                                      std::optional<int> updateNumber) {
  UpdateServer signatureServer = server;
  signatureServer.maxBytes = kSignatureFileLimit;
  DownloadResult signature = downloadFromServer(
      http, signatureServer, std::string(app::trimBlanks(url)) + kSignatureSuffix, false);
  if (!signature.ok)
    return "its signature could not be downloaded: " + signature.error;
  return signatureProblem(keys, bytes, updateNumber, signature.body);
}

} // namespace quorvane::update
