// The message and tick loop, and the "Single" benchmark steps its ticks drive.
#include "app/main_loop.h"

#include <cstdio>

#include "state/app_state.h"
#include "app/erosion_dialog.h"
#include "panel/config_panel.h"
#include "render/frame.h"
#include "state/app_state.h"

// 72 frames, 1000 ms in a second: frames per second from the run's milliseconds.
constexpr double kFramesTimesMsPerSecond = 72000.0;
constexpr float kFullTurn = 360.0f;

MessageWaitFunction waitForMessages = MsgWaitForMultipleObjects;

bool TakeTick(uint32_t nowMs) {
  const uint32_t elapsedMs = nowMs - tickClock.lastTickMs;  // modulo 2^32
  if (elapsedMs < kTickIntervalMs) return false;
  tickClock.lastTickMs = nowMs;
  if (benchmarkState.mode == kBenchmarkSpinning) BenchmarkStep(static_cast<float>(elapsedMs));
  return true;
}

static void FinishBenchmark() {
  const double fps = kFramesTimesMsPerSecond / static_cast<double>(benchmarkState.accumulatedMs);
  benchmarkState.mode = kBenchmarkIdle;
  viewState.yaw = 0.0f;
  char text[20];
  snprintf(text, sizeof text, "Fps: %f", fps);
  SetDlgItemTextA(panelWindow, kControlFps, text);
  EnableWindow(panelWindow, TRUE);
}

void BenchmarkStep(float tickMs) {
  benchmarkState.accumulatedMs += tickMs;
  viewState.yaw += kBenchmarkStepDegrees;
  DrawFrame();
  if (viewState.yaw == kFullTurn) FinishBenchmark();
}

// The "Export Terrain" and "Erosion" dialogs take their own messages and navigation keys; Ctrl+E,
// Ctrl+P and Ctrl+R become the main window's commands; everything else is translated and dispatched. The panel
// has no navigation step of its own.
static void Deliver(MSG* message) {
  if (exportDialog != nullptr && IsDialogMessageA(exportDialog, message)) return;
  if (erosionDialog != nullptr && IsDialogMessageA(erosionDialog, message)) return;
  if (accelerators != nullptr && TranslateAcceleratorA(mainWindow, accelerators, message)) return;
  TranslateMessage(message);
  DispatchMessageA(message);
}

void DrainMessages(MSG* message) {
  while (PeekMessageA(message, nullptr, 0, 0, PM_REMOVE)) {
    Deliver(message);
    if (message->message == WM_QUIT) quitRequested = 1;
  }
}

int RunMainLoop() {
  MSG message = {};
  while (!quitRequested) {
    DrainMessages(&message);
    TakeTick(timeGetTime());
    if (quitRequested) break;
    // A running benchmark polls the clock; otherwise nothing is due until a message comes.
    if (benchmarkState.mode != kBenchmarkSpinning) waitForMessages(0, nullptr, FALSE, INFINITE, QS_ALLINPUT);
  }
  return static_cast<int>(message.wParam);
}
