/* Koravel's C interface: fractal terrains of any size, generated into the caller's buffers. */
#ifndef KORAVEL_KORAVEL_H
#define KORAVEL_KORAVEL_H

#include <stddef.h>
#include <stdint.h>

/* Plain C with fixed-width types only, so that any language's foreign-function
 * interface can call it. Every function is safe to call from several threads at
 * once; none keeps state between calls. The terrains are the viewer's and
 * koravel-export's, bit for bit: the same settings and size give the same
 * heights on every build, thread count and processor. */

#if defined(_WIN32)
#if defined(KORAVEL_BUILDING_LIBRARY)
#define KORAVEL_API __declspec(dllexport)
#elif defined(KORAVEL_STATIC)
#define KORAVEL_API
#else
#define KORAVEL_API __declspec(dllimport)
#endif
#elif defined(KORAVEL_STATIC)
#define KORAVEL_API
#else
#define KORAVEL_API __attribute__((visibility("default")))
#endif

#ifdef __cplusplus
extern "C" {
#endif

/* What a call came to. koravel_status_text gives each a sentence. */
typedef int32_t koravel_status;
enum {
  KORAVEL_OK = 0,
  KORAVEL_ERROR_SETTINGS = 1,  /* a setting outside what it accepts (koravel_check_settings says which) */
  KORAVEL_ERROR_SHAPE = 2,     /* a terrain size or rectangle outside the limits (koravel_check_rect says why) */
  KORAVEL_ERROR_ARGUMENT = 3,  /* a null pointer, a record of unknown size, a buffer too small, a bad thread count */
  KORAVEL_ERROR_NO_MEMORY = 4, /* the memory or threads the call needs cannot be had */
  KORAVEL_ERROR_CANCELLED = 5, /* the progress callback asked to stop */
  KORAVEL_ERROR_INTERNAL = 6   /* an unexpected failure inside the library */
};

/* One terrain side has 1 to KORAVEL_MAX_TERRAIN_SIDE samples; one call fills
 * at most KORAVEL_MAX_FIELD_SIDE samples a side. The terrain always covers
 * 150 x 150 world units: more samples sample it more densely. */
#define KORAVEL_MAX_TERRAIN_SIDE 1048576
#define KORAVEL_MAX_FIELD_SIDE 16384

/* The generation settings. The record carries its own size in bytes, set by
 * koravel_settings_init: later versions of the library add fields at the end,
 * and a caller compiled against an older header keeps working (the fields it
 * lacks take their defaults). A record larger than this library knows is
 * accepted when the bytes it does not know are all zero, so every field added
 * later is off when zero (the erosion's parameters are read and checked only
 * with erode 1). */
typedef struct koravel_settings {
  uint32_t size;           /* sizeof(koravel_settings) as the caller knows it */
  int32_t seed;            /* any value; default 0 */
  float height;            /* the first pass's amplitude, -1000000 .. 1000000; default 8 */
  int32_t init_freq;       /* lattice frequency of the first pass, at most 4096; default 4 */
  int32_t freq_scale;      /* added to the frequency after each pass; default 6 */
  float pass_height_scale; /* amplitude factor from pass to pass; default 0.4 */
  int32_t passes;          /* at most 1000; default 5 */
  int32_t river;           /* 1 carves a river, 0 none; default 0 */
  /* Added after the first version: a 32-byte record from an older caller means no erosion.
   * Erosion, as koravel-export --erode, shapes the whole terrain, so with it
   * on the terrain has at most KORAVEL_MAX_FIELD_SIDE samples a side. */
  int32_t erode;           /* 1 erodes the terrain, 0 not; default 0 */
  int32_t erosion_steps;   /* rounds of erosion, 1 .. 100; default 10 */
  float erodibility;       /* how fast running water wears the ground, 0 .. 1000; default 1 */
  float deposition;        /* how readily carried sediment settles, 0 .. 100; default 1 */
  float talus;             /* steepest slope that holds, 1 .. 90 degrees (90: none slides); default 35 */
  float creep;             /* hillslope creep, square units a step, 0 .. 100; default 0.2 */
} koravel_settings;

/* A rectangle of samples: columns x0 .. x0 + width - 1, rows z0 .. z0 + depth - 1. */
typedef struct koravel_rect {
  int64_t x0;
  int64_t z0;
  int64_t width;
  int64_t depth;
} koravel_rect;

/* Told how far a call has come: fraction runs from 0 to 1. It is called on the
 * thread that made the call, about ten times a second and once more with 1 at
 * the end. Returning 0 goes on; anything else stops the call soon, which then
 * returns KORAVEL_ERROR_CANCELLED. */
typedef int32_t (*koravel_progress_fn)(double fraction, void* user_data);

/* The library's version, "MAJOR.MINOR.PATCH"; a static string. */
KORAVEL_API const char* koravel_version(void);

/* A sentence for a status; a static string, never null. */
KORAVEL_API const char* koravel_status_text(koravel_status status);

/* Fills the first size bytes of settings with the defaults (the viewer's) and
 * sets settings->size = size. Pass sizeof(koravel_settings). */
KORAVEL_API koravel_status koravel_settings_init(koravel_settings* settings, uint32_t size);

/* KORAVEL_OK when the settings can be generated; otherwise the reason, and,
 * when message is not null, a sentence naming the field and what it accepts
 * ("init_freq: ..."), cut to message_size bytes with its terminating zero. */
KORAVEL_API koravel_status koravel_check_settings(const koravel_settings* settings, char* message,
                                                  size_t message_size);

/* KORAVEL_OK when rect (null: the whole terrain) of a terrain_width x
 * terrain_depth terrain can be generated in one call; otherwise
 * KORAVEL_ERROR_SHAPE with the reason in message, as above. */
KORAVEL_API koravel_status koravel_check_rect(int64_t terrain_width, int64_t terrain_depth,
                                              const koravel_rect* rect, char* message, size_t message_size);

/* Generates rect (null: the whole terrain) of the terrain_width x terrain_depth
 * terrain: heights[c + j * rect->width] is the height at column rect->x0 + c,
 * row rect->z0 + j (rows run from z = -75 on, columns from x = -75), and water
 * the river's intensity there (0 to 1). Either buffer may be null, not both;
 * each holds buffer_floats floats, at least rect->width * rect->depth. The
 * result is the cut of the whole terrain, bit for bit, whatever the rectangle.
 * threads: 0 for every core, or 1 to 1024. progress may be null. On any status
 * but KORAVEL_OK the buffers' contents are undefined.
 * With settings->erode 1 the heights are the eroded terrain's, koravel-export
 * --erode's: the whole terrain is made and eroded and the rectangle cut from
 * it, so each call takes the whole terrain's time and about 22 bytes a sample
 * of it. Erosion leaves the water as it was. */
KORAVEL_API koravel_status koravel_generate(const koravel_settings* settings, int64_t terrain_width,
                                            int64_t terrain_depth, const koravel_rect* rect, float* heights,
                                            float* water, size_t buffer_floats, int32_t threads,
                                            koravel_progress_fn progress, void* user_data);

/* The lowest and highest height of the whole terrain, of any size up to
 * KORAVEL_MAX_TERRAIN_SIDE a side: what tiles of a large terrain share as their
 * scale. It takes about the time of generating the terrain's heights, but only
 * a 2048 x 2048 tile's memory (eroded terrains: the time and memory of
 * koravel_generate's). threads and progress as koravel_generate. */
KORAVEL_API koravel_status koravel_height_range(const koravel_settings* settings, int64_t terrain_width,
                                                int64_t terrain_depth, int32_t threads,
                                                koravel_progress_fn progress, void* user_data,
                                                float* min_height, float* max_height);

/* Added after the first version (symbol version KORAVEL_1.1). The drainage map (flow accumulation) of rect (null: the whole
 * terrain) of the terrain_width x terrain_depth terrain, eroded first when
 * settings->erode is 1, as koravel-export --flow computes it:
 * accumulation[c + j * rect->width] is A at column rect->x0 + c, row
 * rect->z0 + j, the number of samples whose water runs through it, itself
 * included (exact; koravel-export's raw file holds it as floats). *largest,
 * unless null, is the whole terrain's largest A (Amax), what tiles share as
 * their scale. It works on the whole terrain, of at most KORAVEL_MAX_FIELD_SIDE
 * samples a side (KORAVEL_ERROR_SHAPE beyond), taking up to 17 bytes a sample
 * of it besides the caller's buffer (22 while it is eroded). buffer_counts is
 * at least rect->width * rect->depth; threads and progress as koravel_generate. */
KORAVEL_API koravel_status koravel_flow(const koravel_settings* settings, int64_t terrain_width,
                                        int64_t terrain_depth, const koravel_rect* rect, uint64_t* accumulation,
                                        size_t buffer_counts, uint64_t* largest, int32_t threads,
                                        koravel_progress_fn progress, void* user_data);

#ifdef __cplusplus
}
#endif

#endif /* KORAVEL_KORAVEL_H */
