// Writing the drainage map: flow accumulation as a 16-bit PNG of its logarithm, or as raw floats.
#pragma once

#include <cstdint>
#include <vector>

#include "export/png_writer.h"

struct ExportControl;
struct ExportField;
struct OutputFile;

enum FlowFormat {
  kFlowFloat,  // raw little-endian 32-bit floats: the accumulation itself
  kFlowPng16,  // 16-bit greyscale PNG: floor(65535 x ln(A) / ln(Amax) + 0.5)
};

// The natural logarithm of a count, by a fixed series of IEEE operations, so
// that every build gives the same bits (the C library's log may differ in the last one).
double CountLog(uint64_t count);

// floor(65535 x ln(a) / ln(largest) + 0.5), 0 when largest is 1.
uint16_t FlowSample16(uint64_t a, uint64_t largest);

// The rows of field.rect of the accumulation, laid out as the field's samples
// (element for column x, row z at FieldIndex). largest is the whole terrain's.
bool WriteFlow(const ExportField& field, const uint64_t* accumulation, uint64_t largest, FlowFormat format,
               const std::vector<PngText>& texts, OutputFile* file, ExportControl* control);
