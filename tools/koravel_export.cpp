// koravel-export: generates one terrain as the viewer's "Generate" does and writes its fields out.
#include <cerrno>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>

#include "panel/field_text.h"
#include "terrain/generation_limits.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

static const char kUsage[] =
    "usage: koravel-export [--seed N] [--height F] [--init-freq N] [--freq-scale N]\n"
    "                      [--pass-height-scale F] [--passes N] [--river]\n"
    "                      [--heights FILE] [--water FILE]\n"
    "Generates a 100 x 100 terrain over 150 x 150 units, as the viewer's \"Generate\" does,\n"
    "prints its height range and writes the fields as raw little-endian 32-bit floats\n"
    "(element column + row x 100).\n";

struct ExportOptions {
  int32_t seed;
  float terrainHeight;
  int32_t initFreq;
  int32_t freqScale;
  float passHeightScale;
  int32_t passCount;
  bool river;
  const char* heightsPath;
  const char* waterPath;
};

static int UsageError(const char* format, const char* detail) {
  fprintf(stderr, "koravel-export: ");
  fprintf(stderr, format, detail);
  fprintf(stderr, "\n%s", kUsage);
  return 2;
}

static bool ReadInt(const char* text, int32_t* value) {
  const char* end = nullptr;
  const int32_t parsed = ParseFieldInt(text, &end);
  if (end == text || *end != '\0') return false;
  errno = 0;
  const long long wide = strtoll(text, nullptr, 10);
  if (errno == ERANGE || wide < INT32_MIN || wide > INT32_MAX) return false;
  *value = parsed;
  return true;
}

static bool ReadReal(const char* text, float* value) {
  const char* end = nullptr;
  const float parsed = ParseFieldFloat(text, &end);
  if (end == text || *end != '\0') return false;
  *value = parsed;
  return true;
}

// Returns 0 when the options were read, else the exit code to end with.
static int ReadOptions(int argc, char** argv, ExportOptions* options) {
  for (int i = 1; i < argc; ++i) {
    const char* name = argv[i];
    if (strcmp(name, "--help") == 0) {
      printf("%s", kUsage);
      exit(0);
    }
    if (strcmp(name, "--river") == 0) {
      options->river = true;
      continue;
    }
    int32_t* intTarget = nullptr;
    float* realTarget = nullptr;
    const char** pathTarget = nullptr;
    if (strcmp(name, "--seed") == 0) intTarget = &options->seed;
    else if (strcmp(name, "--init-freq") == 0) intTarget = &options->initFreq;
    else if (strcmp(name, "--freq-scale") == 0) intTarget = &options->freqScale;
    else if (strcmp(name, "--passes") == 0) intTarget = &options->passCount;
    else if (strcmp(name, "--height") == 0) realTarget = &options->terrainHeight;
    else if (strcmp(name, "--pass-height-scale") == 0) realTarget = &options->passHeightScale;
    else if (strcmp(name, "--heights") == 0) pathTarget = &options->heightsPath;
    else if (strcmp(name, "--water") == 0) pathTarget = &options->waterPath;
    else return UsageError("unknown option '%s'", name);

    if (i + 1 >= argc) return UsageError("%s needs a value", name);
    const char* value = argv[++i];
    if (intTarget && !ReadInt(value, intTarget)) {
      return UsageError("'%s' is not a 32-bit whole number", value);
    }
    if (realTarget && !ReadReal(value, realTarget)) {
      return UsageError("'%s' is not a decimal number", value);
    }
    if (pathTarget) *pathTarget = value;
  }
  return 0;
}

// The option that sets each checked field, for messages.
static const char* OptionOf(GenerationField field) {
  switch (field) {
    case kFieldTerrainHeight: return "--height";
    case kFieldPassHeightScale: return "--pass-height-scale";
    case kFieldFreqScale: return "--freq-scale";
    case kFieldInitFreq: return "--init-freq";
    case kFieldPassCount: return "--passes";
    case kFieldNone: break;
  }
  return "";
}

// Writes count floats as little-endian 32-bit words; reports failures on stderr.
static bool WriteField(const char* path, const float* values, int64_t count) {
  FILE* file = fopen(path, "wb");
  if (!file) {
    fprintf(stderr, "koravel-export: cannot write %s: %s\n", path, strerror(errno));
    return false;
  }
  bool written = true;
  for (int64_t i = 0; i < count && written; ++i) {
    uint32_t bits;
    memcpy(&bits, &values[i], sizeof bits);
    const unsigned char bytes[4] = {
        static_cast<unsigned char>(bits), static_cast<unsigned char>(bits >> 8),
        static_cast<unsigned char>(bits >> 16), static_cast<unsigned char>(bits >> 24)};
    written = fwrite(bytes, 1, sizeof bytes, file) == sizeof bytes;
  }
  const int writeError = written ? 0 : errno;
  if (fclose(file) != 0 && written) {
    written = false;
    fprintf(stderr, "koravel-export: cannot write %s: %s\n", path, strerror(errno));
  } else if (!written) {
    fprintf(stderr, "koravel-export: cannot write %s: %s\n", path, strerror(writeError));
  }
  return written;
}

int main(int argc, char** argv) {
  ExportOptions options = {0, 8.0f, 4, 6, 0.4f, 5, false, nullptr, nullptr};
  const int optionsResult = ReadOptions(argc, argv, &options);
  if (optionsResult != 0) return optionsResult;

  const float freqScale = static_cast<float>(options.freqScale);
  const float initFreq = static_cast<float>(options.initFreq);
  const GenerationCheck check = CheckGenerationParameters(
      options.terrainHeight, options.passHeightScale, freqScale, initFreq, options.passCount);
  if (check.field != kFieldNone) {
    fprintf(stderr, "koravel-export: %s: %s\n", OptionOf(check.field), check.message);
    return 2;
  }

  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  if (!grid || !CreateTerrainGrid(grid, 100, 100, 150.0f, 150.0f, options.terrainHeight) ||
      !SynthesizeTerrain(grid, options.seed, options.passHeightScale, freqScale, initFreq,
                         options.passCount, options.river ? 1 : 0)) {
    fprintf(stderr, "koravel-export: out of memory while generating the terrain\n");
    DestroyTerrainGrid(grid);
    return 1;
  }

  const int64_t samples = static_cast<int64_t>(grid->width) * grid->depth;
  bool written = true;
  if (options.heightsPath) written = WriteField(options.heightsPath, grid->heights, samples) && written;
  if (options.waterPath) written = WriteField(options.waterPath, grid->water, samples) && written;
  if (written) {
    printf("minHeight %.9g maxHeight %.9g\n", static_cast<double>(grid->minHeight),
           static_cast<double>(grid->maxHeight));
  }
  DestroyTerrainGrid(grid);
  return written ? 0 : 1;
}
