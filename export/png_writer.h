// Writing a PNG row by row through libspng, with text chunks, without holding the image.
#pragma once

#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct OutputFile;

enum PngPixels {
  kPngGrey16,  // one big-endian 16-bit sample per pixel
  kPngGrey8,
  kPngRgb8,
};

struct PngText {
  std::string keyword;  // 1 to 79 Latin-1 characters
  std::string text;
};

// Fills the bytes of one row (row 0 is the image's first) in the PNG's own
// layout; returns false to stop the image (a cancelled export).
using PngRowFiller = std::function<bool(int64_t row, uint8_t* bytes)>;

// Writes a non-interlaced PNG of width x height pixels to file. On failure the
// file carries the reason; a stopped filler leaves it failed as "cancelled".
bool WritePng(OutputFile* file, int64_t width, int64_t height, PngPixels pixels,
              const std::vector<PngText>& texts, const PngRowFiller& fillRow);

// PNG's limit on a side.
constexpr int64_t kMaxPngSide = 0x7fffffff;
