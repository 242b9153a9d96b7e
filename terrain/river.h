// River carving: a jittered Catmull-Rom centre line cut into the heights and recorded in the water field.
#pragma once

#include <cstdint>

struct RiverEnd {
  float xFraction;  // 0: column 0, 1: column width - 1
  float zFraction;  // 0: row 0, 1: row depth - 1
};

// At most this many centre-line samples are carved (120 curve steps).
constexpr int kMaxRiverCentres = 121;

// Where a river cuts: the cell under each carved centre-line sample, in order.
struct RiverCourse {
  int per;          // curve steps per control point; each cut adds (kernel / per) * 2 water
  int centreCount;  // samples that are carved (those with x and z at or above 0)
  int64_t centreX[kMaxRiverCentres];
  int64_t centreZ[kMaxRiverCentres];
};

// Lays a centre line of count = extraPoints + 4 control points from riverStart
// to riverEnd, jitters it with draws from the random source, samples it and
// lowers the heights / raises the water under an 11 x 11 cosine kernel at every
// sample. Fractions are clamped to [0, 1] (NaN to 0) and count to 4..120.
// The water of every updated cell is clamped to at most 1.0. Always returns true.
bool CarveRiver(float* heights, float* water, int width, int depth,
                RiverEnd riverStart, RiverEnd riverEnd, float extraPoints);

// The course CarveRiver cuts on a width x depth grid, taking the same draws from
// *randomState (the jitter, then one per carved sample). Nothing is carved.
void PlanRiverCourse(uint32_t* randomState, int width, int depth, RiverEnd riverStart,
                     RiverEnd riverEnd, float extraPoints, RiverCourse* course);

// A window of a grid's cells: columns x0 .. x0 + width - 1, rows z0 .. z0 + depth - 1.
// Its fields hold cell (column, row) at (column - x0) + (row - z0) * stride.
struct RiverWindow {
  int64_t x0;
  int64_t z0;
  int64_t width;
  int64_t depth;
  int64_t stride;
};

// Cuts the course into the window's cells of the gridWidth x gridDepth grid, in
// the order CarveRiver does; every cell gets exactly the updates it gets there.
// water may be null (the heights alone are cut).
void CarveRiverCourse(const RiverCourse& course, int64_t gridWidth, int64_t gridDepth,
                      RiverWindow window, float* heights, float* water);
