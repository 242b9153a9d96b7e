// What the shell's tests share: a recorder for message boxes, the started program, and ways to talk to it.
#include "tests/app/app_test_support.h"

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/message_box.h"
#include "app/start_up.h"
#include "panel/config_panel.h"
#include "tests/app/render_standin.h"

std::vector<RecordedBox> recordedBoxes;

static int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT type) {
  recordedBoxes.push_back({text ? text : "", caption ? caption : "", type});
  return IDOK;
}

void RecordMessageBoxes() { showMessageBox = RecordMessageBox; }

void EnsureStarted() {
  static bool started = false;
  if (started) return;
  started = true;
  RecordMessageBoxes();
  ASSERT_TRUE(StartUp(nullptr));
  ASSERT_NE(renderContext, nullptr);
  ASSERT_TRUE(recordedBoxes.empty());
}

void ResetView() {
  EnsureStarted();
  benchmarkState = {kBenchmarkIdle, 0.0f};
  viewState = {10.0f, 0.0f, 1.0f, 0, 0};
  EnableWindow(panelWindow, TRUE);
  recordedBoxes.clear();
  renderStandIn.framesDrawn = 0;
}

INT_PTR PanelCommand(int control, int notification) {
  return ConfigDlgProc(panelWindow, WM_COMMAND, MAKEWPARAM(control, notification),
                       reinterpret_cast<LPARAM>(GetDlgItem(panelWindow, control)));
}

void TypeInto(int control, const char* text) { SetDlgItemTextA(panelWindow, control, text); }

std::string ControlText(int control) {
  char text[256] = "";
  GetDlgItemTextA(panelWindow, control, text, sizeof text);
  return text;
}

LRESULT Mouse(UINT message, WPARAM keys, int x, int y) {
  return SendMessageA(mainWindow, message, keys, MAKELPARAM(x, y));
}
