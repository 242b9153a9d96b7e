// The "Erosion" dialog: the terrain on view eroded by "Apply", every "Generate" while its box is ticked, refusals.
#include <windows.h>

#include <gtest/gtest.h>

#include <cstring>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "app/commands.h"
#include "panel/erosion_choice.h"
#include "app/erosion_dialog.h"
#include "panel/config_panel.h"
#include "terrain/erosion.h"
#include "terrain/terrain_grid.h"
#include "tests/app/shell_support.h"

namespace {

void OpenErosion() {
  SendMessageA(mainWindow, WM_COMMAND, MAKEWPARAM(kCommandErosion, 0), 0);
  ASSERT_NE(erosionDialog, nullptr);
}

void Click(int control) {
  SendMessageA(erosionDialog, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
               reinterpret_cast<LPARAM>(GetDlgItem(erosionDialog, control)));
}

// Typing into a field: the text, then the notification an edit sends.
void Type(int control, const char* text) {
  SetDlgItemTextA(erosionDialog, control, text);
  SendMessageA(erosionDialog, WM_COMMAND, MAKEWPARAM(control, EN_CHANGE),
               reinterpret_cast<LPARAM>(GetDlgItem(erosionDialog, control)));
}

std::string Text(int control) {
  char text[64] = "";
  GetDlgItemTextA(erosionDialog, control, text, sizeof text);
  return text;
}

std::vector<float> HeightsOnView() {
  return std::vector<float>(currentTerrain->heights, currentTerrain->heights + 100 * 100);
}

// The default terrain on view, the dialog closed and its choices as at start (ResetProgram's part).
void Start() {
  ResetProgram();
  PanelCommand(kControlGenerate, BN_CLICKED);
  ASSERT_TRUE(viewedTerrain.generated);
  recordedBoxes.clear();
}

}  // namespace

// The menu opens the dialog (again: the same one) with the default parameters and the box clear; "Apply"
// shows the terrain on view eroded exactly as the terrain library erodes it, and again the same; the
// exports then remake it eroded.
TEST(ErosionDialog, ApplyErodesTheTerrainOnViewAsGenerated) {
  Start();
  const std::vector<float> generated = HeightsOnView();
  OpenErosion();
  HWND dialog = erosionDialog;
  OpenErosion();
  EXPECT_EQ(erosionDialog, dialog);
  EXPECT_TRUE(IsWindowVisible(dialog));
  EXPECT_EQ(IsDlgButtonChecked(dialog, kControlErodeGenerated), BST_UNCHECKED);
  const std::vector<std::string> texts = {Text(kControlErosionSteps), Text(kControlErodibility),
                                          Text(kControlDeposition), Text(kControlTalusAngle), Text(kControlCreep)};
  EXPECT_EQ(texts, (std::vector<std::string>{"10", "1", "1", "35", "0.2"}));

  Type(kControlErosionSteps, "4");
  framesDrawn = 0;
  Click(IDOK);
  EXPECT_TRUE(recordedBoxes.empty()) << recordedBoxes.front();
  EXPECT_EQ(framesDrawn, 2);
  std::vector<float> expected = generated;
  ErosionSettings fourSteps = DefaultErosionSettings();
  fourSteps.steps = 4;
  ASSERT_EQ(ErodeTerrain(expected.data(), 100, 100, fourSteps, 1, nullptr, nullptr), kFlowDone);
  const std::vector<float> eroded = HeightsOnView();
  EXPECT_EQ(memcmp(eroded.data(), expected.data(), eroded.size() * sizeof(float)), 0);
  EXPECT_NE(memcmp(eroded.data(), generated.data(), eroded.size() * sizeof(float)), 0);
  EXPECT_TRUE(viewedErosion.eroded);
  EXPECT_EQ(viewedErosion.settings.steps, 4);
  Click(IDOK);
  EXPECT_EQ(memcmp(HeightsOnView().data(), expected.data(), eroded.size() * sizeof(float)), 0);
  // The box clear, the next "Generate" is not eroded; "Close" keeps what the dialog held.
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_FALSE(viewedErosion.eroded);
  EXPECT_EQ(memcmp(HeightsOnView().data(), generated.data(), eroded.size() * sizeof(float)), 0);
  Click(IDCANCEL);
  EXPECT_EQ(erosionDialog, nullptr);
  OpenErosion();
  EXPECT_EQ(Text(kControlErosionSteps), "4");
}

// Ticked, every "Generate" erodes, with the dialog open or closed, until the box is cleared.
TEST(ErosionDialog, TheTickedBoxErodesEveryGeneratedTerrain) {
  Start();
  OpenErosion();
  Click(kControlErodeGenerated);
  EXPECT_TRUE(erosionChoice.erodeGenerated);
  Click(IDCANCEL);
  erosionsDone = 0;
  TypeInto(kControlSeed, "5");
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(erosionsDone, 1);
  EXPECT_TRUE(viewedErosion.eroded);
  EXPECT_EQ(viewedTerrain.settings.seed, 5);
  OpenErosion();
  EXPECT_EQ(IsDlgButtonChecked(erosionDialog, kControlErodeGenerated), BST_CHECKED);
  Click(kControlErodeGenerated);
  PanelCommand(kControlGenerate, BN_CLICKED);
  EXPECT_EQ(erosionsDone, 1);
  EXPECT_FALSE(viewedErosion.eroded);
}

// A field no erosion can take gets a box naming it and what it takes, over the dialog for "Apply", over the
// main window for "Generate"; the terrain on view stays as it was.
TEST(ErosionDialog, RefusedFieldsGetABoxNamingThemAndChangeNothing) {
  const struct { int control; const char* text; const char* kept; const char* box; } cases[] = {
      {kControlErosionSteps, "0", "10", "\"Steps\" must be a whole number from 1 to 100."},
      {kControlErosionSteps, "ten", "10", "\"Steps\" must be a whole number from 1 to 100."},
      {kControlErodibility, "-1", "1", "\"Erodibility\" must be a number from 0 to 1000."},
      {kControlDeposition, "x", "1", "\"Deposition\" must be a number from 0 to 100."},
      {kControlTalusAngle, "95", "35", "\"Talus angle\" must be a number of degrees from 1 to 90 (90: no sliding)."},
      {kControlCreep, "1e9", "0.2", "\"Creep\" must be a number from 0 to 100 (square units a step)."},
  };
  Start();
  const std::vector<float> generated = HeightsOnView();
  OpenErosion();
  for (const auto& c : cases) {
    SCOPED_TRACE(c.text);
    recordedBoxes.clear();
    Type(c.control, c.text);
    Click(IDOK);
    ASSERT_EQ(recordedBoxes.size(), 1u);
    EXPECT_EQ(recordedBoxes[0], std::string("Koravel: ") + c.box + " [error]");
    EXPECT_FALSE(viewedErosion.eroded);
    Click(kControlErodeGenerated);
    TypeInto(kControlSeed, "9");
    PanelCommand(kControlGenerate, BN_CLICKED);
    ASSERT_EQ(recordedBoxes.size(), 2u);
    EXPECT_EQ(recordedBoxes[1], std::string("Koravel: ") + c.box + " [error] [modal]");
    EXPECT_EQ(viewedTerrain.settings.seed, 0);
    EXPECT_EQ(memcmp(HeightsOnView().data(), generated.data(), generated.size() * sizeof(float)), 0);
    Click(kControlErodeGenerated);
    Type(c.control, c.kept);
  }
}
