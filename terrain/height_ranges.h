// The height range of a block, and two ranges merged into one.
#pragma once

#include <cstdint>

#include "terrain/synthesis_blocks.h"
#include "terrain/synthesis_kernels.h"
#include "terrain/tiled_synthesis.h"

// The block's range. Equal values differ only as +0 and -0: for a zero the first
// one in row order is looked up, as a scan with strict comparisons keeps it.
HeightRange BlockRange(const SynthesisKernels& kernels, const SynthesisPlan& plan,
                       TerrainRect rect, const Block& block, const float* heights,
                       int64_t stride);
