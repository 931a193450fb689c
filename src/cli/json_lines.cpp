// JSON Lines output.
#include "cli/json_lines.h"

#include "app/text.h"
#include "cli/context.h"

namespace quorvane::cli {

void putText(Json& object, const std::string& key, std::string_view text) {
  Json value = std::string(text);
  try {
    (void)value.dump(); // the library refuses bytes that are not UTF-8
    object[key] = std::move(value);
  } catch (const Json::type_error&) {
    object[key] = printable(text);
    object[key + "_base64"] = app::base64Encode(text);
  }
}

void writeJsonLine(std::ostream& out, const Json& object) {
  out << object.dump() << std::endl;
}

} // namespace quorvane::cli
