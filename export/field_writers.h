// Writing the height field, the water field and the colour map in their file formats.
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

// Rows of rect in order (row 0 first), each column by column. texts go into the PNG formats.
bool WriteHeights(const ExportField& field, HeightFormat format, const std::vector<PngText>& texts,
                  OutputFile* file, ExportControl* control);
bool WriteWater(const ExportField& field, WaterFormat format, const std::vector<PngText>& texts,
                OutputFile* file, ExportControl* control);

// 8-bit RGB PNG: each sample in the colour the solid mesh gives it.
bool WriteColourMap(const ExportField& field, const std::vector<PngText>& texts, OutputFile* file,
                    ExportControl* control);
