// Benchmarks of terrain synthesis: the viewer's generation, whole fields at large sizes, and a peer noise library.
#include <benchmark/benchmark.h>

#include <cstdlib>
#include <thread>
#include <vector>

#include "terrain/random_source.h"
#include "terrain/synthesis_pass.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_region.h"
#include "terrain/terrain_synthesis.h"

#ifdef KORAVEL_HAVE_FASTNOISELITE
#include "FastNoiseLite.h"
#endif

using Generation = bool (*)(TerrainGrid*, int32_t, float, float, float, int32_t, int32_t);

// One viewer generation a run: a fresh 100 x 100 grid, as "Generate" makes it.
static void Generate(benchmark::State& state, Generation generate, float initFreq, float freqScale,
                     int32_t passes, int32_t river) {
  for (auto _ : state) {
    TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
    if (!grid || !CreateTerrainGrid(grid, 100, 100, 150.0f, 150.0f, 8.0f) ||
        !generate(grid, 0, 0.4f, freqScale, initFreq, passes, river)) {
      DestroyTerrainGrid(grid);
      state.SkipWithError("out of memory");
      break;
    }
    benchmark::DoNotOptimize(grid->heights[0]);
    DestroyTerrainGrid(grid);
  }
}

static void BM_GenerateDefault(benchmark::State& state) { Generate(state, SynthesizeTerrain, 4, 6, 5, 0); }
static void BM_GenerateDefaultPlain(benchmark::State& state) { Generate(state, SynthesizeTerrainPlain, 4, 6, 5, 0); }
static void BM_GenerateDefaultWithRiver(benchmark::State& state) { Generate(state, SynthesizeTerrain, 4, 6, 5, 1); }
// The slowest settings the limits accept at the viewer's size.
static void BM_GenerateSlowest(benchmark::State& state) { Generate(state, SynthesizeTerrain, 4094, 0, 64, 0); }
static void BM_GenerateSlowestPlain(benchmark::State& state) { Generate(state, SynthesizeTerrainPlain, 4094, 0, 64, 0); }

static void BM_SynthesisPassFrequency28(benchmark::State& state) {
  std::vector<float> heights(100 * 100, 0.0f);
  RandomSeed(0);
  for (auto _ : state) {
    SynthesisPass(heights.data(), 28.0f, 0.2048f, 100, 100);
    benchmark::DoNotOptimize(heights[0]);
  }
}

static const int kOctaves = 5;

// Time per sample and octave, in seconds (shown with an SI prefix: 850p is 0.85 ns).
static void CountSampleOctaves(benchmark::State& state, int64_t samples) {
  state.counters["per_sample_octave"] = benchmark::Counter(
      static_cast<double>(samples * kOctaves),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
  state.counters["threads"] = static_cast<double>(state.range(1));
}

// A default terrain (5 passes) of side x side samples: range(0) side, range(1) threads.
static void TerrainAtSize(benchmark::State& state, TerrainSimd simd) {
  const int64_t side = state.range(0);
  const int threads = static_cast<int>(state.range(1));
  if (!SelectTerrainSimd(simd)) {
    state.SkipWithError("instruction set not available");
    return;
  }
  std::vector<float> heights(static_cast<size_t>(side * side));
  const TerrainSettings settings = {0, 8.0f, 0.4f, 6.0f, 4.0f, kOctaves, 0};
  for (auto _ : state) {
    if (!SynthesizeTerrainRect(settings, side, side, {0, 0, side, side}, threads, heights.data(),
                               nullptr, nullptr)) {
      state.SkipWithError("out of memory");
      break;
    }
    benchmark::DoNotOptimize(heights[0]);
  }
  SelectTerrainSimd(kTerrainSimdAuto);
  CountSampleOctaves(state, side * side);
}

static void BM_Terrain(benchmark::State& state) { TerrainAtSize(state, kTerrainSimdAuto); }
static void BM_TerrainScalar(benchmark::State& state) { TerrainAtSize(state, kTerrainSimdScalar); }
static void BM_TerrainSse2(benchmark::State& state) { TerrainAtSize(state, kTerrainSimdSse2); }
static void BM_TerrainAvx2(benchmark::State& state) { TerrainAtSize(state, kTerrainSimdAvx2); }

static int AllCores() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return cores > 0 ? cores : 1;
}

static void SizesAndThreads(benchmark::internal::Benchmark* benchmark) {
  for (int64_t side : {100, 1025, 4097}) {
    benchmark->Args({side, 1});
    if (AllCores() > 1) benchmark->Args({side, AllCores()});
  }
  benchmark->ArgNames({"side", "threads"})->UseRealTime()->Unit(benchmark::kMillisecond);
}

BENCHMARK(BM_GenerateDefault)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerateDefaultPlain)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerateDefaultWithRiver)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_GenerateSlowest)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_GenerateSlowestPlain)->Unit(benchmark::kMillisecond)->Iterations(1);
BENCHMARK(BM_SynthesisPassFrequency28)->Unit(benchmark::kMicrosecond);
BENCHMARK(BM_Terrain)->Apply(SizesAndThreads);
BENCHMARK(BM_TerrainScalar)->Args({1025, 1})->ArgNames({"side", "threads"})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerrainSse2)->Args({1025, 1})->ArgNames({"side", "threads"})->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_TerrainAvx2)->Args({1025, 1})->ArgNames({"side", "threads"})->UseRealTime()->Unit(benchmark::kMillisecond);

#ifdef KORAVEL_HAVE_FASTNOISELITE
// The peer: FastNoiseLite's value-cubic noise with FBm, 5 octaves, over the same
// number of samples; rows split evenly over the threads.
static void BM_FastNoiseLite(benchmark::State& state) {
  const int64_t side = state.range(0);
  const int threads = static_cast<int>(state.range(1));
  FastNoiseLite noise(0);
  noise.SetNoiseType(FastNoiseLite::NoiseType_ValueCubic);
  noise.SetFractalType(FastNoiseLite::FractalType_FBm);
  noise.SetFractalOctaves(kOctaves);
  noise.SetFrequency(4.0f / static_cast<float>(side));
  std::vector<float> heights(static_cast<size_t>(side * side));
  const auto rows = [&](int64_t first, int64_t end) {
    for (int64_t z = first; z < end; ++z) {
      for (int64_t x = 0; x < side; ++x) {
        heights[static_cast<size_t>(z * side + x)] =
            noise.GetNoise(static_cast<float>(x), static_cast<float>(z));
      }
    }
  };
  for (auto _ : state) {
    std::vector<std::thread> helpers;
    for (int t = 1; t < threads; ++t) helpers.emplace_back(rows, side * t / threads, side * (t + 1) / threads);
    rows(0, side / threads);
    for (std::thread& helper : helpers) helper.join();
    benchmark::DoNotOptimize(heights[0]);
  }
  CountSampleOctaves(state, side * side);
}
BENCHMARK(BM_FastNoiseLite)->Apply(SizesAndThreads);
#endif

BENCHMARK_MAIN();
