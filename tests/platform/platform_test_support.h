// Helpers of the platform tests: a recording window class and dialog procedure, pumping, xdotool.
#pragma once

#include <windows.h>

#include <functional>
#include <string>
#include <vector>

struct Recorded {
  HWND window;
  UINT message;
  WPARAM wParam;
  LPARAM lParam;
};

// Every message the recording procedures have seen since the last ClearLog.
std::vector<Recorded>& Log();
void ClearLog();
std::vector<Recorded> LoggedOf(UINT message);

// A window procedure and a dialog procedure that record, then do the default.
LRESULT RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// A top-level window of the recording class at a place on the screen, not yet shown.
HWND CreateRecordingWindow(int x, int y, int width, int height);

// Runs the message loop (PeekMessageA, DispatchMessageA) until `done` or the time is up.
bool PumpUntil(const std::function<bool()>& done, int timeoutMs);
void PumpFor(int milliseconds);

// Runs xdotool with the arguments; false when it failed or is not installed.
bool Xdotool(const std::string& arguments);
bool HaveXdotool();

// The screen position of a point in a window's client area.
POINT ScreenPoint(HWND window, int x, int y);
