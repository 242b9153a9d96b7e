// What a window manager shows of the layer's windows: the view's picture when windows over it go away (under
// Debian's openbox, no compositor; run through with-openbox.sh), and the windows' icons.
#include <gtest/gtest.h>

#include <FL/Fl_PNG_Image.H>
#include <GL/gl.h>
#include <X11/Xatom.h>
#include <X11/Xlib.h>
#include <windows.h>

#include <functional>
#include <string>
#include <vector>

#include "tests/platform/layer_test_support.h"

namespace {

constexpr unsigned long kRed = 0xFF0000;

// The view of a shown main window with its context current, showing a red frame.
struct RedView {
  RedView() {
    main = CreateRecordingWindow(30, 40, 500, 400);
    view = CreateView(main, 1, 1, 400, 350);
    dc = GetDC(view);
    PIXELFORMATDESCRIPTOR descriptor = PIXELFORMATDESCRIPTOR();
    descriptor.nSize = sizeof descriptor;
    descriptor.nVersion = 1;
    descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
    descriptor.iPixelType = PFD_TYPE_RGBA;
    descriptor.cColorBits = descriptor.cDepthBits = 16;
    SetPixelFormat(dc, ChoosePixelFormat(dc, &descriptor), &descriptor);
    context = wglCreateContext(dc);
    wglMakeCurrent(dc, context);
    ShowWindow(main, SW_SHOW);
    PumpFor(300);
    glViewport(0, 0, 398, 348);
    glClearColor(1.0f, 0.0f, 0.0f, 1.0f);
    glClear(GL_COLOR_BUFFER_BIT);
    SwapBuffers(dc);
    glFinish();
    PumpFor(200);
  }
  ~RedView() {
    DestroyWindow(main);
    wglDeleteContext(context);
  }
  RECT OnScreen() const {
    RECT rect;
    GetWindowRect(view, &rect);
    return RECT{rect.left + 1, rect.top + 1, rect.right - 1, rect.bottom - 1};  // inside the border
  }
  HWND main = nullptr, view = nullptr;
  HDC dc = nullptr;
  HGLRC context = nullptr;
};

// The screen's pixels in a square of `side` around a point that are not `colour`.
int PixelsOtherThan(unsigned long colour, int x, int y, int side) {
  int others = 0;
  for (unsigned long pixel : ScreenPixels(x - side / 2, y - side / 2, side, side)) others += pixel != colour;
  return others;
}

// A window of the layer over a point: managed and framed by the window manager, as dialogs and message
// boxes are. The window manager places it where it likes first; it is moved there as the program would.
std::function<void()> CoverWithLayerWindow(int x, int y) {
  HWND cover = CreateRecordingWindow(x - 60, y - 60, 120, 120);
  ShowWindow(cover, SW_SHOW);
  PumpFor(300);
  MoveWindow(cover, x - 60, y - 60, 120, 120, TRUE);
  PumpFor(300);
  return [cover] { DestroyWindow(cover); };
}

// An unmanaged window over a point, as a menu is.
std::function<void()> CoverWithMenuLikeWindow(int x, int y) {
  Display* display = TestDisplay();
  XSetWindowAttributes attributes = XSetWindowAttributes();
  attributes.override_redirect = True;
  attributes.background_pixel = WhitePixel(display, DefaultScreen(display));
  Window cover = XCreateWindow(display, DefaultRootWindow(display), x - 60, y - 60, 120, 120, 0, CopyFromParent,
                               InputOutput, CopyFromParent, CWOverrideRedirect | CWBackPixel, &attributes);
  XMapRaised(display, cover);
  XSync(display, False);
  PumpFor(300);
  return [display, cover] {
    XDestroyWindow(display, cover);
    XSync(display, False);
  };
}

// A window over the view, then gone: the view shows its picture there again with nothing drawn, as on
// Windows (whether the X server kept the picture or the view's WM_PAINT showed its last frame again).
TEST(UnderWindowManager, ViewShowsItsPictureAgainWhereAWindowOverItWentAway) {
  ASSERT_NE(Output("xprop -root _NET_SUPPORTING_WM_CHECK").find("window id"), std::string::npos)
      << "no window manager runs on this display";
  RedView red;
  const RECT view = red.OnScreen();
  const int x = (view.left + view.right) / 2, y = (view.top + view.bottom) / 2;
  ASSERT_EQ(PixelsOtherThan(kRed, x, y, 200), 0) << "the picture before anything covers it";
  const struct { const char* what; std::function<void()> (*cover)(int, int); } covers[] = {
      {"a window of the layer", CoverWithLayerWindow},
      {"an unmanaged window", CoverWithMenuLikeWindow},
  };
  for (const auto& c : covers) {
    SCOPED_TRACE(c.what);
    std::function<void()> uncover = c.cover(x, y);
    EXPECT_GT(PixelsOtherThan(kRed, x, y, 100), 5000) << "the window does not cover the view's middle";
    uncover();
    PumpFor(400);
    EXPECT_EQ(PixelsOtherThan(kRed, x, y, 200), 0) << "the view's picture is not back where the window was";
  }
}

// The _NET_WM_ICON property of a top-level X window: (width, height) of each image, and the pixels (ARGB,
// 32 bits in each long) of the one `side` wide.
std::vector<std::pair<unsigned long, unsigned long>> IconSizes(Window window, unsigned long side,
                                                               std::vector<unsigned long>* pixels) {
  std::vector<std::pair<unsigned long, unsigned long>> sizes;
  Display* display = TestDisplay();
  Atom type = None;
  int format = 0;
  unsigned long count = 0, remaining = 0;
  unsigned char* data = nullptr;
  if (XGetWindowProperty(display, window, XInternAtom(display, "_NET_WM_ICON", False), 0, 1 << 20, False,
                         XA_CARDINAL, &type, &format, &count, &remaining, &data) != Success || data == nullptr) {
    return sizes;
  }
  const unsigned long* values = reinterpret_cast<const unsigned long*>(data);
  for (unsigned long at = 0; at + 2 <= count;) {
    const unsigned long width = values[at], height = values[at + 1];
    sizes.emplace_back(width, height);
    if (width == side) {
      pixels->clear();
      for (unsigned long i = 0; i < width * height; ++i) pixels->push_back(values[at + 2 + i] & 0xFFFFFFFF);
    }
    at += 2 + width * height;
  }
  XFree(data);
  return sizes;
}

// A class's icon is its top-level windows' icon for the window manager, in every size the resources hold:
// the program's icon 1 (package/koravel.svg drawn at five sizes); a class whose icon the resources do not
// hold (by a name, or another number) gives its windows none. Run without a window manager, which would
// give those an icon of its own.
TEST(Windows, ClassIconIsTheWindowsIconForTheWindowManager) {
  static char instanceTag;
  HINSTANCE instance = reinterpret_cast<HINSTANCE>(&instanceTag);
  Fl_PNG_Image drawn(KORAVEL_ICON_PNG_48);
  ASSERT_EQ(drawn.w(), 48);
  ASSERT_EQ(drawn.d(), 4);
  std::vector<unsigned long> expected;
  const unsigned char* rgba = reinterpret_cast<const unsigned char*>(drawn.data()[0]);
  for (int i = 0; i < 48 * 48; ++i, rgba += 4) {
    expected.push_back(static_cast<unsigned long>(rgba[3]) << 24 | static_cast<unsigned long>(rgba[0]) << 16 |
                       static_cast<unsigned long>(rgba[1]) << 8 | rgba[2]);
  }
  using Sizes = std::vector<std::pair<unsigned long, unsigned long>>;
  const struct { const char* name; HICON icon; Sizes sizes; } classes[] = {
      {"IconOne", LoadIconA(instance, MAKEINTRESOURCEA(1)), {{16, 16}, {32, 32}, {48, 48}, {64, 64}, {128, 128}}},
      {"IconNamed", LoadIconA(instance, "Koravel"), {}},
      {"IconTwo", LoadIconA(instance, MAKEINTRESOURCEA(2)), {}},
  };
  for (const auto& c : classes) {
    SCOPED_TRACE(c.name);
    EXPECT_EQ(c.icon == nullptr, c.sizes.empty());
    WNDCLASSA windowClass = WNDCLASSA();
    windowClass.lpfnWndProc = RecordingWindowProc;
    windowClass.hInstance = instance;
    windowClass.hIcon = c.icon;
    windowClass.lpszClassName = c.name;
    ASSERT_NE(RegisterClassA(&windowClass), 0);
    HWND window = CreateWindowExA(0, c.name, c.name, WS_OVERLAPPEDWINDOW, 10, 10, 200, 100, nullptr, nullptr,
                                  instance, nullptr);
    ShowWindow(window, SW_SHOW);
    PumpFor(200);
    std::vector<unsigned long> pixels;
    EXPECT_EQ(IconSizes(XWindowTitled(c.name), 48, &pixels), c.sizes);
    if (!c.sizes.empty()) {
      EXPECT_EQ(pixels, expected) << "the 48 x 48 image is not the drawn icon";
    }
    DestroyWindow(window);
  }
}

}  // namespace
