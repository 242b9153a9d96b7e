// The render entry points stood in for, message boxes recorded, and the program started once, for the shell's tests.
#include "tests/app/shell_support.h"

#include <GL/gl.h>
#include <gtest/gtest.h>

#include "state/app_state.h"
#include "panel/erosion_choice.h"
#include "app/erosion_dialog.h"
#include "state/message_box.h"
#include "app/start_up.h"
#include "panel/config_panel.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "render/render_context.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "terrain/erosion.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

int32_t contextFails;
int32_t framesDrawn;
int32_t framesRendered;
int32_t lastRiver, lastFlat;
void (*afterRenderState)();
void (*afterFrame)();
std::vector<std::string> recordedBoxes;

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

void RenderFrame() {
  ++framesRendered;
  glClearColor(0.0f, 0.0f, 1.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glEnable(GL_SCISSOR_TEST);
  glScissor(0, layout.viewHeight / 2, layout.viewWidth / 2, layout.viewHeight - layout.viewHeight / 2);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT);
  glDisable(GL_SCISSOR_TEST);
  glFinish();
}

bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat) {
  lastRiver = river;
  lastFlat = flat;
  return SynthesizeTerrain(grid, seed, passHeightScale, freqScale, initFreq, passCount, river);
}

int questionAnswer = IDNO;

int32_t erosionsDone;

bool ErodeGeneratedTerrain(TerrainGrid* grid, const ErosionSettings& erosion, int32_t) {
  ++erosionsDone;
  if (ErodeTerrain(grid->heights, grid->width, grid->depth, erosion, 0, nullptr, nullptr) != kFlowDone) return false;
  FindHeightRange(grid);
  return true;
}

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  std::string box = std::string(caption) + ": " + text;
  if (type == (MB_OK | MB_ICONERROR)) box += " [error]";
  if (owner != nullptr && owner == mainWindow) box += " [modal]";
  if (owner != nullptr && owner == exportDialog) box += " [over the dialog]";
  if ((type & 0xF) == MB_YESNO) box += " [yes/no]";
  recordedBoxes.push_back(box);
  return (type & 0xF) == MB_YESNO ? questionAnswer : IDOK;
}

void ResetProgram() {
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
  // Whatever an earlier test left in the "Erosion" dialog, "Generate" does not erode.
  if (erosionDialog != nullptr) DestroyWindow(erosionDialog);
  erosionChoice = ErosionChoiceOf(DefaultErosionSettings(), false);
  viewedErosion.eroded = false;
  recordedBoxes.clear();
  framesDrawn = 0;
}

INT_PTR PanelCommand(int control, int notification) {
  return ConfigDlgProc(panelWindow, WM_COMMAND, MAKEWPARAM(control, notification),
                       reinterpret_cast<LPARAM>(GetDlgItem(panelWindow, control)));
}

void TypeInto(int control, const char* text) { SetDlgItemTextA(panelWindow, control, text); }

std::string ControlText(int control) {
  char text[64] = "";
  GetDlgItemTextA(panelWindow, control, text, sizeof text);
  return text;
}

