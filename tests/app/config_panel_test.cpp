// The configuration panel through its messages: shown Settings, parse rules, toggles, radios, generation, refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "app/app_state.h"
#include "panel/config_panel.h"
#include "terrain/terrain_grid.h"
#include "tests/app/app_test_support.h"
#include "tests/app/render_standin.h"

static void ResetPanel() {
  ResetView();
  SetDefaultSettings();
  ConfigDlgProc(panelWindow, WM_INITDIALOG, 0, 0);
  renderStandIn.framesDrawn = 0;
}

static uint32_t Bits(float value) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  return bits;
}

TEST(Panel, ShowsTheSettingsAndReadsThemBackUnchanged) {
  ResetPanel();
  EXPECT_EQ(ControlText(kControlTerrainHeight), "8.000000");
  EXPECT_EQ(ControlText(kControlSeed), "0");
  EXPECT_EQ(ControlText(kControlFreqScale), "6.000000");
  EXPECT_EQ(ControlText(kControlInitFreq), "4");
  EXPECT_EQ(ControlText(kControlPassHeightScale), "0.400000");
  EXPECT_EQ(ControlText(kControlPassCount), "5");
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateRiver), BST_UNCHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateAs2d), BST_UNCHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlWire), BST_UNCHECKED);
  // The texts came back through the edits' notifications without changing a bit.
  EXPECT_EQ(Bits(settings.terrainHeight), Bits(8.0f));
  EXPECT_EQ(Bits(settings.passHeightScale), 0x3ECCCCCDu);
  EXPECT_EQ(settings.freqScale, 6.0f);
  EXPECT_EQ(settings.seed, 0);
  EXPECT_EQ(settings.initFreq, 4);
  EXPECT_EQ(settings.passCount, 5);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}

TEST(Panel, ShowsNonDefaultChecksAndRadio) {
  ResetPanel();
  settings.createRiver = 1;
  settings.createAs2d = 1;
  settings.renderMode = kControlWire;
  ConfigDlgProc(panelWindow, WM_INITDIALOG, 0, 0);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateRiver), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateAs2d), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlWire), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_UNCHECKED);
}

TEST(Panel, IntegerFieldsFollowTheParseRules) {
  ResetPanel();
  TypeInto(kControlSeed, "");
  EXPECT_EQ(settings.seed, 0);
  TypeInto(kControlSeed, "  -17abc");
  EXPECT_EQ(settings.seed, -17);
  TypeInto(kControlSeed, "12345678901");  // wraps modulo 2^32
  EXPECT_EQ(settings.seed, -539222987);
  TypeInto(kControlSeed, "98765432101234567899");  // only the first 19 characters are read
  EXPECT_EQ(settings.seed, -1338740459);
  TypeInto(kControlInitFreq, "9");
  EXPECT_EQ(settings.initFreq, 9);
  TypeInto(kControlPassCount, "+3");
  EXPECT_EQ(settings.passCount, 3);
  TypeInto(kControlFreqScale, "7");
  EXPECT_EQ(settings.freqScale, 7.0f);
  TypeInto(kControlFreqScale, "7.9");  // shown as a real, read as a whole number
  EXPECT_EQ(settings.freqScale, 7.0f);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}

TEST(Panel, RealFieldsFollowTheParseRules) {
  ResetPanel();
  TypeInto(kControlTerrainHeight, "12.5");
  EXPECT_EQ(settings.terrainHeight, 12.5f);
  TypeInto(kControlTerrainHeight, " -2.5e1x");
  EXPECT_EQ(settings.terrainHeight, -25.0f);
  TypeInto(kControlTerrainHeight, "abc");
  EXPECT_EQ(settings.terrainHeight, 0.0f);
  TypeInto(kControlPassHeightScale, "0.3");
  EXPECT_EQ(settings.passHeightScale, 0.3f);
}

TEST(Panel, EditNotificationsOtherThanChangeAndUpdateAreIgnored) {
  ResetPanel();
  TypeInto(kControlSeed, "99");
  settings.seed = 5;
  const int kFocusNotification = 0x0100;
  EXPECT_EQ(PanelCommand(kControlSeed, kFocusNotification), TRUE);
  EXPECT_EQ(settings.seed, 5);
  EXPECT_EQ(PanelCommand(kControlSeed, EN_CHANGE), TRUE);
  EXPECT_EQ(settings.seed, 99);
}

TEST(Panel, CheckBoxesToggleAndOnlyCreateAs2dRedraws) {
  ResetPanel();
  EXPECT_EQ(PanelCommand(kControlCreateRiver, BN_CLICKED), TRUE);
  EXPECT_EQ(settings.createRiver, 1);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateRiver), BST_CHECKED);
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  EXPECT_EQ(settings.createRiver, 0);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateRiver), BST_UNCHECKED);
  settings.createRiver = 2;  // anything but 1 counts as off
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  EXPECT_EQ(settings.createRiver, 1);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);

  EXPECT_EQ(PanelCommand(kControlCreateAs2d, BN_CLICKED), TRUE);
  EXPECT_EQ(settings.createAs2d, 1);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateAs2d), BST_CHECKED);
  PanelCommand(kControlCreateAs2d, BN_CLICKED);
  EXPECT_EQ(settings.createAs2d, 0);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateAs2d), BST_UNCHECKED);
  EXPECT_EQ(renderStandIn.framesDrawn, 2);
}

TEST(Panel, RadioButtonsSetTheRenderModeAndRedraw) {
  ResetPanel();
  EXPECT_EQ(PanelCommand(kControlWire, BN_CLICKED), TRUE);
  EXPECT_EQ(settings.renderMode, kRenderModeWire);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlWire), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_UNCHECKED);
  PanelCommand(kControlSolid, BN_CLICKED);
  EXPECT_EQ(settings.renderMode, kRenderModeSolid);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlWire), BST_UNCHECKED);
  EXPECT_EQ(PanelCommand(kControlRedraw, BN_CLICKED), TRUE);
  EXPECT_EQ(renderStandIn.framesDrawn, 3);
}

TEST(Panel, CompleteResultsAndUnknownControlsDoNothing) {
  ResetPanel();
  const Settings before = settings;
  const ViewState viewBefore = viewState;
  for (int control : {kControlComplete, kControlResults, kControlFps, 999}) {
    EXPECT_EQ(PanelCommand(control, BN_CLICKED), FALSE) << control;
  }
  EXPECT_EQ(ConfigDlgProc(panelWindow, WM_PAINT, 0, 0), FALSE);
  EXPECT_EQ(memcmp(&before, &settings, sizeof settings), 0);
  EXPECT_EQ(memcmp(&viewBefore, &viewState, sizeof viewState), 0);
  EXPECT_EQ(benchmarkState.mode, kBenchmarkIdle);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}

TEST(Panel, GenerateTwiceGivesTheSameTerrain) {
  ResetPanel();
  ASSERT_EQ(PanelCommand(kControlGenerate, BN_CLICKED), TRUE);
  ASSERT_NE(currentTerrain, nullptr);
  EXPECT_EQ(currentTerrain->width, 100);
  EXPECT_EQ(currentTerrain->depth, 100);
  EXPECT_EQ(currentTerrain->extentX, 150.0f);
  EXPECT_EQ(currentTerrain->extentZ, 150.0f);
  EXPECT_EQ(currentTerrain->baseHeight, 8.0f);
  EXPECT_EQ(currentTerrain->initFreq, 4.0f);
  EXPECT_EQ(currentTerrain->passCount, 5);
  EXPECT_EQ(renderStandIn.lastRiver, 0);
  EXPECT_EQ(renderStandIn.lastFlat, 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 2);
  EXPECT_NE(currentTerrain->minHeight, currentTerrain->maxHeight);
  std::vector<float> first(currentTerrain->heights, currentTerrain->heights + 100 * 100);

  PanelCommand(kControlGenerate, BN_CLICKED);
  ASSERT_NE(currentTerrain, nullptr);
  EXPECT_EQ(memcmp(first.data(), currentTerrain->heights, first.size() * sizeof(float)), 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);
  EXPECT_TRUE(recordedBoxes.empty());
}

TEST(Panel, GeneratePassesRiverAndFlatOnlyForOne) {
  ResetPanel();
  TypeInto(kControlSeed, "7");
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  PanelCommand(kControlCreateAs2d, BN_CLICKED);
  PanelCommand(kControlGenerate, BN_CLICKED);
  ASSERT_NE(currentTerrain, nullptr);
  EXPECT_EQ(currentTerrain->seed, 7);
  EXPECT_EQ(renderStandIn.lastRiver, 1);
  EXPECT_EQ(renderStandIn.lastFlat, 1);
  float water = 0.0f;
  for (int i = 0; i < 100 * 100; ++i) water += currentTerrain->water[i];
  EXPECT_GT(water, 0.0f);

  settings.createRiver = 2;
  settings.createAs2d = 2;
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(renderStandIn.lastRiver, 0);
  EXPECT_EQ(renderStandIn.lastFlat, 0);
}

TEST(Panel, RefusedParametersNameTheFieldAndChangeNothing) {
  ResetPanel();
  PanelCommand(kControlGenerate, BN_CLICKED);
  TerrainGrid* const shown = currentTerrain;
  ASSERT_NE(shown, nullptr);
  std::vector<float> heights(shown->heights, shown->heights + 100 * 100);
  const int generations = renderStandIn.generations;
  renderStandIn.framesDrawn = 0;

  const struct {
    int control;
    const char* text;
    const char* field;
  } refusals[] = {
      {kControlPassCount, "5000", "Num. of Passes"},
      {kControlTerrainHeight, "1e39", "Terrain height"},  // not a finite float
      {kControlInitFreq, "99999", "Init. Freq"},
      {kControlPassHeightScale, "1e300", "Pass height scale"},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.field);
    ResetPanel();
    TypeInto(refusal.control, refusal.text);
    const Settings typed = settings;
    EXPECT_EQ(PanelCommand(kControlGenerate, BN_CLICKED), TRUE);
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0].caption, "Koravel");
    EXPECT_NE(recordedBoxes[0].text.find(refusal.field), std::string::npos) << recordedBoxes[0].text;
    EXPECT_EQ(currentTerrain, shown);
    EXPECT_EQ(memcmp(heights.data(), shown->heights, heights.size() * sizeof(float)), 0);
    EXPECT_EQ(memcmp(&typed, &settings, sizeof settings), 0);
    EXPECT_EQ(renderStandIn.generations, generations);
    EXPECT_EQ(renderStandIn.framesDrawn, 0);
  }
}

TEST(Panel, SingleStartsTheBenchmarkWithTheViewLevelled) {
  ResetPanel();
  viewState.yaw = 123.0f;
  viewState.zoom = 3.0f;
  EXPECT_EQ(PanelCommand(kControlSingle, BN_CLICKED), TRUE);
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.zoom, 3.0f);
  EXPECT_EQ(benchmarkState.mode, kBenchmarkSpinning);
  EXPECT_EQ(benchmarkState.accumulatedMs, 0.0f);
  EXPECT_FALSE(IsWindowEnabled(panelWindow));
  ResetView();
}
