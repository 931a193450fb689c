// The small data files beside vir.sig: the first field of the folder-scan hand-over file and
// the safe record's lines.
#pragma once

#include "platform/files.h"

#include <string>
#include <string_view>
#include <vector>

namespace quorvane::engine {

/// The first field of a line read as delimited input: leading blanks skipped; a field opening
/// with a double quote runs to the next one (quotes dropped); any other field runs to the first
/// comma or the line end, trailing blanks dropped.
std::string firstDelimitedField(std::string_view line);

/// Appends one line to safe.sig: the digests, upper-cased, joined without separator (under the
/// data-file lock of the folder that holds it).
std::error_code appendSafeRecord(platform::FileSystem& files, const std::string& safeSigPath,
                                 const std::vector<std::string>& digests);

} // namespace quorvane::engine
