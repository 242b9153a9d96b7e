// One thread's scratch memory: window coefficients, runs, and the lattice with its row stage.
#include "terrain/worker_scratch.h"

#include <cstdlib>
#include <cstring>

static int64_t RoundUp(int64_t value, int64_t multiple) { return CeilDiv(value, multiple) * multiple; }

// Hands out 64-byte aligned pieces of one allocation.
struct Carver {
  unsigned char* next;
  size_t used;
};

static void* Carve(Carver* carver, size_t bytes) {
  const size_t start = (carver->used + 63) & ~static_cast<size_t>(63);
  carver->used = start + bytes;
  return carver->next ? carver->next + start : nullptr;
}

void ReleaseScratch(WorkerScratch* scratch) {
  free(scratch->memory);
  free(scratch->lattice);
  free(scratch->rows);
  free(scratch->rowCoefficients);
  memset(scratch, 0, sizeof *scratch);
}

bool AllocateScratch(const BlockGrid& grid, WorkerScratch* scratch) {
  memset(scratch, 0, sizeof *scratch);
  scratch->rowStride = RoundUp(grid.width, 8) + kKernelOverrun;
  const int64_t coefficientCount = CeilDiv(scratch->rowStride, kCoefficientBlock) * kCoefficientsPerBlock;
  unsigned char* memory = nullptr;
  for (int round = 0; round < 2; ++round) {
    Carver carver = {memory, 0};
    scratch->coefficients = static_cast<double*>(Carve(&carver, sizeof(double) * coefficientCount));
    scratch->waterCoefficients = static_cast<double*>(Carve(&carver, sizeof(double) * coefficientCount));
    scratch->zeros = static_cast<float*>(Carve(&carver, sizeof(float) * scratch->rowStride));
    scratch->runs = static_cast<WindowRun*>(Carve(&carver, sizeof(WindowRun) * grid.width));
    if (round == 0) {
      scratch->memory = static_cast<unsigned char*>(calloc(1, carver.used + 64));
      if (!scratch->memory) return false;
      memory = scratch->memory + (64 - reinterpret_cast<uintptr_t>(scratch->memory) % 64) % 64;
    }
  }
  return true;
}

bool ReserveLattice(WorkerScratch* scratch, int64_t rows, int64_t columns) {
  if (rows == 0 || (rows <= scratch->latticeRows && columns <= scratch->latticeColumns)) return true;
  if (rows < scratch->latticeRows) rows = scratch->latticeRows;
  if (columns < scratch->latticeColumns) columns = scratch->latticeColumns;
  free(scratch->lattice);
  free(scratch->rows);
  free(scratch->rowCoefficients);
  scratch->lattice = static_cast<float*>(malloc(sizeof(float) * static_cast<size_t>(rows * columns)));
  scratch->rows = static_cast<float*>(malloc(sizeof(float) * static_cast<size_t>(rows * scratch->rowStride)));
  scratch->rowCoefficients = static_cast<double*>(
      malloc(sizeof(double) * static_cast<size_t>(CeilDiv(columns, kCoefficientBlock) * kCoefficientsPerBlock)));
  const bool reserved = scratch->lattice && scratch->rows && scratch->rowCoefficients;
  scratch->latticeRows = reserved ? rows : 0;
  scratch->latticeColumns = reserved ? columns : 0;
  return reserved;
}
