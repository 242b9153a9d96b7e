// The Linux layer as the program uses it: windows, the queue, mouse, keys, OpenGL, message boxes and the
// panel dialog; checked through the Win32 calls and the X events and pixels a user sees.
#include <gtest/gtest.h>

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <GL/gl.h>
#include <X11/Xutil.h>
#include <windows.h>

#include <array>
#include <chrono>
#include <cstdlib>
#include <initializer_list>
#include <string>
#include <thread>
#include <tuple>
#include <utility>
#include <vector>

#include "tests/platform/layer_test_support.h"

namespace {

using Size = std::pair<WPARAM, LPARAM>;  // a WM_SIZE's type and client size

std::vector<Size> SizesSent() {
  std::vector<Size> sizes;
  for (const MSG& entry : LoggedOf(WM_SIZE)) sizes.emplace_back(entry.wParam, entry.lParam);
  return sizes;
}

LPARAM ClientSize(HWND window) {
  RECT client;
  GetClientRect(window, &client);
  return MAKELPARAM(client.right, client.bottom);
}

// WM_SIZE comes at once on the first show and on every resize. A window manager iconifies a window by
// setting its WM_STATE to IconicState and unmapping it; it unmaps windows of desktops it does not show and
// leaves them in NormalState: only the first minimises. The close button sends WM_CLOSE.
TEST(Windows, SizeIsSentOnShowResizeAndIconifyAndTheCloseButtonCloses) {
  HWND main = CreateRecordingWindow(40, 40, 640, 480);
  HWND view = CreateView(main, 0, 0, 0, 0);
  const Size shown{SIZE_RESTORED, MAKELPARAM(640, 480)}, moved{SIZE_RESTORED, MAKELPARAM(500, 300)};
  EXPECT_EQ(SizesSent(), std::vector<Size>{}) << "none before the window is shown";
  EXPECT_FALSE(ShowWindow(main, SW_SHOWDEFAULT)) << "it was hidden";
  EXPECT_EQ(SizesSent(), std::vector<Size>{shown}) << "sent inside ShowWindow";
  EXPECT_TRUE(ShowWindow(main, SW_SHOW)) << "it was visible";
  MoveWindow(main, 40, 40, 500, 300, TRUE);
  MoveWindow(main, 60, 60, 500, 300, TRUE);
  EXPECT_EQ(SizesSent(), (std::vector<Size>{shown, moved})) << "neither showing again nor moving sends one";
  EXPECT_TRUE(MoveWindow(view, 1, 1, -153, -2, TRUE)) << "a narrow window's layout gives negative sizes";
  EXPECT_EQ(ClientSize(view), 0);
  PumpFor(200);
  const std::string id = std::to_string(XWindowTitled("Platform test"));
  ASSERT_TRUE(Xdotool("windowsize " + id + " 400 300")) << "a user's resize, from the X server";
  const Size resized{SIZE_RESTORED, MAKELPARAM(400, 300)}, minimised{SIZE_MINIMIZED, 0};
  ASSERT_TRUE(PumpUntil([&] { return SizesSent().size() == 3; }));
  EXPECT_EQ(SizesSent().back(), resized);

  auto run = [&](const std::string& command) { return std::system((command + " " + id).c_str()) == 0; };
  auto setState = [&](int state) {
    return run("xprop -f WM_STATE 32c -set WM_STATE " + std::to_string(state) + " -id");
  };
  recorded.clear();
  ASSERT_TRUE(setState(NormalState) && run("xdotool windowunmap --sync"));
  PumpFor(200);
  ASSERT_TRUE(run("xdotool windowmap --sync"));
  PumpFor(200);
  EXPECT_EQ(SizesSent(), std::vector<Size>{}) << "unmapped and mapped again in NormalState: nothing";
  EXPECT_TRUE(IsWindowVisible(main));
  // Iconified with the state set first, restored with the map first: the order differs among window managers.
  ASSERT_TRUE(setState(IconicState) && run("xdotool windowunmap --sync"));
  ASSERT_TRUE(PumpUntil([&] { return SizesSent().size() == 1; }));
  EXPECT_EQ(SizesSent(), std::vector<Size>{minimised});
  EXPECT_EQ(ClientSize(main), 0);
  ASSERT_TRUE(run("xdotool windowmap --sync") && setState(NormalState));
  ASSERT_TRUE(PumpUntil([&] { return SizesSent().size() == 2; }));
  EXPECT_EQ(SizesSent().back(), resized);
  ASSERT_TRUE(run("xdotool windowunmap --sync") && setState(IconicState));
  ASSERT_TRUE(PumpUntil([&] { return SizesSent().size() == 3; })) << "the state set after the unmap";
  EXPECT_EQ(SizesSent().back(), minimised);
  PumpFor(100);
  EXPECT_EQ(SizesSent().size(), 3u) << "one message for one iconify";

  // close-window sends what a window manager sends when the close button is pressed.
  ASSERT_TRUE(run(KORAVEL_CLOSE_WINDOW));
  ASSERT_TRUE(PumpUntil([] { return !LoggedOf(WM_DESTROY).empty(); }));
  EXPECT_EQ(LoggedOf(WM_CLOSE).size(), 1u);
  EXPECT_FALSE(IsWindow(main)) << "the default procedure destroys the window";
}

// Posts keep their order and WM_QUIT comes last; another thread's post wakes the wait at once and a post to
// a window destroyed since is dropped.
TEST(Windows, QueueKeepsOrderQuitComesLastAndPostsFromOtherThreadsWakeTheWait) {
  HWND gone = CreateRecordingWindow(10, 10, 200, 100);
  HWND main = CreateRecordingWindow(10, 10, 300, 200);
  recorded.clear();
  ASSERT_TRUE(PostMessageA(main, WM_USER + 1, 11, 12));
  PostQuitMessage(3);
  ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0) && PostMessageA(main, WM_USER + 3, 0, 0));
  EXPECT_TRUE(recorded.empty()) << "posting calls no procedure";
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 1000, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
  MSG message;
  std::vector<UINT> order;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    order.push_back(message.message);
    DispatchMessageA(&message);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, static_cast<UINT>(WM_QUIT)}));
  EXPECT_EQ(message.wParam, 3u) << "WM_QUIT carries the exit code";
  ASSERT_EQ(recorded.size(), 2u) << "only the window's own messages reach its procedure";
  EXPECT_EQ(recorded[0].lParam, 12);

  std::thread poster([&] {
    std::this_thread::sleep_for(std::chrono::milliseconds(200));
    PostMessageA(main, WM_APP + 1, 1, 0);
    PostMessageA(gone, WM_APP + 2, 0, 0);
    PostMessageA(main, WM_APP + 1, 2, 0);
  });
  DestroyWindow(gone);
  const DWORD start = timeGetTime();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, 5000, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_LT(timeGetTime() - start, 1000u);
  poster.join();
  recorded.clear();
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) DispatchMessageA(&message);
  ASSERT_EQ(recorded.size(), 2u) << "none for the window that is gone";
  EXPECT_TRUE(recorded[0].message == WM_APP + 1 && recorded[0].wParam == 1 && recorded[1].wParam == 2);
  DestroyWindow(main);
}

TEST(Windows, DragsOverTheViewReachTheMainWindowInItsClientCoordinates) {
  HWND main = CreateRecordingWindow(20, 30, 600, 620);
  CreateView(main, 1, 1, 400, 300);
  ShowWindow(main, SW_SHOW);
  PumpFor(200);
  using Mouse = std::tuple<UINT, WPARAM, LPARAM>;  // message, keys, position
  auto mouseMessages = [&] {
    std::vector<Mouse> found;
    for (const MSG& entry : recorded) {
      if (entry.message < WM_MOUSEMOVE || entry.message > WM_RBUTTONUP) continue;
      EXPECT_EQ(entry.hwnd, main) << "the view leaves mouse messages to its parent";
      found.emplace_back(entry.message, entry.wParam, entry.lParam);
    }
    return found;
  };
  using Drag = std::tuple<int, UINT, UINT, WPARAM>;  // button, down, up, held
  for (auto [button, down, up, held] :
       {Drag{1, WM_LBUTTONDOWN, WM_LBUTTONUP, MK_LBUTTON}, Drag{3, WM_RBUTTONDOWN, WM_RBUTTONUP, MK_RBUTTON}}) {
    SCOPED_TRACE(button);
    Xdotool("mousemove 1000 1000");
    PumpFor(50);
    recorded.clear();
    const Mouse pressed{down, held, MAKELPARAM(50, 60)}, dragged{WM_MOUSEMOVE, held, MAKELPARAM(80, 90)};
    ASSERT_TRUE(PointAt(main, 50, 60, " mousedown " + std::to_string(button)));
    ASSERT_TRUE(PumpUntil([&] { return mouseMessages().size() >= 2; }));
    ASSERT_TRUE(PointAt(main, 80, 90));
    ASSERT_TRUE(PumpUntil([&] { return mouseMessages().back() == dragged; }));
    ASSERT_TRUE(Xdotool("mouseup " + std::to_string(button)));
    const Mouse released{up, 0, MAKELPARAM(80, 90)};
    ASSERT_TRUE(PumpUntil([&] { return mouseMessages().back() == released; }));
    EXPECT_EQ(mouseMessages()[0], (Mouse{WM_MOUSEMOVE, 0, MAKELPARAM(50, 60)}));
    EXPECT_EQ(mouseMessages()[1], pressed);
  }
  DestroyWindow(main);
}

// The class's brush fills the client area; the view's WS_BORDER frames the picture of its context, which
// is made before the windows are shown, as the program makes it, and has a depth buffer.
TEST(Windows, ClassBrushFillsTheBackgroundAndTheViewsBorderFramesItsPicture) {
  HWND main = CreateRecordingWindow(30, 40, 300, 200, nullptr,
                                    reinterpret_cast<HBRUSH>(static_cast<UINT_PTR>(COLOR_WINDOW + 1)));
  HWND view = CreateView(main, 1, 1, 147, 98);  // 1 pixel in from the left and the top, as the program's
  EXPECT_EQ(ClientSize(view), MAKELPARAM(145, 96)) << "the border takes a pixel on each side";
  HDC dc = GetDC(view);
  PIXELFORMATDESCRIPTOR descriptor = PIXELFORMATDESCRIPTOR();
  descriptor.nSize = sizeof descriptor;
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.iPixelType = PFD_TYPE_RGBA;
  descriptor.cColorBits = descriptor.cDepthBits = 16;
  ASSERT_TRUE(SetPixelFormat(dc, ChoosePixelFormat(dc, &descriptor), &descriptor));
  HGLRC context = wglCreateContext(dc);
  ASSERT_TRUE(context != nullptr && wglMakeCurrent(dc, context));
  ShowWindow(main, SW_SHOW);
  PumpFor(200);
  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 16);
  glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  EXPECT_TRUE(SwapBuffers(dc));
  glFinish();
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));
  PumpFor(100);
  constexpr unsigned long kWhite = 0xFFFFFF, kBlack = 0x000000, kRed = 0xFF0000;
  const std::tuple<int, int, unsigned long, const char*> expected[] = {
      {0, 0, kWhite, "the margin above and left of the view"}, {200, 150, kWhite, "the client area beside the view"},
      {148, 50, kWhite, "just right of the view"},             {1, 1, kBlack, "the view's frame, top left"},
      {147, 98, kBlack, "the view's frame, bottom right"},     {70, 98, kBlack, "the view's frame, bottom"},
      {2, 2, kRed, "the picture's first pixel"},               {146, 97, kRed, "the picture's last pixel"},
  };
  for (auto [x, y, colour, where] : expected)
    EXPECT_EQ(PixelOf(main, x, y), colour) << where << " at " << x << ", " << y;
  DestroyWindow(main);
  EXPECT_TRUE(wglDeleteContext(context));
}

using Place = std::array<LONG, 4>;  // left, top, width, height

// The panel's controls in template order: id, class, text and place in dialog units.
const std::tuple<int, const char*, const char*, Place> kPanelControls[] = {
    {-1, "Button", "Benchmarks", {8, 274, 80, 82}},         {1006, "Button", "Single", {15, 286, 66, 13}},
    {1012, "Button", "Complete", {15, 302, 66, 13}},        {1013, "Edit", "", {15, 338, 66, 14}},
    {1014, "Button", "Results", {15, 318, 66, 13}},         {1007, "Button", "Generate", {14, 220, 66, 13}},
    {1015, "Button", "Redraw", {14, 239, 66, 13}},          {1020, "Edit", "", {15, 28, 65, 12}},
    {-1, "Static", "Terrain height", {21, 17, 55, 10}},     {-1, "Button", "Config and render", {8, 7, 80, 263}},
    {1021, "Button", "Create River", {18, 187, 62, 11}},    {1022, "Edit", "", {15, 57, 65, 12}},
    {-1, "Static", "Random Seed", {21, 46, 55, 10}},        {1024, "Edit", "", {15, 87, 65, 12}},
    {-1, "Static", "Freq. Scale", {21, 76, 55, 10}},        {1025, "Edit", "", {15, 115, 65, 12}},
    {-1, "Static", "Init. Freq", {21, 104, 55, 10}},        {1026, "Edit", "", {15, 172, 65, 12}},
    {-1, "Static", "Num. of Passes", {21, 161, 55, 10}},    {1027, "Button", "Solid", {14, 258, 36, 9}},
    {1028, "Button", "Wire", {52, 258, 36, 9}},             {1029, "Edit", "", {15, 145, 65, 12}},
    {-1, "Static", "Pass height scale", {21, 134, 55, 10}}, {1030, "Button", "Create as 2d", {18, 202, 56, 10}},
};

using Notifications = std::vector<std::pair<int, int>>;  // (control id, notification code)

// The panel (ConfigDlg) as a child of a shown main window.
class Panel : public ::testing::Test {
 protected:
  void SetUp() override {
    main = CreateRecordingWindow(0, 0, 600, 620);
    recorded.clear();
    controlsExistedAtInit = false;
    dialog = CreateDialogParamA(nullptr, "ConfigDlg", main, RecordingDialogProc, 77);
    ASSERT_NE(dialog, nullptr);
    ShowWindow(main, SW_SHOW);
    ShowWindow(dialog, SW_SHOW);
    PumpFor(200);
  }
  void TearDown() override { DestroyWindow(main); }

  // xdotool's words to click the middle of a control with a mouse button (1 left, 2 middle, 3 right).
  std::string ClickOn(int id, int button, const std::string& options = "") {
    RECT rect;
    GetWindowRect(GetDlgItem(dialog, id), &rect);
    return "mousemove " + std::to_string((rect.left + rect.right) / 2) + " " +
           std::to_string((rect.top + rect.bottom) / 2) + " click " + options + std::to_string(button);
  }
  bool Press(int id, int button) { return Xdotool(ClickOn(id, button)); }
  // A left click; true once its BN_CLICKED came.
  bool Click(int id, int timeoutMs = 2000) {
    recorded.clear();
    Press(id, 1);
    return PumpUntil([&] { return CommandsTo(dialog) == Notifications{{id, BN_CLICKED}}; }, timeoutMs);
  }
  bool Checked(int id) { return IsDlgButtonChecked(dialog, id) == BST_CHECKED; }
  std::string Text(int id) {
    char text[64] = "";
    GetDlgItemTextA(dialog, id, text, sizeof text);
    return text;
  }

  HWND main = nullptr;
  HWND dialog = nullptr;
};

// The template's controls, in pixels of the dialog's font; setting a control's text notifies an edit
// (a read-only one too) but not a button.
TEST_F(Panel, TemplateGivesTheTwentyFourControlsInDialogUnitsAndTheirTexts) {
  ASSERT_FALSE(recorded.empty());
  EXPECT_EQ(recorded.front().message, static_cast<UINT>(WM_INITDIALOG)) << "the first message";
  EXPECT_EQ(recorded.front().lParam, 77);
  EXPECT_TRUE(controlsExistedAtInit) << "the program fills the controls in WM_INITDIALOG";
  RECT base = {0, 0, 4, 8};
  ASSERT_TRUE(MapDialogRect(dialog, &base));
  const int baseX = base.right, baseY = base.bottom;
  EXPECT_TRUE(baseX >= 5 && baseX <= 8 && baseY >= 11 && baseY <= 16) << baseX << " x " << baseY;
  auto pixels = [&](const Place& p) {  // rounded like MulDiv
    return Place{(p[0] * baseX + 2) / 4, (p[1] * baseY + 4) / 8, (p[2] * baseX + 2) / 4, (p[3] * baseY + 4) / 8};
  };
  RECT dialogRect;
  GetWindowRect(dialog, &dialogRect);
  auto place = [&](HWND window) {
    RECT r;
    GetWindowRect(window, &r);
    return Place{r.left - dialogRect.left, r.top - dialogRect.top, r.right - r.left, r.bottom - r.top};
  };
  EXPECT_EQ(place(dialog), pixels({0, 0, 95, 363}));
  size_t count = 0;
  char text[64];
  for (HWND control = GetWindow(dialog, GW_CHILD); control != nullptr; control = GetWindow(control, GW_HWNDNEXT)) {
    ASSERT_LT(count, std::size(kPanelControls));
    const auto& [id, className, label, units] = kPanelControls[count++];
    SCOPED_TRACE(label[0] ? label : std::to_string(id));
    GetClassNameA(control, text, sizeof text);
    EXPECT_STREQ(text, className);
    GetWindowTextA(control, text, sizeof text);
    EXPECT_STREQ(text, label);
    EXPECT_EQ(GetDlgCtrlID(control), id);
    EXPECT_EQ(GetWindowLongA(control, GWL_STYLE) & (WS_CHILD | WS_VISIBLE), WS_CHILD | WS_VISIBLE);
    EXPECT_EQ(place(control), pixels(units));
  }
  EXPECT_EQ(count, 24u);

  for (auto [id, newText, edit] : {std::tuple{1022, "12345", true}, std::tuple{1013, "Fps: 200.000000", true},
                                   std::tuple{1006, "Single!", false}}) {
    recorded.clear();
    EXPECT_TRUE(SetDlgItemTextA(dialog, id, newText));
    EXPECT_EQ(CommandsTo(dialog, true), (edit ? Notifications{{id, EN_UPDATE}, {id, EN_CHANGE}} : Notifications{}));
    EXPECT_EQ(GetDlgItemTextA(dialog, id, text, 4), 3u) << "cut to fit the buffer";
    EXPECT_EQ(std::string(newText, 3), text);
  }
}

// Auto check boxes toggle and auto radio buttons clear their group, on a left click only; setting a check
// notifies nothing. The middle button pastes no X selection into an edit.
TEST_F(Panel, OnlyTheLeftButtonClicksAndTheMiddleButtonPastesNothing) {
  recorded.clear();
  CheckDlgButton(dialog, 1021, BST_CHECKED);
  CheckRadioButton(dialog, 1027, 1028, 1027);
  CheckRadioButton(dialog, 1027, 1028, 1028);
  EXPECT_TRUE(Checked(1021) && Checked(1028) && !Checked(1027));
  EXPECT_EQ(CommandsTo(dialog), Notifications{});
  ASSERT_TRUE(Click(1021));
  EXPECT_FALSE(Checked(1021)) << "an auto check box toggles itself";
  ASSERT_TRUE(Click(1027));
  EXPECT_TRUE(Checked(1027) && !Checked(1028));
  ASSERT_TRUE(Click(1027));
  EXPECT_TRUE(Checked(1027)) << "a checked radio button stays checked";

  recorded.clear();
  for (auto [id, button] :
       std::initializer_list<std::pair<int, int>>{{1007, 3}, {1021, 3}, {1021, 2}, {1028, 2}, {1028, 3}}) {
    ASSERT_TRUE(Press(id, button));
  }
  PumpFor(300);
  EXPECT_EQ(CommandsTo(dialog), Notifications{});
  EXPECT_TRUE(!Checked(1021) && Checked(1027) && !Checked(1028));

  // Text selected in one edit is X's primary selection, which the middle button pastes in FLTK.
  SetDlgItemTextA(dialog, 1025, "4242");
  SetDlgItemTextA(dialog, 1022, "1");
  ASSERT_TRUE(Xdotool(ClickOn(1025, 1, "--repeat 2 ")));
  PumpFor(200);
  recorded.clear();
  ASSERT_TRUE(Press(1022, 2));
  PumpFor(300);
  EXPECT_EQ(Text(1022), "1");
  EXPECT_EQ(CommandsTo(dialog, true), Notifications{});
}

// The right button opens the edit menu; its commands change the text as typing does, with the same
// notifications, and a read-only edit offers no Paste.
TEST_F(Panel, RightButtonOpensTheEditMenu) {
  SetDlgItemTextA(dialog, 1022, "1234");
  SetDlgItemTextA(dialog, 1025, "");
  SetDlgItemTextA(dialog, 1013, "Fps: 1");
  recorded.clear();
  // The menu takes the keys while it is open; they go with the click, since the pump waits in the menu.
  auto choose = [&](int id, const char* keys) {
    const bool sent = Xdotool(ClickOn(id, 3) + " sleep 0.3 key " + keys);
    PumpFor(600);
    return sent;
  };
  ASSERT_TRUE(choose(1022, "a") && choose(1022, "c") && choose(1025, "p") && choose(1013, "p Escape"));  // no Paste: Escape closes it
  EXPECT_EQ(Text(1025), "1234");
  EXPECT_EQ(Text(1022), "1234");
  EXPECT_EQ(Text(1013), "Fps: 1");
  EXPECT_EQ(CommandsTo(dialog, true), (Notifications{{1025, EN_UPDATE}, {1025, EN_CHANGE}}));
}

// The program has no dialog-navigation step: Tab and the arrows move nothing, and Tab is no character.
// Windows' edit control selects with Shift and the arrows, Home and End; Ctrl+A is not its key.
TEST_F(Panel, KeysGoOnlyToTheFocusedControl) {
  SetDlgItemTextA(dialog, 1022, "0");
  SetDlgItemTextA(dialog, 1024, "6.000000");
  ASSERT_TRUE(Press(1022, 1));
  PumpFor(100);
  ASSERT_TRUE(Xdotool("key Home shift+End type 5") && Xdotool("key Tab type 7") && Xdotool("key ctrl+a type 1"));
  PumpUntil([&] { return Text(1022) == "571"; }, 1000);
  EXPECT_EQ(Text(1022), "571");
  EXPECT_EQ(Text(1024), "6.000000");

  CheckRadioButton(dialog, 1027, 1028, 1027);
  ASSERT_TRUE(Click(1027));
  recorded.clear();
  ASSERT_TRUE(Xdotool("key Right Down space"));
  PumpFor(300);
  EXPECT_EQ(CommandsTo(dialog), (Notifications{{1027, BN_CLICKED}})) << "space clicks the focused button";
  EXPECT_TRUE(Checked(1027) && !Checked(1028));
}

TEST_F(Panel, DisabledDialogKeepsItsLookAndIgnoresInput) {
  RECT panel;
  GetWindowRect(dialog, &panel);
  auto look = [&] { return ScreenPixels(panel.left, panel.top, panel.right - panel.left, panel.bottom - panel.top); };
  const std::vector<unsigned long> enabledLook = look();
  EXPECT_FALSE(EnableWindow(dialog, FALSE)) << "it was enabled";
  EXPECT_FALSE(IsWindowEnabled(dialog));
  EXPECT_TRUE(IsWindowEnabled(GetDlgItem(dialog, 1007))) << "its controls keep their own state";
  PumpFor(200);
  EXPECT_TRUE(look() == enabledLook) << "nothing is greyed";
  EXPECT_FALSE(Click(1007, 300));
  EXPECT_TRUE(EnableWindow(dialog, TRUE)) << "it was disabled";

  // Keys typed into an edit that had the focus when the panel was disabled go nowhere.
  SetDlgItemTextA(dialog, 1022, "1");
  ASSERT_TRUE(Press(1022, 1));
  PumpFor(100);
  EnableWindow(dialog, FALSE);
  ASSERT_TRUE(Xdotool("type 23"));
  PumpFor(200);
  EXPECT_EQ(Text(1022), "1");
  EnableWindow(dialog, TRUE);
  EXPECT_TRUE(Click(1007));

  // "Single" disables the panel; a click that came in with it is lost and ticks nothing.
  recorded.clear();
  ASSERT_TRUE(Xdotool(ClickOn(1006, 1) + " " + ClickOn(1021, 1)));
  PumpFor(300);
  EXPECT_EQ(CommandsTo(dialog), (Notifications{{1006, BN_CLICKED}}));
  EXPECT_FALSE(Checked(1021));
}

// A box shows its caption, the icon of its style and one "OK" button. A box with an owner is modal for the
// owner's top-level window and stays above it; one without leaves every window working. The box's loop
// delivers the program's queued messages, as Windows' does.
TEST_F(Panel, MessageBoxShowsItsStyleAndIsModalForItsOwner) {
  const Window mainWindow = XWindowTitled("Platform test");
  ASSERT_NE(mainWindow, 0u);
  const std::tuple<UINT, bool, unsigned long> boxes[] = {  // type, owned, the icon's colour (0: no icon)
      {MB_OK, true, 0},                  {MB_ICONERROR, true, 0xFF0000},        {MB_ICONWARNING, true, 0xFFFF00},
      {MB_ICONQUESTION, true, 0x0000FF}, {MB_ICONINFORMATION, true, 0x0000FF}, {MB_OK | MB_ICONERROR, false, 0xFF0000},
  };
  for (auto [type, owned, iconColour] : boxes) {
    const std::string caption = "Box " + std::to_string(type) + (owned ? " owned" : "");
    SCOPED_TRACE(caption);
    std::vector<std::string> buttons;
    size_t iconPixels = 0;
    bool ownerEnabled = true;
    Window boxWindow = 0, transientFor = 0;
    const DWORD opened = timeGetTime();
    postedAction = [&, colour = iconColour] {
      if (timeGetTime() - opened < 300) {  // let the box's loop draw it first
        PostMessageA(main, kRunAction, 0, 0);
        return;
      }
      boxWindow = XWindowTitled(caption);
      XGetTransientForHint(TestDisplay(), boxWindow, &transientFor);
      for (Fl_Window* window = Fl::first_window(); window != nullptr; window = Fl::next_window(window)) {
        if (window->label() == nullptr || caption != window->label()) continue;
        for (int n = 0; n < window->children(); ++n) {
          if (Fl_Button* button = dynamic_cast<Fl_Button*>(window->child(n))) buttons.push_back(button->label());
        }
        for (unsigned long pixel : ScreenPixels(window->x(), window->y(), window->w(), window->h())) {
          const bool anIcons = pixel == 0xFF0000 || pixel == 0xFFFF00 || pixel == 0x0000FF;
          iconPixels += (colour != 0 ? pixel == colour : anIcons) ? 1 : 0;
        }
        // A click on the owner's panel while the box is open, then on the box's button.
        ownerEnabled = IsWindowEnabled(main);
        Press(1007, 1);
        Xdotool("mousemove " + std::to_string(window->x() + window->w() / 2) + " " +
                std::to_string(window->y() + window->h() - 20) + " click 1");
      }
    };
    recorded.clear();
    PostMessageA(main, kRunAction, 0, 0);
    // Should the box's loop deliver nothing, its close button ends it in time.
    const std::string watchdog = Output("(sleep 10; " KORAVEL_CLOSE_WINDOW " $(xdotool search --name '^" + caption +
                                        "$' | head -1)) >/dev/null 2>&1 & echo $!");
    const int answer = MessageBoxA(owned ? dialog : nullptr, "Some text for the box.", caption.c_str(), type);
    std::system(("kill " + watchdog + " 2>/dev/null").c_str());
    postedAction = nullptr;
    EXPECT_EQ(answer, IDOK);
    EXPECT_NE(boxWindow, 0u) << "a window titled with the caption";
    EXPECT_EQ(buttons, std::vector<std::string>{"OK"});
    EXPECT_TRUE(iconColour != 0 ? iconPixels > 100 : iconPixels == 0) << iconPixels << " pixels of an icon";
    EXPECT_EQ(ownerEnabled, !owned);
    EXPECT_EQ(transientFor, owned ? mainWindow : 0) << "an owned box stays above its owner";
    PumpFor(200);
    EXPECT_EQ(CommandsTo(dialog).size(), owned ? 0u : 1u) << "the click on the panel behind the box";
    EXPECT_TRUE(IsWindowEnabled(main));
  }
}

}  // namespace
