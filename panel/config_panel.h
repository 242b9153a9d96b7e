// The configuration panel: its dialog procedure, the generation it starts and the start of "Single".
#pragma once

#include <windows.h>

#include "terrain/erosion.h"
#include "terrain/terrain_region.h"

// Control identifiers of the ConfigDlg template.
constexpr int kControlSingle = 1006;
constexpr int kControlGenerate = 1007;
constexpr int kControlComplete = 1012;
constexpr int kControlFps = 1013;
constexpr int kControlResults = 1014;
constexpr int kControlRedraw = 1015;
constexpr int kControlTerrainHeight = 1020;
constexpr int kControlCreateRiver = 1021;
constexpr int kControlSeed = 1022;
constexpr int kControlFreqScale = 1024;
constexpr int kControlInitFreq = 1025;
constexpr int kControlPassCount = 1026;
constexpr int kControlSolid = 1027;
constexpr int kControlWire = 1028;
constexpr int kControlPassHeightScale = 1029;
constexpr int kControlCreateAs2d = 1030;

// The terrain every generation makes: 100 x 100 samples over 150 x 150 units.
constexpr int kTerrainSamples = 100;
constexpr float kTerrainExtent = 150.0f;

INT_PTR CALLBACK ConfigDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// The generation of "Generate", once the fields have been read: checks the
// Settings (and, when "Erode generated terrains" is ticked, the "Erosion"
// dialog's fields), replaces currentTerrain with a new terrain made from them
// and draws it. Refused Settings get a message box and change nothing.
void GenerateFromSettings();

// Replaces currentTerrain with the terrain of these settings, eroded when
// erosion is given (already checked), records it as the terrain on view and draws it.
void ShowTerrain(const TerrainSettings& terrain, bool flat, const ErosionSettings* erosion);

// "Single": pitch and yaw to 0, panel disabled, benchmark running from 0 ms and
// the tick clock started afresh, so the first step measures from the click.
void StartSingleBenchmark();
