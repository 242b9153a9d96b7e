// Writing the height field, the water field and the colour map in their file formats.
#include "export/field_writers.h"

#include <cstring>

#include "export/export_control.h"
#include "export/export_field.h"
#include "export/output_file.h"
#include "export/sample_formats.h"
#include "render/mesh_sample.h"

// The samples of one row of rect.
static const float* RowOf(const ExportField& field, const float* values, int64_t row) {
  return values + FieldIndex(field, field.rect.x0, field.rect.z0 + row);
}

// Raw little-endian values, one row at a time, so no second copy of the field is made.
template <typename Encode>
static bool WriteRawRows(const ExportField& field, const float* values, size_t bytesPerSample,
                         Encode encode, OutputFile* file, ExportControl* control) {
  std::vector<unsigned char> row(static_cast<size_t>(field.rect.width) * bytesPerSample);
  for (int64_t j = 0; j < field.rect.depth; ++j) {
    if (ExportCancelled(control)) {
      FailOutputFile(file, "cancelled");
      return false;
    }
    const float* samples = RowOf(field, values, j);
    for (int64_t c = 0; c < field.rect.width; ++c) encode(samples[c], &row[static_cast<size_t>(c) * bytesPerSample]);
    if (!WriteOutput(file, row.data(), row.size())) return false;
    AddExportWork(control, field.rect.width);
  }
  return true;
}

static void PutFloat(float value, unsigned char* bytes) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

static bool WritePngRows(const ExportField& field, PngPixels pixels, const std::vector<PngText>& texts,
                         OutputFile* file, ExportControl* control,
                         const std::function<void(int64_t row, uint8_t* bytes)>& fill) {
  return WritePng(file, field.rect.width, field.rect.depth, pixels, texts, [&](int64_t row, uint8_t* bytes) {
    if (ExportCancelled(control)) return false;
    fill(row, bytes);
    AddExportWork(control, field.rect.width);
    return true;
  });
}

bool WriteHeights(const ExportField& field, HeightFormat format, const std::vector<PngText>& texts,
                  OutputFile* file, ExportControl* control) {
  const float low = field.low;
  const float high = field.high;
  switch (format) {
    case kHeightsFloat:
      return WriteRawRows(field, field.heights, 4, PutFloat, file, control);
    case kHeightsR16:
      return WriteRawRows(field, field.heights, 2, [low, high](float h, unsigned char* bytes) {
        const uint16_t value = HeightSample16(h, low, high);
        bytes[0] = static_cast<unsigned char>(value);
        bytes[1] = static_cast<unsigned char>(value >> 8);
      }, file, control);
    case kHeightsPng16:
      return WritePngRows(field, kPngGrey16, texts, file, control, [&](int64_t row, uint8_t* bytes) {
        const float* samples = RowOf(field, field.heights, row);
        for (int64_t c = 0; c < field.rect.width; ++c) {
          const uint16_t value = HeightSample16(samples[c], low, high);
          bytes[2 * c] = static_cast<uint8_t>(value >> 8);
          bytes[2 * c + 1] = static_cast<uint8_t>(value);
        }
      });
  }
  return false;
}

bool WriteWater(const ExportField& field, WaterFormat format, const std::vector<PngText>& texts,
                OutputFile* file, ExportControl* control) {
  if (format == kWaterFloat) return WriteRawRows(field, field.water, 4, PutFloat, file, control);
  return WritePngRows(field, kPngGrey8, texts, file, control, [&](int64_t row, uint8_t* bytes) {
    const float* samples = RowOf(field, field.water, row);
    for (int64_t c = 0; c < field.rect.width; ++c) bytes[c] = WaterSample8(samples[c]);
  });
}

bool WriteColourMap(const ExportField& field, const std::vector<PngText>& texts, OutputFile* file,
                    ExportControl* control) {
  return WritePngRows(field, kPngRgb8, texts, file, control, [&](int64_t row, uint8_t* bytes) {
    const float* heights = RowOf(field, field.heights, row);
    const float* water = RowOf(field, field.water, row);
    for (int64_t c = 0; c < field.rect.width; ++c) {
      const MeshSampleColour colour = SampleMeshColour(heights[c], water[c], field.low, field.high, false);
      const float* shown = ShownColour(colour);
      for (int k = 0; k < 3; ++k) bytes[3 * c + k] = ColourByte(shown[k]);
    }
  });
}
