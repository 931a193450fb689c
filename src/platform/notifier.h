// Notifier facility: the product's message boxes.
#pragma once

#include <string>

namespace quorvane::platform {

class Notifier {
public:
  virtual ~Notifier() = default;
  /// Shows a message to the user (a message box on the desktop, standard error in the CLI).
  virtual void messageBox(const std::string& text) = 0;
  /// Asks a yes/no question; true for yes.
  virtual bool ask(const std::string& text) = 0;
  /// Shows the threat alert for one detection; `record` is its four "|"-separated fields (file
  /// name, lower-case digest, full path, process id).
  virtual void showThreatAlert(const std::string& record) = 0;
};

} // namespace quorvane::platform
