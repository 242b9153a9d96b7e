// Drawing a terrain as the viewer shows it, without a display, and writing the picture as a PNG.
#pragma once

struct ExportField;
struct ExportRequest;
struct OutputFile;

// Draws field (a whole terrain) with the viewer's frame code at the request's
// view size and angles, solid or as points, flat when asked, and writes it to
// file as an RGB PNG. Uses the process-wide view records: one picture at a time.
bool WriteTerrainPicture(const ExportField& field, const ExportRequest& request, OutputFile* file);
