// The hidden drawing surface on Linux: Mesa's offscreen renderer, drawing into memory.
#include "platform/offscreen/offscreen.h"

#include <GL/osmesa.h>
#include <sys/resource.h>
#include <sys/sysinfo.h>

#include <algorithm>

#include "state/app_state.h"

namespace {

struct OffscreenState {
  OSMesaContext context = nullptr;
  std::vector<uint8_t> rgba;
  int32_t width = 0;
  int32_t height = 0;
};

OffscreenState offscreen;

// The Linux program's GLX visual on Mesa has 8 bits a colour and a 24-bit depth buffer.
const GLint kDepthBits = 24;

}  // namespace

bool OpenOffscreenView(int32_t width, int32_t height, std::string* message) {
  CloseOffscreenView();
  offscreen.context = OSMesaCreateContextExt(OSMESA_RGBA, kDepthBits, 0, 0, nullptr);
  if (offscreen.context == nullptr) {
    *message = "Mesa's offscreen renderer could not create a context";
    return false;
  }
  offscreen.rgba.assign(static_cast<size_t>(width) * static_cast<size_t>(height) * 4, 0);
  offscreen.width = width;
  offscreen.height = height;
  if (!OSMesaMakeCurrent(offscreen.context, offscreen.rgba.data(), GL_UNSIGNED_BYTE, width, height)) {
    *message = "Mesa's offscreen renderer could not take a " + std::to_string(width) + " x " +
               std::to_string(height) + " picture";
    CloseOffscreenView();
    return false;
  }
  // The drawing goes to memory: any non-null handle stands for it.
  viewDC = reinterpret_cast<HDC>(&offscreen);
  return true;
}

bool ReadOffscreenView(std::vector<uint8_t>* rgb) {
  if (offscreen.context == nullptr) return false;
  glFinish();
  // Mesa's rows run from the bottom of the picture up.
  const size_t width = static_cast<size_t>(offscreen.width);
  rgb->resize(width * static_cast<size_t>(offscreen.height) * 3);
  for (int32_t y = 0; y < offscreen.height; ++y) {
    const uint8_t* from = &offscreen.rgba[static_cast<size_t>(offscreen.height - 1 - y) * width * 4];
    uint8_t* to = &(*rgb)[static_cast<size_t>(y) * width * 3];
    for (size_t x = 0; x < width; ++x) {
      to[3 * x] = from[4 * x];
      to[3 * x + 1] = from[4 * x + 1];
      to[3 * x + 2] = from[4 * x + 2];
    }
  }
  return true;
}

void CloseOffscreenView() {
  if (offscreen.context != nullptr) OSMesaDestroyContext(offscreen.context);
  offscreen = OffscreenState();
  viewDC = nullptr;
}

uint64_t OffscreenMemoryLimit() {
  uint64_t limit = UINT64_MAX;
  for (int resource : {RLIMIT_AS, RLIMIT_DATA}) {
    rlimit set;
    if (getrlimit(resource, &set) == 0 && set.rlim_cur != RLIM_INFINITY) {
      limit = std::min(limit, static_cast<uint64_t>(set.rlim_cur));
    }
  }
  struct sysinfo machine;
  if (sysinfo(&machine) == 0) {
    limit = std::min(limit, (static_cast<uint64_t>(machine.totalram) + machine.totalswap) * machine.mem_unit);
  }
  return limit;
}
