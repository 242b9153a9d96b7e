// Drawing and presenting one frame of the view.
#pragma once

struct TerrainGrid;

// Clears, places the terrain by pitch, yaw and zoom, draws it solid or as
// points according to the render mode, and swaps the buffers.
void DrawFrame();

// DrawFrame without the swap: the frame stays in the back buffer, where it can be read.
void RenderFrame();

// Replays display list 1; nothing for a null grid.
void DrawTerrainSolid(const TerrainGrid* grid);

// Sends every sample as a grey (or blue, under water) point; nothing for null.
void DrawTerrainPoints(const TerrainGrid* grid);
