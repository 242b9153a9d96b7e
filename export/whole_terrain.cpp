// Erosion and the drainage map in an export: both work on the whole terrain, held in memory.
#include "export/whole_terrain.h"

#include <cstdlib>

#include "export/export_control.h"
#include "terrain/drainage.h"
#include "terrain/erosion.h"

bool NeedsWholeTerrain(const ExportRequest& request) {
  return request.erode || !request.flowPath.empty();
}

bool CheckWholeTerrain(const ExportRequest& request, std::string* message) {
  if (request.erode) {
    const ErosionCheck check = CheckErosionSettings(request.erosion);
    if (check.field != kErosionFieldNone) {
      *message = check.message;
      return false;
    }
  }
  if (request.terrainWidth > kMaxFieldSide || request.terrainDepth > kMaxFieldSide) {
    *message = std::string(request.erode ? "erosion" : "the drainage map") + " works on whole terrains of at most " +
               std::to_string(kMaxFieldSide) + " samples a side";
    return false;
  }
  return true;
}

int64_t WholeTerrainBytesPerSample(const ExportRequest& request) {
  const int64_t eroding = request.erode ? ErosionScratchBytes(1, 1) + 1 : 0;
  const int64_t draining =
      request.flowPath.empty() ? 0 : static_cast<int64_t>(sizeof(uint64_t)) + DrainageScratchBytes(1, 1) + 1;
  return eroding > draining ? eroding : draining;
}

static ExportStatus StatusOf(FlowStatus status, ExportControl* control, std::string* message) {
  if (ExportCancelled(control) || status == kFlowCancelled) {
    *message = "cancelled";
    return kExportCancelled;
  }
  *message = FlowStatusText(status);
  return status == kFlowNoMemory ? kExportNoMemory : kExportRefused;
}

ExportStatus ShapeWholeTerrain(const ExportRequest& request, float* heights, uint64_t** flow, uint64_t* largest,
                               ExportControl* control, std::string* message) {
  const int64_t width = request.terrainWidth;
  const int64_t depth = request.terrainDepth;
  if (request.erode) {
    control->synthesis.workDone = 0;
    control->synthesisShare = width * depth;
    const FlowStatus status =
        ErodeTerrain(heights, width, depth, request.erosion, request.threads, &control->synthesis, nullptr);
    control->synthesisShare = 0;
    if (status != kFlowDone) return StatusOf(status, control, message);
    AddExportWork(control, width * depth);
  }
  if (!request.flowPath.empty()) {
    *flow = static_cast<uint64_t*>(malloc(static_cast<size_t>(width * depth) * sizeof(uint64_t)));
    if (*flow == nullptr) return StatusOf(kFlowNoMemory, control, message);
    const FlowStatus status =
        ComputeDrainage(heights, width, depth, request.threads, *flow, largest, &control->synthesis);
    if (status != kFlowDone) return StatusOf(status, control, message);
    AddExportWork(control, width * depth);
  }
  return kExportDone;
}
