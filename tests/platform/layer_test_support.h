// What the layer's tests share: recording procedures, the message pump, xdotool and the screen's pixels.
#pragma once

#include <X11/Xlib.h>
#include <windows.h>

#include <functional>
#include <string>
#include <utility>
#include <vector>

// Every message the recording procedures have seen since it was last cleared.
extern std::vector<MSG> recorded;
std::vector<MSG> LoggedOf(UINT message);
// (identifier, notification) of each WM_COMMAND recorded, all of which must have gone to `window`; an
// edit's word that its text changed is left out unless asked for.
std::vector<std::pair<int, int>> CommandsTo(HWND window, bool withEditChanges = false);

// Run by the recording window procedure when it is sent kRunAction (from inside a modal loop).
constexpr UINT kRunAction = WM_USER + 0x77;
extern std::function<void()> postedAction;

LRESULT RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
// Gives the focus at WM_INITDIALOG and notes whether the controls existed by then; a click on the
// panel's "Single" (1006) disables the dialog, as the program's panel does.
INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
extern bool controlsExistedAtInit;

// Runs the message loop (PeekMessageA, DispatchMessageA) until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 2000);
void PumpFor(int milliseconds);

// A hidden top-level window titled "Platform test" whose procedure records, in a log cleared of what came before.
HWND CreateRecordingWindow(int x, int y, int width, int height);
// The view: a plain "static" child of the main window, as the program makes it.
HWND CreateView(HWND main, int x, int y, int width, int height);

bool Xdotool(const std::string& arguments);
// What a command prints, without the last line end.
std::string Output(const std::string& command);
// The X window of the top-level window with this title (0 when there is none).
Window XWindowTitled(const std::string& title);
// Our own connection to the X server, to read what the screen shows.
Display* TestDisplay();
// The screen's pixels in a rectangle, 0xRRGGBB, row by row.
std::vector<unsigned long> ScreenPixels(int x, int y, int width, int height);
// A pixel relative to a window's top-left corner.
unsigned long PixelOf(HWND window, int x, int y);
// Puts the pointer at a point relative to a window's top-left corner, then runs `then` (more xdotool commands).
bool PointAt(HWND window, int x, int y, const std::string& then = "");
