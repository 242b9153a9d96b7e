// One pass over one block: its lattice, the row stage over its columns, the column stage into the heights.
#pragma once

#include <cstdint>

#include "terrain/group_walks.h"
#include "terrain/synthesis_blocks.h"
#include "terrain/synthesis_kernels.h"
#include "terrain/tiled_synthesis.h"
#include "terrain/worker_scratch.h"

// One pass over one block: the lattice values its windows read, the row stage for
// those lattice rows over the block's columns, then the column stage into the
// heights. False when the lattice's scratch memory cannot be had.
bool AddPassToBlock(const SynthesisKernels& kernels, const PassPlan& pass, const AxisWalk& xWalk,
                    const AxisWalk& zWalk, const Block& block, WorkerScratch* scratch,
                    float* heights, int64_t stride);
