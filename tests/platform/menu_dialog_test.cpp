// The layer's resource scripts, menus, accelerators, top-level dialogs and their keys, the progress bar,
// timers and the save-file dialog, through the Win32 calls and what a user does and sees.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Menu_Window.H>
#include <X11/Xutil.h>
#include <commctrl.h>
#include <windows.h>

#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "resource_script.h"
#include "tests/platform/layer_test_support.h"

namespace {

using Commands = std::vector<std::pair<int, int>>;

TEST(ResourceScript, ReadsMenusAndAcceleratorsAndRefusesMalformedTemplatesNamingTheLine) {
  const std::string script =
      "M MENU\nBEGIN\n POPUP \"&File\"\n BEGIN\n  MENUITEM \"&Open...\\tCtrl+O\", 7\n  MENUITEM SEPARATOR\n"
      "  MENUITEM \"Gone\", 8, GRAYED\n END\n MENUITEM \"&Top\", 9\nEND\n"
      "K ACCELERATORS\nBEGIN\n \"O\", 7, VIRTKEY, CONTROL\n \"^Q\", 8\n 0x70, 9, VIRTKEY, SHIFT, ALT\nEND\n";
  MenuTemplate menu;
  std::string error;
  ASSERT_TRUE(ParseMenuTemplate(script, "m", &menu, &error)) << error;
  ASSERT_EQ(menu.items.size(), 2u);
  const MenuItemTemplate& file = menu.items[0];
  EXPECT_TRUE(file.popup && file.text == "&File");
  ASSERT_EQ(file.items.size(), 3u);
  EXPECT_TRUE(file.items[0].text == "&Open...\tCtrl+O" && file.items[0].id == 7);
  EXPECT_TRUE(file.items[1].separator && file.items[2].grayed);
  EXPECT_EQ(menu.items[1].id, 9);

  std::vector<AcceleratorTemplate> keys;
  ASSERT_TRUE(ParseAcceleratorTable(script, "K", &keys, &error)) << error;
  ASSERT_EQ(keys.size(), 3u);
  EXPECT_TRUE(keys[0].key == 'O' && keys[0].id == 7 && keys[0].virtualKey && keys[0].control && !keys[0].shift);
  EXPECT_TRUE(keys[1].key == 17 && !keys[1].virtualKey) << "\"^Q\" is the control character Ctrl+Q types";
  EXPECT_TRUE(keys[2].key == VK_F1 && keys[2].shift && keys[2].alt && !keys[2].control);

  const std::string dialog = "D DIALOGEX 0, 0, 10, 10\nBEGIN\n CONTROL ", menus = "M MENU\nBEGIN\n",
                    tables = "K ACCELERATORS\nBEGIN\n";
  std::string deepMenu = menus;
  for (int i = 0; i < 100; ++i) deepMenu += "POPUP \"x\" BEGIN\n";
  const struct {
    std::string script;  // read as the dialog "D", the menu "M" or the table "K", as it starts
    const char* message;
  } refused[] = {
      {dialog + "\"abc, 1, \"button\", 0, 0, 0, 1, 1\nEND\n", "line 3: unterminated string"},
      {dialog + "\"\", 1, \"button\", WS_SHINY, 0, 0, 1, 1\nEND\n", "line 3: unknown name 'WS_SHINY'"},
      {dialog + "\"\", 1 \"button\", 0, 0, 0, 1, 1\nEND\n", "line 3: expected ','"},
      {dialog + "\"\", 1, \"button\", 0, 0, 0, -1, 1\nEND\n", "line 3: width -1 is out of range"},
      {dialog + "\"\", 1, \"button\", 0, 0, 0, 1, 1\n", "line 4: expected CONTROL or END"},
      {"D DIALOGEX 0, 0, 10, 10 /* never closed\n", "line 1: unterminated comment"},
      {"D DIALOGEX " + std::string(100000, '-') + "0, 0, 10, 10\n", "line 1: value nested too deeply"},
      {"Do DIALOGEX 0, 0, 10, 10\nBEGIN\nEND\n", "no dialog named \"D\""},
      {menus + " POPUP \"a\"\n MENUITEM \"b\", 1\nEND\n", "line 4: expected BEGIN"},
      {menus + " LTEXT \"a\", 1\nEND\n", "line 3: expected MENUITEM, POPUP or END"},
      {deepMenu, "line 35: menu nested too deeply"},
      {tables + " \"OK\", 1\nEND\n", "line 3: the key \"OK\" is not one character"},
      {tables + " \"o\", 1, VIRTKEY, CTRL\nEND\n", "line 3: unknown accelerator option 'CTRL'"},
      {tables + " \"o\", 1, CONTROL\nEND\n", "line 3: CONTROL, SHIFT and ALT go with VIRTKEY"},
      {tables + " \"^o\", 1, VIRTKEY\nEND\n", "line 3: a \"^\" key cannot be VIRTKEY"},
      {tables + " \"o\", 1\n", "line 4: expected END"},
  };
  for (const auto& c : refused) {
    DialogTemplate dialogTemplate;
    const std::string name(1, c.script[0]);
    const bool read = name == "D"   ? ParseDialogTemplate(c.script, name, &dialogTemplate, &error)
                      : name == "M" ? ParseMenuTemplate(c.script, name, &menu, &error)
                                    : ParseAcceleratorTable(c.script, name, &keys, &error);
    EXPECT_FALSE(read) << c.script.substr(0, 80);
    EXPECT_EQ(error.rfind(c.message, 0), 0u) << "got: " << error << "\nfor: " << c.script.substr(0, 80);
  }
}

// Drains the queue as the program's loop does: the dialog's navigation, then the accelerators.
void PumpLikeTheProgram(HWND dialog, HWND main, HACCEL keys, int milliseconds) {
  const DWORD start = timeGetTime();
  while (static_cast<int>(timeGetTime() - start) < milliseconds) {
    MSG message;
    while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
      if (dialog != nullptr && IsDialogMessageA(dialog, &message)) continue;
      if (keys != nullptr && TranslateAcceleratorA(main, keys, &message)) continue;
      DispatchMessageA(&message);
    }
    MsgWaitForMultipleObjects(0, nullptr, FALSE, 5, QS_ALLINPUT);
  }
}

// A class's menu sits in a bar above the client area, which is the window less the bar; the mouse is
// reported in client coordinates; a chosen item comes as WM_COMMAND, and the program's messages are
// delivered while the menu is pulled down. An accelerator's key becomes the command, whatever has the
// focus, and the focused edit never sees it.
TEST(Menus, MenuItemsAndAcceleratorsSendCommandsAndTheBarStandsAboveTheClientArea) {
  HWND main = CreateRecordingWindow(30, 30, 400, 300, "TestMenu");
  ASSERT_NE(GetMenu(main), nullptr);
  HACCEL keys = LoadAcceleratorsA(nullptr, "TestKeys");
  ASSERT_NE(keys, nullptr);
  EXPECT_EQ(LoadAcceleratorsA(nullptr, "NoSuchKeys"), nullptr);
  recorded.clear();
  ShowWindow(main, SW_SHOW);
  ASSERT_EQ(LoggedOf(WM_SIZE).size(), 1u);
  EXPECT_EQ(LoggedOf(WM_SIZE)[0].lParam, MAKELPARAM(400, 280)) << "the bar's 20 pixels are not client area";
  RECT mainRect, viewRect;
  GetWindowRect(main, &mainRect);
  GetWindowRect(CreateView(main, 0, 0, 50, 50), &viewRect);
  EXPECT_EQ(viewRect.top - mainRect.top, 20) << "children are placed below the bar";
  PumpFor(200);
  recorded.clear();
  ASSERT_TRUE(PointAt(main, 100, 120));
  ASSERT_TRUE(PumpUntil([&] { return !LoggedOf(WM_MOUSEMOVE).empty(); }));
  EXPECT_EQ(LoggedOf(WM_MOUSEMOVE).back().lParam, MAKELPARAM(100, 100));

  // Pull down "File", then, from inside the menu's loop, choose its first item.
  bool deliveredInMenu = false;
  int attempts = 0;
  postedAction = [&] {
    Fl_Window* menu = Fl::first_window();
    while (menu != nullptr && !(dynamic_cast<Fl_Menu_Window*>(menu) != nullptr && menu->shown() && menu->visible())) {
      menu = Fl::next_window(menu);
    }
    if (++attempts == 1) {
      PointAt(main, 15, 10, " click 1");
    } else if (menu != nullptr) {
      deliveredInMenu = true;
      Xdotool("mousemove " + std::to_string(menu->x() + 20) + " " + std::to_string(menu->y() + 10) + " click 1");
      return;
    }
    if (attempts < 200) PostMessageA(main, kRunAction, 0, 0);
  };
  recorded.clear();
  PostMessageA(main, kRunAction, 0, 0);
  ASSERT_TRUE(PumpUntil([&] { return !LoggedOf(WM_COMMAND).empty(); }, 5000));
  postedAction = nullptr;
  EXPECT_TRUE(deliveredInMenu);
  EXPECT_EQ(CommandsTo(main), (Commands{{3001, 0}}));

  HWND edit = CreateWindowExA(0, "edit", "", WS_CHILD | WS_VISIBLE | WS_BORDER, 200, 10, 150, 24, main,
                              reinterpret_cast<HMENU>(7), nullptr, nullptr);
  PumpFor(200);
  ASSERT_TRUE(PointAt(edit, 20, 10, " click 1"));
  PumpFor(100);
  recorded.clear();
  ASSERT_TRUE(Xdotool("type az") && Xdotool("key ctrl+o") && Xdotool("type b"));
  PumpLikeTheProgram(nullptr, main, keys, 500);
  char text[16] = "";
  GetWindowTextA(edit, text, sizeof text);
  EXPECT_STREQ(text, "ab");
  EXPECT_EQ(CommandsTo(main), (Commands{{3003, 1}, {3001, 1}})) << "an accelerator's notification is 1";
  DestroyWindow(main);
}


// A dialog owned by a window stays above it and goes with it; Tab, Return and Escape do what they do
// in a Windows dialog once the loop gives its messages to IsDialogMessageA; its close button is "Cancel".
// Its progress bar takes Windows' messages, keeps its position within its range and shows it.
TEST(Dialogs, OwnedDialogNavigatesWithItsKeysStaysAboveItsOwnerAndGoesWithIt) {
  HWND main = CreateRecordingWindow(60, 60, 320, 240);
  ShowWindow(main, SW_SHOW);
  HWND dialog = CreateDialogParamA(nullptr, "TestDlg", main, RecordingDialogProc, 0);
  ASSERT_NE(dialog, nullptr);
  ShowWindow(dialog, SW_SHOW);
  PumpFor(300);
  EXPECT_EQ(GetParent(dialog), main) << "a top-level dialog's parent is its owner";
  const Window dialogWindow = XWindowTitled("Test dialog"), mainWindow = XWindowTitled("Platform test");
  Window transientFor = 0;
  XGetTransientForHint(TestDisplay(), dialogWindow, &transientFor);
  EXPECT_EQ(transientFor, mainWindow);
  for (Window window : {dialogWindow, mainWindow}) {
    EXPECT_EQ(Output("xprop -notype -id " + std::to_string(window) + " WM_CLASS"),
              "WM_CLASS = \"koravel\", \"koravel\"")
        << "as package/koravel.desktop says";
  }

  HWND bar = GetDlgItem(dialog, 521);
  char text[32] = "";
  GetClassNameA(bar, text, sizeof text);
  EXPECT_STREQ(text, PROGRESS_CLASSA);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 0);
  EXPECT_EQ(SendMessageA(bar, PBM_SETRANGE32, 0, 1000), MAKELONG(0, 100)) << "the previous range";
  EXPECT_EQ(SendMessageA(bar, PBM_SETPOS, 250, 0), 0) << "the previous position";
  EXPECT_TRUE(SendMessageA(bar, PBM_GETPOS, 0, 0) == 250 && SendMessageA(bar, PBM_GETRANGE, TRUE, 0) == 0 &&
              SendMessageA(bar, PBM_GETRANGE, FALSE, 0) == 1000);
  PumpFor(200);
  RECT rect;
  GetWindowRect(bar, &rect);
  const int width = rect.right - rect.left;
  int filled = 0;
  for (unsigned long pixel : ScreenPixels(rect.left, (rect.top + rect.bottom) / 2, width, 1)) {
    filled += pixel == 0x000080 ? 1 : 0;
  }
  EXPECT_NEAR(filled, width / 4, 4) << "a quarter of the bar in the highlight colour";
  SendMessageA(bar, PBM_SETPOS, 5000, 0);
  EXPECT_EQ(SendMessageA(bar, PBM_GETPOS, 0, 0), 1000);

  HWND edit = GetDlgItem(dialog, 501);
  EXPECT_EQ(GetFocus(), edit) << "WM_INITDIALOG returned TRUE: the first tab stop has the focus";
  ASSERT_TRUE(PointAt(edit, 10, 6, " click 1"));
  PumpLikeTheProgram(dialog, main, nullptr, 100);
  const std::tuple<const char*, int, Commands> steps[] = {
      // keys, the control focused after them, commands
      {"type x", 501, {}},
      {"key Tab", 511, {}},  // the radio group's first, none being checked
      {"key Tab", 1, {}},    // the progress bar is no tab stop
      {"key Tab", 2, {}},
      {"key Return", 2, {{IDCANCEL, BN_CLICKED}}},  // a focused push button is clicked
      {"key Tab", 501, {}},                         // round again
      {"key Return", 501, {{IDOK, BN_CLICKED}}},    // elsewhere the default button is
      {"key Escape", 501, {{IDCANCEL, BN_CLICKED}}},
      {"key shift+Tab", 2, {}},
  };
  for (const auto& [keys, focus, commands] : steps) {
    SCOPED_TRACE(keys);
    recorded.clear();
    ASSERT_TRUE(Xdotool(keys));
    PumpLikeTheProgram(dialog, main, nullptr, 200);
    EXPECT_EQ(GetDlgCtrlID(GetFocus()), focus);
    EXPECT_EQ(CommandsTo(dialog), commands);
  }
  GetDlgItemTextA(dialog, 501, text, sizeof text);
  EXPECT_STREQ(text, "x") << "Tab, Return and Escape typed nothing";
  CheckRadioButton(dialog, 511, 512, 512);
  SetFocus(edit);
  Xdotool("key Tab");
  PumpLikeTheProgram(dialog, main, nullptr, 200);
  EXPECT_EQ(GetDlgCtrlID(GetFocus()), 512) << "Tab comes to a radio group at its checked button";

  recorded.clear();
  ASSERT_EQ(std::system((KORAVEL_CLOSE_WINDOW " " + std::to_string(dialogWindow)).c_str()), 0);
  PumpLikeTheProgram(dialog, main, nullptr, 300);
  EXPECT_EQ(LoggedOf(WM_CLOSE).size(), 1u);
  EXPECT_EQ(CommandsTo(dialog), (Commands{{IDCANCEL, BN_CLICKED}})) << "the default for a dialog's WM_CLOSE";
  EXPECT_TRUE(IsWindow(dialog));
  recorded.clear();
  DestroyWindow(main);
  EXPECT_FALSE(IsWindow(dialog));
  std::vector<HWND> destroyed;
  for (const MSG& entry : LoggedOf(WM_DESTROY)) destroyed.push_back(entry.hwnd);
  EXPECT_EQ(destroyed, (std::vector<HWND>{dialog, main})) << "owned windows go first";
}

// A timer posts WM_TIMER while it is set, once however long the program is busy, and nothing once killed
// or its window is gone: then nothing wakes the program.
TEST(Timers, PostWhileSetOnceWhileBusyAndNothingOnceKilled) {
  HWND main = CreateRecordingWindow(10, 10, 200, 100);
  EXPECT_EQ(SetTimer(main, 5, 50, nullptr), 5u);
  EXPECT_EQ(SetTimer(nullptr, 5, 50, nullptr), 0u) << "only timers of a window";
  PumpFor(520);
  const size_t ticks = LoggedOf(WM_TIMER).size();
  EXPECT_TRUE(ticks >= 6 && ticks <= 11) << ticks;
  for (const MSG& entry : LoggedOf(WM_TIMER)) EXPECT_EQ(entry.wParam, 5u);

  std::this_thread::sleep_for(std::chrono::milliseconds(300));  // busy: six periods pass unseen
  Fl::check();
  recorded.clear();
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  EXPECT_EQ(LoggedOf(WM_TIMER).size(), 1u);

  EXPECT_TRUE(KillTimer(main, 5));
  EXPECT_FALSE(KillTimer(main, 5));
  SetTimer(main, 6, 20, nullptr);
  DestroyWindow(main);  // its timers go with it
  PumpFor(50);
  recorded.clear();
  const DWORD start = timeGetTime();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 400, QS_ALLINPUT), static_cast<DWORD>(WAIT_TIMEOUT));
  EXPECT_GE(timeGetTime() - start, 390u) << "nothing woke the wait";
}

// The save-file dialog (FLTK's native chooser) asks for a name: the default extension is added to one typed
// without; meanwhile its owner takes no input and the program's messages are delivered.
TEST(FileDialog, SaveFileNameComesFromTheChooserModalForItsOwner) {
  HWND main = CreateRecordingWindow(10, 10, 300, 200);
  ShowWindow(main, SW_SHOW);
  PumpFor(200);
  char folderTemplate[] = "/tmp/koravel-chooser-XXXXXX";
  const std::string folder = mkdtemp(folderTemplate);
  const std::tuple<std::string, BOOL, std::string> answers[] = {  // keys, answer, path
      {"key ctrl+a; xdotool type " + folder + "/picked; xdotool key Return", TRUE, folder + "/picked.png"},
      {"key Escape", FALSE, ""},
  };
  for (const auto& [keys, expected, expectedPath] : answers) {
    SCOPED_TRACE(keys);
    // Typed into the chooser once it shows, from outside the program.
    const std::string typist = "(for i in $(seq 100); do w=$(xdotool search --name '^Save test$' | head -1); "
                               "[ -n \"$w\" ] && break; sleep 0.1; done; sleep 1; xdotool windowfocus --sync $w; "
                               "xdotool " + keys + ") >/dev/null 2>&1 &";
    ASSERT_EQ(std::system(typist.c_str()), 0);
    bool ownerEnabled = true, delivered = false;
    postedAction = [&] {
      delivered = true;
      ownerEnabled = IsWindowEnabled(main);
    };
    PostMessageA(main, kRunAction, 0, 0);
    char path[512] = "first.png";
    OPENFILENAMEA dialog = OPENFILENAMEA();
    dialog.lStructSize = sizeof dialog;
    dialog.hwndOwner = main;
    dialog.lpstrFilter = "PNG pictures (*.png)\0*.png\0All files (*.*)\0*.*\0";
    dialog.nFilterIndex = 1;
    dialog.lpstrFile = path;
    dialog.nMaxFile = sizeof path;
    dialog.lpstrTitle = "Save test";
    dialog.lpstrDefExt = "png";
    dialog.Flags = OFN_OVERWRITEPROMPT;
    const BOOL chosen = GetSaveFileNameA(&dialog);
    postedAction = nullptr;
    EXPECT_EQ(chosen, expected);
    EXPECT_TRUE(delivered && !ownerEnabled && IsWindowEnabled(main)) << "modal while open, and only then";
    EXPECT_TRUE(!chosen || path == expectedPath) << path;
    PumpFor(300);
  }
  std::system(("rm -rf " + folder).c_str());
  DestroyWindow(main);
}

}  // namespace
