// Drawing a terrain as the viewer shows it, without a display, and writing the picture as a PNG.
#pragma once

#include <cstdint>
#include <string>

struct ExportField;
struct ExportRequest;
struct OutputFile;

// Draws field (a whole terrain) with the viewer's frame code at the request's
// view size and angles, solid or as points, flat when asked, and writes it to
// file as an RGB PNG. Uses the process-wide view records: one picture at a time.
bool WriteTerrainPicture(const ExportField& field, const ExportRequest& request, OutputFile* file);

// The memory drawing the request's picture takes at most, the renderer's included (measured).
uint64_t PictureMemoryBytes(const ExportRequest& request);

// False, saying how much is needed, when the picture's memory cannot be had: a run refuses it up
// front rather than fail inside the renderer.
bool CheckPictureMemory(const ExportRequest& request, std::string* message);
