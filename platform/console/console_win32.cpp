// What a command-line program needs to know about where its output goes: Windows.
#include "platform/console/console.h"

#include <windows.h>

bool StandardErrorIsTerminal() {
  DWORD mode = 0;
  return GetConsoleMode(GetStdHandle(STD_ERROR_HANDLE), &mode) != 0;
}
