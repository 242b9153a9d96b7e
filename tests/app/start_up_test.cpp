// The whole program through WinMain: an ordinary life with a "Single" run, and the failed starts with their exit codes.
// Each test needs a process of its own (the window class stays registered), so CTest runs them one by one.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstdio>
#include <string>

#include "app/app_state.h"
#include "app/main_loop.h"
#include "panel/config_panel.h"
#include "tests/app/app_test_support.h"
#include "tests/app/render_standin.h"

// What the hooks saw during the ordinary run.
static RECT viewAtRenderState;
static int32_t framesInRun;
static std::string fpsAfterRun;
static float accumulatedAtEnd;

// Once the windows are up: start "Single" the way a click does.
static void ClickSingleAfterStart() {
  GetWindowRect(viewWindow, &viewAtRenderState);
  PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlSingle, BN_CLICKED), 0);
}

// Counts the run's frames; after its last one asks for a redraw (to read the result) and closes.
static void FollowRun() {
  if (benchmarkState.mode == kBenchmarkSpinning) {
    ++framesInRun;
    if (viewState.yaw == 360.0f) {
      PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlRedraw, BN_CLICKED), 0);
      PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    }
  } else if (framesInRun == 72 && fpsAfterRun.empty()) {
    fpsAfterRun = ControlText(kControlFps);
    accumulatedAtEnd = benchmarkState.accumulatedMs;
  }
}

TEST(Run, StartsRunsSingleAndClosesWithExitCodeZero) {
  RecordMessageBoxes();
  renderStandIn.afterRenderState = ClickSingleAfterStart;
  renderStandIn.afterFrame = FollowRun;
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_TRUE(recordedBoxes.empty());
  EXPECT_EQ(renderStandIn.renderStateSetUps, 1);

  // The view was placed by a WM_SIZE before the render state was set up.
  EXPECT_GT(layout.clientWidth, 153);
  EXPECT_EQ(viewAtRenderState.right - viewAtRenderState.left, layout.viewWidth);

  EXPECT_EQ(framesInRun, 72);
  EXPECT_GE(accumulatedAtEnd, 72.0f * 5.0f);
  char expected[20];
  snprintf(expected, sizeof expected, "Fps: %f", 72000.0 / static_cast<double>(accumulatedAtEnd));
  EXPECT_EQ(fpsAfterRun, expected);
  EXPECT_EQ(benchmarkState.mode, kBenchmarkIdle);
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_FALSE(IsWindow(mainWindow));
  EXPECT_EQ(quitRequested, 1);
}

TEST(Run, ClassAlreadyTakenEndsAtOnceWithExitCodeOne) {
  RecordMessageBoxes();
  WNDCLASSA taken = {};
  taken.lpfnWndProc = DefWindowProcA;
  taken.lpszClassName = "Koravel";
  ASSERT_NE(RegisterClassA(&taken), 0);
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 1);
  ASSERT_EQ(recordedBoxes.size(), 1u);
  EXPECT_EQ(recordedBoxes[0].text, "Couldn't Register Window Class");
  EXPECT_EQ(recordedBoxes[0].caption, "Koravel");
  EXPECT_EQ(recordedBoxes[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_EQ(mainWindow, nullptr);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}

TEST(Run, NoRenderingContextShowsTheBoxAndEndsWithExitCodeOne) {
  RecordMessageBoxes();
  renderStandIn.contextFails = 1;
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 1);
  ASSERT_EQ(recordedBoxes.size(), 1u);
  EXPECT_EQ(recordedBoxes[0].text, "Failed to Create OpenGL Rendering Context.");
  EXPECT_EQ(recordedBoxes[0].caption, "Quillon Test");
  EXPECT_EQ(recordedBoxes[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_NE(mainWindow, nullptr);
  EXPECT_FALSE(IsWindow(mainWindow));
  EXPECT_EQ(renderStandIn.renderStateSetUps, 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}
