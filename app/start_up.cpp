// Start-up of the program: class, windows, rendering context and render state; and shutdown.
#include "app/start_up.h"

#include <commctrl.h>

#include "app/main_loop.h"
#include "app/main_window.h"
#include "panel/config_panel.h"
#include "render/frame.h"
#include "render/render_context.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "terrain/random_source.h"

constexpr int kViewControlId = 10;
constexpr UINT kTimerPeriodMs = 1;

// The resources hold no icon of this name, so the class has none of its own; they hold the
// menu of this name, which every window of the class gets.
static WNDCLASSA MainWindowClass(HINSTANCE instance) {
  WNDCLASSA windowClass = {};
  windowClass.style = 0;
  windowClass.lpfnWndProc = MainWndProc;
  windowClass.cbClsExtra = 0;
  windowClass.cbWndExtra = 0;
  windowClass.hInstance = instance;
  windowClass.hIcon = LoadIconA(instance, "Koravel");
  windowClass.hCursor = LoadCursorA(nullptr, IDC_ARROW);
  windowClass.hbrBackground = reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_WINDOW + 1));
  windowClass.lpszMenuName = "Koravel";
  windowClass.lpszClassName = "Koravel";
  return windowClass;
}

static void ShowError(LPCSTR text, LPCSTR caption) { showMessageBox(nullptr, text, caption, MB_ICONERROR); }

static bool CreateWindows(HINSTANCE instance) {
  mainWindow = CreateWindowExA(0, "Koravel", "Koravel", WS_OVERLAPPEDWINDOW, CW_USEDEFAULT, CW_USEDEFAULT,
                               CW_USEDEFAULT, CW_USEDEFAULT, nullptr, nullptr, instance, nullptr);
  if (mainWindow == nullptr) return false;
  viewWindow = CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, mainWindow,
                               reinterpret_cast<HMENU>(static_cast<UINT_PTR>(kViewControlId)), instance, nullptr);
  panelWindow = CreateDialogParamA(instance, "ConfigDlg", mainWindow, ConfigDlgProc, 0);
  return true;
}

// Without a context there is nothing to show or draw: the window goes and the loop only takes its quit message.
static void GiveUpWithoutContext() {
  ShowError("Failed to Create OpenGL Rendering Context.", "Quillon Test");
  ReleaseDC(viewWindow, viewDC);
  viewDC = nullptr;
  DestroyWindow(mainWindow);
  StartTickClock(timeGetTime());
  timeBeginPeriod(kTimerPeriodMs);
}

bool StartUp(HINSTANCE instance) {
  programInstance = instance;
  const WNDCLASSA windowClass = MainWindowClass(instance);
  SetDefaultSettings();  // the panel shows them as it is created
  // The export dialog's progress bar.
  const INITCOMMONCONTROLSEX commonControls = {sizeof(INITCOMMONCONTROLSEX), ICC_PROGRESS_CLASS};
  InitCommonControlsEx(&commonControls);
  if (RegisterClassA(&windowClass) == 0) {
    ShowError("Couldn't Register Window Class", "Koravel");
    return false;
  }
  if (!CreateWindows(instance)) {
    ShowError("Couldn't Create Window", "Koravel");
    return false;
  }
  accelerators = LoadAcceleratorsA(instance, "Koravel");
  viewDC = GetDC(viewWindow);
  renderContext = CreateRenderContext();
  if (renderContext == nullptr) {
    GiveUpWithoutContext();
    return true;
  }
  // Showing the main window sends the WM_SIZE that places the view and the panel.
  ShowWindow(mainWindow, SW_SHOWDEFAULT);
  ShowWindow(viewWindow, SW_SHOWDEFAULT);
  ShowWindow(panelWindow, SW_SHOWDEFAULT);
  UpdateWindow(mainWindow);
  UpdateWindow(viewWindow);
  UpdateWindow(panelWindow);
  SetFocus(mainWindow);
  InitRenderState();
  StartTickClock(timeGetTime());
  timeBeginPeriod(kTimerPeriodMs);
  RandomSeed(static_cast<int32_t>(timeGetTime()));
  DrawFrame();
  return true;
}

void ShutDown() {
  timeEndPeriod(kTimerPeriodMs);
  if (viewDC != nullptr) ReleaseDC(viewWindow, viewDC);
  viewDC = nullptr;
  if (renderContext != nullptr) wglDeleteContext(renderContext);
  renderContext = nullptr;
}

int ExitCode(int quitCode) { return renderContext == nullptr ? 1 : quitCode; }
