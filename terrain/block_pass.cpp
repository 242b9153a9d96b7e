// One pass over one block: its lattice, the row stage over its columns, the column stage into the heights.
#include "terrain/block_pass.h"

#include "terrain/lattice_draws.h"

static int64_t Clamp(int64_t value, int64_t low, int64_t high) {
  return value < low ? low : (value > high ? high : value);
}

bool AddPassToBlock(const SynthesisKernels& kernels, const PassPlan& pass, const AxisWalk& xWalk,
                    const AxisWalk& zWalk, const Block& block, WorkerScratch* scratch,
                    float* heights, int64_t stride) {
  const int64_t n = pass.latticeSide;
  const int64_t width = block.x1 - block.x0;
  const int64_t c0 = xWalk.windows[block.x0];
  const int64_t columns = xWalk.windows[block.x1 - 1] + 4 - c0;
  const int64_t r0 = zWalk.windows[block.z0];
  const int64_t rows = zWalk.windows[block.z1 - 1] + 4 - r0;
  // Points past the lattice read 0: rows past it are the zero row, columns zeros.
  const int64_t drawnRows = Clamp(n - r0, 0, rows);
  const int64_t drawnColumns = Clamp(n - c0, 0, columns);
  const int64_t latticeStride = columns + kKernelOverrun;
  if (!ReserveLattice(scratch, drawnRows, latticeStride)) return false;

  DrawPassLattice(pass, r0, c0, drawnRows, drawnColumns, latticeStride, scratch->lattice);

  // Runs of the block's columns that share a window, relative to c0 and block.x0.
  int64_t runCount = 0;
  for (int64_t x = 0; x < width; ++x) {
    const int64_t window = xWalk.windows[block.x0 + x] - c0;
    if (runCount > 0 && scratch->runs[runCount - 1].window == window) {
      scratch->runs[runCount - 1].end = x + 1;
    } else {
      scratch->runs[runCount++] = {window, x, x + 1};
    }
  }
  for (int64_t r = 0; r < drawnRows; ++r) {
    kernels.sampleRow(scratch->lattice + r * latticeStride, scratch->runs, runCount,
                      xWalk.parameters + block.x0, scratch->rows + r * scratch->rowStride,
                      scratch->rowCoefficients);
  }

  // Column stage, row by row; a window's coefficients serve all its rows.
  int64_t formed = -1;
  for (int64_t z = block.z0; z < block.z1; ++z) {
    const int64_t window = zWalk.windows[z];
    const double f = zWalk.parameters[z];
    const float* points[4];
    for (int i = 0; i < 4; ++i) {
      const int64_t row = window - r0 + i;
      points[i] = row < drawnRows ? scratch->rows + row * scratch->rowStride : scratch->zeros;
    }
    float* line = heights + z * stride + block.x0;
    if (f >= 1.0) {
      kernels.addOctaveAtEnd(points[2], pass.amplitude, line, width);
      continue;
    }
    if (formed != window) {
      kernels.formColumns(points, scratch->coefficients, width);
      formed = window;
    }
    kernels.addOctave(scratch->coefficients, f, pass.amplitude, line, width);
  }
  return true;
}
