// The whole program through WinMain: an ordinary life with a "Single" run, and failed starts with their exit codes.
// The window class stays registered, so CTest gives each of these tests a process of its own.
#include <windows.h>

#include <gtest/gtest.h>

#include <string>

#include "app/app_state.h"
#include "panel/config_panel.h"
#include "tests/app/app_test_support.h"

static int viewWidthAtRenderState;
static int framesInRun;
static std::string fpsAfterRun;

static void ClickSingleOnceStarted() {
  RECT view = {};
  GetWindowRect(viewWindow, &view);
  viewWidthAtRenderState = view.right - view.left;
  PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlSingle, BN_CLICKED), 0);
}

// After the run's last frame: a redraw to read the result, then the close button.
static void FollowRun() {
  if (benchmarkState.mode == kBenchmarkSpinning && ++framesInRun == 72) {
    PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlRedraw, BN_CLICKED), 0);
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  } else if (benchmarkState.mode == kBenchmarkIdle && framesInRun == 72) {
    fpsAfterRun = ControlText(kControlFps);
  }
}

TEST(Run, StartsRunsSingleAndClosesWithExitCodeZero) {
  RecordMessageBoxes();
  renderStandIn.afterRenderState = ClickSingleOnceStarted;
  renderStandIn.afterFrame = FollowRun;
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_TRUE(recordedBoxes.empty());
  EXPECT_EQ(viewWidthAtRenderState, layout.viewWidth);  // a WM_SIZE placed the view first
  EXPECT_GT(layout.viewWidth, 0);
  EXPECT_EQ(framesInRun, 72);
  EXPECT_GE(benchmarkState.accumulatedMs, 72 * 5.0f);
  char expected[20];
  snprintf(expected, sizeof expected, "Fps: %f", 72000.0 / static_cast<double>(benchmarkState.accumulatedMs));
  EXPECT_EQ(fpsAfterRun, expected);
  EXPECT_FALSE(IsWindow(mainWindow));
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
  EXPECT_EQ(mainWindow, nullptr);
}

TEST(Run, NoRenderingContextShowsTheBoxAndEndsWithExitCodeOne) {
  RecordMessageBoxes();
  renderStandIn.contextFails = 1;
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 1);
  ASSERT_EQ(recordedBoxes.size(), 1u);
  EXPECT_EQ(recordedBoxes[0].text, "Failed to Create OpenGL Rendering Context.");
  EXPECT_EQ(recordedBoxes[0].caption, "Quillon Test");
  EXPECT_EQ(recordedBoxes[0].type, static_cast<UINT>(MB_ICONERROR));
  EXPECT_FALSE(IsWindow(mainWindow));
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}
