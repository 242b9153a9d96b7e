/* Koravel's C interface in use: generates a terrain, prints its height range and writes its heights. */
#include <koravel/koravel.h>

#include <errno.h>
#include <stdio.h>
#include <stdlib.h>

/* Shows how far the generation has come on standard error; returning 0 goes on. */
static int32_t ShowProgress(double fraction, void* user_data) {
  (void)user_data;
  fprintf(stderr, "\rgenerating: %3.0f%%", fraction * 100.0);
  if (fraction >= 1.0) fprintf(stderr, "\n");
  return 0;
}

/* A whole number or a decimal from the command line; 0 when it is not one. */
static int ReadNumber(const char* text, double* value) {
  char* end = NULL;
  errno = 0;
  *value = strtod(text, &end);
  return end != text && *end == '\0' && errno == 0;
}

int main(int argc, char** argv) {
  if (argc != 2 && argc != 4 && argc != 10 && argc != 11) {
    fprintf(stderr,
            "usage: %s OUTPUT.f32 [WIDTH DEPTH [SEED HEIGHT INIT_FREQ FREQ_SCALE PASS_HEIGHT_SCALE PASSES [RIVER]]]\n"
            "Writes the terrain's heights as little-endian 32-bit floats, row after row (Koravel %s).\n",
            argv[0], koravel_version());
    return 2;
  }
  double numbers[10] = {100, 100, 0, 8, 4, 6, 0.4, 5, 0};
  for (int i = 2; i < argc; ++i) {
    if (!ReadNumber(argv[i], &numbers[i - 2])) {
      fprintf(stderr, "%s: '%s' is not a number\n", argv[0], argv[i]);
      return 2;
    }
  }

  /* The settings record: its size first, then the defaults, then what to change. */
  koravel_settings settings;
  koravel_settings_init(&settings, sizeof settings);
  const int64_t width = (int64_t)numbers[0], depth = (int64_t)numbers[1];
  settings.seed = (int32_t)numbers[2];
  settings.height = (float)numbers[3];
  settings.init_freq = (int32_t)numbers[4];
  settings.freq_scale = (int32_t)numbers[5];
  settings.pass_height_scale = (float)numbers[6];
  settings.passes = (int32_t)numbers[7];
  settings.river = (int32_t)numbers[8];

  char message[256];
  if (koravel_check_settings(&settings, message, sizeof message) != KORAVEL_OK ||
      koravel_check_rect(width, depth, NULL, message, sizeof message) != KORAVEL_OK) {
    fprintf(stderr, "%s: %s\n", argv[0], message);
    return 2;
  }

  const size_t samples = (size_t)width * (size_t)depth;
  float* heights = malloc(samples * sizeof *heights);
  if (heights == NULL) {
    fprintf(stderr, "%s: no memory for %zu heights\n", argv[0], samples);
    return 1;
  }
  /* Every core (threads 0), reporting progress; no water wanted. */
  koravel_status status = koravel_generate(&settings, width, depth, NULL, heights, NULL, samples, 0,
                                           ShowProgress, NULL);
  float low = 0.0f, high = 0.0f;
  if (status == KORAVEL_OK) status = koravel_height_range(&settings, width, depth, 0, NULL, NULL, &low, &high);
  if (status != KORAVEL_OK) {
    fprintf(stderr, "%s: %s\n", argv[0], koravel_status_text(status));
    free(heights);
    return 1;
  }

  FILE* file = fopen(argv[1], "wb");
  const int written = file != NULL && fwrite(heights, sizeof *heights, samples, file) == samples;
  const int closed = file != NULL && fclose(file) == 0;
  free(heights);
  if (!written || !closed) {
    fprintf(stderr, "%s: cannot write %s\n", argv[0], argv[1]);
    return 1;
  }
  printf("minHeight %.9g maxHeight %.9g\n", (double)low, (double)high);
  return 0;
}
