// Notifier facility: the product's message boxes.
#pragma once

#include <string>

namespace quorvane::platform {

enum class MessageIcon { None, Information, Question, Warning, Critical };

/// How a message box looks: its title (empty: the program's name) and icon.
struct MessageStyle {
  std::string title;
  MessageIcon icon = MessageIcon::None;
};

class Notifier {
public:
  virtual ~Notifier() = default;
  /// Shows a message to the user (a message box on the desktop, a line in the CLI).
  virtual void messageBox(const std::string& text, const MessageStyle& style) = 0;
  void messageBox(const std::string& text) { messageBox(text, MessageStyle{}); }
  /// Asks a yes/no question; true for yes.
  virtual bool ask(const std::string& text, const MessageStyle& style) = 0;
  bool ask(const std::string& text) { return ask(text, MessageStyle{}); }
  /// Shows the threat alert for one detection; `record` is its four "|"-separated fields (file
  /// name, lower-case digest, full path, process id).
  virtual void showThreatAlert(const std::string& record) = 0;
};

/// Message boxes of a command-line program: lines on standard error; questions are answered
/// on standard input (no answer is no).
class StderrNotifier final : public Notifier {
public:
  using Notifier::ask;
  using Notifier::messageBox;
  void messageBox(const std::string& text, const MessageStyle& style) override;
  bool ask(const std::string& text, const MessageStyle& style) override;
  void showThreatAlert(const std::string& record) override;
};

} // namespace quorvane::platform
