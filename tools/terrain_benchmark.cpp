// Benchmarks of terrain synthesis: whole generations and one synthesis pass.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <vector>

#include "terrain/random_source.h"
#include "terrain/synthesis_pass.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

static void GenerateDefault(benchmark::State& state, int river) {
  for (auto _ : state) {
    TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
    if (!grid || !CreateTerrainGrid(grid, 100, 100, 150.0f, 150.0f, 8.0f) ||
        !SynthesizeTerrain(grid, 0, 0.4f, 6.0f, 4.0f, 5, river)) {
      DestroyTerrainGrid(grid);
      state.SkipWithError("out of memory");
      break;
    }
    benchmark::DoNotOptimize(grid->heights[0]);
    DestroyTerrainGrid(grid);
  }
}

static void BM_GenerateDefault(benchmark::State& state) { GenerateDefault(state, 0); }
static void BM_GenerateDefaultWithRiver(benchmark::State& state) { GenerateDefault(state, 1); }

static void BM_SynthesisPassFrequency28(benchmark::State& state) {
  std::vector<float> heights(100 * 100, 0.0f);
  RandomSeed(0);
  for (auto _ : state) {
    SynthesisPass(heights.data(), 28.0f, 0.2048f, 100, 100);
    benchmark::DoNotOptimize(heights[0]);
  }
}

BENCHMARK(BM_GenerateDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerateDefaultWithRiver)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_SynthesisPassFrequency28)->Unit(benchmark::kMicrosecond);
BENCHMARK_MAIN();
