// Writing a PNG: rows filtered as they come, compressed with libdeflate, with text chunks.
#pragma once

#include <cstddef>
#include <cstdint>
#include <functional>
#include <string>
#include <vector>

struct OutputFile;
struct PngBands;

enum PngPixels {
  kPngGrey16,  // one big-endian 16-bit sample per pixel
  kPngGrey8,
  kPngRgb8,
};

struct PngText {
  std::string keyword;  // 1 to 79 Latin-1 characters
  std::string text;
};

// How hard the compressor works: libdeflate's levels 1, 4 and 12.
enum PngCompression {
  kPngFast,
  kPngDefault,
  kPngSmall,
};

// The filter every row takes (PNG's five), or Adaptive: per row the one whose bytes,
// taken as signed, sum to the least in size. Images of one kind compress best with
// one filter (heights: Up; masks: Sub; colour maps: Up), which also costs nothing to choose.
enum PngFilter {
  kPngFilterNone = 0,
  kPngFilterSub = 1,
  kPngFilterUp = 2,
  kPngFilterAverage = 3,
  kPngFilterPaeth = 4,
  kPngFilterAdaptive = 5,
};

// Reads "fast", "default" or "small"; false for anything else.
bool PngCompressionOfName(const std::string& name, PngCompression* compression);

// An image being filtered row by row into memory; the whole image is compressed at the end.
// Fast compression instead streams: bands of rows are compressed on every core as they come and
// written as they are done, joined into one stream.
struct PngEncoder {
  OutputFile* file = nullptr;
  int64_t width = 0;
  int64_t height = 0;
  PngPixels pixels = kPngGrey8;
  PngFilter filter = kPngFilterAdaptive;
  PngCompression compression = kPngDefault;
  std::vector<PngText> texts;
  size_t rowBytes = 0;      // without the filter byte
  int64_t rowsAdded = 0;
  uint8_t* filtered = nullptr;  // height x (1 + rowBytes): the zlib stream's input
  size_t filteredBytes = 0;
  std::vector<uint8_t> previous;  // the last row added, unfiltered
  std::vector<uint8_t> trial;     // adaptive filtering's candidate row
  PngBands* bands = nullptr;      // fast compression's bands and threads
};

// Starts an image of width x height pixels. On failure (a side out of PNG's range,
// no memory) the file carries the reason.
bool BeginPng(PngEncoder* png, OutputFile* file, int64_t width, int64_t height, PngPixels pixels,
              const std::vector<PngText>& texts, PngFilter filter, PngCompression compression);
// Filters the next row (in the PNG's own layout: rowBytes bytes) into the image.
void AddPngRow(PngEncoder* png, const uint8_t* row);
// Compresses the rows (all height of them) and writes the file. Safe to run on a thread of its
// own while other encoders finish theirs.
bool FinishPng(PngEncoder* png);
// Frees the encoder's memory (also after a failure or a cancellation).
void ReleasePng(PngEncoder* png);

// Fills the bytes of one row (row 0 is the image's first) in the PNG's own
// layout; returns false to stop the image (a cancelled export).
using PngRowFiller = std::function<bool(int64_t row, uint8_t* bytes)>;

// Writes a non-interlaced PNG of width x height pixels to file. On failure the
// file carries the reason; a stopped filler leaves it failed as "cancelled".
bool WritePng(OutputFile* file, int64_t width, int64_t height, PngPixels pixels,
              const std::vector<PngText>& texts, const PngRowFiller& fillRow,
              PngFilter filter = kPngFilterAdaptive, PngCompression compression = kPngDefault);

// PNG's limit on a side.
constexpr int64_t kMaxPngSide = 0x7fffffff;
