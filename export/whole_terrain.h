// Erosion and the drainage map in an export: both work on the whole terrain, held in memory.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_job.h"

struct ExportControl;

// Whether the request erodes the terrain or wants its drainage map.
bool NeedsWholeTerrain(const ExportRequest& request);

// Refuses what these cannot do: a terrain of more than kMaxFieldSide a side,
// erosion settings out of range. The message names the limit or the option.
bool CheckWholeTerrain(const ExportRequest& request, std::string* message);

// The bytes a sample of the whole terrain takes besides its heights and water
// while it is eroded or drained (the larger of the two; the drainage's counts
// are kept to be written).
int64_t WholeTerrainBytesPerSample(const ExportRequest& request);

// Erodes the whole terrain's heights when asked, then, when asked, obtains
// *flow (a count a sample, to be released with free) and computes the
// drainage into it with its largest count. Progress goes to control's
// synthesis record. kExportDone, or what stopped it with a message.
ExportStatus ShapeWholeTerrain(const ExportRequest& request, float* heights, uint64_t** flow, uint64_t* largest,
                               ExportControl* control, std::string* message);
