// OpenGL on a static child: pixel format, a double-buffered context with depth, drawing that reaches the screen.
#include <gtest/gtest.h>

#include <GL/gl.h>
#include <X11/Xlib.h>
#include <X11/Xutil.h>

#include "platform_test_support.h"

namespace {

PIXELFORMATDESCRIPTOR ViewPixelFormat() {
  PIXELFORMATDESCRIPTOR descriptor = PIXELFORMATDESCRIPTOR();
  descriptor.nSize = sizeof descriptor;
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.iPixelType = PFD_TYPE_RGBA;
  descriptor.cColorBits = 16;
  descriptor.cDepthBits = 16;
  descriptor.iLayerType = PFD_MAIN_PLANE;
  return descriptor;
}

// The colour of a screen pixel as 0xRRGGBB.
unsigned long ScreenPixel(int x, int y) {
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) return 0xFFFFFFFF;
  XImage* image = XGetImage(display, DefaultRootWindow(display), x, y, 1, 1, AllPlanes, ZPixmap);
  unsigned long pixel = image != nullptr ? XGetPixel(image, 0, 0) & 0xFFFFFF : 0xFFFFFFFF;
  if (image != nullptr) XDestroyImage(image);
  XCloseDisplay(display);
  return pixel;
}

TEST(Gl, ContextOnTheViewHasDepthAndDrawsIntoIt) {
  HWND main = CreateRecordingWindow(0, 0, 400, 300);
  HWND view = CreateWindowExA(0, "static", nullptr, WS_CHILD | WS_VISIBLE | WS_BORDER, 10, 10, 200, 150, main,
                              reinterpret_cast<HMENU>(10), nullptr, nullptr);
  ASSERT_NE(view, nullptr);
  HDC dc = GetDC(view);
  ASSERT_NE(dc, nullptr);
  PIXELFORMATDESCRIPTOR descriptor = ViewPixelFormat();

  // As the program starts: the context is made before the windows are shown.
  EXPECT_EQ(wglCreateContext(dc), nullptr) << "no context before a pixel format";
  int format = ChoosePixelFormat(dc, &descriptor);
  ASSERT_NE(format, 0);
  ASSERT_TRUE(SetPixelFormat(dc, format, &descriptor));
  HGLRC context = wglCreateContext(dc);
  ASSERT_NE(context, nullptr);
  ASSERT_TRUE(wglMakeCurrent(dc, context));
  ShowWindow(main, SW_SHOW);
  PumpFor(200);

  GLint depthBits = 0;
  glGetIntegerv(GL_DEPTH_BITS, &depthBits);
  EXPECT_GE(depthBits, 16);
  GLboolean doubleBuffered = GL_FALSE;
  glGetBooleanv(GL_DOUBLEBUFFER, &doubleBuffered);
  EXPECT_TRUE(doubleBuffered);

  glViewport(0, 0, 200, 150);
  glClearColor(0.0f, 1.0f, 0.0f, 1.0f);
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  unsigned char pixel[4] = {0, 0, 0, 0};
  glReadBuffer(GL_BACK);
  glReadPixels(100, 75, 1, 1, GL_RGBA, GL_UNSIGNED_BYTE, pixel);
  EXPECT_EQ(pixel[0], 0);
  EXPECT_EQ(pixel[1], 255);
  EXPECT_EQ(pixel[2], 0);
  EXPECT_TRUE(SwapBuffers(dc));
  glFinish();
  PumpFor(100);
  POINT inside = ScreenPoint(view, 100, 75);
  EXPECT_EQ(ScreenPixel(inside.x, inside.y), 0x00FF00ul) << "the swapped frame is on the screen";
  EXPECT_EQ(glGetError(), static_cast<GLenum>(GL_NO_ERROR));

  // The context outlives the windows until the program deletes it.
  DestroyWindow(main);
  PumpFor(50);
  glClear(GL_COLOR_BUFFER_BIT);
  EXPECT_FALSE(SwapBuffers(dc));
  EXPECT_TRUE(wglDeleteContext(context));
  EXPECT_FALSE(wglDeleteContext(context));
}

TEST(Gl, FormatsWithoutOpenGlAreNotOffered) {
  HWND main = CreateRecordingWindow(0, 0, 100, 100);
  HDC dc = GetDC(main);
  PIXELFORMATDESCRIPTOR descriptor = ViewPixelFormat();
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW;
  EXPECT_EQ(ChoosePixelFormat(dc, &descriptor), 0);
  EXPECT_FALSE(SetPixelFormat(dc, 7, &descriptor));
  EXPECT_EQ(ChoosePixelFormat(nullptr, &descriptor), 0);
  DestroyWindow(main);
}

}  // namespace
