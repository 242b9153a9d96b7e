// Binding an OpenGL rendering context to the view's device context.
#include "render/render_context.h"

#include "state/app_state.h"

// Double-buffered RGBA with 16 colour and 16 depth bits; every other field 0.
static PIXELFORMATDESCRIPTOR ViewPixelFormat() {
  PIXELFORMATDESCRIPTOR descriptor = {};
  descriptor.nSize = static_cast<WORD>(sizeof(PIXELFORMATDESCRIPTOR));
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.iPixelType = PFD_TYPE_RGBA;
  descriptor.cColorBits = 16;
  descriptor.cDepthBits = 16;
  descriptor.iLayerType = PFD_MAIN_PLANE;
  return descriptor;
}

HGLRC CreateRenderContext() {
  const PIXELFORMATDESCRIPTOR descriptor = ViewPixelFormat();
  const int format = ChoosePixelFormat(viewDC, &descriptor);
  if (format == 0) return nullptr;
  if (!SetPixelFormat(viewDC, format, &descriptor)) return nullptr;
  HGLRC context = wglCreateContext(viewDC);
  if (context == nullptr) return nullptr;
  if (!wglMakeCurrent(viewDC, context)) {
    wglDeleteContext(context);
    return nullptr;
  }
  return context;
}
