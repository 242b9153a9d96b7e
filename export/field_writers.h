// Writing the height field, the water field and the colour map in their file formats, band by band.
#pragma once

#include <string>
#include <vector>

#include "export/png_writer.h"

struct ExportControl;
struct ExportField;
struct OutputFile;

enum HeightFormat {
  kHeightsFloat,  // raw little-endian 32-bit floats
  kHeightsPng16,  // 16-bit greyscale PNG scaled to the range
  kHeightsR16,    // the same values as raw little-endian unsigned 16-bit
};

enum WaterFormat {
  kWaterFloat,  // raw little-endian 32-bit floats
  kWaterPng8,   // 8-bit greyscale PNG
};

// What a sample file holds.
enum SampleFileKind {
  kSampleHeights,
  kSampleWater,
  kSampleColours,  // 8-bit RGB PNG: each sample in the colour the solid mesh gives it
};

// One file of samples, written row by row as the rows arrive: rows of rect in
// order (row 0 first), each column by column. PNG formats are compressed at the end.
struct SampleFile {
  SampleFileKind kind = kSampleHeights;
  int format = 0;  // HeightFormat or WaterFormat; colours are always PNG
  bool png = false;
  OutputFile* file = nullptr;
  ExportControl* control = nullptr;
  int64_t width = 0;
  int64_t rowsWritten = 0;
  float low = 0.0f;   // the range heights and colours scale to
  float high = 0.0f;
  PngEncoder encoder;
  std::vector<unsigned char> row;
};

// Starts a file of width x depth samples. texts go into the PNG formats.
bool BeginSampleFile(SampleFile* out, SampleFileKind kind, int format, int64_t width, int64_t depth, float low,
                     float high, const std::vector<PngText>& texts, PngCompression compression, OutputFile* file,
                     ExportControl* control);
// Writes the rows of band.rect (every column of the file, the next rows in order).
bool WriteSampleRows(SampleFile* out, const ExportField& band);
// Completes the file: PNGs are compressed and written now. Runs on a thread of its own
// while other files finish theirs.
bool FinishSampleFile(SampleFile* out);
// Frees what an unfinished file holds.
void ReleaseSampleFile(SampleFile* out);

// The whole of field.rect at once.
bool WriteHeights(const ExportField& field, HeightFormat format, const std::vector<PngText>& texts,
                  OutputFile* file, ExportControl* control, PngCompression compression = kPngDefault);
bool WriteWater(const ExportField& field, WaterFormat format, const std::vector<PngText>& texts,
                OutputFile* file, ExportControl* control, PngCompression compression = kPngDefault);
bool WriteColourMap(const ExportField& field, const std::vector<PngText>& texts, OutputFile* file,
                    ExportControl* control, PngCompression compression = kPngDefault);
