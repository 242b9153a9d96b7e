// The configuration panel: its dialog procedure, the generation it starts and the start of "Single".
#include "panel/config_panel.h"

#include <cstdio>
#include <cstdlib>

#include "app/app_state.h"
#include "app/message_box.h"
#include "panel/field_text.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "terrain/generation_limits.h"
#include "terrain/terrain_grid.h"

// Edit texts are read through a buffer of 20 bytes: at most 19 characters.
constexpr int kFieldTextSize = 20;

static void SetFieldInt(HWND dialog, int control, int32_t value) {
  char text[32];
  snprintf(text, sizeof text, "%d", value);
  SetDlgItemTextA(dialog, control, text);
}

static void SetFieldFloat(HWND dialog, int control, float value) {
  char text[64];  // "%f" of the largest float needs 46 characters
  snprintf(text, sizeof text, "%f", static_cast<double>(value));
  SetDlgItemTextA(dialog, control, text);
}

static void ShowSettings(HWND dialog) {
  CheckDlgButton(dialog, kControlCreateRiver, static_cast<UINT>(settings.createRiver));
  CheckDlgButton(dialog, kControlCreateAs2d, static_cast<UINT>(settings.createAs2d));
  CheckRadioButton(dialog, kControlSolid, kControlWire, settings.renderMode);
  SetFieldInt(dialog, kControlSeed, settings.seed);
  SetFieldFloat(dialog, kControlTerrainHeight, settings.terrainHeight);
  SetFieldFloat(dialog, kControlFreqScale, settings.freqScale);
  SetFieldInt(dialog, kControlInitFreq, settings.initFreq);
  SetFieldFloat(dialog, kControlPassHeightScale, settings.passHeightScale);
  SetFieldInt(dialog, kControlPassCount, settings.passCount);
}

// Stores the edit's text, parsed by the field's rule, into its Settings field.
static void ReadField(HWND dialog, int control) {
  char text[kFieldTextSize] = "";
  GetDlgItemTextA(dialog, control, text, kFieldTextSize);
  switch (control) {
    case kControlTerrainHeight: settings.terrainHeight = ParseFieldFloat(text, nullptr); break;
    case kControlSeed: settings.seed = ParseFieldInt(text, nullptr); break;
    // Shown as a real number but read as a whole one.
    case kControlFreqScale: settings.freqScale = static_cast<float>(ParseFieldInt(text, nullptr)); break;
    case kControlInitFreq: settings.initFreq = ParseFieldInt(text, nullptr); break;
    case kControlPassHeightScale: settings.passHeightScale = ParseFieldFloat(text, nullptr); break;
    case kControlPassCount: settings.passCount = ParseFieldInt(text, nullptr); break;
    default: break;
  }
}

static int32_t Toggled(int32_t flag) { return flag != 1 ? 1 : 0; }

static void ShowOutOfMemory() { showMessageBox(nullptr, "OUT OF MEMORY", "OUT OF MEMORY", MB_OK); }

// A new grid generated from the Settings, or null (after the out-of-memory box).
static TerrainGrid* NewTerrain() {
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  if (grid == nullptr) {
    ShowOutOfMemory();
    return nullptr;
  }
  if (!CreateTerrainGrid(grid, kTerrainSamples, kTerrainSamples, kTerrainExtent, kTerrainExtent,
                         settings.terrainHeight) ||
      !GenerateTerrain(grid, settings.seed, settings.passHeightScale, settings.freqScale,
                       static_cast<float>(settings.initFreq), settings.passCount,
                       settings.createRiver == 1 ? 1 : 0, settings.createAs2d == 1 ? 1 : 0)) {
    DestroyTerrainGrid(grid);
    ShowOutOfMemory();
    return nullptr;
  }
  return grid;
}

void GenerateFromSettings() {
  const GenerationCheck check =
      CheckGenerationParameters(settings.terrainHeight, settings.passHeightScale, settings.freqScale,
                                static_cast<float>(settings.initFreq), settings.passCount);
  if (check.field != kFieldNone) {
    showMessageBox(nullptr, check.message, "Koravel", MB_OK | MB_ICONERROR);
    return;
  }
  if (currentTerrain != nullptr) {
    DestroyTerrainGrid(currentTerrain);
    currentTerrain = nullptr;
  }
  currentTerrain = NewTerrain();
  DrawFrame();
  DrawFrame();
}

void StartSingleBenchmark() {
  viewState.pitch = 0.0f;
  viewState.yaw = 0.0f;
  EnableWindow(panelWindow, FALSE);
  benchmarkState.mode = kBenchmarkSpinning;
  benchmarkState.accumulatedMs = 0.0f;
  // The first step measures from the click, not from a tick before a long "Generate".
  StartTickClock(timeGetTime());
}

// Handles one WM_COMMAND; FALSE for the controls that do nothing.
static INT_PTR Command(HWND dialog, int control, int notification) {
  switch (control) {
    case kControlSingle:
      StartSingleBenchmark();
      return TRUE;
    case kControlGenerate:
      GenerateFromSettings();
      return TRUE;
    case kControlRedraw:
      DrawFrame();
      return TRUE;
    case kControlTerrainHeight:
    case kControlSeed:
    case kControlFreqScale:
    case kControlInitFreq:
    case kControlPassCount:
    case kControlPassHeightScale:
      if (notification == EN_CHANGE || notification == EN_UPDATE) ReadField(dialog, control);
      return TRUE;
    case kControlCreateRiver:
      settings.createRiver = Toggled(settings.createRiver);
      CheckDlgButton(dialog, kControlCreateRiver, static_cast<UINT>(settings.createRiver));
      return TRUE;
    case kControlSolid:
    case kControlWire:
      settings.renderMode = control;
      CheckRadioButton(dialog, kControlSolid, kControlWire, control);
      DrawFrame();
      return TRUE;
    case kControlCreateAs2d:
      // Takes effect with the next generation; the drawn mesh stays as it was made.
      settings.createAs2d = Toggled(settings.createAs2d);
      CheckDlgButton(dialog, kControlCreateAs2d, static_cast<UINT>(settings.createAs2d));
      DrawFrame();
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      ShowSettings(dialog);
      return FALSE;
    case WM_COMMAND:
      return Command(dialog, LOWORD(wParam), HIWORD(wParam));
    default:
      return FALSE;
  }
}
