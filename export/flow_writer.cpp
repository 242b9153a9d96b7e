// Writing the drainage map: flow accumulation as a 16-bit PNG of its logarithm, or as raw floats.
#include "export/flow_writer.h"

#include <cmath>
#include <cstring>

#include "export/export_control.h"
#include "export/export_field.h"
#include "export/output_file.h"

double CountLog(uint64_t count) {
  if (count <= 1) return 0.0;
  // count = m x 2^e with m in [sqrt(1/2), sqrt(2)): both steps are exact.
  int e = 63 - __builtin_clzll(count);
  double m = static_cast<double>(count) / std::ldexp(1.0, e);
  if (m > 1.4142135623730951) {
    m /= 2.0;
    ++e;
  }
  // ln(m) = 2 atanh(s), s = (m - 1) / (m + 1), |s| < 0.172: 2 (s + s^3/3 + s^5/5 + ...).
  const double s = (m - 1.0) / (m + 1.0);
  const double square = s * s;
  double power = s;
  double sum = 0.0;
  for (int k = 0; k < 14; ++k) {
    sum += power / static_cast<double>(2 * k + 1);
    power *= square;
  }
  const double ln2 = 0.69314718055994530942;
  return static_cast<double>(e) * ln2 + 2.0 * sum;
}

uint16_t FlowSample16(uint64_t a, uint64_t largest) {
  if (largest <= 1) return 0;
  const double value = std::floor(65535.0 * CountLog(a) / CountLog(largest) + 0.5);
  if (!(value > 0.0)) return 0;
  if (value >= 65535.0) return 65535;
  return static_cast<uint16_t>(value);
}

bool WriteFlow(const ExportField& field, const uint64_t* accumulation, uint64_t largest, FlowFormat format,
               const std::vector<PngText>& texts, OutputFile* file, ExportControl* control) {
  const int64_t width = field.rect.width;
  auto rowOf = [&](int64_t row) { return accumulation + FieldIndex(field, field.rect.x0, field.rect.z0 + row); };
  if (format == kFlowPng16) {
    return WritePng(file, width, field.rect.depth, kPngGrey16, texts, [&](int64_t row, uint8_t* bytes) {
      if (ExportCancelled(control)) return false;
      const uint64_t* counts = rowOf(row);
      for (int64_t c = 0; c < width; ++c) {
        const uint16_t value = FlowSample16(counts[c], largest);
        bytes[2 * c] = static_cast<uint8_t>(value >> 8);
        bytes[2 * c + 1] = static_cast<uint8_t>(value);
      }
      AddExportWork(control, width);
      return true;
    });
  }
  std::vector<unsigned char> bytes(static_cast<size_t>(width) * 4);
  for (int64_t row = 0; row < field.rect.depth; ++row) {
    if (ExportCancelled(control)) {
      FailOutputFile(file, "cancelled");
      return false;
    }
    const uint64_t* counts = rowOf(row);
    for (int64_t c = 0; c < width; ++c) {
      const float value = static_cast<float>(counts[c]);
      uint32_t bits;
      memcpy(&bits, &value, sizeof bits);
      for (int i = 0; i < 4; ++i) bytes[static_cast<size_t>(4 * c + i)] = static_cast<unsigned char>(bits >> (8 * i));
    }
    if (!WriteOutput(file, bytes.data(), bytes.size())) return false;
    AddExportWork(control, width);
  }
  return true;
}
