// `exeupdt`: the updater program started by "Run Live update". It runs the signature update
// without asking and without a window, on the application folder it is given through
// QUORVANE_HOME (else its own folder).
#include "cli/context.h"

#include <clocale>
#include <iostream>

int main() {
  using namespace quorvane::cli;
  std::setlocale(LC_ALL, "");
  std::setlocale(LC_NUMERIC, "C");
  Context context;
  try {
    return runSignatureUpdate(context, true);
  } catch (const CommandError& error) {
    std::cerr << "exeupdt: " << error.message << '\n';
    return kExitError;
  }
}
