// Machine-readable output: JSON Lines, one object per event on standard output.
#pragma once

#include <nlohmann/json.hpp>

#include <ostream>
#include <string>
#include <string_view>

namespace quorvane::cli {

/// Objects keep their keys in the order they were set, so that a line reads as it was written.
using Json = nlohmann::ordered_json;

/// Sets `object[key]` to a text from the system (a path, a name). UTF-8 text is carried as it
/// is; any other bytes cannot be a JSON string, so the text is carried escaped as the human
/// output shows it ("\xFF"), and its exact bytes in `key + "_base64"`.
void putText(Json& object, const std::string& key, std::string_view text);

/// Writes the object as one line and flushes it (a reader sees each event as it happens).
void writeJsonLine(std::ostream& out, const Json& object);

} // namespace quorvane::cli
