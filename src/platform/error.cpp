// The messages of the platform facilities' own refusals.
#include "platform/error.h"
#include "platform/integration.h"

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

namespace {

class IntegrationErrorCategory final : public std::error_category {
public:
  const char* name() const noexcept override { return "quorvane.integration"; }
  std::string message(int value) const override {
    switch (static_cast<IntegrationError>(value)) {
    case IntegrationError::EnvironmentNotCarried:
      return "the system starts programs from a command line alone, which cannot name this "
             "application folder (use the default one)";
    }
    return "unknown integration error";
  }
};

} // namespace

const std::error_category& integrationErrorCategory() {
  static const IntegrationErrorCategory category;
  return category;
}

} // namespace quorvane::platform
