// Device contexts, pixel formats and OpenGL contexts on GLX; buffer swaps, paint calls and keeping
// the pictures of OpenGL windows while other windows cover them.
#include "gl_binding.h"
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>
#include <GL/glx.h>
#include <X11/extensions/Xcomposite.h>

#include <cstdio>
#include <cstring>

namespace {

// The one pixel format offered: double-buffered RGBA with a depth buffer of 16 bits or more.
constexpr int kPixelFormat = 1;

struct GlState {
  bool visualChosen = false;
  XVisualInfo* visual = nullptr;
  Colormap colormap = 0;
  Window parking = 0;  // an unmapped window the current context sits on while its own has no X window
  std::unordered_map<uintptr_t, GLXContext> contexts;
  uintptr_t nextContext = 0x20000;
  HDC currentDc = nullptr;
  HGLRC current = nullptr;
  HWND lastPresented = nullptr;  // the window whose back buffer was swapped last
};

GlState& Gl() {
  static GlState state;
  return state;
}

HWND WindowOfDc(HDC dc) { return reinterpret_cast<HWND>(dc); }

WindowRecord* WindowRecordOfDc(HDC dc) {
  WindowRecord* record = FindWindowRecord(WindowOfDc(dc));
  return record != nullptr && IsWindowKind(record->kind) ? record : nullptr;
}

GLXContext FindContext(HGLRC context) {
  auto& contexts = Gl().contexts;
  auto found = contexts.find(reinterpret_cast<uintptr_t>(context));
  return found == contexts.end() ? nullptr : found->second;
}

Window ParkingWindow() {
  GlState& gl = Gl();
  if (gl.parking == 0 && GlVisual() != nullptr) {
    XSetWindowAttributes attributes = XSetWindowAttributes();
    attributes.colormap = gl.colormap;
    attributes.border_pixel = 0;
    gl.parking = XCreateWindow(fl_display, RootWindow(fl_display, gl.visual->screen), 0, 0, 1, 1, 0,
                               gl.visual->depth, InputOutput, gl.visual->visual, CWColormap | CWBorderPixel,
                               &attributes);
  }
  return gl.parking;
}

// The X window of a window's client area, where its drawing goes, or 0 while it has none.
Window DrawableOf(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || !IsWindowKind(record->kind) || record->pixelFormat == 0) return 0;
  Fl_Window* client = ClientWindow(*record);
  return client->shown() ? fl_xid(client) : 0;
}

bool BindCurrent(Window drawable) {
  GlState& gl = Gl();
  GLXContext context = FindContext(gl.current);
  if (context == nullptr) return false;
  if (drawable == 0) drawable = ParkingWindow();
  return glXMakeCurrent(fl_display, drawable, context) == True;
}

// Whether the X server keeps windows' pictures off screen on request (the Composite extension, 0.2 on).
bool ServerKeepsPictures() {
  static int keeps = -1;
  if (keeps < 0) {
    int eventBase = 0, errorBase = 0, major = 0, minor = 2;
    keeps = XCompositeQueryExtension(fl_display, &eventBase, &errorBase) &&
                    XCompositeQueryVersion(fl_display, &major, &minor) && (major > 0 || minor >= 2)
                ? 1
                : 0;
  }
  return keeps == 1;
}

#ifndef GLX_BACK_BUFFER_AGE_EXT
#define GLX_BACK_BUFFER_AGE_EXT 0x20F4
#endif

// Whether the back buffer still holds the frame last shown: GLX says so when it tells buffer ages;
// otherwise (Mesa's software renderer) swapping copies the back buffer and leaves it as it was.
bool BackBufferHoldsLastFrame(Window drawable) {
  static const bool tellsAge = [] {
    const char* extensions = glXQueryExtensionsString(fl_display, fl_screen);
    return extensions != nullptr && std::strstr(extensions, "GLX_EXT_buffer_age") != nullptr;
  }();
  if (!tellsAge) return true;
  unsigned int age = 0;
  glXQueryDrawable(fl_display, drawable, GLX_BACK_BUFFER_AGE_EXT, &age);
  return age == 1;
}

bool IsSelfOrDescendant(HWND window, HWND ancestor) {
  for (WindowRecord* record = FindWindowRecord(window); record != nullptr; record = FindWindowRecord(record->parent)) {
    if (record->handle == ancestor) return true;
  }
  return false;
}

}  // namespace

XVisualInfo* GlVisual() {
  GlState& gl = Gl();
  if (!gl.visualChosen && EnsureDisplay()) {
    gl.visualChosen = true;
    int attributes[] = {GLX_RGBA,       GLX_DOUBLEBUFFER, GLX_RED_SIZE,   1, GLX_GREEN_SIZE, 1,
                        GLX_BLUE_SIZE,  1,                GLX_DEPTH_SIZE, 16, None};
    gl.visual = glXChooseVisual(fl_display, fl_screen, attributes);
    if (gl.visual == nullptr) {
      std::fprintf(stderr, "koravel: the X server offers no double-buffered RGBA OpenGL visual with a depth buffer\n");
    } else {
      gl.colormap = XCreateColormap(fl_display, RootWindow(fl_display, gl.visual->screen), gl.visual->visual,
                                    AllocNone);
    }
  }
  return gl.visual;
}

Colormap GlColormap() { return Gl().colormap; }

void DrawableCreated(HWND window) {
  GlState& gl = Gl();
  Window drawable = DrawableOf(window);
  // As a desktop compositor does on Windows, the X server keeps the picture and shows it again where a
  // window over it goes away; without a compositing manager, X would otherwise leave that part unpainted.
  if (drawable != 0 && ServerKeepsPictures()) {
    XCompositeRedirectWindow(fl_display, drawable, CompositeRedirectAutomatic);
  }
  if (gl.current != nullptr && WindowOfDc(gl.currentDc) == window) BindCurrent(drawable);
}

void ShowLastFrameAgain(HWND window) {
  GlState& gl = Gl();
  if (ServerKeepsPictures() || gl.current == nullptr || WindowOfDc(gl.currentDc) != window ||
      gl.lastPresented != window) {
    return;
  }
  Window drawable = DrawableOf(window);
  if (drawable != 0 && BackBufferHoldsLastFrame(drawable)) glXSwapBuffers(fl_display, drawable);
}

void DrawableDestroying(HWND window) {
  GlState& gl = Gl();
  if (gl.current != nullptr && IsSelfOrDescendant(WindowOfDc(gl.currentDc), window)) BindCurrent(0);
}

HDC GetDC(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || !IsWindowKind(record->kind)) return nullptr;
  return reinterpret_cast<HDC>(window);
}

int ReleaseDC(HWND window, HDC dc) {
  return WindowRecordOfDc(dc) != nullptr && WindowOfDc(dc) == window ? 1 : 0;
}

HDC BeginPaint(HWND window, PAINTSTRUCT* paint) {
  HDC dc = GetDC(window);
  if (dc == nullptr || paint == nullptr) return nullptr;
  std::memset(paint, 0, sizeof *paint);
  paint->hdc = dc;
  GetClientRect(window, &paint->rcPaint);
  return dc;
}

BOOL EndPaint(HWND window, const PAINTSTRUCT* paint) {
  (void)paint;
  return IsWindow(window);
}

int ChoosePixelFormat(HDC dc, const PIXELFORMATDESCRIPTOR* descriptor) {
  if (WindowRecordOfDc(dc) == nullptr || descriptor == nullptr) return 0;
  if ((descriptor->dwFlags & PFD_SUPPORT_OPENGL) == 0 || descriptor->iPixelType != PFD_TYPE_RGBA) return 0;
  return GlVisual() != nullptr ? kPixelFormat : 0;
}

BOOL SetPixelFormat(HDC dc, int format, const PIXELFORMATDESCRIPTOR* descriptor) {
  (void)descriptor;
  WindowRecord* record = WindowRecordOfDc(dc);
  if (record == nullptr || format != kPixelFormat || GlVisual() == nullptr) return FALSE;
  if (record->pixelFormat != 0) return record->pixelFormat == format ? TRUE : FALSE;
  record->pixelFormat = format;
  Fl_Window* client = ClientWindow(*record);
  if (client->shown()) {
    // Its X window has the default visual: make it again with the GL one.
    ShowLayerWindow(client, false);
    ShowLayerWindow(client, true);
  }
  return TRUE;
}

HGLRC wglCreateContext(HDC dc) {
  WindowRecord* record = WindowRecordOfDc(dc);
  if (record == nullptr || record->pixelFormat == 0 || GlVisual() == nullptr) return nullptr;
  GLXContext context = glXCreateContext(fl_display, GlVisual(), nullptr, True);
  if (context == nullptr) {
    std::fprintf(stderr, "koravel: GLX could not create an OpenGL context\n");
    return nullptr;
  }
  GlState& gl = Gl();
  gl.nextContext += 4;
  gl.contexts[gl.nextContext] = context;
  return reinterpret_cast<HGLRC>(gl.nextContext);
}

BOOL wglMakeCurrent(HDC dc, HGLRC context) {
  GlState& gl = Gl();
  if (context == nullptr) {
    if (gl.current != nullptr) glXMakeCurrent(fl_display, None, nullptr);
    gl.current = nullptr;
    gl.currentDc = nullptr;
    return TRUE;
  }
  WindowRecord* record = WindowRecordOfDc(dc);
  if (FindContext(context) == nullptr || record == nullptr || record->pixelFormat == 0) return FALSE;
  HGLRC previous = gl.current;
  HDC previousDc = gl.currentDc;
  gl.current = context;
  gl.currentDc = dc;
  if (BindCurrent(DrawableOf(record->handle))) return TRUE;
  gl.current = previous;
  gl.currentDc = previousDc;
  return FALSE;
}

BOOL wglDeleteContext(HGLRC context) {
  GlState& gl = Gl();
  GLXContext glxContext = FindContext(context);
  if (glxContext == nullptr) return FALSE;
  if (gl.current == context) {
    glXMakeCurrent(fl_display, None, nullptr);
    gl.current = nullptr;
    gl.currentDc = nullptr;
  }
  glXDestroyContext(fl_display, glxContext);
  gl.contexts.erase(reinterpret_cast<uintptr_t>(context));
  return TRUE;
}

BOOL SwapBuffers(HDC dc) {
  Window drawable = DrawableOf(WindowOfDc(dc));
  if (drawable == 0) return FALSE;
  glXSwapBuffers(fl_display, drawable);
  Gl().lastPresented = WindowOfDc(dc);
  return TRUE;
}
