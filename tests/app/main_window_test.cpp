// The main window through its messages: layout for several sizes, mouse navigation, paint and unknown messages.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "app/app_state.h"
#include "tests/app/app_test_support.h"
#include "tests/app/render_standin.h"

static RECT WindowRect(HWND window) {
  RECT rect = {};
  GetWindowRect(window, &rect);
  return rect;
}

static void ExpectViewport(int width, int height) {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  EXPECT_EQ(viewport[0], 0);
  EXPECT_EQ(viewport[1], 0);
  EXPECT_EQ(viewport[2], width);
  EXPECT_EQ(viewport[3], height);
}

TEST(Layout, PlacesViewAndPanelForEverySize) {
  ResetView();
  const int sizes[][2] = {{800, 600}, {1000, 300}, {154, 3}, {640, 480}};
  for (const auto& size : sizes) {
    SCOPED_TRACE(testing::Message() << size[0] << " x " << size[1]);
    const int before = renderStandIn.framesDrawn;
    EXPECT_EQ(SendMessageA(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(size[0], size[1])), 0);
    EXPECT_EQ(layout.clientWidth, size[0]);
    EXPECT_EQ(layout.clientHeight, size[1]);
    EXPECT_EQ(layout.viewWidth, size[0] - 153);
    EXPECT_EQ(layout.viewHeight, size[1] - 2);
    const RECT view = WindowRect(viewWindow);
    const RECT panel = WindowRect(panelWindow);
    EXPECT_EQ(view.right - view.left, size[0] - 153);
    EXPECT_EQ(view.bottom - view.top, size[1] - 2);
    EXPECT_EQ(panel.right - panel.left, 150);
    EXPECT_EQ(panel.bottom - panel.top, size[1]);
    // The view starts 1 in from the left and ends where the panel starts, 2 before the right edge.
    EXPECT_EQ(panel.left - view.left, size[0] - 153);
    EXPECT_EQ(panel.top, view.top);
    ExpectViewport(size[0] - 153, size[1] - 2);
    EXPECT_EQ(renderStandIn.framesDrawn, before + 1);
  }
}

TEST(Layout, MinimisedSizePassesNegativeViewAndRestoreMendsIt) {
  ResetView();
  SendMessageA(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(700, 500));
  SendMessageA(mainWindow, WM_SIZE, SIZE_MINIMIZED, MAKELPARAM(0, 0));
  EXPECT_EQ(layout.clientWidth, 0);
  EXPECT_EQ(layout.clientHeight, 0);
  EXPECT_EQ(layout.viewWidth, -153);
  EXPECT_EQ(layout.viewHeight, -2);
  // OpenGL refuses the negative viewport and keeps the last one.
  ExpectViewport(547, 498);
  while (glGetError() != GL_NO_ERROR) {
  }
  EXPECT_EQ(renderStandIn.framesDrawn, 2);

  SendMessageA(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(700, 500));
  EXPECT_EQ(layout.viewWidth, 547);
  EXPECT_EQ(layout.viewHeight, 498);
  const RECT view = WindowRect(viewWindow);
  EXPECT_EQ(view.right - view.left, 547);
  ExpectViewport(547, 498);
}

TEST(Layout, ResizingTheWindowLaysOutItsClientArea) {
  ResetView();
  MoveWindow(mainWindow, 20, 20, 900, 650, TRUE);
  RECT client = {};
  GetClientRect(mainWindow, &client);
  EXPECT_EQ(layout.clientWidth, client.right - client.left);
  EXPECT_EQ(layout.clientHeight, client.bottom - client.top);
  EXPECT_EQ(layout.viewWidth, layout.clientWidth - 153);
  EXPECT_GE(renderStandIn.framesDrawn, 1);
}

TEST(Navigation, LeftDragTurnsWithOneCorrection) {
  ResetView();
  Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 600, 100);
  viewState.yaw = 10.0f;
  EXPECT_EQ(Mouse(WM_MOUSEMOVE, MK_LBUTTON, 100, 100), 1);  // 500 to the left
  EXPECT_EQ(viewState.yaw, -130.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 100, 100);  // no movement brings it back into range
  EXPECT_EQ(viewState.yaw, 230.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 230, 100);  // 360 exactly wraps to 0
  EXPECT_EQ(viewState.yaw, 0.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 229, 100);
  EXPECT_EQ(viewState.yaw, 359.0f);
  EXPECT_EQ(viewState.lastMouseX, 229);
  EXPECT_EQ(viewState.lastMouseY, 100);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);
}

TEST(Navigation, LeftDragZoomsWithinOneToTen) {
  ResetView();
  viewState.zoom = 0.0f;  // never dragged: the first move, even a flat one, sets 1
  Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 50, 600);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 50, 600);
  EXPECT_EQ(viewState.zoom, 1.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 50, 610);  // down at 1 stays 1
  EXPECT_EQ(viewState.zoom, 1.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 50, 510);  // 100 up
  EXPECT_EQ(viewState.zoom, static_cast<float>(1.0 + 100 * static_cast<double>(0.02f)));
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 50, 0);  // far up stops at 10
  EXPECT_EQ(viewState.zoom, 10.0f);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 50, 0);
  EXPECT_EQ(viewState.zoom, 10.0f);
  viewState.zoom = 5.0f;
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 50, 37);
  EXPECT_EQ(viewState.zoom, static_cast<float>(5.0 - 37 * static_cast<double>(0.02f)));
}

TEST(Navigation, RightDragTiltsWithinZeroToNinety) {
  ResetView();
  Mouse(WM_RBUTTONDOWN, MK_RBUTTON, 400, 200);
  EXPECT_EQ(Mouse(WM_MOUSEMOVE, MK_RBUTTON, 450, 180), 1);  // 20 up from 10
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_EQ(viewState.yaw, 0.0f);  // sideways movement does not turn
  Mouse(WM_MOUSEMOVE, MK_RBUTTON, 450, 215);
  EXPECT_EQ(viewState.pitch, 35.0f);
  Mouse(WM_MOUSEMOVE, MK_RBUTTON, 450, 900);  // far down stops at 90
  EXPECT_EQ(viewState.pitch, 90.0f);
  EXPECT_EQ(viewState.lastMouseX, 450);
  EXPECT_EQ(viewState.lastMouseY, 900);
  EXPECT_EQ(renderStandIn.framesDrawn, 3);
}

TEST(Navigation, BothButtonsTurnAndZoomButDoNotTilt) {
  ResetView();
  Mouse(WM_LBUTTONDOWN, MK_LBUTTON | MK_RBUTTON, 100, 100);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 130, 90);
  EXPECT_EQ(viewState.yaw, 30.0f);
  EXPECT_EQ(viewState.zoom, static_cast<float>(1.0 + 10 * static_cast<double>(0.02f)));
  EXPECT_EQ(viewState.pitch, 10.0f);
  EXPECT_EQ(renderStandIn.framesDrawn, 2);
}

TEST(Navigation, PositionsAreUnsignedHalvesOfTheMessage) {
  ResetView();
  Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 40000, 5);
  EXPECT_EQ(viewState.lastMouseX, 40000);
  Mouse(WM_MOUSEMOVE, MK_LBUTTON, 40010, 5);
  EXPECT_EQ(viewState.yaw, 10.0f);
}

TEST(Navigation, MovesWithoutButtonsOrDuringBenchmarkChangeNothing) {
  ResetView();
  Mouse(WM_LBUTTONDOWN, MK_LBUTTON, 10, 10);
  Mouse(WM_MOUSEMOVE, 0, 300, 300);
  EXPECT_EQ(viewState.lastMouseX, 10);
  EXPECT_EQ(viewState.lastMouseY, 10);

  benchmarkState.mode = kBenchmarkSpinning;
  Mouse(WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 300, 300);
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.zoom, 1.0f);
  EXPECT_EQ(viewState.pitch, 10.0f);
  Mouse(WM_RBUTTONDOWN, MK_RBUTTON, 77, 88);  // presses are still recorded
  EXPECT_EQ(viewState.lastMouseX, 77);
  EXPECT_EQ(viewState.lastMouseY, 88);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
  benchmarkState.mode = kBenchmarkIdle;
}

TEST(MainWindow, PaintDrawsNothingAndQuitIsNoted) {
  ResetView();
  EXPECT_EQ(SendMessageA(mainWindow, WM_PAINT, 0, 0), 1);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
  EXPECT_EQ(SendMessageA(mainWindow, WM_QUIT, 0, 0), 1);
  EXPECT_EQ(quitRequested, 1);
  quitRequested = 0;
}
