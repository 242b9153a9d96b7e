// The process entry point of the Linux build: opens the display and calls WinMain.
#include "platform_state.h"

#include <string>

namespace {
char instanceTag;  // its address is the process instance handle
}

int main(int argc, char** argv) {
  if (!EnsureDisplay()) return 1;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return WinMain(reinterpret_cast<HINSTANCE>(&instanceTag), nullptr, &commandLine[0], SW_SHOWDEFAULT);
}
