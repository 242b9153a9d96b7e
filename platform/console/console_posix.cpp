// What a command-line program needs to know about where its output goes: POSIX.
#include "platform/console/console.h"

#include <unistd.h>

bool StandardErrorIsTerminal() {
  return isatty(STDERR_FILENO) == 1;
}

std::vector<std::string> Utf8Arguments(int argc, char** argv) {
  return std::vector<std::string>(argv, argv + argc);
}
