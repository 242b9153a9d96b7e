// A stand-in for the render entry points: a real context on the view, and a count of the frames asked for.
#include "tests/app/render_standin.h"

#include <windows.h>

#include "app/app_state.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "render/render_context.h"
#include "terrain/terrain_synthesis.h"

RenderStandIn renderStandIn = {};

HGLRC CreateRenderContext() {
  if (renderStandIn.contextFails) return nullptr;
  PIXELFORMATDESCRIPTOR descriptor = {};
  descriptor.nSize = static_cast<WORD>(sizeof descriptor);
  descriptor.nVersion = 1;
  descriptor.dwFlags = PFD_DRAW_TO_WINDOW | PFD_SUPPORT_OPENGL | PFD_DOUBLEBUFFER;
  descriptor.iPixelType = PFD_TYPE_RGBA;
  descriptor.cColorBits = 16;
  descriptor.cDepthBits = 16;
  const int format = ChoosePixelFormat(viewDC, &descriptor);
  if (format == 0 || !SetPixelFormat(viewDC, format, &descriptor)) return nullptr;
  HGLRC context = wglCreateContext(viewDC);
  if (context != nullptr && !wglMakeCurrent(viewDC, context)) {
    wglDeleteContext(context);
    return nullptr;
  }
  return context;
}

void InitRenderState() {
  ++renderStandIn.renderStateSetUps;
  viewState.pitch = 10.0f;
  viewState.yaw = 0.0f;
  currentTerrain = nullptr;
  if (renderStandIn.afterRenderState) renderStandIn.afterRenderState();
}

void DrawFrame() {
  ++renderStandIn.framesDrawn;
  if (renderStandIn.afterFrame) renderStandIn.afterFrame();
}

bool GenerateTerrain(TerrainGrid* grid, int32_t seed, float passHeightScale, float freqScale,
                     float initFreq, int32_t passCount, int32_t river, int32_t flat) {
  ++renderStandIn.generations;
  renderStandIn.lastRiver = river;
  renderStandIn.lastFlat = flat;
  return SynthesizeTerrain(grid, seed, passHeightScale, freqScale, initFreq, passCount, river);
}
