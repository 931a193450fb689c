// The messages of the file facility's own refusals.
#include "platform/error.h"

#include <string>

namespace quorvane::platform {
namespace {

class FileErrorCategory final : public std::error_category {
public:
  const char* name() const noexcept override { return "quorvane.file"; }
  std::string message(int value) const override {
    switch (static_cast<FileError>(value)) {
    case FileError::Changed: return "the file changed after it was checked";
    case FileError::NotRegular: return "not a regular file";
    case FileError::UnsafeLink: return "a link on the way was not followed";
    }
    return "unknown file error";
  }
};

} // namespace

const std::error_category& fileErrorCategory() {
  static const FileErrorCategory category;
  return category;
}

} // namespace quorvane::platform
