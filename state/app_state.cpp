// The process-wide state records and the Settings defaults.
#include "state/app_state.h"

Settings settings;
ViewedTerrain viewedTerrain = {false, {}, false};
TerrainGrid* currentTerrain = nullptr;
// Zoom starts at 1.0 so a generated terrain is visible before the first drag.
ViewState viewState = {0.0f, 0.0f, 1.0f, 0, 0};
BenchmarkState benchmarkState = {kBenchmarkIdle, 0.0f};
TickClock tickClock = {0};
Layout layout;

HWND mainWindow = nullptr;
HWND viewWindow = nullptr;
HWND panelWindow = nullptr;
HDC viewDC = nullptr;
HGLRC renderContext = nullptr;
HINSTANCE programInstance = nullptr;
HACCEL accelerators = nullptr;
HWND exportDialog = nullptr;
int32_t quitRequested = 0;

void SetDefaultSettings() {
  settings.terrainHeight = 8.0f;
  settings.createRiver = 0;
  settings.seed = 0;
  settings.freqScale = 6.0f;
  settings.initFreq = 4;
  settings.passHeightScale = 0.4f;
  settings.passCount = 5;
  settings.renderMode = kRenderModeSolid;
  settings.createAs2d = 0;
}

void StartTickClock(uint32_t nowMs) { tickClock.lastTickMs = nowMs; }
