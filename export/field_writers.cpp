// Writing the height field, the water field and the colour map in their file formats, band by band.
#include "export/field_writers.h"

#include <cstring>

#include "export/export_control.h"
#include "export/export_field.h"
#include "export/output_file.h"
#include "export/sample_formats.h"
#include "render/mesh_sample.h"

namespace {

// The samples of one row of rect.
const float* RowOf(const ExportField& field, const float* values, int64_t row) {
  return values + FieldIndex(field, field.rect.x0, field.rect.z0 + row);
}

void PutFloat(float value, unsigned char* bytes) {
  uint32_t bits;
  memcpy(&bits, &value, sizeof bits);
  for (int i = 0; i < 4; ++i) bytes[i] = static_cast<unsigned char>(bits >> (8 * i));
}

size_t BytesPerSample(const SampleFile& out) {
  switch (out.kind) {
    case kSampleHeights:
      if (out.format == kHeightsFloat) return 4;
      return 2;
    case kSampleWater:
      return out.format == kWaterFloat ? 4 : 1;
    case kSampleColours:
      return 3;
  }
  return 4;
}

// One row in the file's own layout.
void EncodeRow(const SampleFile& out, const ExportField& band, int64_t row, unsigned char* bytes) {
  const int64_t width = out.width;
  const float* heights = band.heights ? RowOf(band, band.heights, row) : nullptr;
  const float* water = band.water ? RowOf(band, band.water, row) : nullptr;
  switch (out.kind) {
    case kSampleHeights:
      if (out.format == kHeightsFloat) {
        for (int64_t c = 0; c < width; ++c) PutFloat(heights[c], bytes + 4 * c);
      } else {
        // R16 little-endian, the PNG big-endian.
        const int first = out.format == kHeightsR16 ? 0 : 1;
        for (int64_t c = 0; c < width; ++c) {
          const uint16_t value = HeightSample16(heights[c], out.low, out.high);
          bytes[2 * c + first] = static_cast<unsigned char>(value);
          bytes[2 * c + 1 - first] = static_cast<unsigned char>(value >> 8);
        }
      }
      return;
    case kSampleWater:
      if (out.format == kWaterFloat) {
        for (int64_t c = 0; c < width; ++c) PutFloat(water[c], bytes + 4 * c);
      } else {
        for (int64_t c = 0; c < width; ++c) bytes[c] = WaterSample8(water[c]);
      }
      return;
    case kSampleColours:
      for (int64_t c = 0; c < width; ++c) {
        const MeshSampleColour colour = SampleMeshColour(heights[c], water[c], out.low, out.high, false);
        const float* shown = ShownColour(colour);
        for (int k = 0; k < 3; ++k) bytes[3 * c + k] = ColourByte(shown[k]);
      }
      return;
  }
}

// The filter that suits each kind of image best (see PngFilter).
PngFilter FilterOf(SampleFileKind kind) {
  return kind == kSampleWater ? kPngFilterSub : kPngFilterUp;
}

}  // namespace

bool BeginSampleFile(SampleFile* out, SampleFileKind kind, int format, int64_t width, int64_t depth, float low,
                     float high, const std::vector<PngText>& texts, PngCompression compression, OutputFile* file,
                     ExportControl* control) {
  out->kind = kind;
  out->format = format;
  out->png = kind == kSampleColours || (kind == kSampleHeights && format == kHeightsPng16) ||
             (kind == kSampleWater && format == kWaterPng8);
  out->file = file;
  out->control = control;
  out->width = width;
  out->rowsWritten = 0;
  out->low = low;
  out->high = high;
  out->row.assign(static_cast<size_t>(width) * BytesPerSample(*out), 0);
  if (!out->png) return true;
  const PngPixels pixels = kind == kSampleColours ? kPngRgb8 : kind == kSampleHeights ? kPngGrey16 : kPngGrey8;
  return BeginPng(&out->encoder, file, width, depth, pixels, texts, FilterOf(kind), compression);
}

bool WriteSampleRows(SampleFile* out, const ExportField& band) {
  for (int64_t j = 0; j < band.rect.depth; ++j) {
    if (ExportCancelled(out->control)) {
      FailOutputFile(out->file, "cancelled");
      return false;
    }
    EncodeRow(*out, band, j, out->row.data());
    if (out->png) {
      AddPngRow(&out->encoder, out->row.data());
    } else if (!WriteOutput(out->file, out->row.data(), out->row.size())) {
      return false;
    }
    ++out->rowsWritten;
    AddExportWork(out->control, out->width);
  }
  return true;
}

bool FinishSampleFile(SampleFile* out) {
  if (ExportCancelled(out->control)) {
    FailOutputFile(out->file, "cancelled");
    ReleaseSampleFile(out);
    return false;
  }
  const bool finished = !out->png || FinishPng(&out->encoder);
  ReleaseSampleFile(out);
  return finished && !out->file->failed;
}

void ReleaseSampleFile(SampleFile* out) {
  ReleasePng(&out->encoder);
  std::vector<unsigned char>().swap(out->row);
}

static bool WriteWhole(const ExportField& field, SampleFileKind kind, int format, const std::vector<PngText>& texts,
                       OutputFile* file, ExportControl* control, PngCompression compression) {
  SampleFile out;
  const bool written = BeginSampleFile(&out, kind, format, field.rect.width, field.rect.depth, field.low,
                                       field.high, texts, compression, file, control) &&
                       WriteSampleRows(&out, field) && FinishSampleFile(&out);
  ReleaseSampleFile(&out);
  return written;
}

bool WriteHeights(const ExportField& field, HeightFormat format, const std::vector<PngText>& texts,
                  OutputFile* file, ExportControl* control, PngCompression compression) {
  return WriteWhole(field, kSampleHeights, format, texts, file, control, compression);
}

bool WriteWater(const ExportField& field, WaterFormat format, const std::vector<PngText>& texts,
                OutputFile* file, ExportControl* control, PngCompression compression) {
  return WriteWhole(field, kSampleWater, format, texts, file, control, compression);
}

bool WriteColourMap(const ExportField& field, const std::vector<PngText>& texts, OutputFile* file,
                    ExportControl* control, PngCompression compression) {
  return WriteWhole(field, kSampleColours, kHeightsPng16, texts, file, control, compression);
}
