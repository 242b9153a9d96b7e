// The choice of the synthesis's inner loops: scalar, SSE2 or AVX2.
#include "terrain/tiled_synthesis.h"

#include <atomic>

static std::atomic<int> selectedSimd{kTerrainSimdAuto};

static const SynthesisKernels* KernelsFor(TerrainSimd simd) {
  switch (simd) {
    case kTerrainSimdScalar: return ScalarKernels();
    case kTerrainSimdSse2: return Sse2Kernels();
    case kTerrainSimdAvx2: return Avx2Kernels();
    case kTerrainSimdAuto: break;
  }
  if (const SynthesisKernels* avx2 = Avx2Kernels()) return avx2;
  if (const SynthesisKernels* sse2 = Sse2Kernels()) return sse2;
  return ScalarKernels();
}

bool SelectTerrainSimd(TerrainSimd simd) {
  if (!KernelsFor(simd)) return false;
  selectedSimd = simd;
  return true;
}

TerrainSimd ActiveTerrainSimd() {
  const SynthesisKernels* kernels = SelectedKernels();
  if (kernels == Avx2Kernels()) return kTerrainSimdAvx2;
  if (kernels == Sse2Kernels()) return kTerrainSimdSse2;
  return kTerrainSimdScalar;
}

const SynthesisKernels* SelectedKernels() {
  return KernelsFor(static_cast<TerrainSimd>(selectedSimd.load()));
}
