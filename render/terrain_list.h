// Compiling a terrain's solid, height-coloured mesh into display list 1.
#pragma once

#include <cstdint>

#include "render/mesh_sample.h"  // GridCoordinate, for the point display

struct TerrainGrid;

// One quad strip per column pair, coloured by height and tinted where the
// water exceeds 0.4; flat nonzero lays the mesh in the plane y = 0.
void BuildTerrainList(const TerrainGrid* grid, int32_t flat);
