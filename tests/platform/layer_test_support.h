// What the layer's tests share: recording procedures, the message pump, xdotool and the screen's pixels.
#pragma once

#include <gtest/gtest.h>

#include <X11/Xlib.h>
#include <X11/Xutil.h>
#include <windows.h>

#include <cstdio>
#include <cstdlib>
#include <functional>
#include <string>
#include <utility>
#include <vector>

// Every message the recording procedures have seen since it was last cleared.
inline std::vector<MSG> recorded;

inline std::vector<MSG> LoggedOf(UINT message) {
  std::vector<MSG> found;
  for (const MSG& entry : recorded) if (entry.message == message) found.push_back(entry);
  return found;
}

// (identifier, notification) of each WM_COMMAND recorded, all of which must have gone to `window` from the
// control named (none for a menu or an accelerator); an edit's word that its text changed is left out
// unless asked for.
inline std::vector<std::pair<int, int>> CommandsTo(HWND window, bool withEditChanges = false) {
  std::vector<std::pair<int, int>> commands;
  for (const MSG& entry : LoggedOf(WM_COMMAND)) {
    const int id = LOWORD(entry.wParam), notification = HIWORD(entry.wParam);
    EXPECT_EQ(entry.hwnd, window) << "command " << id;
    EXPECT_EQ(reinterpret_cast<HWND>(entry.lParam), GetDlgItem(window, id)) << "command " << id;
    if (withEditChanges || (notification != EN_CHANGE && notification != EN_UPDATE)) {
      commands.emplace_back(id, notification);
    }
  }
  return commands;
}

// Run by the recording window procedure when it is sent kRunAction (from inside a modal loop).
constexpr UINT kRunAction = WM_USER + 0x77;
inline std::function<void()> postedAction;

inline LRESULT RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunAction && postedAction) {
    auto action = postedAction;
    action();
    return 0;
  }
  recorded.push_back(MSG{window, message, wParam, lParam, 0, POINT{0, 0}});
  return DefWindowProcA(window, message, wParam, lParam);
}

// Gives the focus at WM_INITDIALOG and notes whether the controls existed by then; a click on the
// panel's "Single" (1006) disables the dialog, as the program's panel does.
inline bool controlsExistedAtInit = false;
inline INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  recorded.push_back(MSG{dialog, message, wParam, lParam, 0, POINT{0, 0}});
  if (message == WM_INITDIALOG) controlsExistedAtInit = GetWindow(dialog, GW_CHILD) != nullptr;
  if (message == WM_COMMAND && wParam == MAKEWPARAM(1006, BN_CLICKED)) EnableWindow(dialog, FALSE);
  return message == WM_INITDIALOG;
}

// Runs the message loop (PeekMessageA, DispatchMessageA) until `done` or the time is up.
inline bool PumpUntil(const std::function<bool()>& done, int timeoutMs = 2000) {
  DWORD start = timeGetTime();
  while (!done()) {
    if (static_cast<int>(timeGetTime() - start) > timeoutMs) return false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

inline void PumpFor(int milliseconds) { PumpUntil([] { return false; }, milliseconds); }

// A hidden top-level window titled "Platform test" whose procedure records, in a log cleared of what came
// before; of a class with this menu and background brush.
inline HWND CreateRecordingWindow(int x, int y, int width, int height, const char* menu = nullptr,
                                  HBRUSH background = nullptr) {
  PumpFor(10);
  recorded.clear();
  const std::string className = std::string("PlatformTest") + (menu ? menu : "") + (background ? "Brush" : "");
  WNDCLASSA windowClass = WNDCLASSA();
  windowClass.lpfnWndProc = RecordingWindowProc;
  windowClass.hbrBackground = background;
  windowClass.lpszMenuName = menu;
  windowClass.lpszClassName = className.c_str();
  RegisterClassA(&windowClass);  // refused, harmlessly, for the second window of a class
  return CreateWindowExA(0, className.c_str(), "Platform test", WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr,
                         nullptr, nullptr, nullptr);
}

// The view: a plain "static" child of the main window, as the program makes it.
inline HWND CreateView(HWND main, int x, int y, int width, int height) {
  return CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, x, y, width, height, main,
                         reinterpret_cast<HMENU>(10), nullptr, nullptr);
}

inline bool Xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// What a command prints, without the last line end.
inline std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    pclose(pipe);
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

// The X window of the top-level window with this title (0 when there is none).
inline Window XWindowTitled(const std::string& title) {
  return std::strtoul(Output("xdotool search --name '^" + title + "$' 2>/dev/null | head -1").c_str(), nullptr, 10);
}

// Our own connection to the X server, to read what the screen shows.
inline Display* TestDisplay() {
  static Display* display = XOpenDisplay(nullptr);
  return display;
}

// The screen's pixels in a rectangle, 0xRRGGBB, row by row.
inline std::vector<unsigned long> ScreenPixels(int x, int y, int width, int height) {
  std::vector<unsigned long> pixels;
  XImage* image = XGetImage(TestDisplay(), DefaultRootWindow(TestDisplay()), x, y, static_cast<unsigned>(width),
                            static_cast<unsigned>(height), AllPlanes, ZPixmap);
  if (image == nullptr) return pixels;
  for (int row = 0; row < height; ++row) {
    for (int column = 0; column < width; ++column) pixels.push_back(XGetPixel(image, column, row) & 0xFFFFFF);
  }
  XDestroyImage(image);
  return pixels;
}

// A pixel relative to a window's top-left corner.
inline unsigned long PixelOf(HWND window, int x, int y) {
  RECT rect;
  GetWindowRect(window, &rect);
  std::vector<unsigned long> pixel = ScreenPixels(rect.left + x, rect.top + y, 1, 1);
  return pixel.empty() ? 0xBADBAD : pixel[0];
}

// Puts the pointer at a point relative to a window's top-left corner, then runs `then` (more xdotool commands).
inline bool PointAt(HWND window, int x, int y, const std::string& then = "") {
  RECT rect;
  GetWindowRect(window, &rect);
  return Xdotool("mousemove " + std::to_string(rect.left + x) + " " + std::to_string(rect.top + y) + then);
}
