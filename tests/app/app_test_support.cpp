// What the shell's tests share: a stand-in for the render entry points, a message-box recorder, helpers.
#include "tests/app/app_test_support.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/message_box.h"
#include "app/start_up.h"
#include "panel/config_panel.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "render/render_context.h"
#include "terrain/terrain_synthesis.h"

RenderStandIn renderStandIn = {};
std::vector<RecordedBox> recordedBoxes;

HGLRC CreateRenderContext() {
  if (renderStandIn.contextFails) return nullptr;
  PIXELFORMATDESCRIPTOR descriptor = {};
  descriptor.nSize = static_cast<WORD>(sizeof descriptor);
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.cColorBits = 16;
  descriptor.cDepthBits = 16;
  SetPixelFormat(viewDC, ChoosePixelFormat(viewDC, &descriptor), &descriptor);
  HGLRC context = wglCreateContext(viewDC);
  wglMakeCurrent(viewDC, context);
  return context;
}

void InitRenderState() {
  ++renderStandIn.renderStateSetUps;
  viewState.pitch = 10.0f;
  viewState.yaw = 0.0f;
  if (renderStandIn.afterRenderState) renderStandIn.afterRenderState();
}

void DrawFrame() {
  ++renderStandIn.framesDrawn;
  if (renderStandIn.afterFrame) renderStandIn.afterFrame();
}

bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat) {
  renderStandIn.lastRiver = river;
  renderStandIn.lastFlat = flat;
  return SynthesizeTerrain(grid, seed, passHeightScale, freqScale, initFreq, passCount, river);
}

static int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  recordedBoxes.push_back({text, caption, type});
  return IDOK;
}

void RecordMessageBoxes() { showMessageBox = RecordMessageBox; }

void ResetProgram() {
  static bool started = false;
  if (!started) {
    started = true;
    RecordMessageBoxes();
    ASSERT_TRUE(StartUp(nullptr));
    ASSERT_NE(renderContext, nullptr);
  }
  benchmarkState = {kBenchmarkIdle, 0.0f};
  viewState = {10.0f, 0.0f, 1.0f, 0, 0};
  EnableWindow(panelWindow, TRUE);
  SetDefaultSettings();
  ConfigDlgProc(panelWindow, WM_INITDIALOG, 0, 0);
  recordedBoxes.clear();
  renderStandIn.framesDrawn = 0;
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

LRESULT Mouse(UINT message, WPARAM keys, int x, int y) {
  return SendMessageA(mainWindow, message, keys, MAKELPARAM(x, y));
}
