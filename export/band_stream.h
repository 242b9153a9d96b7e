// The samples of a rectangle made band by band on worker threads and handed over in order, so writing overlaps generating.
#pragma once

#include <cstdint>
#include <functional>

#include "export/export_field.h"
#include "terrain/tiled_synthesis.h"

struct ExportControl;

// Takes the next band in row order: band.rect (and band.block) are its rows, the
// whole width of the rectangle; range is the band's height range. Returns false to stop.
using BandTaker = std::function<bool(const ExportField& band, const HeightRange& range)>;

// Generates rect of the planned terrain in bands of rows, each made whole by one of
// `threads` workers (0: every core) into a ring of band buffers, and hands the bands
// to take on this thread in order. Memory stays a few bands, whatever the rectangle.
// band.low and band.high are set to low and high. Counts each band's samples as
// export work once taken. False when take stops, memory runs out or control is cancelled.
bool StreamBands(const SynthesisPlan& plan, TerrainRect rect, bool withWater, int threads, float low, float high,
                 ExportControl* control, const BandTaker& take);

// The rows of one band for a rectangle width samples wide.
int64_t BandRows(int64_t width);
