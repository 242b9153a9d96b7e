// Benchmarks of erosion and the drainage map: default erosion at the viewer's and larger sizes, the drainage map, depressions and peak memory.
#include <benchmark/benchmark.h>

#include <sys/resource.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstring>
#include <map>
#include <thread>
#include <vector>

#include "terrain/drainage.h"
#include "terrain/erosion.h"
#include "terrain/depression_fill.h"
#include "terrain/flow_routing.h"
#include "terrain/terrain_region.h"

namespace {

const TerrainSettings kDefaultTerrain = {0, 8.0f, 0.4f, 6.0f, 4.0f, 5, 0};

std::vector<float> DefaultTerrain(int64_t side) {
  std::vector<float> heights(static_cast<size_t>(side * side));
  SynthesizeTerrainRect(kDefaultTerrain, side, side, {0, 0, side, side}, 0, heights.data(), nullptr, nullptr);
  return heights;
}

int AllCores() {
  const int cores = static_cast<int>(std::thread::hardware_concurrency());
  return cores > 0 ? cores : 1;
}

// Default erosion of a default terrain: range(0) side, range(1) threads. The
// limit the time is held to is printed beside it, in seconds.
void BM_ErodeDefault(benchmark::State& state) {
  const int64_t side = state.range(0);
  const int threads = static_cast<int>(state.range(1));
  const std::vector<float> terrain = DefaultTerrain(side);
  std::vector<float> heights(terrain.size());
  for (auto _ : state) {
    state.PauseTiming();
    heights = terrain;
    state.ResumeTiming();
    if (ErodeTerrain(heights.data(), side, side, DefaultErosionSettings(), threads, nullptr, nullptr) != kFlowDone) {
      state.SkipWithError("erosion failed");
      break;
    }
    benchmark::DoNotOptimize(heights[0]);
  }
  const double limit = side <= 100 ? 0.020 : (side <= 1025 ? 1.0 : 20.0);
  state.counters["limit_s"] = limit;
  state.counters["threads"] = threads;
  state.counters["cores"] = AllCores();
  state.counters["per_sample_step"] = benchmark::Counter(
      static_cast<double>(side * side * DefaultErosionSettings().steps),
      benchmark::Counter::kIsIterationInvariantRate | benchmark::Counter::kInvert);
}

// The drainage map of a default terrain on one thread, against its limit of 2 s at 4097.
void BM_Drainage(benchmark::State& state) {
  const int64_t side = state.range(0);
  const std::vector<float> heights = DefaultTerrain(side);
  std::vector<uint64_t> accumulation(heights.size());
  uint64_t largest = 0;
  for (auto _ : state) {
    if (ComputeDrainage(heights.data(), side, side, 1, accumulation.data(), &largest, nullptr) != kFlowDone) {
      state.SkipWithError("drainage failed");
      break;
    }
    benchmark::DoNotOptimize(accumulation[0]);
  }
  state.counters["limit_s"] = 2.0;
  state.counters["largest"] = static_cast<double>(largest);
}

// A default terrain of `side` a side after default erosion, eroded once for every benchmark that asks.
const std::vector<float>& ErodedTerrain(int64_t side) {
  static std::map<int64_t, std::vector<float>> eroded;
  auto found = eroded.find(side);
  if (found == eroded.end()) {
    std::vector<float> heights = DefaultTerrain(side);
    ErodeTerrain(heights.data(), side, side, DefaultErosionSettings(), 0, nullptr, nullptr);
    found = eroded.emplace(side, std::move(heights)).first;
  }
  return found->second;
}

// The depression fill that erosion runs every step, on an eroded terrain:
// range(0) side, range(1) threads. Most of it runs on one thread, so it bounds
// what a second core gains.
void BM_FillEroded(benchmark::State& state) {
  const int64_t side = state.range(0);
  const int threads = static_cast<int>(state.range(1));
  const std::vector<float>& heights = ErodedTerrain(side);
  const FlowGrid grid = MakeFlowGrid(side, side);
  std::vector<float> filled(heights.size());
  std::vector<uint64_t> pool(heights.size());
  for (auto _ : state) {
    if (!FillDepressions(heights.data(), grid, filled.data(), pool.data(), threads, nullptr)) {
      state.SkipWithError("fill failed");
      break;
    }
    benchmark::DoNotOptimize(filled[0]);
  }
  state.counters["threads"] = threads;
}

// The share of samples in closed depressions (filled height above the height),
// before and after default erosion at range(0) a side; the limit is 1 % after.
void BM_ClosedDepressions(benchmark::State& state) {
  const int64_t side = state.range(0);
  std::vector<float> heights = DefaultTerrain(side);
  const FlowGrid grid = MakeFlowGrid(side, side);
  std::vector<float> filled(heights.size());
  std::vector<uint64_t> pool(heights.size());
  auto share = [&]() {
    FillDepressions(heights.data(), grid, filled.data(), pool.data(), 0, nullptr);
    int64_t closed = 0;
    for (size_t i = 0; i < heights.size(); ++i) closed += filled[i] != heights[i] ? 1 : 0;
    return 100.0 * static_cast<double>(closed) / static_cast<double>(heights.size());
  };
  const double before = share();
  ErodeTerrain(heights.data(), side, side, DefaultErosionSettings(), 0, nullptr, nullptr);
  const double after = share();
  for (auto _ : state) benchmark::DoNotOptimize(after);
  state.counters["closed_before_pct"] = before;
  state.counters["closed_after_pct"] = after;
  state.counters["limit_pct"] = 1.0;
}

// Peak memory of generating and eroding a terrain of range(0) a side, in a
// fresh child process, as a multiple of its height field (limit 6).
void BM_ErosionPeakMemory(benchmark::State& state) {
  const int64_t side = state.range(0);
  double ratio = 0.0;
  for (auto _ : state) {
    int channel[2];
    if (pipe(channel) != 0) {
      state.SkipWithError("no pipe");
      break;
    }
    const pid_t child = fork();
    if (child == 0) {
      close(channel[0]);
      rusage before = {};
      getrusage(RUSAGE_SELF, &before);
      std::vector<float> heights = DefaultTerrain(side);
      ErodeTerrain(heights.data(), side, side, DefaultErosionSettings(), 0, nullptr, nullptr);
      rusage after = {};
      getrusage(RUSAGE_SELF, &after);
      const double grown = static_cast<double>(after.ru_maxrss - before.ru_maxrss) * 1024.0;
      const ssize_t written = write(channel[1], &grown, sizeof grown);
      _exit(written == static_cast<ssize_t>(sizeof grown) ? 0 : 1);
    }
    close(channel[1]);
    double grown = 0.0;
    const ssize_t got = read(channel[0], &grown, sizeof grown);
    close(channel[0]);
    int status = 0;
    waitpid(child, &status, 0);
    if (got != static_cast<ssize_t>(sizeof grown)) {
      state.SkipWithError("the child reported nothing");
      break;
    }
    ratio = grown / (4.0 * static_cast<double>(side * side));
  }
  state.counters["peak_over_heights"] = ratio;
  state.counters["limit"] = 6.0;
}

void ThreadsAndSizes(benchmark::internal::Benchmark* benchmark) {
  for (int64_t side : {100, 1025, 4097}) {
    benchmark->Args({side, 1});
    benchmark->Args({side, 2});
  }
  benchmark->ArgNames({"side", "threads"})->UseRealTime()->Unit(benchmark::kMillisecond);
}

}  // namespace

BENCHMARK(BM_ErodeDefault)->Apply(ThreadsAndSizes);
BENCHMARK(BM_Drainage)->Arg(1025)->Arg(4097)->ArgName("side")->UseRealTime()->Unit(benchmark::kMillisecond);
BENCHMARK(BM_FillEroded)
    ->Args({1025, 1})
    ->Args({1025, 2})
    ->Args({4097, 1})
    ->Args({4097, 2})
    ->ArgNames({"side", "threads"})
    ->UseRealTime()
    ->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ClosedDepressions)->Arg(1025)->ArgName("side")->Iterations(1)->Unit(benchmark::kMillisecond);
BENCHMARK(BM_ErosionPeakMemory)->Arg(4097)->ArgName("side")->Iterations(1)->Unit(benchmark::kMillisecond);

BENCHMARK_MAIN();
