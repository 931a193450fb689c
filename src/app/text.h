// Small text helpers used across the product.
#pragma once

#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvane::app {

/// The text without leading and trailing spaces and tabs.
std::string_view trimBlanks(std::string_view text);
/// The text without leading and trailing white space (spaces, tabs, CR, LF, NUL).
std::string_view trimSpace(std::string_view text);
bool equalsIgnoreCase(std::string_view a, std::string_view b);
std::string toLower(std::string_view text);
std::string toUpper(std::string_view text);
/// The lines of a text: each ends at LF, its trailing CRs dropped; a last line without an end
/// counts, an empty one after the last LF does not.
std::vector<std::string_view> splitLines(std::string_view text);
/// The numeric value of a setting's text: its leading whole number after blanks, 0 when none.
long long leadingInteger(std::string_view text);
/// The text after the last "/" or "\" of a path (the whole text when there is none).
std::string_view fileNameOf(std::string_view path);
/// The bytes as base64 (RFC 4648, with padding).
std::string base64Encode(std::string_view bytes);
/// The bytes of a base64 text (blanks and line ends ignored); nothing when it is not base64.
std::optional<std::string> base64Decode(std::string_view text);

} // namespace quorvane::app
