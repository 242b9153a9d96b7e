// Mouse over the view: messages reach the main window in its client coordinates; no capture.
#include <gtest/gtest.h>

#include <string>

#include "platform_test_support.h"

namespace {

struct MouseMessage {
  UINT message;
  WPARAM keys;
  int x;
  int y;
  bool operator==(const MouseMessage& other) const {
    return message == other.message && keys == other.keys && x == other.x && y == other.y;
  }
};

std::ostream& operator<<(std::ostream& out, const MouseMessage& m) {
  return out << "{0x" << std::hex << m.message << std::dec << " keys " << m.keys << " at " << m.x << "," << m.y << "}";
}

class Mouse : public ::testing::Test {
 protected:
  void SetUp() override {
    if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
    main = CreateRecordingWindow(20, 30, 600, 620);
    view = CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, main,
                           reinterpret_cast<HMENU>(10), nullptr, nullptr);
    panel = CreateDialogParamA(nullptr, "ConfigDlg", main, RecordingDialogProc, 0);
    ASSERT_NE(panel, nullptr);
    ShowWindow(main, SW_SHOW);
    ShowWindow(panel, SW_SHOW);
    MoveWindow(view, 1, 1, 400, 300, TRUE);
    MoveWindow(panel, 440, 1, 150, 620, TRUE);
    PumpFor(200);
    Xdotool("mousemove 1000 1000");
    PumpFor(50);
    ClearLog();
  }
  void TearDown() override {
    if (main != nullptr) DestroyWindow(main);
  }

  // Moves the pointer to a point of the main window's client area.
  bool MoveTo(int x, int y) {
    POINT screen = ScreenPoint(main, x, y);
    return Xdotool("mousemove " + std::to_string(screen.x) + " " + std::to_string(screen.y));
  }

  std::vector<MouseMessage> MouseMessages() {
    std::vector<MouseMessage> found;
    for (const Recorded& entry : Log()) {
      if (entry.message < WM_MOUSEMOVE || entry.message > WM_RBUTTONUP) continue;
      EXPECT_EQ(entry.window, main) << "mouse messages over the view go to the main window";
      found.push_back(MouseMessage{entry.message, entry.wParam, LOWORD(entry.lParam), HIWORD(entry.lParam)});
    }
    return found;
  }

  bool WaitFor(UINT message) {
    return PumpUntil([&] { return !LoggedOf(message).empty(); }, 2000);
  }

  HWND main = nullptr;
  HWND view = nullptr;
  HWND panel = nullptr;
};

TEST_F(Mouse, LeftDragOverTheViewArrivesInMainClientCoordinates) {
  ASSERT_TRUE(MoveTo(50, 60));
  ASSERT_TRUE(Xdotool("mousedown 1"));
  ASSERT_TRUE(WaitFor(WM_LBUTTONDOWN));
  ASSERT_TRUE(MoveTo(80, 90));
  ASSERT_TRUE(PumpUntil([&] { return MouseMessages().back() == (MouseMessage{WM_MOUSEMOVE, MK_LBUTTON, 80, 90}); },
                        2000));
  ASSERT_TRUE(Xdotool("mouseup 1"));
  ASSERT_TRUE(WaitFor(WM_LBUTTONUP));

  auto messages = MouseMessages();
  ASSERT_GE(messages.size(), 4u);
  EXPECT_EQ(messages[0], (MouseMessage{WM_MOUSEMOVE, 0, 50, 60}));
  EXPECT_EQ(messages[1], (MouseMessage{WM_LBUTTONDOWN, MK_LBUTTON, 50, 60}));
  EXPECT_EQ(messages.back(), (MouseMessage{WM_LBUTTONUP, 0, 80, 90}));
}

TEST_F(Mouse, RightDragAndDragsThatLeaveThroughThePanel) {
  ASSERT_TRUE(MoveTo(100, 100));
  ASSERT_TRUE(Xdotool("mousedown 3"));
  ASSERT_TRUE(WaitFor(WM_RBUTTONDOWN));
  ASSERT_TRUE(MoveTo(500, 200));  // over the panel: not the main window's
  ASSERT_TRUE(MoveTo(120, 140));
  ASSERT_TRUE(PumpUntil([&] { return MouseMessages().back() == (MouseMessage{WM_MOUSEMOVE, MK_RBUTTON, 120, 140}); },
                        2000));
  ASSERT_TRUE(Xdotool("mouseup 3"));
  ASSERT_TRUE(WaitFor(WM_RBUTTONUP));

  for (const MouseMessage& m : MouseMessages()) {
    EXPECT_LT(m.x, 440) << "no message while the pointer is over the panel: " << m;
  }
  EXPECT_EQ(MouseMessages().back(), (MouseMessage{WM_RBUTTONUP, 0, 120, 140}));
  EXPECT_TRUE(LoggedOf(WM_LBUTTONDOWN).empty());
}

}  // namespace
