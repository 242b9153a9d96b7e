// Start-up of the program: class, windows, rendering context and render state; and shutdown.
#pragma once

#include <windows.h>

// Registers the main window class and creates the windows, the context and the
// first frame. Returns false when there is no main window to run with, after
// the box that says why. When only the rendering context failed it shows that
// box, destroys the main window and returns true: the loop then takes the quit
// message and ends at once.
bool StartUp(HINSTANCE instance);

// Gives back the timer resolution, the view's device context and the context.
void ShutDown();

// The exit code: the quit message's wParam, but 1 for a start without OpenGL.
int ExitCode(int quitCode);
