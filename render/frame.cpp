// Drawing one frame of the view: clear, place the terrain, draw it solid or as points, present.
#include "render/frame.h"

#include <windows.h>

#include <GL/gl.h>

#include <vector>

#include "render/terrain_list.h"
#include "state/app_state.h"
#include "terrain/terrain_grid.h"

// The double just above 2/9: lifts the terrain from -20 at pitch 0 to 0 at pitch 90.
static const double kLiftPerDegree = 0.22222222222222224;
// Water above this intensity shows as a blue point.
static const double kWaterPoint = 0.7;

void DrawFrame() {
  RenderFrame();
  SwapBuffers(viewDC);
}

void RenderFrame() {
  glClear(GL_COLOR_BUFFER_BIT | GL_DEPTH_BUFFER_BIT);
  glPushMatrix();
  const float lift = static_cast<float>(-20.0 + static_cast<double>(viewState.pitch) * kLiftPerDegree);
  glTranslatef(0.0f, lift, -80.0f);
  glRotatef(viewState.pitch, 1.0f, 0.0f, 0.0f);
  glRotatef(viewState.yaw, 0.0f, 1.0f, 0.0f);
  glScalef(viewState.zoom, viewState.zoom, viewState.zoom);
  if (currentTerrain != nullptr) {
    if (settings.renderMode == kRenderModeWire) DrawTerrainPoints(currentTerrain);
    else DrawTerrainSolid(currentTerrain);
  }
  glPopMatrix();
  glFlush();
}

void DrawTerrainSolid(const TerrainGrid* grid) {
  if (grid == nullptr) return;
  glColor3f(0.4f, 0.7f, 0.4f);
  CallTerrainMesh(grid);
}

// Grey rising 0.0625 per unit of height from 0.3 at height -4.
static float PointGrey(float h) {
  return static_cast<float>((static_cast<double>(h) + 4.0) * 0.0625 + 0.3);
}

// A row of points from vertex arrays, in the order and colours DrawTerrainPoints sends them.
static void DrawPointArrays(const TerrainGrid* grid) {
  std::vector<float> positions(3 * static_cast<size_t>(grid->width));
  std::vector<float> colours(3 * static_cast<size_t>(grid->width));
  glEnableClientState(GL_VERTEX_ARRAY);
  glEnableClientState(GL_COLOR_ARRAY);
  glVertexPointer(3, GL_FLOAT, 0, positions.data());
  glColorPointer(3, GL_FLOAT, 0, colours.data());
  for (int32_t i = 0; i < grid->depth; ++i) {
    const float z = static_cast<float>(GridCoordinate(grid->extentZ, i, grid->depth));
    for (int32_t j = 0; j < grid->width; ++j) {
      const int64_t k = j + static_cast<int64_t>(i) * grid->width;
      const float g = PointGrey(grid->heights[k]);
      const bool blue = static_cast<double>(grid->water[k]) > kWaterPoint;
      float* colour = &colours[3 * static_cast<size_t>(j)];
      colour[0] = blue ? 0.0f : g;
      colour[1] = blue ? 0.0f : g;
      colour[2] = blue ? 1.0f : g;
      float* position = &positions[3 * static_cast<size_t>(j)];
      position[0] = static_cast<float>(GridCoordinate(grid->extentX, j, grid->width));
      position[1] = grid->heights[k];
      position[2] = z;
    }
    glDrawArrays(GL_POINTS, 0, grid->width);
  }
  glDisableClientState(GL_COLOR_ARRAY);
  glDisableClientState(GL_VERTEX_ARRAY);
}

void DrawTerrainPoints(const TerrainGrid* grid) {
  if (grid == nullptr || grid->heights == nullptr || grid->water == nullptr) return;
  if (CurrentTerrainSource() == kTerrainFromArrays) {
    DrawPointArrays(grid);
    return;
  }
  glBegin(GL_POINTS);
  for (int32_t i = 0; i < grid->depth; ++i) {
    const float z = static_cast<float>(GridCoordinate(grid->extentZ, i, grid->depth));
    for (int32_t j = 0; j < grid->width; ++j) {
      const int64_t k = j + static_cast<int64_t>(i) * grid->width;
      const float g = PointGrey(grid->heights[k]);
      glColor3f(g, g, g);
      if (static_cast<double>(grid->water[k]) > kWaterPoint) glColor3f(0.0f, 0.0f, 1.0f);
      glVertex3f(static_cast<float>(GridCoordinate(grid->extentX, j, grid->width)), grid->heights[k], z);
    }
  }
  glEnd();
}
