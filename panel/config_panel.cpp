// The configuration panel: its dialog procedure, the generation it starts and the start of "Single".
#include "panel/config_panel.h"

#include <cstdio>
#include <cstdlib>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "panel/erosion_choice.h"
#include "state/message_box.h"
#include "panel/field_text.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "terrain/generation_limits.h"
#include "terrain/terrain_grid.h"

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

// The edit's whole text, however long.
static std::string FieldText(HWND dialog, int control) {
  std::vector<char> text(64);
  for (;;) {
    const UINT length = GetDlgItemTextA(dialog, control, text.data(), static_cast<int>(text.size()));
    if (length + 1 < text.size()) return std::string(text.data(), length);
    text.resize(text.size() * 2);
  }
}

// The number fields, top to bottom as the panel shows them.
struct NumberField {
  int control;
  const char* name;
  bool whole;  // an integer field; otherwise a real one
};

static const NumberField kNumberFields[] = {
    {kControlTerrainHeight, "Terrain height", false},
    {kControlSeed, "Random Seed", true},
    {kControlFreqScale, "Freq. Scale", true},
    {kControlInitFreq, "Init. Freq", true},
    {kControlPassHeightScale, "Pass height scale", false},
    {kControlPassCount, "Num. of Passes", true},
};

static void StoreWhole(int control, int32_t value) {
  switch (control) {
    case kControlSeed: settings.seed = value; break;
    // Shown as a real number but read as a whole one.
    case kControlFreqScale: settings.freqScale = static_cast<float>(value); break;
    case kControlInitFreq: settings.initFreq = value; break;
    case kControlPassCount: settings.passCount = value; break;
    default: break;
  }
}

static void StoreReal(int control, float value) {
  if (control == kControlTerrainHeight) settings.terrainHeight = value;
  if (control == kControlPassHeightScale) settings.passHeightScale = value;
}

// Stores the value of the field's whole text into its Settings field; returns
// false, storing nothing, when the text holds no number the field takes.
static bool ReadField(HWND dialog, const NumberField& field) {
  const std::string text = FieldText(dialog, field.control);
  if (field.whole) {
    const FieldInt read = ReadFieldInt(text.c_str());
    if (read.accepted) StoreWhole(field.control, read.value);
    return read.accepted;
  }
  const FieldReal read = ReadFieldReal(text.c_str());
  if (read.accepted) StoreReal(field.control, read.value);
  return read.accepted;
}

static const NumberField* FindNumberField(int control) {
  for (const NumberField& field : kNumberFields) {
    if (field.control == control) return &field;
  }
  return nullptr;
}

// Refusals are owned by the main window: the box is modal, so the panel cannot
// be used, nor a second box stacked, until it is closed.
static void ShowRefusal(const char* text) { showMessageBox(mainWindow, text, "Koravel", MB_OK | MB_ICONERROR); }

// Reads every number field; the first one whose text is refused gets a box that
// names it and says what it takes.
static bool ReadNumberFields(HWND dialog) {
  for (const NumberField& field : kNumberFields) {
    if (ReadField(dialog, field)) continue;
    char text[160];
    if (field.whole) {
      snprintf(text, sizeof text, "\"%s\" must be a whole number from -2147483648 to 2147483647.", field.name);
    } else {
      snprintf(text, sizeof text, "\"%s\" must be a number, such as 8, 0.4 or -2.5e1.", field.name);
    }
    ShowRefusal(text);
    return false;
  }
  return true;
}

static int32_t Toggled(int32_t flag) { return flag != 1 ? 1 : 0; }

static void ShowOutOfMemory() { showMessageBox(nullptr, "OUT OF MEMORY", "OUT OF MEMORY", MB_OK); }

// A new grid generated from the settings and eroded when asked, or null (after the out-of-memory box).
static TerrainGrid* NewTerrain(const TerrainSettings& terrain, bool flat, const ErosionSettings* erosion) {
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  if (grid == nullptr) {
    ShowOutOfMemory();
    return nullptr;
  }
  const int32_t flatFlag = flat ? 1 : 0;
  if (!CreateTerrainGrid(grid, kTerrainSamples, kTerrainSamples, kTerrainExtent, kTerrainExtent,
                         terrain.terrainHeight) ||
      !GenerateTerrain(grid, terrain.seed, terrain.passHeightScale, terrain.freqScale, terrain.initFreq,
                       terrain.passCount, terrain.river, flatFlag) ||
      (erosion != nullptr && !ErodeGeneratedTerrain(grid, *erosion, flatFlag))) {
    DestroyTerrainGrid(grid);
    ShowOutOfMemory();
    return nullptr;
  }
  return grid;
}

void ShowTerrain(const TerrainSettings& terrain, bool flat, const ErosionSettings* erosion) {
  if (currentTerrain != nullptr) {
    DestroyTerrainGrid(currentTerrain);
    currentTerrain = nullptr;
  }
  currentTerrain = NewTerrain(terrain, flat, erosion);
  viewedTerrain.generated = currentTerrain != nullptr;  // without memory for it, none is on view
  if (currentTerrain != nullptr) {
    viewedTerrain.settings = terrain;
    viewedTerrain.flat = flat;
    viewedErosion.eroded = erosion != nullptr;
    if (erosion != nullptr) viewedErosion.settings = *erosion;
  }
  DrawFrame();
  DrawFrame();
}

void GenerateFromSettings() {
  const GenerationCheck check =
      CheckGenerationParameters(settings.terrainHeight, settings.passHeightScale, settings.freqScale,
                                static_cast<float>(settings.initFreq), settings.passCount);
  if (check.field != kFieldNone) {
    ShowRefusal(check.message);
    return;
  }
  // With "Erode generated terrains" ticked, the "Erosion" dialog's fields must be accepted too.
  ErosionSettings erosion = DefaultErosionSettings();
  if (erosionChoice.erodeGenerated) {
    const std::string refusal = ReadErosionChoice(erosionChoice, &erosion);
    if (!refusal.empty()) {
      ShowRefusal(refusal.c_str());
      return;
    }
  }
  const TerrainSettings terrain = {settings.seed, settings.terrainHeight, settings.passHeightScale,
                                   settings.freqScale, static_cast<float>(settings.initFreq),
                                   settings.passCount, settings.createRiver == 1 ? 1 : 0};
  ShowTerrain(terrain, settings.createAs2d == 1, erosionChoice.erodeGenerated ? &erosion : nullptr);
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
      if (ReadNumberFields(dialog)) GenerateFromSettings();
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
      // Text that holds no number keeps the last value; "Generate" refuses it.
      if (notification == EN_CHANGE || notification == EN_UPDATE) ReadField(dialog, *FindNumberField(control));
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
