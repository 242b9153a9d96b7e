// What the layer's tests share: a recording window, the message pump, xdotool and the screen's pixels.
#include "tests/platform/layer_test_support.h"

#include <X11/Xutil.h>

#include <cstdio>
#include <cstdlib>

// Every message the recording procedures have seen since it was last cleared.
std::vector<MSG> recorded;

// Run by the recording window procedure when it is sent kRunAction (from inside a message box's loop).
std::function<void()> postedAction;

std::vector<MSG> LoggedOf(UINT message) {
  std::vector<MSG> found;
  for (const MSG& entry : recorded) if (entry.message == message) found.push_back(entry);
  return found;
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

// Runs the message loop (PeekMessageA, DispatchMessageA) until `done` or the time is up.
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

// A hidden top-level window titled "Platform test" whose procedure records, in a log cleared of what came before.
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

bool Xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

// What a command prints, without the last line end.
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

// The X window of the top-level window with this title (0 when there is none).
Window XWindowTitled(const std::string& title) {
  return std::strtoul(Output("xdotool search --name '^" + title + "$' 2>/dev/null | head -1").c_str(), nullptr, 10);
}

// Our own connection to the X server, to read what the screen shows.
Display* TestDisplay() {
  static Display* display = XOpenDisplay(nullptr);
  return display;
}

// The screen's pixels in a rectangle, 0xRRGGBB, row by row.
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

std::vector<unsigned long> ScreenPixels(const RECT& rect) {
  return ScreenPixels(rect.left, rect.top, rect.right - rect.left, rect.bottom - rect.top);
}

// A pixel relative to a window's top-left corner.
unsigned long PixelOf(HWND window, int x, int y) {
  RECT rect;
  GetWindowRect(window, &rect);
  std::vector<unsigned long> pixel = ScreenPixels(rect.left + x, rect.top + y, 1, 1);
  return pixel.empty() ? 0xBADBAD : pixel[0];
}

// Puts the pointer at a point relative to a window's top-left corner, then runs `then` (more xdotool commands).
bool PointAt(HWND window, int x, int y, const std::string& then) {
  RECT rect;
  GetWindowRect(window, &rect);
  return Xdotool("mousemove " + std::to_string(rect.left + x) + " " + std::to_string(rect.top + y) + then);
}

// The view: a plain "static" child of the main window, as the program makes it.
HWND CreateView(HWND main, int x, int y, int width, int height) {
  return CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, x, y, width, height, main,
                         reinterpret_cast<HMENU>(10), nullptr, nullptr);
}
