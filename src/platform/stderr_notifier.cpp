// The notifier of a command-line program.
#include "platform/environment.h"
#include "platform/notifier.h"

#include <iostream>

namespace quorvane::platform {

void StderrNotifier::messageBox(const std::string& text, const MessageStyle&) {
  std::cerr << text << '\n';
}

bool StderrNotifier::ask(const std::string& text, const MessageStyle&) {
  if (!inputIsTerminal()) {
    // Nobody to answer (a script, a pipe): the safe answer, said.
    std::cerr << text << " no (standard input is not a terminal)\n";
    return false;
  }
  std::cerr << text << " [y/N] " << std::flush;
  std::string answer;
  if (!std::getline(std::cin, answer))
    return false;
  return answer == "y" || answer == "Y" || answer == "yes" || answer == "Yes";
}

void StderrNotifier::showThreatAlert(const std::string& record) {
  std::cerr << "Threat Found: " << record << '\n';
}

} // namespace quorvane::platform
