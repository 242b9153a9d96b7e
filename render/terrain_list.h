// Compiling a terrain's solid, height-coloured mesh into display list 1.
#pragma once

#include <cstdint>

struct TerrainGrid;

// One quad strip per column pair, coloured by height and tinted where the
// water exceeds 0.4; flat nonzero lays the mesh in the plane y = 0.
void BuildTerrainList(const TerrainGrid* grid, int32_t flat);

// Position of a column (or row) index along an axis of the given extent and
// sample count, at double precision: from -extent / 2 in steps of extent / count.
double GridCoordinate(float extent, int32_t index, int32_t count);
