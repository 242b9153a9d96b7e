// One thread's scratch memory: window coefficients, runs, and the lattice with its row stage.
#pragma once

#include <cstdint>

#include "terrain/synthesis_blocks.h"
#include "terrain/synthesis_kernels.h"

// One thread's buffers, kept across passes and blocks. The lattice and its row
// stage grow to what the passes read; the rest is sized for the largest block.
struct WorkerScratch {
  unsigned char* memory;
  double* coefficients;
  double* waterCoefficients;
  float* zeros;  // a row of lattice points past the lattice
  WindowRun* runs;
  int64_t rowStride;
  float* lattice;   // drawn lattice values, latticeColumns a row
  float* rows;      // the row stage's output, rowStride a row
  double* rowCoefficients;  // one lattice row's window coefficients
  int64_t latticeRows;
  int64_t latticeColumns;
};

void ReleaseScratch(WorkerScratch* scratch);
// Sized for the grid's largest block; false when memory runs out.
bool AllocateScratch(const BlockGrid& grid, WorkerScratch* scratch);
// Makes room for a lattice of rows x columns values (columns includes the
// kernels' read-ahead) and their row stage.
bool ReserveLattice(WorkerScratch* scratch, int64_t rows, int64_t columns);
