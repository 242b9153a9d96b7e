// Windows and the message queue: WM_SIZE as Windows sends it, posting and dispatching, quitting, waiting.
#include <gtest/gtest.h>

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>
#include <unistd.h>

#include <X11/Xlib.h>

#include "platform_test_support.h"

namespace {

class Windows : public ::testing::Test {
 protected:
  void SetUp() override {
    PumpFor(10);
    ClearLog();
  }
};

POINT SizeOf(const Recorded& entry) { return POINT{LOWORD(entry.lParam), HIWORD(entry.lParam)}; }

TEST_F(Windows, FirstShowAndEveryResizeSendSizeAtOnce) {
  HWND main = CreateRecordingWindow(40, 40, 640, 480);
  ASSERT_NE(main, nullptr);
  ASSERT_FALSE(Log().empty());
  EXPECT_EQ(Log().front().message, static_cast<UINT>(WM_CREATE));
  EXPECT_TRUE(LoggedOf(WM_SIZE).empty()) << "no WM_SIZE before the window is shown";

  HWND view = CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, 0, 0, 0, 0, main,
                              reinterpret_cast<HMENU>(10), nullptr, nullptr);
  ASSERT_NE(view, nullptr);
  EXPECT_EQ(GetDlgCtrlID(view), 10);
  EXPECT_EQ(GetDlgItem(main, 10), view);

  EXPECT_FALSE(ShowWindow(main, SW_SHOWDEFAULT)) << "it was hidden";
  auto sizes = LoggedOf(WM_SIZE);
  ASSERT_EQ(sizes.size(), 1u) << "first show sends one WM_SIZE, inside ShowWindow";
  EXPECT_EQ(sizes[0].window, main);
  EXPECT_EQ(sizes[0].wParam, static_cast<WPARAM>(SIZE_RESTORED));
  EXPECT_EQ(SizeOf(sizes[0]).x, 640);
  EXPECT_EQ(SizeOf(sizes[0]).y, 480);
  EXPECT_TRUE(ShowWindow(main, SW_SHOW)) << "it was visible";
  EXPECT_EQ(LoggedOf(WM_SIZE).size(), 1u) << "showing again sends no WM_SIZE";
  EXPECT_TRUE(IsWindowVisible(view));

  MoveWindow(view, 1, 1, 300, 200, TRUE);
  MoveWindow(main, 40, 40, 500, 300, TRUE);
  sizes = LoggedOf(WM_SIZE);
  ASSERT_EQ(sizes.size(), 2u);
  EXPECT_EQ(SizeOf(sizes[1]).x, 500);
  EXPECT_EQ(SizeOf(sizes[1]).y, 300);
  RECT client;
  ASSERT_TRUE(GetClientRect(main, &client));
  EXPECT_EQ(client.right, 500);
  EXPECT_EQ(client.bottom, 300);
  MoveWindow(main, 60, 60, 500, 300, TRUE);
  EXPECT_EQ(LoggedOf(WM_SIZE).size(), 2u) << "a move without a size change sends no WM_SIZE";

  // Children stay where the program put them when the parent's size changes.
  RECT viewRect;
  GetWindowRect(view, &viewRect);
  RECT mainRect;
  GetWindowRect(main, &mainRect);
  EXPECT_EQ(viewRect.left - mainRect.left, 1);
  EXPECT_EQ(viewRect.right - viewRect.left, 300);
  EXPECT_EQ(viewRect.bottom - viewRect.top, 200);

  // A negative size, as a narrow or minimised window's layout gives, becomes an empty window.
  EXPECT_TRUE(MoveWindow(view, 1, 1, -153, -2, TRUE));
  GetClientRect(view, &client);
  EXPECT_EQ(client.right, 0);
  EXPECT_EQ(client.bottom, 0);

  PumpFor(100);
  EXPECT_EQ(LoggedOf(WM_SIZE).size(), 2u);
  DestroyWindow(main);
}

TEST_F(Windows, CloseDestroysTheWindowAndThenItsChildren) {
  HWND main = CreateRecordingWindow(10, 10, 300, 200);
  HWND child = CreateWindowExA(0, "PlatformTestWindow", nullptr, WS_CHILD | WS_VISIBLE, 5, 5, 50, 50, main,
                               reinterpret_cast<HMENU>(3), nullptr, nullptr);
  ASSERT_NE(child, nullptr);
  ShowWindow(main, SW_SHOW);
  PostMessageA(child, WM_USER, 0, 0);
  ClearLog();

  EXPECT_EQ(SendMessageA(main, WM_CLOSE, 0, 0), 0);  // DefWindowProcA destroys the window
  auto destroys = LoggedOf(WM_DESTROY);
  ASSERT_EQ(destroys.size(), 2u);
  EXPECT_EQ(destroys[0].window, main);
  EXPECT_EQ(destroys[1].window, child);
  EXPECT_FALSE(IsWindow(main));
  EXPECT_FALSE(IsWindow(child));
  EXPECT_FALSE(DestroyWindow(main));

  ClearLog();
  PumpFor(50);
  EXPECT_TRUE(LoggedOf(WM_USER).empty()) << "messages for a destroyed window are dropped";
}

TEST_F(Windows, QueueKeepsOrderAndQuitComesLast) {
  HWND main = CreateRecordingWindow(10, 10, 300, 200);
  ClearLog();
  ASSERT_TRUE(PostMessageA(main, WM_USER + 1, 11, 12));
  PostQuitMessage(3);
  ASSERT_TRUE(PostMessageA(nullptr, WM_USER + 2, 0, 0));
  ASSERT_TRUE(PostMessageA(main, WM_USER + 3, 0, 0));
  EXPECT_FALSE(PostMessageA(reinterpret_cast<HWND>(0x1234), WM_USER, 0, 0));
  EXPECT_TRUE(Log().empty()) << "posting calls no procedure";

  MSG message;
  ASSERT_TRUE(PeekMessageA(&message, nullptr, WM_USER + 3, WM_USER + 3, PM_NOREMOVE));
  EXPECT_EQ(message.message, static_cast<UINT>(WM_USER + 3));

  std::vector<UINT> order;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
    order.push_back(message.message);
    if (message.message == WM_QUIT) {
      EXPECT_EQ(message.wParam, 3u);
    }
    DispatchMessageA(&message);
  }
  EXPECT_EQ(order, (std::vector<UINT>{WM_USER + 1, WM_USER + 2, WM_USER + 3, static_cast<UINT>(WM_QUIT)}));
  ASSERT_EQ(Log().size(), 2u) << "only the window's messages reach its procedure";
  EXPECT_EQ(Log()[0].wParam, 11u);
  EXPECT_EQ(Log()[0].lParam, 12);

  ClearLog();
  SendMessageA(main, WM_USER + 4, 0, 0);
  ASSERT_EQ(Log().size(), 1u) << "SendMessageA calls the procedure before returning";
  DestroyWindow(main);
}

TEST_F(Windows, WaitingIdlesUntilInputOrTimeout) {
  MSG message;
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
  DWORD start = timeGetTime();
  DWORD result = MsgWaitForMultipleObjects(0, nullptr, FALSE, 100, QS_ALLINPUT);
  DWORD waited = timeGetTime() - start;
  if (result == WAIT_TIMEOUT) {
    EXPECT_GE(waited, 95u);
  } else {
    EXPECT_EQ(result, static_cast<DWORD>(WAIT_OBJECT_0)) << "woken by X input";
  }
  EXPECT_LT(waited, 1000u);

  PostMessageA(nullptr, WM_USER, 0, 0);
  start = timeGetTime();
  EXPECT_EQ(MsgWaitForMultipleObjects(0, nullptr, FALSE, INFINITE, QS_ALLINPUT), static_cast<DWORD>(WAIT_OBJECT_0));
  EXPECT_LT(timeGetTime() - start, 50u) << "queued input ends the wait at once";
  while (PeekMessageA(&message, nullptr, 0, 0, PM_REMOVE)) {
  }
}

TEST(Clock, MillisecondsAdvanceMonotonically) {
  DWORD first = timeGetTime();
  DWORD previous = first;
  for (int i = 0; i < 100000; ++i) {
    DWORD now = timeGetTime();
    ASSERT_GE(static_cast<int32_t>(now - previous), 0);
    previous = now;
  }
  usleep(50000);
  DWORD elapsed = timeGetTime() - first;
  EXPECT_GE(elapsed, 50u);
  EXPECT_LT(elapsed, 1000u);
  EXPECT_EQ(timeBeginPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
  EXPECT_EQ(timeEndPeriod(1), static_cast<MMRESULT>(TIMERR_NOERROR));
}

TEST_F(Windows, BadArgumentsAreRefused) {
  WNDCLASSA windowClass = WNDCLASSA();
  windowClass.lpszClassName = "NoProcedure";
  EXPECT_EQ(RegisterClassA(&windowClass), 0) << "a class needs a procedure";
  EXPECT_EQ(RegisterClassA(nullptr), 0);
  windowClass.lpfnWndProc = RecordingWindowProc;
  windowClass.lpszClassName = "Static";
  EXPECT_EQ(RegisterClassA(&windowClass), 0) << "predefined classes exist already";
  windowClass.lpszClassName = "TwiceRegistered";
  EXPECT_NE(RegisterClassA(&windowClass), 0);
  EXPECT_EQ(RegisterClassA(&windowClass), 0);

  EXPECT_EQ(CreateWindowExA(0, "NoSuchClass", "", 0, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  EXPECT_EQ(CreateWindowExA(0, "static", "", WS_CHILD, 0, 0, 10, 10, nullptr, nullptr, nullptr, nullptr), nullptr);
  HWND stale = reinterpret_cast<HWND>(0x1234);
  RECT rect;
  EXPECT_FALSE(IsWindow(stale));
  EXPECT_FALSE(GetClientRect(stale, &rect));
  EXPECT_FALSE(ShowWindow(stale, SW_SHOW));
  EXPECT_EQ(SendMessageA(stale, WM_USER, 0, 0), 0);
  EXPECT_EQ(GetDC(stale), nullptr);
  char text[4] = "abc";
  EXPECT_EQ(GetDlgItemTextA(stale, 1, text, sizeof text), 0u);
  EXPECT_STREQ(text, "");
  EXPECT_EQ(LoadIconA(nullptr, "Koravel"), nullptr);
  EXPECT_NE(LoadCursorA(nullptr, IDC_ARROW), nullptr);
}

TEST(MessageBox, AppendsToTheLogWhenOneIsNamed) {
  char path[] = "/tmp/koravel-boxes-XXXXXX";
  int file = mkstemp(path);
  ASSERT_GE(file, 0);
  close(file);
  setenv("KORAVEL_MESSAGEBOX_LOG", path, 1);
  EXPECT_EQ(MessageBoxA(nullptr, "Couldn't Create Window", "Koravel", MB_ICONERROR), IDOK);
  EXPECT_EQ(MessageBoxA(nullptr, "two\nlines", "Koravel", MB_OK), IDOK);
  unsetenv("KORAVEL_MESSAGEBOX_LOG");
  std::ifstream log(path);
  std::stringstream text;
  text << log.rdbuf();
  EXPECT_EQ(text.str(), "Koravel|Couldn't Create Window|16\nKoravel|two\\nlines|0\n");
  std::remove(path);
}

}  // namespace

namespace {

// The X window id of the test's top-level window, as xdotool finds it by title.
std::string TopLevelXid() {
  FILE* found = popen("xdotool search --name '^Platform test$' 2>/dev/null | head -1", "r");
  if (found == nullptr) return "";
  char line[64] = "";
  if (fgets(line, sizeof line, found) == nullptr) line[0] = '\0';
  pclose(found);
  std::string xid = line;
  while (!xid.empty() && (xid.back() == '\n' || xid.back() == ' ')) xid.pop_back();
  return xid;
}

TEST_F(Windows, ResizingAndUnmappingFromOutsideSendSize) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  HWND main = CreateRecordingWindow(10, 10, 320, 240);
  ShowWindow(main, SW_SHOW);
  PumpFor(200);
  std::string xid = TopLevelXid();
  ASSERT_FALSE(xid.empty());
  ClearLog();

  // A user's resize arrives from the X server.
  ASSERT_TRUE(Xdotool("windowsize " + xid + " 400 300"));
  ASSERT_TRUE(PumpUntil([] { return !LoggedOf(WM_SIZE).empty(); }, 2000));
  EXPECT_EQ(LoggedOf(WM_SIZE).back().lParam, MAKELPARAM(400, 300));
  ClearLog();

  // A window manager minimises a window by unmapping it.
  ASSERT_TRUE(Xdotool("windowunmap " + xid));
  ASSERT_TRUE(PumpUntil([] { return !LoggedOf(WM_SIZE).empty(); }, 2000));
  EXPECT_EQ(LoggedOf(WM_SIZE).back().wParam, static_cast<WPARAM>(SIZE_MINIMIZED));
  EXPECT_EQ(LoggedOf(WM_SIZE).back().lParam, 0);
  ASSERT_TRUE(Xdotool("windowmap " + xid));
  ASSERT_TRUE(PumpUntil([] { return LoggedOf(WM_SIZE).size() == 2; }, 2000));
  EXPECT_EQ(LoggedOf(WM_SIZE).back().wParam, static_cast<WPARAM>(SIZE_RESTORED));
  EXPECT_EQ(LoggedOf(WM_SIZE).back().lParam, MAKELPARAM(400, 300));
  DestroyWindow(main);
}

// What a window manager sends when the close button is pressed.
void SendCloseRequest(const std::string& xid) {
  Display* display = XOpenDisplay(nullptr);
  ASSERT_NE(display, nullptr);
  XEvent event = XEvent();
  event.xclient.type = ClientMessage;
  event.xclient.window = std::stoul(xid);
  event.xclient.message_type = XInternAtom(display, "WM_PROTOCOLS", False);
  event.xclient.format = 32;
  event.xclient.data.l[0] = static_cast<long>(XInternAtom(display, "WM_DELETE_WINDOW", False));
  event.xclient.data.l[1] = CurrentTime;
  XSendEvent(display, event.xclient.window, False, NoEventMask, &event);
  XCloseDisplay(display);
}

TEST_F(Windows, CloseButtonSendsCloseAndTheDefaultDestroys) {
  if (!HaveXdotool()) GTEST_SKIP() << "xdotool is not installed";
  HWND main = CreateRecordingWindow(10, 10, 320, 240);
  ShowWindow(main, SW_SHOW);
  PumpFor(200);
  std::string xid = TopLevelXid();
  ASSERT_FALSE(xid.empty());
  ClearLog();

  SendCloseRequest(xid);
  ASSERT_TRUE(PumpUntil([] { return !LoggedOf(WM_DESTROY).empty(); }, 2000));
  ASSERT_EQ(LoggedOf(WM_CLOSE).size(), 1u);
  EXPECT_EQ(LoggedOf(WM_CLOSE)[0].window, main);
  EXPECT_FALSE(IsWindow(main));
}

}  // namespace
