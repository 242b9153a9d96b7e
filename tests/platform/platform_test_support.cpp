// Helpers of the platform tests: a recording window class and dialog procedure, pumping, xdotool.
#include "platform_test_support.h"

#include <cstdlib>

std::vector<Recorded>& Log() {
  static std::vector<Recorded> log;
  return log;
}

void ClearLog() { Log().clear(); }

std::vector<Recorded> LoggedOf(UINT message) {
  std::vector<Recorded> found;
  for (const Recorded& entry : Log()) {
    if (entry.message == message) found.push_back(entry);
  }
  return found;
}

LRESULT RecordingWindowProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  Log().push_back(Recorded{window, message, wParam, lParam});
  return DefWindowProcA(window, message, wParam, lParam);
}

INT_PTR RecordingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  Log().push_back(Recorded{dialog, message, wParam, lParam});
  return FALSE;
}

HWND CreateRecordingWindow(int x, int y, int width, int height) {
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

void PumpFor(int milliseconds) {
  PumpUntil([] { return false; }, milliseconds);
}

bool HaveXdotool() { return std::system("command -v xdotool >/dev/null 2>&1") == 0; }

bool Xdotool(const std::string& arguments) {
  return std::system(("xdotool " + arguments + " >/dev/null 2>&1").c_str()) == 0;
}

POINT ScreenPoint(HWND window, int x, int y) {
  RECT rect;
  GetWindowRect(window, &rect);
  return POINT{rect.left + x, rect.top + y};
}
