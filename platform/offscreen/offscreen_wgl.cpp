// The hidden drawing surface on Windows: a window never shown, with the program's own rendering context.
#include "platform/offscreen/offscreen.h"

#include <windows.h>

#include <GL/gl.h>

#include "render/render_context.h"
#include "state/app_state.h"

namespace {

const char kClassName[] = "KoravelOffscreenView";

struct OffscreenState {
  HWND window = nullptr;
  HDC dc = nullptr;
  HGLRC context = nullptr;
  int32_t width = 0;
  int32_t height = 0;
};

OffscreenState offscreen;

bool RegisterOffscreenClass() {
  static bool registered = false;
  if (registered) return true;
  WNDCLASSA windowClass = {};
  windowClass.style = CS_OWNDC;
  windowClass.lpfnWndProc = DefWindowProcA;
  windowClass.hInstance = GetModuleHandleA(nullptr);
  windowClass.lpszClassName = kClassName;
  registered = RegisterClassA(&windowClass) != 0;
  return registered;
}

}  // namespace

bool OpenOffscreenView(int32_t width, int32_t height, std::string* message) {
  CloseOffscreenView();
  if (!RegisterOffscreenClass()) {
    *message = "the hidden window's class could not be registered";
    return false;
  }
  offscreen.window = CreateWindowExA(0, kClassName, "Koravel picture", WS_POPUP, 0, 0, width, height, nullptr,
                                     nullptr, GetModuleHandleA(nullptr), nullptr);
  if (offscreen.window == nullptr) {
    *message = "the hidden window could not be created";
    return false;
  }
  offscreen.dc = GetDC(offscreen.window);
  viewWindow = offscreen.window;
  viewDC = offscreen.dc;
  offscreen.context = CreateRenderContext();
  if (offscreen.context == nullptr) {
    *message = "no OpenGL rendering context could be created on the hidden window";
    CloseOffscreenView();
    return false;
  }
  offscreen.width = width;
  offscreen.height = height;
  return true;
}

bool ReadOffscreenView(std::vector<uint8_t>* rgb) {
  if (offscreen.context == nullptr) return false;
  glFinish();
  const size_t width = static_cast<size_t>(offscreen.width);
  std::vector<uint8_t> rows(width * static_cast<size_t>(offscreen.height) * 3);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  // The frame was swapped to the front; a window never shown keeps it in its back buffer too.
  glReadBuffer(GL_BACK);
  glReadPixels(0, 0, offscreen.width, offscreen.height, GL_RGB, GL_UNSIGNED_BYTE, rows.data());
  if (glGetError() != GL_NO_ERROR) return false;
  rgb->resize(rows.size());
  for (int32_t y = 0; y < offscreen.height; ++y) {
    const uint8_t* from = &rows[static_cast<size_t>(offscreen.height - 1 - y) * width * 3];
    std::copy(from, from + width * 3, rgb->begin() + static_cast<std::ptrdiff_t>(static_cast<size_t>(y) * width * 3));
  }
  return true;
}

void CloseOffscreenView() {
  if (offscreen.context != nullptr) {
    wglMakeCurrent(nullptr, nullptr);
    wglDeleteContext(offscreen.context);
  }
  if (offscreen.dc != nullptr) ReleaseDC(offscreen.window, offscreen.dc);
  if (offscreen.window != nullptr) DestroyWindow(offscreen.window);
  offscreen = OffscreenState();
  viewDC = nullptr;
  viewWindow = nullptr;
}

uint64_t OffscreenMemoryLimit() {
  MEMORYSTATUSEX status = {};
  status.dwLength = sizeof status;
  if (!GlobalMemoryStatusEx(&status)) return UINT64_MAX;
  return status.ullTotalVirtual < status.ullTotalPageFile ? status.ullTotalVirtual : status.ullTotalPageFile;
}
