// Notifier facility: the product's message boxes.
#pragma once

#include <string>

namespace quorvane::platform {

class Notifier {
public:
  virtual ~Notifier() = default;
  /// Shows a message to the user (a message box on the desktop, standard error in the CLI).
  virtual void messageBox(const std::string& text) = 0;
};

} // namespace quorvane::platform
