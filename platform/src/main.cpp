// The process entry point of the Linux build: opens the display and calls WinMain.
#include "platform_state.h"

#include <malloc.h>

#include <string>

namespace {
char instanceTag;  // its address is the process instance handle
}

// Each frame Mesa's renderer takes and returns blocks of a few hundred kilobytes. With
// glibc's starting thresholds the heap grows and shrinks around them several times a
// frame, each time faulting fresh pages; a program that once freed a large block has
// raised the thresholds itself and draws much faster. Raised from the start, the
// memory a frame needs stays in the heap and is reused by the next.
static void KeepFrameMemory() {
  mallopt(M_MMAP_THRESHOLD, 32 << 20);  // glibc's highest dynamic value on 64-bit systems
  mallopt(M_TRIM_THRESHOLD, 64 << 20);  // twice that, as glibc raises it
}

int main(int argc, char** argv) {
  KeepFrameMemory();
  if (!EnsureDisplay()) return 1;
  std::string commandLine;
  for (int i = 1; i < argc; ++i) {
    if (i > 1) commandLine += ' ';
    commandLine += argv[i];
  }
  return WinMain(reinterpret_cast<HINSTANCE>(&instanceTag), nullptr, &commandLine[0], SW_SHOWDEFAULT);
}
