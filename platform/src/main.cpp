// The process entry point of the Linux build: opens the display and calls WinMain.
#include "platform_state.h"

#include <string>

#include "platform/memory/field_memory.h"

namespace {
char instanceTag;  // its address is the process instance handle
}

int main(int argc, char** argv) {
  // Each frame Mesa's renderer takes and returns blocks of a few hundred kilobytes; with
  // the heap's starting thresholds it grows and shrinks around them several times a frame,
  // faulting fresh pages each time. Kept from the start, a frame reuses the last one's.
  KeepFreedMemory();
  if (!EnsureDisplay()) return 1;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return WinMain(reinterpret_cast<HINSTANCE>(&instanceTag), nullptr, &commandLine[0], SW_SHOWDEFAULT);
}
