// The configuration panel through its messages: fields, toggles, radios, generation and refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "panel/config_panel.h"
#include "terrain/terrain_grid.h"
#include "tests/app/app_test_support.h"

TEST(Panel, FieldsShowTheSettingsAndStoreWhatIsTyped) {
  ResetProgram();
  EXPECT_EQ(ControlText(kControlFreqScale), "6.000000");
  EXPECT_EQ(ControlText(kControlPassHeightScale), "0.400000");
  EXPECT_EQ(settings.passHeightScale, 0.4f);  // the shown texts came back unchanged
  TypeInto(kControlSeed, "98765432101234567899");  // 19 characters read, wrapped
  EXPECT_EQ(settings.seed, -1338740459);
  TypeInto(kControlPassCount, "+3");
  EXPECT_EQ(settings.passCount, 3);
  TypeInto(kControlFreqScale, "7.9");  // read as a whole number
  EXPECT_EQ(settings.freqScale, 7.0f);
  TypeInto(kControlTerrainHeight, " -2.5e1x");
  EXPECT_EQ(settings.terrainHeight, -25.0f);
  settings.seed = 5;
  EXPECT_EQ(PanelCommand(kControlSeed, 0x0100), TRUE);  // a focus notification reads nothing
  EXPECT_EQ(settings.seed, 5);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
}

TEST(Panel, TogglesRadiosAndButtonsThatDoNothing) {
  ResetProgram();
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  EXPECT_EQ(settings.createRiver, 1);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateRiver), BST_CHECKED);
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  EXPECT_EQ(settings.createRiver, 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
  settings.createAs2d = 2;  // anything but 1 counts as off
  PanelCommand(kControlCreateAs2d, BN_CLICKED);
  EXPECT_EQ(settings.createAs2d, 1);
  PanelCommand(kControlWire, BN_CLICKED);
  EXPECT_EQ(settings.renderMode, kRenderModeWire);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_UNCHECKED);
  EXPECT_EQ(renderStandIn.framesDrawn, 2);

  const Settings before = settings;
  for (int control : {kControlComplete, kControlResults, kControlFps}) {
    EXPECT_EQ(PanelCommand(control, BN_CLICKED), FALSE);
  }
  EXPECT_EQ(memcmp(&before, &settings, sizeof settings), 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 2);
}

TEST(Panel, GenerateTwiceGivesTheSameTerrain) {
  ResetProgram();
  PanelCommand(kControlCreateRiver, BN_CLICKED);
  ASSERT_EQ(PanelCommand(kControlGenerate, BN_CLICKED), TRUE);
  ASSERT_NE(currentTerrain, nullptr);
  EXPECT_EQ(currentTerrain->width, 100);
  EXPECT_EQ(currentTerrain->extentZ, 150.0f);
  EXPECT_EQ(renderStandIn.lastRiver, 1);
  EXPECT_EQ(renderStandIn.lastFlat, 0);
  const std::vector<float> first(currentTerrain->heights, currentTerrain->heights + 100 * 100);
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(memcmp(first.data(), currentTerrain->heights, first.size() * sizeof(float)), 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);
}

TEST(Panel, RefusedParametersNameTheFieldAndChangeNothing) {
  ResetProgram();
  PanelCommand(kControlGenerate, BN_CLICKED);
  TerrainGrid* const shown = currentTerrain;
  const struct {
    int control;
    const char* text;
    const char* field;
  } refusals[] = {{kControlPassCount, "5000", "Num. of Passes"}, {kControlTerrainHeight, "1e39", "Terrain height"}};
  for (const auto& refusal : refusals) {
    ResetProgram();
    TypeInto(refusal.control, refusal.text);
    PanelCommand(kControlGenerate, BN_CLICKED);
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0].caption, "Koravel");
    EXPECT_NE(recordedBoxes[0].text.find(refusal.field), std::string::npos) << recordedBoxes[0].text;
    EXPECT_EQ(currentTerrain, shown);
    EXPECT_EQ(renderStandIn.framesDrawn, 0);
  }
}
