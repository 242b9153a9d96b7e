// The application shell through its messages and WinMain, with the render entry points stood in for.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "app/main_loop.h"
#include "app/message_box.h"
#include "app/start_up.h"
#include "panel/config_panel.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "render/render_context.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

// The render stand-in makes a real context on the view but only counts the frames asked for.
static int32_t contextFails;  // CreateRenderContext returns null when set
static int32_t framesDrawn;
static int32_t lastRiver, lastFlat;  // the flags of the last GenerateTerrain
static void (*afterRenderState)();
static void (*afterFrame)();
static std::vector<std::string> recordedBoxes;  // "caption: text", " [error]" added for the error icon

HGLRC CreateRenderContext() {
  if (contextFails) return nullptr;
  PIXELFORMATDESCRIPTOR descriptor = {};
  descriptor.nSize = static_cast<WORD>(sizeof descriptor);
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.cColorBits = 16;
  SetPixelFormat(viewDC, ChoosePixelFormat(viewDC, &descriptor), &descriptor);
  HGLRC context = wglCreateContext(viewDC);
  wglMakeCurrent(viewDC, context);
  return context;
}

void InitRenderState() {
  if (afterRenderState) afterRenderState();
}

void DrawFrame() {
  ++framesDrawn;
  if (afterFrame) afterFrame();
}

bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat) {
  lastRiver = river;
  lastFlat = flat;
  return SynthesizeTerrain(grid, seed, passHeightScale, freqScale, initFreq, passCount, river);
}

static int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  recordedBoxes.push_back(std::string(caption) + ": " + text + ((type & MB_ICONERROR) ? " [error]" : ""));
  return IDOK;
}

// Starts the program once per process, then: benchmark idle, pitch 10, yaw 0, zoom 1,
// default Settings shown in the panel, no boxes, no frames counted.
static void ResetProgram() {
  static bool started = false;
  if (!started) {
    started = true;
    showMessageBox = RecordMessageBox;
    ASSERT_TRUE(StartUp(nullptr));
    ASSERT_NE(renderContext, nullptr);
  }
  benchmarkState = {kBenchmarkIdle, 0.0f};
  viewState = {10.0f, 0.0f, 1.0f, 0, 0};
  EnableWindow(panelWindow, TRUE);
  SetDefaultSettings();
  ConfigDlgProc(panelWindow, WM_INITDIALOG, 0, 0);
  recordedBoxes.clear();
  framesDrawn = 0;
}

static INT_PTR PanelCommand(int control, int notification) {
  return ConfigDlgProc(panelWindow, WM_COMMAND, MAKEWPARAM(control, notification),
                       reinterpret_cast<LPARAM>(GetDlgItem(panelWindow, control)));
}

static void TypeInto(int control, const char* text) { SetDlgItemTextA(panelWindow, control, text); }

static std::string ControlText(int control) {
  char text[64] = "";
  GetDlgItemTextA(panelWindow, control, text, sizeof text);
  return text;
}

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
  TypeInto(kControlSeed, "98765432101234567899");  // 19 characters read, wrapped
  EXPECT_EQ(settings.seed, -1338740459);
  TypeInto(kControlPassCount, "+3");
  EXPECT_EQ(settings.passCount, 3);
  TypeInto(kControlFreqScale, "7.9");  // read as a whole number
  EXPECT_EQ(settings.freqScale, 7.0f);
  TypeInto(kControlTerrainHeight, " -2.5e1x");
  EXPECT_EQ(settings.terrainHeight, -25.0f);
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

  // "Generate" twice gives the same terrain; refused parameters show a box and change nothing.
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  ASSERT_EQ(PanelCommand(kControlGenerate, BN_CLICKED), TRUE);
  ASSERT_NE(currentTerrain, nullptr);
  EXPECT_EQ(lastRiver, 1);
  EXPECT_EQ(lastFlat, 1);
  const std::vector<float> first(currentTerrain->heights, currentTerrain->heights + 100 * 100);
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(memcmp(first.data(), currentTerrain->heights, first.size() * sizeof(float)), 0);
  EXPECT_EQ(framesDrawn, 6);

  TerrainGrid* const shown = currentTerrain;
  const struct { int control; const char *text, *field; } refusals[] = {
      {kControlPassCount, "5000", "Num. of Passes"}, {kControlTerrainHeight, "1e39", "Terrain height"}};
  for (const auto& refusal : refusals) {
    ResetProgram();
    TypeInto(refusal.control, refusal.text);
    PanelCommand(kControlGenerate, BN_CLICKED);
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0].find("Koravel: \"" + std::string(refusal.field) + "\""), 0u) << recordedBoxes[0];
    EXPECT_EQ(currentTerrain, shown);
    EXPECT_EQ(framesDrawn, 0);
  }
}

// Clicks "Single" at startMs, then ticks every stepMs until the run ends; the steps taken.
static int RunSingle(uint32_t startMs, uint32_t stepMs) {
  StartTickClock(startMs);
  EXPECT_EQ(PanelCommand(kControlSingle, BN_CLICKED), TRUE);
  EXPECT_FALSE(IsWindowEnabled(panelWindow));
  int steps = 0;
  for (uint32_t now = startMs; benchmarkState.mode == kBenchmarkSpinning && steps < 100; ++steps) {
    EXPECT_FALSE(TakeTick(now + kTickIntervalMs - 1));
    now += stepMs;
    EXPECT_TRUE(TakeTick(now));
  }
  return steps;
}

TEST(Benchmark, SingleRunsSeventyTwoStepsAndReportsTheRate) {
  ResetProgram();
  viewState.pitch = 33.0f;
  viewState.yaw = 90.0f;
  EXPECT_EQ(RunSingle(1000, 20), 72);
  EXPECT_EQ(framesDrawn, 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 50.000000");
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_TRUE(IsWindowEnabled(panelWindow));
  EXPECT_EQ(RunSingle(0xFFFFFF00u, 5), 72);  // across the counter's wrap, at the highest rate
  EXPECT_EQ(ControlText(kControlFps), "Fps: 200.000000");
  StartTickClock(0xFFFFFFFEu);  // idle, the next tick falls due 5 ms after the last, across the wrap too
  EXPECT_EQ(MsUntilNextTick(0xFFFFFFFFu), 4u);
  EXPECT_EQ(MsUntilNextTick(3u), 0u);
}

// The whole program through WinMain. The window class stays registered, so CTest gives
// each of these tests a process of its own.
static int viewWidthAtRenderState;
static int framesInRun;

TEST(Run, StartsRunsSingleAndClosesWithExitCodeZero) {
  showMessageBox = RecordMessageBox;
  afterRenderState = [] {
    viewWidthAtRenderState = layout.viewWidth;
    PostMessageA(panelWindow, WM_COMMAND, MAKEWPARAM(kControlSingle, BN_CLICKED), 0);
  };
  afterFrame = [] {
    if (benchmarkState.mode == kBenchmarkSpinning && ++framesInRun == 72) PostMessageA(mainWindow, WM_CLOSE, 0, 0);
  };
  EXPECT_EQ(WinMain(nullptr, nullptr, nullptr, SW_SHOWNORMAL), 0);
  EXPECT_TRUE(recordedBoxes.empty());
  EXPECT_GT(viewWidthAtRenderState, 0);  // a WM_SIZE placed the view first
  EXPECT_EQ(framesInRun, 72);
  EXPECT_GE(benchmarkState.accumulatedMs, 72 * 5.0f);
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
