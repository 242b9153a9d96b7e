// What the layer's tests share: recording procedures, the message pump, xdotool and the screen's pixels.
#include <gtest/gtest.h>

#include "tests/platform/layer_test_support.h"

#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

std::vector<MSG> recorded;
std::function<void()> postedAction;
bool controlsExistedAtInit = false;

std::vector<MSG> LoggedOf(UINT message) {
  std::vector<MSG> found;
  for (const MSG& entry : recorded) if (entry.message == message) found.push_back(entry);
  return found;
}

std::vector<std::pair<int, int>> CommandsTo(HWND window, bool withEditChanges) {
  std::vector<std::pair<int, int>> commands;
  for (const MSG& entry : LoggedOf(WM_COMMAND)) {
    const int id = LOWORD(entry.wParam), notification = HIWORD(entry.wParam);
    EXPECT_EQ(entry.hwnd, window) << "command " << id;
    EXPECT_EQ(reinterpret_cast<HWND>(entry.lParam), GetDlgItem(window, id)) << "the control, or none for a menu";
    if (withEditChanges || (notification != EN_CHANGE && notification != EN_UPDATE)) {
      commands.emplace_back(id, notification);
    }
  }
  return commands;
}

LRESULT RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == kRunAction && postedAction) {
    auto action = postedAction;
    action();
    return 0;
  }
  recorded.push_back(MSG{window, message, wParam, lParam, 0, POINT{0, 0}});
  return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  recorded.push_back(MSG{dialog, message, wParam, lParam, 0, POINT{0, 0}});
  if (message == WM_INITDIALOG) controlsExistedAtInit = GetWindow(dialog, GW_CHILD) != nullptr;
  if (message == WM_COMMAND && wParam == MAKEWPARAM(1006, BN_CLICKED)) EnableWindow(dialog, FALSE);
  return message == WM_INITDIALOG;
}

bool PumpUntil(const std::function<bool()>& done, int timeoutMs) {
  DWORD start = timeGetTime();
  while (!done()) {
    if (static_cast<int>(timeGetTime() - start) > timeoutMs) return false;
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
  return true;
}

void PumpFor(int milliseconds) { PumpUntil([] { return false; }, milliseconds); }

HWND CreateRecordingWindow(int x, int y, int width, int height) {
  PumpFor(10);
  recorded.clear();
  static bool registered = false;
  if (!registered) {
    WNDCLASSA windowClass = WNDCLASSA();
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.lpszClassName = "PlatformTestWindow";
    registered = RegisterClassA(&windowClass) != 0;
  }
  return CreateWindowExA(0, "PlatformTestWindow", "Platform test", WS_OVERLAPPEDWINDOW, x, y, width, height, nullptr,
                         nullptr, nullptr, nullptr);
}

HWND CreateView(HWND main, int x, int y, int width, int height) {
  return CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, x, y, width, height, main,
                         reinterpret_cast<HMENU>(10), nullptr, nullptr);
}

bool Xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

std::string Output(const std::string& command) {
  std::string text;
  if (FILE* pipe = popen(command.c_str(), "r")) {
    char buffer[256];
    while (fgets(buffer, sizeof buffer, pipe) != nullptr) text += buffer;
    pclose(pipe);
  }
  while (!text.empty() && text.back() == '\n') text.pop_back();
  return text;
}

Window XWindowTitled(const std::string& title) {
  return std::strtoul(Output("xdotool search --name '^" + title + "$' 2>/dev/null | head -1").c_str(), nullptr, 10);
}

Display* TestDisplay() {
  static Display* display = XOpenDisplay(nullptr);
  return display;
}

std::vector<unsigned long> ScreenPixels(int x, int y, int width, int height) {
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

unsigned long PixelOf(HWND window, int x, int y) {
  RECT rect;
  GetWindowRect(window, &rect);
  std::vector<unsigned long> pixel = ScreenPixels(rect.left + x, rect.top + y, 1, 1);
  return pixel.empty() ? 0xBADBAD : pixel[0];
}

bool PointAt(HWND window, int x, int y, const std::string& then) {
  RECT rect;
  GetWindowRect(window, &rect);
  return Xdotool("mousemove " + std::to_string(rect.left + x) + " " + std::to_string(rect.top + y) + then);
}
