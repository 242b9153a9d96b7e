// The C interface over the terrain engine: argument checks, progress on the caller's thread, no exceptions out.
#include "koravel/koravel.h"

#include <chrono>
#include <condition_variable>
#include <cstdarg>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <functional>
#include <mutex>
#include <new>
#include <system_error>
#include <thread>

#include "koravel_version.h"
#include "terrain/generation_limits.h"
#include "terrain/terrain_region.h"

namespace {

// The first version's record: every record is at least this long.
constexpr uint32_t kFirstSettingsSize = 32;
static_assert(sizeof(koravel_settings) == kFirstSettingsSize, "a new field needs a new size rule");
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

// Reads and checks the settings; on success fills settings.
koravel_status CheckedSettings(const koravel_settings* in, TerrainSettings* settings, char* message, size_t size) {
  koravel_settings s;
  const koravel_status read = ReadRecord(in, &s, message, size);
  if (read != KORAVEL_OK) return read;
  if (s.river != 0 && s.river != 1) {
    Say(message, size, "river: 0 (none) or 1 (carve a river), not %d", s.river);
    return KORAVEL_ERROR_SETTINGS;
  }
  *settings = EngineSettings(s);
  const GenerationCheck check = CheckGenerationParameters(settings->terrainHeight, settings->passHeightScale,
                                                          settings->freqScale, settings->initFreq,
                                                          settings->passCount);
  if (check.field != kFieldNone) {
    Say(message, size, "%s: %s", FieldName(check.field), check.message);
    return KORAVEL_ERROR_SETTINGS;
  }
  Say(message, size, "%s", "");
  return KORAVEL_OK;
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

// Runs work (which reports through control) and, with a progress callback, runs
// it on a thread of its own while this thread reports to the callback.
koravel_status RunReporting(const std::function<bool(SynthesisControl*)>& work, koravel_progress_fn progress,
                            void* userData) {
  SynthesisControl control;
  bool done = false;
  if (progress == nullptr) {
    done = work(&control);
  } else {
    std::mutex mutex;
    std::condition_variable finished;
    bool over = false;
    std::thread worker([&] {
      bool result = false;
      try {
        result = work(&control);
      } catch (...) {
        result = false;  // threads or memory ran out: reported as such
      }
      std::lock_guard<std::mutex> lock(mutex);
      done = result;
      over = true;
      finished.notify_one();
    });
    std::unique_lock<std::mutex> lock(mutex);
    while (!finished.wait_for(lock, kProgressInterval, [&] { return over; })) {
      lock.unlock();
      if (progress(Fraction(control), userData) != 0) control.cancelled = true;
      lock.lock();
    }
    lock.unlock();
    worker.join();
    if (done && !control.cancelled.load() && progress(1.0, userData) != 0) control.cancelled = true;
  }
  if (control.cancelled.load()) return KORAVEL_ERROR_CANCELLED;
  return done ? KORAVEL_OK : KORAVEL_ERROR_NO_MEMORY;
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
  TerrainSettings engine;
  return CheckedSettings(settings, &engine, message, message_size);
}

koravel_status koravel_check_rect(int64_t terrain_width, int64_t terrain_depth, const koravel_rect* rect,
                                  char* message, size_t message_size) {
  const TerrainRect r = rect == nullptr ? TerrainRect{0, 0, terrain_width, terrain_depth}
                                        : TerrainRect{rect->x0, rect->z0, rect->width, rect->depth};
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
    TerrainSettings engine;
    const koravel_status checked = CheckedSettings(settings, &engine, nullptr, 0);
    if (checked != KORAVEL_OK) return checked;
    const koravel_status shape = koravel_check_rect(terrain_width, terrain_depth, rect, nullptr, 0);
    if (shape != KORAVEL_OK) return shape;
    const TerrainRect r = rect == nullptr ? TerrainRect{0, 0, terrain_width, terrain_depth}
                                          : TerrainRect{rect->x0, rect->z0, rect->width, rect->depth};
    const uint64_t samples = static_cast<uint64_t>(r.width) * static_cast<uint64_t>(r.depth);
    if ((heights == nullptr && water == nullptr) || buffer_floats < samples) return KORAVEL_ERROR_ARGUMENT;
    if (CheckThreads(threads) != KORAVEL_OK) return KORAVEL_ERROR_ARGUMENT;

    // The engine always makes heights; water alone needs a scratch field for them.
    float* scratch = nullptr;
    if (heights == nullptr) {
      scratch = static_cast<float*>(malloc(static_cast<size_t>(samples) * sizeof(float)));
      if (scratch == nullptr) return KORAVEL_ERROR_NO_MEMORY;
    }
    float* heightsOut = heights != nullptr ? heights : scratch;
    const koravel_status status = RunReporting(
        [&](SynthesisControl* control) {
          return SynthesizeTerrainRect(engine, terrain_width, terrain_depth, r, threads, heightsOut, water, control);
        },
        progress, user_data);
    free(scratch);
    return status;
  });
}

koravel_status koravel_height_range(const koravel_settings* settings, int64_t terrain_width, int64_t terrain_depth,
                                    int32_t threads, koravel_progress_fn progress, void* user_data,
                                    float* min_height, float* max_height) {
  return Guarded([&]() -> koravel_status {
    TerrainSettings engine;
    const koravel_status checked = CheckedSettings(settings, &engine, nullptr, 0);
    if (checked != KORAVEL_OK) return checked;
    const koravel_rect corner = {0, 0, 1, 1};
    const koravel_status shape = koravel_check_rect(terrain_width, terrain_depth, &corner, nullptr, 0);
    if (shape != KORAVEL_OK) return shape;
    if (min_height == nullptr || max_height == nullptr || CheckThreads(threads) != KORAVEL_OK) {
      return KORAVEL_ERROR_ARGUMENT;
    }
    float low = 0.0f, high = 0.0f;
    const koravel_status status = RunReporting(
        [&](SynthesisControl* control) {
          return FindTerrainHeightRange(engine, terrain_width, terrain_depth, threads, &low, &high, control);
        },
        progress, user_data);
    if (status == KORAVEL_OK) {
      *min_height = low;
      *max_height = high;
    }
    return status;
  });
}

}  // extern "C"
