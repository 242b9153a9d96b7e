// The main window through its messages: layout for several sizes and the mouse navigation.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "tests/app/app_test_support.h"

static int Width(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect.right - rect.left;
}

static int ViewportWidth() {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  return viewport[2];
}

TEST(Layout, PlacesViewAndPanelAndKeepsTheViewportWhenMinimised) {
  ResetProgram();
  for (int width : {800, 1000, 154}) {
    EXPECT_EQ(SendMessageA(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, 400)), 0);
    EXPECT_EQ(layout.viewWidth, width - 153);
    EXPECT_EQ(layout.viewHeight, 398);
    EXPECT_EQ(Width(viewWindow), width - 153);
    EXPECT_EQ(Width(panelWindow), 150);
    EXPECT_EQ(ViewportWidth(), width - 153);
  }
  SendMessageA(mainWindow, WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_EQ(layout.viewWidth, -153);
  EXPECT_EQ(layout.viewHeight, -2);
  EXPECT_EQ(ViewportWidth(), 1);  // OpenGL refuses a negative size and keeps the last one
  glGetError();
  EXPECT_EQ(renderStandIn.framesDrawn, 4);

  MoveWindow(mainWindow, 20, 20, 900, 650, TRUE);  // a real resize lays out the client area
  RECT client = {};
  GetClientRect(mainWindow, &client);
  EXPECT_EQ(layout.clientWidth, client.right);
  EXPECT_EQ(layout.clientHeight, client.bottom);
}

TEST(Navigation, LeftDragTurnsWithOneCorrectionAndZoomsWithinOneToTen) {
  ResetProgram();
  viewState.yaw = 10.0f;
  viewState.zoom = 0.0f;
  Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 600, 600);
  EXPECT_EQ(Mouse(WM_MOUSEMOVE, MK_LBUTTON, 100, 600), 1);  // 500 to the left
  EXPECT_EQ(viewState.yaw, -130.0f);
  EXPECT_EQ(viewState.zoom, 1.0f);  // even a flat first move lifts zoom 0 to 1
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 100, 610);
  EXPECT_EQ(viewState.yaw, 230.0f);
  EXPECT_EQ(viewState.zoom, 1.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 230, 510);
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.zoom, static_cast<float>(1.0 + 100 * static_cast<double>(0.02f)));
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 40000, 0);  // x is the unsigned low half
  EXPECT_EQ(viewState.yaw, static_cast<float>(39770 - 360));
  EXPECT_EQ(viewState.zoom, 10.0f);
  EXPECT_EQ(viewState.lastMouseX, 40000);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);
}

TEST(Navigation, RightDragTiltsWithinZeroToNinetyAndOnlyButtonsOutsideARunMove) {
  ResetProgram();
  Mouse(WM_RBUTTONDOWN, MK_RBUTTON, 400, 200);
  Mouse(WM_MOUSEMOVE, MK_RBUTTON, 450, 180);  // 20 up from 10
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_EQ(viewState.yaw, 0.0f);
  Mouse(WM_MOUSEMOVE, MK_RBUTTON, 450, 900);
  EXPECT_EQ(viewState.pitch, 90.0f);
  // Both buttons: the left step takes the new position first, so nothing is left to tilt.
  Mouse(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 480, 850);
  EXPECT_EQ(viewState.pitch, 90.0f);
  EXPECT_EQ(viewState.yaw, 30.0f);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);

  Mouse(WM_MOUSEMOVE, 0, 300, 300);  // no button: not even the position changes
  EXPECT_EQ(viewState.lastMouseX, 480);
  benchmarkState.mode = kBenchmarkSpinning;  // during a run drags are ignored, presses recorded
  Mouse(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 300, 300);
  EXPECT_EQ(viewState.yaw, 30.0f);
  Mouse(WM_RBUTTONDOWN, MK_RBUTTON, 77, 88);
  EXPECT_EQ(viewState.lastMouseY, 88);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);
}
