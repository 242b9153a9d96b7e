// Progress and cancellation of an export, shared with whoever watches it from another thread.
#pragma once

#include <atomic>
#include <cstdint>

#include "terrain/terrain_region.h"

// The export sets workTotal before it starts; work is counted in samples:
// each sample generated and each sample written to a file is one. The
// generation running at the moment reports through synthesis, whose share
// of workTotal is synthesisShare.
struct ExportControl {
  std::atomic<int64_t> workTotal{0};
  std::atomic<int64_t> workDone{0};
  std::atomic<int64_t> synthesisShare{0};
  SynthesisControl synthesis;
  std::atomic<bool> cancelled{false};
};

// Asks the export to stop soon; it then removes what it has written.
inline void CancelExport(ExportControl* control) {
  control->cancelled = true;
  control->synthesis.cancelled = true;
}

inline bool ExportCancelled(const ExportControl* control) {
  return control != nullptr && control->cancelled.load();
}

// Counts samples of work done.
inline void AddExportWork(ExportControl* control, int64_t samples) {
  if (control != nullptr) control->workDone += samples;
}

// How much of the export is done, 0 .. 1.
double ExportFraction(const ExportControl& control);
