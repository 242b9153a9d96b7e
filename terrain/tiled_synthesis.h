// The fast synthesis of any rectangle of a terrain: planned once, then computed block by block on threads.
//
// Every output bit equals the plain generation's (SynthesisPass, CarveRiver,
// CatmullRomSample). What changes is how much is done and in which order:
// - A pass's spline walk depends only on its step and the sample index, so it is
//   recorded once per pass and axis for the rectangle's columns and rows
//   (group_walks.cpp).
// - Only the lattice values the rectangle's windows read are drawn; the random
//   source jumps over the others, and each pass starts from the seed state
//   advanced by the draws of the passes before it (synthesis_plan.cpp,
//   lattice_draws.cpp).
// - The rectangle is cut into blocks of at most kBlockSide a side; a block runs
//   every pass while its heights stay in the processor's cache. Per block and
//   pass: draw the lattice rows and columns it reads, run the row stage for those
//   rows over the block's columns, then the column stage row by row, adding into
//   the heights: float(double(float(amplitude * sample)) + double(height)), which
//   is what the plain pass's octave buffer and addition give (synthesis_blocks.cpp,
//   block_pass.cpp, block_job.cpp).
// - While a window stays put its coefficients are kept and only Horner's step
//   runs per sample; columns go through packed doubles (SSE2, AVX2) whose lanes
//   give exactly the scalar results (synthesis_kernels.h).
// - The river: at 100 x 100 the viewer's carve, cut into each block's cells; at
//   other sizes the 100 x 100 river resampled (river_resample.h).
// - Threads take whole rows of blocks, so no two write the same rows at once, and
//   each thread is the first to touch the memory it fills; a block's samples depend
//   on nothing but the plan and their position, so neither the thread count nor
//   the block size changes a bit (block_threads.cpp).
#pragma once

#include <cstdint>

#include "terrain/river.h"
#include "terrain/spline_walk.h"
#include "terrain/synthesis_kernels.h"
#include "terrain/terrain_region.h"

// A synthesis pass that adds something: its lattice has 3 or more points a side.
struct PassPlan {
  double amplitude;
  int64_t latticeSide;
  uint32_t firstState;  // the random state before the pass's first lattice draw
  float xStep;
  float zStep;
};

// Everything about a generation that does not depend on the rectangle computed:
// the passes with their random states, and the river's course.
struct SynthesisPlan {
  int64_t terrainWidth;
  int64_t terrainDepth;
  PassPlan* passes;
  int64_t passCount;
  bool river;
  bool riverOnBaseGrid;  // the terrain is not 100 x 100: the river is resampled
  RiverCourse course;
  float* baseChange;     // riverOnBaseGrid: the cut and the water on the 100 x 100 base grid
  float* baseWater;
  uint32_t finalState;   // the random state after every draw of the generation
};

// Follows the passes and the river's draws as the plain generation takes them.
// False when a pass's lattice could never be held (frequency of 2^31 and above)
// or memory runs out.
bool PlanSynthesis(const TerrainSettings& settings, int64_t terrainWidth, int64_t terrainDepth,
                   SynthesisPlan* plan);
void ReleaseSynthesisPlan(SynthesisPlan* plan);

// The lowest and highest height not NaN, and where they are (row * terrainWidth
// + column): of two equal values (+0 and -0) the earlier one counts, as in a
// scan in row order with strict comparisons.
struct HeightRange {
  bool found;
  float low;
  float high;
  int64_t lowAt;
  int64_t highAt;
};

void MergeHeightRange(HeightRange* into, const HeightRange& from);

// The units of work (blocks x passes) SynthesizeRect adds to control->workDone for rect.
int64_t RectWorkUnits(const SynthesisPlan& plan, TerrainRect rect);

struct RectOutput {
  float* heights;      // rect.width x rect.depth
  float* water;        // the same, or null
  HeightRange* range;  // or null
};

struct GroupWalks;

// Computes rect (already checked) of the planned terrain. xWalks / zWalks hold,
// per planned pass, the spline walk at column rect.x0 / row rect.z0 and are moved
// past the rectangle; null walks from column and row 0 here. threads 0: every core.
// columns, unless null, are the walks along x recorded once for rect's columns
// (BuildGroupWalks), shared by the bands of rows of a taller rectangle; xWalks is
// then not used.
bool SynthesizeRect(const SynthesisPlan& plan, TerrainRect rect, SplineWalk* xWalks,
                    SplineWalk* zWalks, int threads, RectOutput output, SynthesisControl* control,
                    const GroupWalks* columns = nullptr);

// The kernels the next synthesis uses (see SelectTerrainSimd).
const SynthesisKernels* SelectedKernels();
