// The river at any size: the 100 x 100 river's cut and water, resampled with Catmull-Rom splines.
#include "terrain/river_resample.h"

#include <cstdlib>
#include <cstring>

static void BaseCoordinate(int64_t index, int64_t side, int64_t* window, double* parameter) {
  const double at = static_cast<double>(index) * static_cast<double>(kRiverBaseSide) / static_cast<double>(side);
  const int64_t whole = static_cast<int64_t>(at);
  *window = whole;
  *parameter = static_cast<double>(static_cast<float>(at - static_cast<double>(whole)));
}

static int64_t ClampToBase(int64_t index) {
  return index < 0 ? 0 : (index >= kRiverBaseSide ? kRiverBaseSide - 1 : index);
}

void CarveBaseRiver(const RiverCourse& course, float* change, float* water) {
  const RiverWindow whole = {0, 0, kRiverBaseSide, kRiverBaseSide, kRiverBaseSide};
  CarveRiverCourse(course, kRiverBaseSide, kRiverBaseSide, whole, change, water);
}

void ReleaseRiverResample(RiverResample* resample) {
  free(resample->change);
  free(resample->water);
  free(resample->rowWindow);
  free(resample->rowParameter);
  memset(resample, 0, sizeof *resample);
}

bool PrepareRiverResample(const float* baseChange, const float* baseWater, int64_t terrainWidth,
                          int64_t terrainDepth, TerrainRect rect, const SynthesisKernels& kernels,
                          RiverResample* resample) {
  memset(resample, 0, sizeof *resample);
  // Rows padded for the kernels' read-ahead.
  resample->rowStride = (rect.width + 7) / 8 * 8 + kKernelOverrun;
  int64_t firstWindow = 0;
  int64_t lastWindow = 0;
  double unused = 0.0;
  BaseCoordinate(rect.z0, terrainDepth, &firstWindow, &unused);
  BaseCoordinate(rect.z0 + rect.depth - 1, terrainDepth, &lastWindow, &unused);
  resample->firstBaseRow = ClampToBase(firstWindow - 1);
  const int64_t baseRows = ClampToBase(lastWindow + 2) - resample->firstBaseRow + 1;

  const size_t rowFloats = static_cast<size_t>(baseRows * resample->rowStride);
  const size_t columns = static_cast<size_t>(rect.width + kKernelOverrun);
  resample->change = static_cast<float*>(calloc(rowFloats, sizeof(float)));
  resample->water = static_cast<float*>(calloc(rowFloats, sizeof(float)));
  resample->rowWindow = static_cast<int64_t*>(calloc(static_cast<size_t>(rect.depth), sizeof(int64_t)));
  resample->rowParameter = static_cast<double*>(calloc(static_cast<size_t>(rect.depth), sizeof(double)));
  int64_t* columnWindow = static_cast<int64_t*>(calloc(columns, sizeof(int64_t)));
  double* columnParameter = static_cast<double*>(calloc(columns, sizeof(double)));
  if (!resample->change || !resample->water || !resample->rowWindow || !resample->rowParameter ||
      !columnWindow || !columnParameter) {
    ReleaseRiverResample(resample);
    free(columnWindow);
    free(columnParameter);
    return false;
  }

  for (int64_t j = 0; j < rect.depth; ++j) {
    BaseCoordinate(rect.z0 + j, terrainDepth, &resample->rowWindow[j], &resample->rowParameter[j]);
  }
  for (int64_t c = 0; c < rect.width; ++c) {
    BaseCoordinate(rect.x0 + c, terrainWidth, &columnWindow[c], &columnParameter[c]);
  }
  for (int64_t b = 0; b < baseRows; ++b) {
    const int64_t baseRow = resample->firstBaseRow + b;
    const float* fields[2] = {baseChange + baseRow * kRiverBaseSide, baseWater + baseRow * kRiverBaseSide};
    float* outputs[2] = {resample->change + b * resample->rowStride, resample->water + b * resample->rowStride};
    // Columns sharing a window; a run's last vector may spill into the next run's
    // columns, which that run then writes, or into the row's padding.
    for (int64_t start = 0; start < rect.width;) {
      const int64_t window = columnWindow[start];
      int64_t end = start + 1;
      while (end < rect.width && columnWindow[end] == window) ++end;
      for (int field = 0; field < 2; ++field) {
        float points[4];
        for (int i = 0; i < 4; ++i) points[i] = fields[field][ClampToBase(window - 1 + i)];
        kernels.sampleWindow(FormSplineCoefficients(points), columnParameter + start,
                             outputs[field] + start, end - start);
      }
      start = end;
    }
  }
  free(columnWindow);
  free(columnParameter);
  return true;
}

void AddResampledRiver(const SynthesisKernels& kernels, const RiverResample& resample, int64_t x0,
                       int64_t x1, int64_t z0, int64_t z1, double* coefficients,
                       double* waterCoefficients, float* heights, float* water, int64_t stride) {
  const int64_t width = x1 - x0;
  int64_t formed = -1;
  for (int64_t z = z0; z < z1; ++z) {
    const int64_t window = resample.rowWindow[z];
    const double f = resample.rowParameter[z];
    const float* change[4];
    const float* wet[4];
    for (int i = 0; i < 4; ++i) {
      const int64_t row = ClampToBase(window - 1 + i) - resample.firstBaseRow;
      change[i] = resample.change + row * resample.rowStride + x0;
      wet[i] = resample.water + row * resample.rowStride + x0;
    }
    // The change and the water come in as octaves of amplitude 1 added to the
    // heights and to the zero-filled water.
    float* line = heights + z * stride + x0;
    float* waterLine = water ? water + z * stride + x0 : nullptr;
    if (f >= 1.0) {
      kernels.addOctaveAtEnd(change[2], 1.0, line, width);
      if (waterLine) kernels.addOctaveAtEnd(wet[2], 1.0, waterLine, width);
    } else {
      if (formed != window) {
        kernels.formColumns(change, coefficients, width);
        if (waterLine) kernels.formColumns(wet, waterCoefficients, width);
        formed = window;
      }
      kernels.addOctave(coefficients, f, 1.0, line, width);
      if (waterLine) kernels.addOctave(waterCoefficients, f, 1.0, waterLine, width);
    }
    if (!waterLine) continue;
    for (int64_t x = 0; x < width; ++x) {
      if (waterLine[x] < 0.0f) waterLine[x] = 0.0f;
      else if (waterLine[x] > 1.0f) waterLine[x] = 1.0f;
    }
  }
}
