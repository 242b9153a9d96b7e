// The program's entry point: start-up, the loop, shutdown.
#include <windows.h>

#include "app/main_loop.h"
#include "app/start_up.h"
#include "export/output_file.h"

int WINAPI WinMain(HINSTANCE instance, HINSTANCE, LPSTR, int) {
  // Ended by TERM, HUP or Ctrl+C during an export, the program first removes its unfinished files.
  RemoveOutputFilesAtEndingSignals();
  // Without a main window there is no loop that could ever end.
  if (!StartUp(instance)) return 1;
  const int exitCode = ExitCode(RunMainLoop());
  ShutDown();
  return exitCode;
}
