// The panel dialog built from its template: controls, placement, notifications, checks, clicks and typing.
#include <gtest/gtest.h>

#include <cstring>
#include <string>

#include "platform_test_support.h"

namespace {

struct ExpectedControl {
  int id;
  const char* className;
  const char* text;
  int x, y, width, height;  // dialog units
};

// The panel's controls in template order.
const ExpectedControl kPanelControls[] = {
    {-1, "Button", "Benchmarks", 8, 274, 80, 82},
    {1006, "Button", "Single", 15, 286, 66, 13},
    {1012, "Button", "Complete", 15, 302, 66, 13},
    {1013, "Edit", "", 15, 338, 66, 14},
    {1014, "Button", "Results", 15, 318, 66, 13},
    {1007, "Button", "Generate", 14, 220, 66, 13},
    {1015, "Button", "Redraw", 14, 239, 66, 13},
    {1020, "Edit", "", 15, 28, 65, 12},
    {-1, "Static", "Terrain height", 21, 17, 55, 10},
    {-1, "Button", "Config and render", 8, 7, 80, 263},
    {1021, "Button", "Create River", 18, 187, 62, 11},
    {1022, "Edit", "", 15, 57, 65, 12},
    {-1, "Static", "Random Seed", 21, 46, 55, 10},
    {1024, "Edit", "", 15, 87, 65, 12},
    {-1, "Static", "Freq. Scale", 21, 76, 55, 10},
    {1025, "Edit", "", 15, 115, 65, 12},
    {-1, "Static", "Init. Freq", 21, 104, 55, 10},
    {1026, "Edit", "", 15, 172, 65, 12},
    {-1, "Static", "Num. of Passes", 21, 161, 55, 10},
    {1027, "Button", "Solid", 14, 258, 36, 9},
    {1028, "Button", "Wire", 52, 258, 36, 9},
    {1029, "Edit", "", 15, 145, 65, 12},
    {-1, "Static", "Pass height scale", 21, 134, 55, 10},
    {1030, "Button", "Create as 2d", 18, 202, 56, 10},
};

// Dialog units to pixels, rounded like MulDiv.
int Pixels(int units, int base, int divisor) { return (units * base + divisor / 2) / divisor; }

bool controlsExistedAtInit = false;

INT_PTR InitCheckingDialogProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  if (message == WM_INITDIALOG) controlsExistedAtInit = GetDlgItem(dialog, 1030) != nullptr;
  return RecordingDialogProc(dialog, message, wParam, lParam);
}

class Panel : public ::testing::Test {
 protected:
  void SetUp() override {
    PumpFor(10);
    main = CreateRecordingWindow(0, 0, 600, 620);
    ASSERT_NE(main, nullptr);
    ClearLog();
    controlsExistedAtInit = false;
    dialog = CreateDialogParamA(nullptr, "ConfigDlg", main, InitCheckingDialogProc, 77);
    ASSERT_NE(dialog, nullptr);
  }
  void TearDown() override { DestroyWindow(main); }

  void Show() {
    ShowWindow(main, SW_SHOW);
    MoveWindow(dialog, 440, 1, 150, 600, TRUE);
    ShowWindow(dialog, SW_SHOW);
    PumpFor(200);
    ClearLog();
  }

  // The WM_COMMAND notifications the dialog procedure got, as (id, code) pairs.
  std::vector<std::pair<int, int>> Commands() {
    std::vector<std::pair<int, int>> commands;
    for (const Recorded& entry : LoggedOf(WM_COMMAND)) {
      EXPECT_EQ(entry.window, dialog);
      EXPECT_EQ(reinterpret_cast<HWND>(entry.lParam), GetDlgItem(dialog, LOWORD(entry.wParam)));
      commands.emplace_back(LOWORD(entry.wParam), HIWORD(entry.wParam));
    }
    return commands;
  }

  bool Click(int id) {
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    int x = (rect.left + rect.right) / 2;
    int y = (rect.top + rect.bottom) / 2;
    return Xdotool("mousemove " + std::to_string(x) + " " + std::to_string(y) + " click 1");
  }

  bool ClickedNotification(int id) {
    return PumpUntil(
        [&] {
          for (auto command : Commands()) {
            if (command == std::make_pair(id, static_cast<int>(BN_CLICKED))) return true;
          }
          return false;
        },
        2000);
  }

  std::string Text(int id) {
    char text[64];
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
  }

  HWND main = nullptr;
  HWND dialog = nullptr;
};

TEST_F(Panel, TemplateGivesTwentyFourControlsPlacedInDialogUnits) {
  RECT units = {0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(dialog, &units));
  int baseX = units.right;
  int baseY = units.bottom;
  EXPECT_GE(baseX, 5);
  EXPECT_LE(baseX, 8);
  EXPECT_GE(baseY, 11);
  EXPECT_LE(baseY, 16);

  RECT dialogRect;
  GetWindowRect(dialog, &dialogRect);
  EXPECT_EQ(dialogRect.right - dialogRect.left, Pixels(95, baseX, 4));
  EXPECT_EQ(dialogRect.bottom - dialogRect.top, Pixels(363, baseY, 8));
  EXPECT_EQ(GetParent(dialog), main);

  size_t count = 0;
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
    ASSERT_LT(count, std::size(kPanelControls));
    const ExpectedControl& expected = kPanelControls[count++];
    SCOPED_TRACE(expected.text[0] ? expected.text : std::to_string(expected.id));
    char text[64];
    GetClassNameA(control, text, sizeof text);
    EXPECT_STREQ(text, expected.className);
    GetWindowTextA(control, text, sizeof text);
    EXPECT_STREQ(text, expected.text);
    EXPECT_EQ(GetDlgCtrlID(control), expected.id);
    EXPECT_EQ(GetWindowLongA(control, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    RECT rect;
    GetWindowRect(control, &rect);
    EXPECT_EQ(rect.left - dialogRect.left, Pixels(expected.x, baseX, 4));
    EXPECT_EQ(rect.top - dialogRect.top, Pixels(expected.y, baseY, 8));
    EXPECT_EQ(rect.right - rect.left, Pixels(expected.width, baseX, 4));
    EXPECT_EQ(rect.bottom - rect.top, Pixels(expected.height, baseY, 8));
  }
  EXPECT_EQ(count, 24u);
}

TEST_F(Panel, InitDialogComesFirstOnceTheControlsExist) {
  ASSERT_FALSE(Log().empty());
  EXPECT_EQ(Log().front().message, static_cast<UINT>(WM_INITDIALOG));
  EXPECT_EQ(Log().front().window, dialog);
  EXPECT_EQ(Log().front().lParam, 77);
  EXPECT_TRUE(controlsExistedAtInit);
  EXPECT_FALSE(IsWindowVisible(dialog)) << "the template has no WS_VISIBLE";
}

TEST_F(Panel, SettingTextNotifiesEditsLikeWindows) {
  ClearLog();
  ASSERT_TRUE(SetDlgItemTextA(dialog, 1022, "12345"));
  EXPECT_EQ(Commands(), (std::vector<std::pair<int, int>>{{1022, EN_UPDATE}, {1022, EN_CHANGE}}));
  EXPECT_EQ(Text(1022), "12345");
  char small[4];
  EXPECT_EQ(GetDlgItemTextA(dialog, 1022, small, sizeof small), 3u);
  EXPECT_STREQ(small, "123");

  ClearLog();
  ASSERT_TRUE(SetDlgItemTextA(dialog, 1013, "Fps: 200.000000"));  // read-only, still notifies
  EXPECT_EQ(Commands(), (std::vector<std::pair<int, int>>{{1013, EN_UPDATE}, {1013, EN_CHANGE}}));
  EXPECT_EQ(Text(1013), "Fps: 200.000000");

  ClearLog();
  ASSERT_TRUE(SetDlgItemTextA(dialog, 1006, "Single!"));
  EXPECT_TRUE(Commands().empty()) << "buttons do not notify a text change";
  EXPECT_FALSE(SetDlgItemTextA(dialog, 4242, "x"));
}

TEST_F(Panel, CheckCallsSetStateWithoutNotifying) {
  ClearLog();
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1021), static_cast<UINT>(BST_UNCHECKED));
  CheckDlgButton(dialog, 1021, BST_CHECKED);
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1021), static_cast<UINT>(BST_CHECKED));
  CheckRadioButton(dialog, 1027, 1028, 1027);
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1027), static_cast<UINT>(BST_CHECKED));
  CheckRadioButton(dialog, 1027, 1028, 1028);
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1027), static_cast<UINT>(BST_UNCHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1028), static_cast<UINT>(BST_CHECKED));
  EXPECT_TRUE(Commands().empty());
}

TEST_F(Panel, ClicksToggleChecksAndReachTheProcedure) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  Show();
  CheckRadioButton(dialog, 1027, 1028, 1027);

  ASSERT_TRUE(Click(1021));
  ASSERT_TRUE(ClickedNotification(1021));
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1021), static_cast<UINT>(BST_CHECKED)) << "an auto check box toggles itself";

  ClearLog();
  ASSERT_TRUE(Click(1028));
  ASSERT_TRUE(ClickedNotification(1028));
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1028), static_cast<UINT>(BST_CHECKED));
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1027), static_cast<UINT>(BST_UNCHECKED)) << "its group is unchecked";
  ClearLog();
  ASSERT_TRUE(Click(1028));
  ASSERT_TRUE(ClickedNotification(1028));
  EXPECT_EQ(IsDlgButtonChecked(dialog, 1028), static_cast<UINT>(BST_CHECKED)) << "a checked radio stays checked";

  ClearLog();
  ASSERT_TRUE(Click(1007));
  EXPECT_TRUE(ClickedNotification(1007));
}

TEST_F(Panel, TypingNotifiesAndNumberEditsTakeOnlyDigits) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  Show();
  ASSERT_TRUE(Click(1022));
  ASSERT_TRUE(Xdotool("type --delay 20 4x2"));
  EXPECT_TRUE(PumpUntil([&] { return Text(1022) == "42"; }, 2000)) << Text(1022);
  auto commands = Commands();
  ASSERT_EQ(commands.size(), 4u) << "two characters in, each EN_UPDATE then EN_CHANGE";
  EXPECT_EQ(commands[0], std::make_pair(1022, static_cast<int>(EN_UPDATE)));
  EXPECT_EQ(commands[1], std::make_pair(1022, static_cast<int>(EN_CHANGE)));

  ASSERT_TRUE(Click(1020));
  ASSERT_TRUE(Xdotool("type --delay 20 1.5"));
  EXPECT_TRUE(PumpUntil([&] { return Text(1020) == "1.5"; }, 2000)) << Text(1020);

  PumpFor(100);
  ClearLog();
  ASSERT_TRUE(Click(1013));
  ASSERT_TRUE(Xdotool("type --delay 20 99"));
  PumpFor(200);
  EXPECT_EQ(Text(1013), "") << "a read-only edit ignores typing";
  EXPECT_TRUE(Commands().empty());
}

TEST_F(Panel, DisablingTheDialogStopsItsControls) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  Show();
  EXPECT_FALSE(EnableWindow(dialog, FALSE)) << "it was enabled";
  EXPECT_FALSE(IsWindowEnabled(dialog));
  ASSERT_TRUE(Click(1007));
  PumpFor(300);
  EXPECT_TRUE(Commands().empty());

  EXPECT_TRUE(EnableWindow(dialog, TRUE)) << "it was disabled";
  EXPECT_TRUE(IsWindowEnabled(dialog));
  ASSERT_TRUE(Click(1007));
  EXPECT_TRUE(ClickedNotification(1007));
}

TEST(PanelTemplates, BrokenTemplatesAreRefusedWithoutAWindow) {
  HWND main = CreateRecordingWindow(0, 0, 200, 200);
  EXPECT_EQ(CreateDialogParamA(nullptr, "UnknownClass", main, RecordingDialogProc, 0), nullptr);
  EXPECT_EQ(CreateDialogParamA(nullptr, "UnknownStyle", main, RecordingDialogProc, 0), nullptr);
  EXPECT_EQ(CreateDialogParamA(nullptr, "NoSuchDialog", main, RecordingDialogProc, 0), nullptr);
  EXPECT_EQ(CreateDialogParamA(nullptr, "ConfigDlg", nullptr, RecordingDialogProc, 0), nullptr)
      << "a child dialog needs its parent";
  EXPECT_EQ(GetWindow(main, GW_CHILD), nullptr);
  DestroyWindow(main);
}

}  // namespace
