// The main window's procedure: layout of the view and the panel, mouse navigation, menu commands, closing.
#include "app/main_window.h"

#include <GL/gl.h>

#include "app/commands.h"
#include "app/export_dialog.h"
#include "render/frame.h"
#include "state/app_state.h"

// The panel takes the right 152 pixels; the view fills the rest inside a 1-pixel margin.
constexpr int32_t kPanelWidth = 150;
constexpr int32_t kPanelRightMargin = 2;
constexpr int32_t kViewRightGap = 153;  // panel, its right margin and the view's left margin
constexpr int32_t kViewVerticalGap = 2;

// A left drag zooms by this float per pixel, taken at double precision.
constexpr double kZoomPerPixel = static_cast<double>(0.02f);
constexpr float kZoomMin = 1.0f;
constexpr float kZoomMax = 10.0f;
constexpr float kPitchMax = 90.0f;
constexpr float kFullTurn = 360.0f;

void LayOutWindows(int32_t clientWidth, int32_t clientHeight) {
  layout.clientWidth = clientWidth;
  layout.clientHeight = clientHeight;
  layout.viewWidth = clientWidth - kViewRightGap;
  layout.viewHeight = clientHeight - kViewVerticalGap;
  MoveWindow(viewWindow, 1, 1, layout.viewWidth, layout.viewHeight, TRUE);
  MoveWindow(panelWindow, clientWidth - kPanelWidth - kPanelRightMargin, 1, kPanelWidth, clientHeight,
             TRUE);
  SetFocus(mainWindow);
  // A size that arrives while the window is being created finds no context to draw with yet.
  if (renderContext == nullptr) return;
  glViewport(0, 0, layout.viewWidth, layout.viewHeight);
  DrawFrame();
}

// yaw + dx, brought back by one full turn at most.
static void Turn(int32_t dx) {
  const double sum = static_cast<double>(viewState.yaw) + dx;
  viewState.yaw = static_cast<float>(sum);
  if (sum < 0.0) {
    viewState.yaw = static_cast<float>(static_cast<double>(viewState.yaw) + kFullTurn);
  } else if (viewState.yaw >= kFullTurn) {
    viewState.yaw = static_cast<float>(static_cast<double>(viewState.yaw) - kFullTurn);
  }
}

// Dragging down shrinks, dragging up enlarges, within [1, 10].
static void Zoom(int32_t dy) {
  const double zoom = static_cast<double>(viewState.zoom) - dy * kZoomPerPixel;
  viewState.zoom = static_cast<float>(zoom);
  if (zoom < kZoomMin) {
    viewState.zoom = kZoomMin;
  } else if (viewState.zoom >= kZoomMax) {
    viewState.zoom = kZoomMax;
  }
}

// Dragging down tilts towards a view from above, within [0, 90].
static void Tilt(int32_t dy) {
  const double pitch = static_cast<double>(viewState.pitch) + dy;
  viewState.pitch = static_cast<float>(pitch);
  if (pitch < 0.0) {
    viewState.pitch = 0.0f;
  } else if (viewState.pitch >= kPitchMax) {
    viewState.pitch = kPitchMax;
  }
}

void NavigateView(WPARAM keys, int32_t x, int32_t y) {
  if (benchmarkState.mode == kBenchmarkSpinning) return;
  if (keys & MK_LBUTTON) {
    Turn(x - viewState.lastMouseX);
    Zoom(y - viewState.lastMouseY);
    viewState.lastMouseX = x;
    viewState.lastMouseY = y;
    DrawFrame();
  }
  // Runs after the left-button step, which has already taken the new position.
  if (keys & MK_RBUTTON) {
    Tilt(y - viewState.lastMouseY);
    viewState.lastMouseX = x;
    viewState.lastMouseY = y;
    DrawFrame();
  }
}

// Mouse positions are the two unsigned 16-bit halves of lParam.
static int32_t MouseX(LPARAM lParam) { return LOWORD(lParam); }
static int32_t MouseY(LPARAM lParam) { return HIWORD(lParam); }

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  switch (message) {
    case WM_DESTROY:
      PostQuitMessage(0);
      return 1;
    case WM_SIZE:
      LayOutWindows(LOWORD(lParam), HIWORD(lParam));
      return 0;
    case WM_PAINT: {
      // The view is drawn only when something changes, never on a paint.
      PAINTSTRUCT paint;
      BeginPaint(window, &paint);
      EndPaint(window, &paint);
      return 1;
    }
    case WM_CLOSE:
      // An export still running stops now; its dialog, owned by this window, joins it on the way out.
      CancelRunningExport();
      DestroyWindow(window);
      return 1;
    case WM_QUIT:
      quitRequested = 1;
      return 1;
    case WM_MOUSEMOVE:
      NavigateView(wParam, MouseX(lParam), MouseY(lParam));
      return 1;
    case WM_COMMAND:
      // The menu's items and their accelerators.
      if (RunCommand(LOWORD(wParam))) return 0;
      return DefWindowProcA(window, message, wParam, lParam);
    case WM_LBUTTONDOWN:
    case WM_RBUTTONDOWN:
      viewState.lastMouseX = MouseX(lParam);
      viewState.lastMouseY = MouseY(lParam);
      return 1;
    default:
      return DefWindowProcA(window, message, wParam, lParam);
  }
}
