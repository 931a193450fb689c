// INI-file text: reading a key the way private-profile reads do, and blanking a key.
#pragma once

#include <optional>
#include <string>
#include <string_view>

namespace quorvane::app {

/// The value of `key` in `section` of the INI text (names compare without regard to case;
/// blanks around the value and one pair of enclosing quotes are dropped), or nothing when the
/// section or key is absent. Lines may end in LF or CR LF; lines starting with ";" are comments.
std::optional<std::string> iniLookup(std::string_view text, std::string_view section,
                                     std::string_view key);

/// The INI text with `key` of `section` set to the empty value, added (with its section) when
/// absent. Other lines are kept byte for byte.
std::string iniBlankKey(std::string_view text, std::string_view section, std::string_view key);

} // namespace quorvane::app
