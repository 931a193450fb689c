// The Windows bodies of the platform facilities, on the Win32 API (wide-character calls, UTF-8
// at the boundary).
#pragma once

#include "platform/clock.h"
#include "platform/crypto.h"
#include "platform/environment.h"

namespace quorvane::platform::windows {

class CngCrypto final : public Crypto {
public:
  ErrorOr<std::unique_ptr<Md5Hash>> newMd5() override;
};

class WindowsClock final : public Clock {
public:
  std::uint64_t tickCount() override;
  LocalDateTime localNow() override;
  LocalDateTime localTimeOf(std::int64_t epochSeconds) override;
  /// In the user's short date and long time formats (the regional settings).
  std::string shortDate(const LocalDateTime& when) override;
  std::string longTime(const LocalDateTime& when) override;
};

class WindowsEnvironment final : public Environment {
public:
  std::optional<std::string> variable(const std::string& name) override;
  std::string userName() override;
  std::string computerName() override;
  /// The account's security identifier in its text form ("S-1-5-21-...").
  std::optional<std::string> accountIdentifier(const std::string& account) override;
  std::string executablePath() override;
  std::string currentDirectory() override;
  bool errorIsTerminal() override;
};

} // namespace quorvane::platform::windows
