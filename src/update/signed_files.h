// Signed update files: the keys an application folder trusts, the signature file beside each
// file a publisher offers, and what a signature covers.
#pragma once

#include "platform/files.h"
#include "platform/http.h"
#include "update/download.h"

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::update {

/// The folder of the application folder that holds the trusted public keys ("*.pub", PEM).
inline constexpr const char* kTrustedKeysFolder = "keys";
/// A signature file is named as the file it signs, with this ending added.
inline constexpr const char* kSignatureSuffix = ".sig";

/// The public keys (PEM texts) of the application folder's keys folder; none when there is no
/// such folder. A key file that cannot be read is left out.
std::vector<std::string> trustedKeys(platform::FileSystem& files, const std::string& appFolder);

/// What a signature covers. A database offered by an update list carries the list's number, so
/// that an older database (signed for an older number) cannot be passed off as the new one;
/// any other file is covered as it is.
std::string signedMessage(std::string_view bytes, std::optional<int> updateNumber);

/// The text of a signature file: the signature's bytes in base64, on one line.
std::string signatureFileText(std::string_view signature);

/// Checks `bytes` against the text of its signature file: nothing when one of `keys` signed
/// them (for `updateNumber`, when given), else why not.
std::optional<std::string> signatureProblem(const std::vector<std::string>& keys,
                                            std::string_view bytes,
                                            std::optional<int> updateNumber,
                                            std::string_view signatureText);

/// Downloads the signature file beside `url` from the server and checks `bytes` against it:
/// nothing when a trusted key signed them, else why not.
std::optional<std::string> downloadedSignatureProblem(platform::Http& http,
                                                      const UpdateServer& server,
                                                      std::string_view url, std::string_view bytes,
                                                      const std::vector<std::string>& keys,
                                                      std::optional<int> updateNumber);

} // namespace quorvane::update
