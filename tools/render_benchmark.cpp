// Benchmarks of the rendering: compiling the default terrain's list and drawing frames offscreen.
#include <windows.h>

#include <GL/osmesa.h>
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "render/frame.h"
#include "render/render_context.h"
#include "render/terrain_list.h"
#include "state/app_state.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

// Frames are drawn into memory; there is no window to present them in.
BOOL SwapBuffers(HDC) { return TRUE; }

static const int kViewWidth = 800;
static const int kViewHeight = 541;

// An offscreen view with the render state set and the default river terrain on display.
struct OffscreenView {
  std::vector<unsigned char> pixels;
  OSMesaContext context;
};

static bool OpenView(OffscreenView* view) {
  view->pixels.assign(static_cast<size_t>(kViewWidth) * kViewHeight * 4, 0);
  view->context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
  if (view->context == nullptr ||
      !OSMesaMakeCurrent(view->context, view->pixels.data(), GL_UNSIGNED_BYTE, kViewWidth, kViewHeight)) {
    return false;
  }
  layout.viewWidth = kViewWidth;
  layout.viewHeight = kViewHeight;
  SetDefaultSettings();
  viewState.zoom = 1.0f;
  InitRenderState();
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  if (grid == nullptr || !CreateTerrainGrid(grid, 100, 100, 150.0f, 150.0f, 8.0f) ||
      !SynthesizeTerrain(grid, 0, 0.4f, 6.0f, 4.0f, 5, 1)) {
    return false;
  }
  currentTerrain = grid;
  BuildTerrainList(grid, 0);
  return true;
}

static void CloseView(OffscreenView* view) {
  if (currentTerrain != nullptr) DestroyTerrainGrid(currentTerrain);
  currentTerrain = nullptr;
  if (view->context != nullptr) OSMesaDestroyContext(view->context);
}

static void BM_BuildTerrainList(benchmark::State& state) {
  OffscreenView view;
  if (!OpenView(&view)) {
    state.SkipWithError("no offscreen OpenGL context");
    return;
  }
  for (auto _ : state) {
    BuildTerrainList(currentTerrain, 0);
    glFinish();
  }
  CloseView(&view);
}

// One frame as the "Single" benchmark draws it: a 5 degree turn, then DrawFrame.
static void DrawFrames(benchmark::State& state, int32_t renderMode) {
  OffscreenView view;
  if (!OpenView(&view)) {
    state.SkipWithError("no offscreen OpenGL context");
    return;
  }
  settings.renderMode = renderMode;
  viewState.pitch = 0.0f;
  for (auto _ : state) {
    viewState.yaw = viewState.yaw + 5.0f >= 360.0f ? 0.0f : viewState.yaw + 5.0f;
    DrawFrame();
    glFinish();
  }
  CloseView(&view);
}

static void BM_DrawFrameSolid(benchmark::State& state) { DrawFrames(state, kRenderModeSolid); }
static void BM_DrawFramePoints(benchmark::State& state) { DrawFrames(state, kRenderModeWire); }

BENCHMARK(BM_BuildTerrainList)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawFrameSolid)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_DrawFramePoints)->Unit(benchmark::kMillisecond);
BENCHMARK_MAIN();
