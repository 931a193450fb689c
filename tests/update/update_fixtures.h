// Signature texts and the update server's settings, shared by the update tests.
#pragma once

#include "app/settings.h"
#include "support/loopback_server.h"

#include <string>

namespace quorvane::testing {

/// A valid vir.sig text of `count` keys.
inline std::string signatureText(int count, char digit = '1') {
  std::string text;
  for (int i = 0; i < count; ++i)
    text += std::string(32, digit) + "." + std::to_string(100 + i) + "\r\n";
  return text;
}

/// The vir.sig a machine holds before an update: three keys.
inline std::string oldSignatures() {
  return signatureText(3, '4');
}
/// The vir.sig an update brings: five other keys.
inline std::string newSignatures() {
  return signatureText(5, '7');
}

/// Points the update settings at a loopback server; an HTTPS one's certificate is `caFile`.
inline void useUpdateServer(app::SettingsStore& settings, const LoopbackServer& server,
                            const std::string& caFile) {
  settings.setSetting("update server", server.baseUrl());
  if (server.baseUrl().rfind("https:", 0) == 0)
    settings.setSetting("update ca file", caFile);
}

} // namespace quorvane::testing
