// The application shell through its messages and WinMain, with the render entry points stood in for.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/main_loop.h"
#include "panel/config_panel.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "terrain/terrain_grid.h"
#include "tests/app/shell_support.h"

static int ViewportWidth() {
  GLint viewport[4] = {};
  glGetIntegerv(GL_VIEWPORT, viewport);
  return viewport[2];
}

TEST(Layout, PlacesViewAndPanelAndKeepsTheViewportAtZeroByZero) {
  ResetProgram();
  for (int width : {800, 1000, 154}) {
    EXPECT_EQ(SendMessageA(mainWindow, WM_SIZE, SIZE_RESTORED, MAKELPARAM(width, 400)), 0);
    EXPECT_EQ(layout.viewWidth, width - 153);
    EXPECT_EQ(layout.viewHeight, 398);
    EXPECT_EQ(ViewportWidth(), width - 153);
  }
  SendMessageA(mainWindow, WM_SIZE, SIZE_MINIMIZED, 0);
  EXPECT_EQ(layout.viewWidth, -153);
  EXPECT_EQ(layout.viewHeight, -2);
  EXPECT_EQ(ViewportWidth(), 1);  // OpenGL refuses a negative size and keeps the last one
  EXPECT_EQ(framesDrawn, 4);
}

TEST(Navigation, DragsTurnZoomAndTiltWithinTheirLimitsAndNotDuringARun) {
  ResetProgram();
  viewState.yaw = 10.0f;
  viewState.zoom = 0.0f;
  const float zoomUp100 = static_cast<float>(1.0 + 100 * static_cast<double>(0.02f));
  const struct { UINT message; WPARAM keys; int x, y; float yaw, pitch, zoom; } steps[] = {
      {WM_LBUTTONDOWN, MK_LBUTTON, 600, 600, 10.0f, 10.0f, 0.0f},
      {WM_MOUSEMOVE, MK_LBUTTON, 100, 600, -130.0f, 10.0f, 1.0f},  // turned back once; zoom 0 lifted to 1
      {WM_MOUSEMOVE, MK_LBUTTON, 100, 610, 230.0f, 10.0f, 1.0f},
      {WM_MOUSEMOVE, MK_LBUTTON, 230, 510, 0.0f, 10.0f, zoomUp100},
      {WM_MOUSEMOVE, MK_LBUTTON, 40000, 0, 39770.0f - 360.0f, 10.0f, 10.0f},  // x is the unsigned low half
      {WM_RBUTTONDOWN, MK_RBUTTON, 400, 200, 39410.0f, 10.0f, 10.0f},
      {WM_MOUSEMOVE, MK_RBUTTON, 450, 180, 39410.0f, 0.0f, 10.0f},
      {WM_MOUSEMOVE, MK_RBUTTON, 450, 900, 39410.0f, 90.0f, 10.0f},
      // Both buttons: the left step takes the new position first, so nothing is left to tilt.
      {WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, 480, 850, 39440.0f - 360.0f, 90.0f, 10.0f},
  };
  for (const auto& step : steps) {
    SCOPED_TRACE(testing::Message() << "step " << &step - steps);
    SendMessageA(mainWindow, step.message, step.keys, MAKELPARAM(step.x, step.y));
    EXPECT_EQ(viewState.yaw, step.yaw);
    EXPECT_EQ(viewState.pitch, step.pitch);
    EXPECT_EQ(viewState.zoom, step.zoom);
  }
  benchmarkState.mode = kBenchmarkSpinning;  // during a run drags are ignored, presses recorded
  SendMessageA(mainWindow, WM_MOUSEMOVE, MK_LBUTTON | MK_RBUTTON, MAKELPARAM(100, 100));
  EXPECT_EQ(viewState.yaw, 39080.0f);
  SendMessageA(mainWindow, WM_RBUTTONDOWN, MK_RBUTTON, MAKELPARAM(77, 88));
  EXPECT_EQ(viewState.lastMouseY, 88);
  EXPECT_EQ(framesDrawn, 8);
}

TEST(Panel, FieldsTogglesRadiosButtonsThatDoNothingAndGenerate) {
  ResetProgram();
  TypeInto(kControlPassCount, "+3");
  TypeInto(kControlFreqScale, "7.9");  // read as a whole number
  TypeInto(kControlPassHeightScale, " 2.5e-1x");  // what follows the number is ignored
  TypeInto(kControlSeed, "-2147483648");
  TypeInto(kControlSeed, "2147483648");  // out of range: the last value stays until "Generate" refuses it
  EXPECT_EQ(settings.passCount, 3);
  EXPECT_EQ(settings.freqScale, 7.0f);
  EXPECT_EQ(settings.passHeightScale, 0.25f);
  EXPECT_EQ(settings.seed, INT32_MIN);
  TypeInto(kControlSeed, "");
  settings.seed = 5;
  EXPECT_EQ(PanelCommand(kControlSeed, 0x0100), TRUE);  // a focus notification reads nothing
  EXPECT_EQ(settings.seed, 5);

  PanelCommand(kControlCreateRiver, BN_CLICKED);
  EXPECT_EQ(settings.createRiver, 1);
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  EXPECT_EQ(settings.createRiver, 0);
  settings.createAs2d = 2;  // anything but 1 counts as off
  PanelCommand(kControlCreateAs2d, BN_CLICKED);
  EXPECT_EQ(settings.createAs2d, 1);
  PanelCommand(kControlWire, BN_CLICKED);
  EXPECT_EQ(settings.renderMode, kRenderModeWire);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_UNCHECKED);
  const Settings before = settings;
  for (int control : {kControlComplete, kControlResults, kControlFps}) {
    EXPECT_EQ(PanelCommand(control, BN_CLICKED), FALSE);
  }
  EXPECT_EQ(memcmp(&before, &settings, sizeof settings), 0);
  EXPECT_EQ(framesDrawn, 2);

  // "Generate" reads the fields as they stand: the empty seed is 0, and twice gives the same terrain.
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  ASSERT_EQ(PanelCommand(kControlGenerate, BN_CLICKED), TRUE);
  ASSERT_NE(currentTerrain, nullptr);
  EXPECT_EQ(settings.seed, 0);
  EXPECT_TRUE(lastRiver == 1 && lastFlat == 1);
  const std::vector<float> first(currentTerrain->heights, currentTerrain->heights + 100 * 100);
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(memcmp(first.data(), currentTerrain->heights, first.size() * sizeof(float)), 0);
  EXPECT_EQ(framesDrawn, 6);
  EXPECT_TRUE(recordedBoxes.empty());
}

TEST(Panel, GenerateRefusesWhatNoFieldCanTakeWithABoxOwnedByTheMainWindowAndChangesNothing) {
  ResetProgram();
  PanelCommand(kControlGenerate, BN_CLICKED);
  TerrainGrid* const shown = currentTerrain;
  ASSERT_NE(shown, nullptr);
  const std::vector<float> heights(shown->heights, shown->heights + 100 * 100);
  const struct { int control; const char *text, *field; bool unread; } refusals[] = {
      // Beyond 32 bits: once read as a wrapped value (a flat plane, one pass, or another seed's terrain).
      {kControlInitFreq, "2147483648", "Init. Freq", true},
      {kControlPassCount, "10000000000000000002", "Num. of Passes", true},
      {kControlFreqScale, "-2147483649", "Freq. Scale", true},
      {kControlSeed, "2147483648", "Random Seed", true},
      // No number to read (each text is refused in the field-text tests): once read as 0.
      {kControlTerrainHeight, "", "Terrain height", true},
      {kControlPassHeightScale, "inf", "Pass height scale", true},
      // Numbers beyond the generation limits: read, then refused in the same way.
      {kControlPassCount, "5000", "Num. of Passes", false},
      {kControlTerrainHeight, "1e39", "Terrain height", false},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.text);
    ResetProgram();
    const Settings defaults = settings;
    TypeInto(refusal.control, refusal.text);
    PanelCommand(kControlGenerate, BN_CLICKED);
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0].find("Koravel: \"" + std::string(refusal.field) + "\""), 0u) << recordedBoxes[0];
    EXPECT_NE(recordedBoxes[0].find(" [error] [modal]"), std::string::npos) << recordedBoxes[0];
    EXPECT_EQ(currentTerrain, shown);
    EXPECT_EQ(memcmp(heights.data(), shown->heights, heights.size() * sizeof(float)), 0);
    EXPECT_EQ(framesDrawn, 0);
    EXPECT_TRUE(!refusal.unread || memcmp(&defaults, &settings, sizeof settings) == 0) << "a setting changed";
  }

  // Once the field holds a number again, "Generate" takes it; a long real is read whole.
  TypeInto(kControlTerrainHeight, "1.000000000000000000e2");
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(recordedBoxes.size(), 1u);
  EXPECT_EQ(settings.terrainHeight, 100.0f);
  EXPECT_NE(memcmp(heights.data(), currentTerrain->heights, heights.size() * sizeof(float)), 0);
}

static void ClickSingle() {
  EXPECT_EQ(PanelCommand(kControlSingle, BN_CLICKED), TRUE);
  EXPECT_FALSE(IsWindowEnabled(panelWindow));
}

// Ticks every stepMs from the tick clock's last reading until the run ends; the steps taken.
static int TickThroughRun(uint32_t stepMs) {
  int steps = 0;
  for (uint32_t now = tickClock.lastTickMs; benchmarkState.mode == kBenchmarkSpinning && steps < 100; ++steps) {
    EXPECT_FALSE(TakeTick(now + kTickIntervalMs - 1));
    now += stepMs;
    EXPECT_TRUE(TakeTick(now));
  }
  return steps;
}

TEST(Benchmark, SingleRunsSeventyTwoStepsMeasuredFromTheClickAndReportsTheRate) {
  ResetProgram();
  viewState.pitch = 33.0f;
  viewState.yaw = 90.0f;
  ClickSingle();
  EXPECT_EQ(TickThroughRun(20), 72);
  EXPECT_EQ(framesDrawn, 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 50.000000");
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_TRUE(IsWindowEnabled(panelWindow));
  ClickSingle();
  StartTickClock(0xFFFFFF00u);  // as if clicked just before the counter wraps
  EXPECT_EQ(TickThroughRun(5), 72);  // across the wrap, at the highest rate
  EXPECT_EQ(ControlText(kControlFps), "Fps: 200.000000");

  // The last tick a minute before the click (a long "Generate" blocked the loop, or the loop slept while
  // idle): the first step measures from the click.
  const uint32_t before = timeGetTime();
  StartTickClock(before - 60000);
  ClickSingle();
  EXPECT_LE(tickClock.lastTickMs - before, timeGetTime() - before) << "the clock was not started at the click";
  EXPECT_EQ(TickThroughRun(20), 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 50.000000");
}

// The whole program through WinMain; the window class stays registered, so each test has a process of its own.
static int viewWidthAtRenderState;
static int framesInRun;
static std::vector<std::string> waits;  // the loop's waits: "idle" or "running", and the timeout

// Stands in for the loop's wait: the first idle wait clicks "Single", the first one after the run closes the
// window; any other waits for real, but never longer than a second.
static DWORD WINAPI RecordWait(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds, DWORD wakeMask) {
  const bool running = benchmarkState.mode == kBenchmarkSpinning;
  waits.push_back(std::string(running ? "running " : "idle ") +
                  (milliseconds == INFINITE ? "INFINITE" : std::to_string(milliseconds)));
  if (waits.size() == 1) {
    PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlSingle, BN_CLICKED), 0);
    return WAIT_OBJECT_0;
  }
  if (framesInRun == 72 && !running) {
    PostMessageA(mainWindow, WM_CLOSE, 0, 0);
    return WAIT_OBJECT_0;
  }
  return MsgWaitForMultipleObjects(count, handles, waitAll, milliseconds < 1000 ? milliseconds : 1000, wakeMask);
}

TEST(Run, StartsRunsSingleAndClosesWithExitCodeZeroWaitingWithoutTimeoutWhileIdle) {
  showMessageBox = RecordMessageBox;
  waitForMessages = RecordWait;
  afterRenderState = [] { viewWidthAtRenderState = layout.viewWidth; };
  afterFrame = [] {
    if (benchmarkState.mode == kBenchmarkSpinning) ++framesInRun;
  };
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_TRUE(recordedBoxes.empty());
  EXPECT_GT(viewWidthAtRenderState, 0);  // a WM_SIZE placed the view first
  EXPECT_EQ(framesInRun, 72);
  EXPECT_GE(benchmarkState.accumulatedMs, 72 * 5.0f);
  // Idle, the loop sleeps until a message comes; during the run it never sleeps.
  ASSERT_GE(waits.size(), 2u);
  for (const std::string& wait : waits) EXPECT_EQ(wait, "idle INFINITE");
}

TEST(Run, ClassAlreadyTakenEndsAtOnceWithExitCodeOne) {
  showMessageBox = RecordMessageBox;
  WNDCLASSA taken = {};
  taken.lpfnWndProc = DefWindowProcA;
  taken.lpszClassName = "Koravel";
  ASSERT_NE(RegisterClassA(&taken), 0);
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 1);
  EXPECT_EQ(recordedBoxes, std::vector<std::string>{"Koravel: Couldn't Register Window Class [error]"});
  EXPECT_EQ(mainWindow, nullptr);
}

TEST(Run, NoRenderingContextShowsTheBoxAndEndsWithExitCodeOne) {
  showMessageBox = RecordMessageBox;
  contextFails = 1;
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 1);
  const std::string box = "Quillon Test: Failed to Create OpenGL Rendering Context. [error]";
  EXPECT_EQ(recordedBoxes, std::vector<std::string>{box});
  EXPECT_FALSE(IsWindow(mainWindow));
  EXPECT_EQ(framesDrawn, 0);
}
