// Compiling a terrain's solid, height-coloured mesh into display list 1, or drawing it from vertex arrays.
#pragma once

#include <cstdint>

#include "render/mesh_sample.h"  // GridCoordinate, for the point display

struct TerrainGrid;

// One quad strip per column pair, coloured by height and tinted where the
// water exceeds 0.4; flat nonzero lays the mesh in the plane y = 0.
void BuildTerrainList(const TerrainGrid* grid, int32_t flat);

// Where the solid mesh comes from: display list 1 (the viewer, which draws it again and
// again), or vertex arrays sent strip by strip at each frame (pictures of large
// terrains drawn once: no list to compile and keep). Both give the same vertices in the
// same order, so the same pixels.
enum TerrainSource {
  kTerrainFromList,
  kTerrainFromArrays,
};
void SetTerrainSource(TerrainSource source);
TerrainSource CurrentTerrainSource();

// Draws the mesh the last BuildTerrainList made: replays list 1, or sends the arrays.
void CallTerrainMesh(const TerrainGrid* grid);

// The solid mesh as BuildTerrainList lays it out, drawn from vertex arrays: one
// glDrawArrays of GL_QUAD_STRIP per column pair.
void DrawTerrainArrays(const TerrainGrid* grid, int32_t flat);
