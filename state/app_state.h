// The process-wide state records: Settings, the terrain on display, the view, the benchmark and its clock, the layout and the handles.
#pragma once

#include <windows.h>

#include <cstdint>

#include "terrain/terrain_region.h"

struct TerrainGrid;

// The identifiers of the display radio buttons double as the render modes.
constexpr int32_t kRenderModeSolid = 1027;
constexpr int32_t kRenderModeWire = 1028;

constexpr int32_t kBenchmarkIdle = 0;
constexpr int32_t kBenchmarkSpinning = 2;

struct Settings {
  float terrainHeight;
  int32_t createRiver;
  int32_t seed;
  float freqScale;
  int32_t initFreq;
  float passHeightScale;
  int32_t passCount;
  int32_t renderMode;
  int32_t createAs2d;
};

struct ViewState {
  float pitch;  // tilt about x, degrees, [0, 90]
  float yaw;    // turn about y, degrees
  float zoom;   // uniform scale, [1, 10]
  int32_t lastMouseX;
  int32_t lastMouseY;
};

struct BenchmarkState {
  int32_t mode;         // kBenchmarkIdle or kBenchmarkSpinning
  float accumulatedMs;  // summed tick times of the current run
};

// The millisecond reading of the last tick, kept as the unsigned counter itself
// so that differences stay exact across its wrap every 2^32 ms.
struct TickClock {
  uint32_t lastTickMs;
};

struct Layout {
  int32_t clientWidth;
  int32_t clientHeight;
  int32_t viewWidth;   // clientWidth - 153
  int32_t viewHeight;  // clientHeight - 2
};

// The terrain on view as the exports remake it: the settings of the last "Generate" that made one.
struct ViewedTerrain {
  bool generated;  // false until a "Generate" has made a terrain
  TerrainSettings settings;
  bool flat;  // made with "Create as 2d": its mesh lies in the plane y = 0
};

extern Settings settings;
extern ViewedTerrain viewedTerrain;
extern TerrainGrid* currentTerrain;
extern ViewState viewState;
extern BenchmarkState benchmarkState;
extern TickClock tickClock;
extern Layout layout;

extern HWND mainWindow;
extern HWND viewWindow;
extern HWND panelWindow;
extern HDC viewDC;
extern HGLRC renderContext;
extern HINSTANCE programInstance;
extern HACCEL accelerators;  // the main window's: Ctrl+E, Ctrl+P
extern HWND exportDialog;    // the "Export Terrain" dialog while it is open
extern int32_t quitRequested;

// Stores the Settings defaults the panel shows at start.
void SetDefaultSettings();

// Counts the next tick from nowMs: at start-up, and when "Single" starts a run.
void StartTickClock(uint32_t nowMs);
