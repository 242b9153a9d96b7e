// The C interface over the terrain engine: argument checks, progress on the caller's thread, no exceptions out.
#include "koravel/koravel.h"

#include <algorithm>
#include <atomic>
#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstddef>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <memory>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "koravel_version.h"
#include "terrain/drainage.h"
#include "terrain/erosion.h"
#include "terrain/generation_limits.h"
#include "terrain/terrain_region.h"

namespace {

// The first version's record: every record is at least this long. Its fields
// end with river; the erosion's follow, off in a record that lacks them.
constexpr uint32_t kFirstSettingsSize = 32;
static_assert(offsetof(koravel_settings, erode) == kFirstSettingsSize && sizeof(koravel_settings) == 56,
              "fields are only ever added at the end");
static_assert(sizeof(koravel_rect) == 32, "koravel_rect is part of the ABI");
static_assert(KORAVEL_MAX_TERRAIN_SIDE == kMaxTerrainSide && KORAVEL_MAX_FIELD_SIDE == kMaxFieldSide,
              "the header's limits are the engine's");

constexpr int32_t kMaxThreads = 1024;
constexpr auto kProgressInterval = std::chrono::milliseconds(100);

void Say(char* message, size_t size, const char* format, ...) __attribute__((format(printf, 3, 4)));

void Say(char* message, size_t size, const char* format, ...) {
  if (message == nullptr || size == 0) return;
  va_list arguments;
  va_start(arguments, format);
  vsnprintf(message, size, format, arguments);
  va_end(arguments);
}

koravel_settings Defaults() {
  koravel_settings s;
  memset(&s, 0, sizeof s);
  s.size = sizeof s;
  s.seed = 0;
  s.height = 8.0f;
  s.init_freq = 4;
  s.freq_scale = 6;
  s.pass_height_scale = 0.4f;
  s.passes = 5;
  s.river = 0;
  const ErosionSettings erosion = DefaultErosionSettings();
  s.erode = 0;
  s.erosion_steps = erosion.steps;
  s.erodibility = erosion.erodibility;
  s.deposition = erosion.deposition;
  s.talus = erosion.talusAngle;
  s.creep = erosion.creep;
  return s;
}

// The caller's record as this library knows it: fields the caller's version
// lacks take their defaults; fields this version lacks must be zero.
koravel_status ReadRecord(const koravel_settings* in, koravel_settings* out, char* message, size_t size) {
  if (in == nullptr) {
    Say(message, size, "settings: a null pointer");
    return KORAVEL_ERROR_ARGUMENT;
  }
  const uint32_t given = in->size;
  if (given < kFirstSettingsSize) {
    Say(message, size, "settings.size: %u bytes, but a record has at least %u (set it with koravel_settings_init)",
        given, kFirstSettingsSize);
    return KORAVEL_ERROR_ARGUMENT;
  }
  const unsigned char* bytes = reinterpret_cast<const unsigned char*>(in);
  for (uint32_t at = sizeof(koravel_settings); at < given; ++at) {
    if (bytes[at] != 0) {
      Say(message, size,
          "settings.size: %u bytes, with fields set that this library (version %s, %u bytes) does not know",
          given, KORAVEL_VERSION, static_cast<unsigned>(sizeof(koravel_settings)));
      return KORAVEL_ERROR_ARGUMENT;
    }
  }
  *out = Defaults();
  memcpy(out, in, given < sizeof *out ? given : sizeof *out);
  return KORAVEL_OK;
}

const char* ErosionFieldName(ErosionField field) {
  switch (field) {
    case kErosionFieldSteps: return "erosion_steps";
    case kErosionFieldErodibility: return "erodibility";
    case kErosionFieldDeposition: return "deposition";
    case kErosionFieldTalusAngle: return "talus";
    case kErosionFieldCreep: return "creep";
    case kErosionFieldNone: break;
  }
  return "settings";
}

const char* FieldName(GenerationField field) {
  switch (field) {
    case kFieldTerrainHeight: return "height";
    case kFieldPassHeightScale: return "pass_height_scale";
    case kFieldFreqScale: return "freq_scale";
    case kFieldInitFreq: return "init_freq";
    case kFieldPassCount: return "passes";
    case kFieldNone: break;
  }
  return "settings";
}

// What the engine takes: the generation's settings and the erosion's.
struct Engine {
  TerrainSettings terrain;
  bool erode;
  ErosionSettings erosion;
};

TerrainSettings EngineSettings(const koravel_settings& s) {
  TerrainSettings settings;
  settings.seed = s.seed;
  settings.terrainHeight = s.height;
  settings.passHeightScale = s.pass_height_scale;
  settings.freqScale = static_cast<float>(s.freq_scale);
  settings.initFreq = static_cast<float>(s.init_freq);
  settings.passCount = s.passes;
  settings.river = s.river;
  return settings;
}

// Reads and checks the settings; on success fills engine.
koravel_status CheckedSettings(const koravel_settings* in, Engine* engine, char* message, size_t size) {
  koravel_settings s;
  const koravel_status read = ReadRecord(in, &s, message, size);
  if (read != KORAVEL_OK) return read;
  if (s.river != 0 && s.river != 1) {
    Say(message, size, "river: 0 (none) or 1 (carve a river), not %d", s.river);
    return KORAVEL_ERROR_SETTINGS;
  }
  if (s.erode != 0 && s.erode != 1) {
    Say(message, size, "erode: 0 (none) or 1 (erode the terrain), not %d", s.erode);
    return KORAVEL_ERROR_SETTINGS;
  }
  const TerrainSettings settings = EngineSettings(s);
  const GenerationCheck check = CheckGenerationParameters(settings.terrainHeight, settings.passHeightScale,
                                                          settings.freqScale, settings.initFreq, settings.passCount);
  if (check.field != kFieldNone) {
    Say(message, size, "%s: %s", FieldName(check.field), check.message);
    return KORAVEL_ERROR_SETTINGS;
  }
  // Without erosion its parameters are not read: a record whose later fields are all zero is the first version's.
  const ErosionSettings erosion = {s.erosion_steps, s.erodibility, s.deposition, s.talus, s.creep};
  const ErosionCheck erosionCheck = s.erode == 1 ? CheckErosionSettings(erosion) : ErosionCheck{kErosionFieldNone, ""};
  if (erosionCheck.field != kErosionFieldNone) {
    Say(message, size, "%s: %s", ErosionFieldName(erosionCheck.field), erosionCheck.message);
    return KORAVEL_ERROR_SETTINGS;
  }
  *engine = Engine{settings, s.erode == 1, erosion};
  Say(message, size, "%s", "");
  return KORAVEL_OK;
}

TerrainRect RectOf(const koravel_rect* rect, int64_t terrainWidth, int64_t terrainDepth) {
  return rect == nullptr ? TerrainRect{0, 0, terrainWidth, terrainDepth}
                         : TerrainRect{rect->x0, rect->z0, rect->width, rect->depth};
}

bool IsWhole(const TerrainRect& rect, int64_t terrainWidth, int64_t terrainDepth) {
  return rect.x0 == 0 && rect.z0 == 0 && rect.width == terrainWidth && rect.depth == terrainDepth;
}

koravel_status CheckThreads(int32_t threads) {
  return threads >= 0 && threads <= kMaxThreads ? KORAVEL_OK : KORAVEL_ERROR_ARGUMENT;
}

double Fraction(const SynthesisControl& control) {
  const int64_t total = control.workTotal.load();
  if (total <= 0) return 0.0;
  const double fraction = static_cast<double>(control.workDone.load()) / static_cast<double>(total);
  return fraction < 1.0 ? fraction : 1.0;
}

// A call's progress over its parts (generation, erosion, drainage), which report one
// after another through control: the part under way takes share of the call after base.
struct CallProgress {
  SynthesisControl control;
  std::atomic<double> base{0.0};
  std::atomic<double> share{1.0};

  void Begin(double partBase, double partShare) {
    control.workDone = 0;
    control.workTotal = 0;
    share = partShare;
    base = partBase;
  }
  double Overall() const {
    const double partBase = base.load();
    return partBase + share.load() * Fraction(control);
  }
};

// Runs work (which reports through its progress and tells how it ended) and, with a progress
// callback, runs it on a thread of its own while this thread reports to the callback.
koravel_status RunReporting(const std::function<koravel_status(CallProgress*)>& work, koravel_progress_fn progress,
                            void* userData) {
  CallProgress calls;
  SynthesisControl& control = calls.control;
  koravel_status done = KORAVEL_ERROR_NO_MEMORY;
  if (progress == nullptr) {
    done = work(&calls);
  } else {
    std::mutex mutex;
    std::condition_variable finished;
    bool over = false;
    std::thread worker([&] {
      koravel_status result = KORAVEL_ERROR_NO_MEMORY;
      try {
        result = work(&calls);
      } catch (...) {
        result = KORAVEL_ERROR_NO_MEMORY;  // threads or memory ran out: reported as such
      }
      std::lock_guard<std::mutex> lock(mutex);
      done = result;
      over = true;
      finished.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    double reported = 0.0;
    while (!finished.wait_for(lock, kProgressInterval, [&] { return over; })) {
      lock.unlock();
      reported = std::min(1.0, std::max(reported, calls.Overall()));  // never back, though parts overlap
      if (progress(reported, userData) != 0) control.cancelled = true;
      lock.lock();
    }
    lock.unlock();
    worker.join();
    if (done == KORAVEL_OK && !control.cancelled.load() && progress(1.0, userData) != 0) control.cancelled = true;
  }
  if (control.cancelled.load()) return KORAVEL_ERROR_CANCELLED;
  return done;
}

koravel_status StatusOf(FlowStatus status) {
  switch (status) {
    case kFlowDone: return KORAVEL_OK;
    case kFlowNoMemory: return KORAVEL_ERROR_NO_MEMORY;
    case kFlowCancelled: return KORAVEL_ERROR_CANCELLED;
    case kFlowBadHeights: break;
  }
  return KORAVEL_ERROR_INTERNAL;
}

// The parts' times, as measured on one core at 1025 and 2049: an erosion step
// takes about 25 generations' time, the drainage map 12.
constexpr double kGenerationWeight = 1.0;
constexpr double kErosionStepWeight = 25.0;
constexpr double kDrainageWeight = 12.0;

double ErosionWeight(const Engine& engine) {
  return engine.erode ? kErosionStepWeight * engine.erosion.steps : 0.0;
}

// Makes the whole terrain's heights (and water, unless null) into terrain-sized
// buffers and erodes the heights when asked, reporting as the first parts of a
// call whose remaining parts weigh after.
koravel_status MakeWholeTerrain(const Engine& engine, int64_t width, int64_t depth, int threads, float* heights,
                                float* water, double after, CallProgress* calls) {
  const double erosion = ErosionWeight(engine);
  const double total = kGenerationWeight + erosion + after;
  calls->Begin(0.0, kGenerationWeight / total);
  const TerrainRect whole = {0, 0, width, depth};
  if (!SynthesizeTerrainRect(engine.terrain, width, depth, whole, threads, heights, water, &calls->control)) {
    return KORAVEL_ERROR_NO_MEMORY;
  }
  if (!engine.erode) return KORAVEL_OK;
  calls->Begin(kGenerationWeight / total, erosion / total);
  return StatusOf(ErodeTerrain(heights, width, depth, engine.erosion, threads, &calls->control, nullptr));
}

// Copies rect out of a whole terrain's field of width columns.
template <typename Sample>
void CutRect(const Sample* field, int64_t width, const TerrainRect& rect, Sample* out) {
  for (int64_t j = 0; j < rect.depth; ++j) {
    memcpy(out + j * rect.width, field + (rect.z0 + j) * width + rect.x0,
           static_cast<size_t>(rect.width) * sizeof(Sample));
  }
}

// Erosion and the drainage map need the whole terrain in one field.
koravel_status CheckWhole(int64_t width, int64_t depth) {
  return koravel_check_rect(width, depth, nullptr, nullptr, 0);
}

// Keeps exceptions (from memory or threads running out) inside the library.
template <typename Body>
koravel_status Guarded(Body body) {
  try {
    return body();
  } catch (const std::bad_alloc&) {
    return KORAVEL_ERROR_NO_MEMORY;
  } catch (const std::system_error&) {
    return KORAVEL_ERROR_NO_MEMORY;
  } catch (...) {
    return KORAVEL_ERROR_INTERNAL;
  }
}

}  // namespace

extern "C" {

const char* koravel_version(void) {
  return KORAVEL_VERSION;
}

const char* koravel_status_text(koravel_status status) {
  switch (status) {
    case KORAVEL_OK: return "done";
    case KORAVEL_ERROR_SETTINGS: return "a setting is outside what it accepts";
    case KORAVEL_ERROR_SHAPE: return "the terrain size or the rectangle is outside the limits";
    case KORAVEL_ERROR_ARGUMENT: return "an argument is missing or out of range";
    case KORAVEL_ERROR_NO_MEMORY: return "the memory or threads needed cannot be had";
    case KORAVEL_ERROR_CANCELLED: return "cancelled";
    case KORAVEL_ERROR_INTERNAL: return "an unexpected failure inside the library";
    default: return "an unknown status";
  }
}

koravel_status koravel_settings_init(koravel_settings* settings, uint32_t size) {
  if (settings == nullptr || size < kFirstSettingsSize) return KORAVEL_ERROR_ARGUMENT;
  koravel_settings defaults = Defaults();
  defaults.size = size;
  memset(settings, 0, size);
  memcpy(settings, &defaults, size < sizeof defaults ? size : sizeof defaults);
  return KORAVEL_OK;
}

koravel_status koravel_check_settings(const koravel_settings* settings, char* message, size_t message_size) {
  Engine engine;
  return CheckedSettings(settings, &engine, message, message_size);
}

koravel_status koravel_check_rect(int64_t terrain_width, int64_t terrain_depth, const koravel_rect* rect,
                                  char* message, size_t message_size) {
  const TerrainRect r = RectOf(rect, terrain_width, terrain_depth);
  char text[256];
  if (!CheckTerrainRect(terrain_width, terrain_depth, r, text, sizeof text)) {
    Say(message, message_size, "%s", text);
    return KORAVEL_ERROR_SHAPE;
  }
  Say(message, message_size, "%s", "");
  return KORAVEL_OK;
}

koravel_status koravel_generate(const koravel_settings* settings, int64_t terrain_width, int64_t terrain_depth,
                                const koravel_rect* rect, float* heights, float* water, size_t buffer_floats,
                                int32_t threads, koravel_progress_fn progress, void* user_data) {
  return Guarded([&]() -> koravel_status {
    Engine engine;
    const koravel_status checked = CheckedSettings(settings, &engine, nullptr, 0);
    if (checked != KORAVEL_OK) return checked;
    const koravel_status shape = koravel_check_rect(terrain_width, terrain_depth, rect, nullptr, 0);
    if (shape != KORAVEL_OK) return shape;
    if (engine.erode && CheckWhole(terrain_width, terrain_depth) != KORAVEL_OK) return KORAVEL_ERROR_SHAPE;
    const TerrainRect r = RectOf(rect, terrain_width, terrain_depth);
    const uint64_t samples = static_cast<uint64_t>(r.width) * static_cast<uint64_t>(r.depth);
    if ((heights == nullptr && water == nullptr) || buffer_floats < samples) return KORAVEL_ERROR_ARGUMENT;
    if (CheckThreads(threads) != KORAVEL_OK) return KORAVEL_ERROR_ARGUMENT;
    const bool whole = IsWhole(r, terrain_width, terrain_depth);

    // The engine always makes heights: water alone, or a tile's water beside the whole
    // terrain's eroded heights, needs a field for the tile's heights.
    const bool wholeHeights = engine.erode && heights != nullptr;  // erosion leaves the water alone
    const bool rectPass = !wholeHeights || (!whole && water != nullptr);
    float* scratch = nullptr;
    if (rectPass && heights == nullptr) {
      scratch = static_cast<float*>(malloc(static_cast<size_t>(samples) * sizeof(float)));
      if (scratch == nullptr) return KORAVEL_ERROR_NO_MEMORY;
    }
    float* field = nullptr;
    if (wholeHeights && !whole) {
      field = static_cast<float*>(malloc(static_cast<size_t>(terrain_width * terrain_depth) * sizeof(float)));
      if (field == nullptr) {
        free(scratch);
        return KORAVEL_ERROR_NO_MEMORY;
      }
    }
    const koravel_status status = RunReporting(
        [&](CallProgress* calls) -> koravel_status {
          // The eroded terrain first; then the tile's water, its heights in the buffer the cut overwrites.
          double rectWeight = kGenerationWeight;
          if (wholeHeights) {
            rectWeight = rectPass ? kGenerationWeight * static_cast<double>(samples) /
                                        static_cast<double>(terrain_width * terrain_depth)
                                  : 0.0;
            const koravel_status made = MakeWholeTerrain(engine, terrain_width, terrain_depth, threads,
                                                         whole ? heights : field, whole ? water : nullptr,
                                                         rectWeight, calls);
            if (made != KORAVEL_OK) return made;
            const double total = kGenerationWeight + ErosionWeight(engine) + rectWeight;
            calls->Begin((total - rectWeight) / total, rectWeight / total);
          }
          if (rectPass && !SynthesizeTerrainRect(engine.terrain, terrain_width, terrain_depth, r, threads,
                                                 scratch != nullptr ? scratch : heights, water, &calls->control)) {
            return KORAVEL_ERROR_NO_MEMORY;
          }
          if (field != nullptr) CutRect(field, terrain_width, r, heights);
          return KORAVEL_OK;
        },
        progress, user_data);
    free(field);
    free(scratch);
    return status;
  });
}

koravel_status koravel_height_range(const koravel_settings* settings, int64_t terrain_width, int64_t terrain_depth,
                                    int32_t threads, koravel_progress_fn progress, void* user_data,
                                    float* min_height, float* max_height) {
  return Guarded([&]() -> koravel_status {
    Engine engine;
    const koravel_status checked = CheckedSettings(settings, &engine, nullptr, 0);
    if (checked != KORAVEL_OK) return checked;
    const koravel_rect corner = {0, 0, 1, 1};
    const koravel_status shape = koravel_check_rect(terrain_width, terrain_depth, &corner, nullptr, 0);
    if (shape != KORAVEL_OK) return shape;
    if (engine.erode && CheckWhole(terrain_width, terrain_depth) != KORAVEL_OK) return KORAVEL_ERROR_SHAPE;
    if (min_height == nullptr || max_height == nullptr || CheckThreads(threads) != KORAVEL_OK) {
      return KORAVEL_ERROR_ARGUMENT;
    }
    float low = 0.0f, high = 0.0f;
    koravel_status status;
    if (engine.erode) {
      // An eroded terrain is made whole: its range is a scan of it, in row order.
      const size_t samples = static_cast<size_t>(terrain_width * terrain_depth);
      std::unique_ptr<float, decltype(&free)> field(static_cast<float*>(malloc(samples * sizeof(float))), free);
      if (field == nullptr) return KORAVEL_ERROR_NO_MEMORY;
      status = RunReporting(
          [&](CallProgress* calls) {
            return MakeWholeTerrain(engine, terrain_width, terrain_depth, threads, field.get(), nullptr, 0.0, calls);
          },
          progress, user_data);
      const float* h = field.get();
      if (status == KORAVEL_OK) {
        low = high = h[0];
        for (size_t i = 1; i < samples; ++i) {
          if (h[i] < low) low = h[i];
          if (h[i] > high) high = h[i];
        }
      }
    } else {
      status = RunReporting(
          [&](CallProgress* calls) {
            return FindTerrainHeightRange(engine.terrain, terrain_width, terrain_depth, threads, &low, &high,
                                          &calls->control)
                       ? KORAVEL_OK
                       : KORAVEL_ERROR_NO_MEMORY;
          },
          progress, user_data);
    }
    if (status == KORAVEL_OK) {
      *min_height = low;
      *max_height = high;
    }
    return status;
  });
}

koravel_status koravel_flow(const koravel_settings* settings, int64_t terrain_width, int64_t terrain_depth,
                            const koravel_rect* rect, uint64_t* accumulation, size_t buffer_counts, uint64_t* largest,
                            int32_t threads, koravel_progress_fn progress, void* user_data) {
  return Guarded([&]() -> koravel_status {
    Engine engine;
    const koravel_status checked = CheckedSettings(settings, &engine, nullptr, 0);
    if (checked != KORAVEL_OK) return checked;
    const koravel_status shape = koravel_check_rect(terrain_width, terrain_depth, rect, nullptr, 0);
    if (shape != KORAVEL_OK) return shape;
    if (CheckWhole(terrain_width, terrain_depth) != KORAVEL_OK) return KORAVEL_ERROR_SHAPE;
    const TerrainRect r = RectOf(rect, terrain_width, terrain_depth);
    const uint64_t samples = static_cast<uint64_t>(r.width) * static_cast<uint64_t>(r.depth);
    if (accumulation == nullptr || buffer_counts < samples) return KORAVEL_ERROR_ARGUMENT;
    if (CheckThreads(threads) != KORAVEL_OK) return KORAVEL_ERROR_ARGUMENT;
    const bool whole = IsWhole(r, terrain_width, terrain_depth);

    const size_t wholeSamples = static_cast<size_t>(terrain_width * terrain_depth);
    std::unique_ptr<float, decltype(&free)> field(static_cast<float*>(malloc(wholeSamples * sizeof(float))), free);
    if (field == nullptr) return KORAVEL_ERROR_NO_MEMORY;
    uint64_t amax = 0;
    const koravel_status status = RunReporting(
        [&](CallProgress* calls) -> koravel_status {
          const double drainage = kDrainageWeight;
          const koravel_status made =
              MakeWholeTerrain(engine, terrain_width, terrain_depth, threads, field.get(), nullptr, drainage, calls);
          if (made != KORAVEL_OK) return made;
          const double total = kGenerationWeight + ErosionWeight(engine) + drainage;
          calls->Begin((total - drainage) / total, drainage / total);
          // The counts' memory is had once the erosion has given its own back.
          std::unique_ptr<uint64_t, decltype(&free)> counts(
              whole ? nullptr : static_cast<uint64_t*>(malloc(wholeSamples * sizeof(uint64_t))), free);
          if (!whole && counts == nullptr) return KORAVEL_ERROR_NO_MEMORY;
          uint64_t* out = whole ? accumulation : counts.get();
          const FlowStatus drained =
              ComputeDrainage(field.get(), terrain_width, terrain_depth, threads, out, &amax, &calls->control);
          if (drained != kFlowDone) return StatusOf(drained);
          if (!whole) CutRect(counts.get(), terrain_width, r, accumulation);
          return KORAVEL_OK;
        },
        progress, user_data);
    if (status == KORAVEL_OK && largest != nullptr) *largest = amax;
    return status;
  });
}

}  // extern "C"
