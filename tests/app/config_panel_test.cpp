// The configuration panel through its messages: parse rules, toggles, radios, generation and refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <vector>

#include "app/app_state.h"
#include "panel/config_panel.h"
#include "terrain/terrain_grid.h"
#include "tests/app/app_test_support.h"

TEST(Panel, ShowsTheSettingsAndReadsTheirTextsBackUnchanged) {
  ResetProgram();
  EXPECT_EQ(ControlText(kControlTerrainHeight), "8.000000");
  EXPECT_EQ(ControlText(kControlFreqScale), "6.000000");
  EXPECT_EQ(ControlText(kControlPassHeightScale), "0.400000");
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlSolid), BST_CHECKED);
  uint32_t bits;
  memcpy(&bits, &settings.passHeightScale, sizeof bits);
  EXPECT_EQ(bits, 0x3ECCCCCDu);
  EXPECT_EQ(settings.freqScale, 6.0f);
}

TEST(Panel, EditsFollowTheParseRules) {
  ResetProgram();
  const struct {
    int control;
    const char* text;
    int32_t* integer;
    float* real;
    double expected;
  } cases[] = {
      {kControlSeed, "", &settings.seed, nullptr, 0},
      {kControlSeed, "  -17abc", &settings.seed, nullptr, -17},
      {kControlSeed, "12345678901", &settings.seed, nullptr, -539222987},           // wraps
      {kControlSeed, "98765432101234567899", &settings.seed, nullptr, -1338740459},  // 19 read
      {kControlPassCount, "+3", &settings.passCount, nullptr, 3},
      {kControlFreqScale, "7.9", nullptr, &settings.freqScale, 7.0},  // read as a whole number
      {kControlTerrainHeight, " -2.5e1x", nullptr, &settings.terrainHeight, -25.0},
      {kControlPassHeightScale, "abc", nullptr, &settings.passHeightScale, 0.0},
  };
  for (const auto& c : cases) {
    TypeInto(c.control, c.text);
    const double stored = c.integer ? *c.integer : static_cast<double>(*c.real);
    EXPECT_EQ(stored, c.real ? static_cast<float>(c.expected) : c.expected) << c.text;
  }
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
  EXPECT_EQ(PanelCommand(kControlCreateAs2d, BN_CLICKED), TRUE);
  EXPECT_EQ(settings.createAs2d, 1);
  EXPECT_EQ(IsDlgButtonChecked(panelWindow, kControlCreateAs2d), BST_CHECKED);
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
  EXPECT_EQ(currentTerrain->baseHeight, 8.0f);
  EXPECT_EQ(renderStandIn.lastRiver, 1);
  EXPECT_EQ(renderStandIn.lastFlat, 0);
  const std::vector<float> first(currentTerrain->heights, currentTerrain->heights + 100 * 100);
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(memcmp(first.data(), currentTerrain->heights, first.size() * sizeof(float)), 0);
  EXPECT_EQ(renderStandIn.framesDrawn, 4);
  EXPECT_TRUE(recordedBoxes.empty());
}

TEST(Panel, RefusedParametersNameTheFieldAndChangeNothing) {
  ResetProgram();
  PanelCommand(kControlGenerate, BN_CLICKED);
  TerrainGrid* const shown = currentTerrain;
  const struct {
    int control;
    const char* text;
    const char* field;
  } refusals[] = {
      {kControlPassCount, "5000", "Num. of Passes"},
      {kControlTerrainHeight, "1e39", "Terrain height"},  // not a finite float
      {kControlInitFreq, "99999", "Init. Freq"},
  };
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
