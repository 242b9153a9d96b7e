// One export: generate a terrain (or a tile of it) and write the requested files, all or nothing.
#pragma once

#include <cstdint>
#include <string>

#include "export/field_writers.h"
#include "export/flow_writer.h"
#include "export/mesh_writers.h"
#include "terrain/erosion.h"
#include "terrain/terrain_region.h"

struct ExportControl;
struct ExportField;
struct OutputFile;

// How a picture looks at the terrain: the view's size in pixels and the viewer's angles.
struct PictureView {
  int32_t width = 800;
  int32_t height = 541;
  float pitch = 10.0f;
  float yaw = 0.0f;
  float zoom = 1.0f;
  bool wire = false;  // the point display instead of the solid mesh
};

// A picture is drawn from whole terrains of at most this many samples a side, at most this many pixels a side.
constexpr int64_t kMaxPictureTerrainSide = 4097;
constexpr int32_t kMaxPictureSide = 8192;

// Everything an export needs. Empty paths are files not wanted.
struct ExportRequest {
  TerrainSettings settings = {0, 8.0f, 0.4f, 6.0f, 4.0f, 5, 0};
  int64_t terrainWidth = 100;
  int64_t terrainDepth = 100;
  bool tile = false;  // write only rect; otherwise the whole terrain
  TerrainRect rect = {0, 0, 100, 100};
  int threads = 0;    // 0: every core
  bool rangeGiven = false;  // scale heights and colours to rangeLow .. rangeHigh
  float rangeLow = 0.0f;
  float rangeHigh = 0.0f;
  bool flat = false;  // meshes and pictures in the plane y = 0
  bool erode = false;  // every file describes the terrain eroded with these settings
  ErosionSettings erosion = DefaultErosionSettings();

  std::string heightsPath;
  HeightFormat heightsFormat = kHeightsFloat;
  std::string waterPath;
  WaterFormat waterFormat = kWaterFloat;
  std::string colourPath;  // always an RGB PNG
  std::string meshPath;
  MeshFormat meshFormat = kMeshObj;
  std::string picturePath;  // always a PNG
  PictureView view;
  bool replaceProtected = false;  // replace read-only files and files with other names (hard links)
  PngCompression compression = kPngDefault;  // of the PNG heights, water and colour maps
  std::string flowPath;  // the drainage map
  FlowFormat flowFormat = kFlowFloat;
};

enum ExportStatus {
  kExportDone,
  kExportRefused,    // the request cannot be carried out (a shape, a limit); nothing was written
  kExportNoMemory,   // the memory it needs cannot be had; nothing was written
  kExportFileError,  // a file could not be written; nothing was written
  kExportCancelled,  // stopped through the control; nothing was written
};

struct ExportOutcome {
  ExportStatus status = kExportDone;
  std::string message;     // what went wrong, naming the file or the limit
  float minHeight = 0.0f;  // the height range of the generated samples
  float maxHeight = 0.0f;
  float rangeLow = 0.0f;   // the range the files were scaled to
  float rangeHigh = 0.0f;
  bool protectedFile = false;  // refused a read-only file or one with other names, which replaceProtected allows
};

// Draws the terrain of field (a whole terrain) as the viewer shows it and writes
// the picture; the export passes it in, since only some programs can render.
using PictureWriter = bool (*)(const ExportField& field, const ExportRequest& request, OutputFile* file);

// The format a file name asks for by its extension (case does not matter).
HeightFormat HeightFormatOfPath(const std::string& path);
WaterFormat WaterFormatOfPath(const std::string& path);
FlowFormat FlowFormatOfPath(const std::string& path);
// False when the extension is neither .obj nor .glb.
bool MeshFormatOfPath(const std::string& path, MeshFormat* format);
// Whether raw 32-bit floats go under this name: it ends in .f32, .raw or .bin, or has no
// extension at all (a device or a pipe, such as /dev/stdout).
bool IsRawFloatPath(const std::string& path);

// The options of koravel-export that remake the request's terrain.
std::string TerrainOptionsText(const ExportRequest& request);

// The program and version that files name as their maker.
std::string ExportGenerator();

// A height range's bound as files store it and koravel-export prints it: float32 with
// 9 significant digits, which reads back as exactly the same float.
std::string RangeText(float value);

// How far apart a count samples lie over the terrain's 150 units: 150 / count (9 digits).
std::string SpacingText(int64_t count);

// The height range of the request's whole terrain, computed band by band
// without keeping its fields: the range tiles pass as rangeLow .. rangeHigh to
// share one scale. Fills minHeight and maxHeight of outcome; writes nothing.
bool FindWholeTerrainRange(const ExportRequest& request, ExportControl* control, ExportOutcome* outcome);

// Generates the request's samples and writes every requested file to a
// temporary name; only when all are complete are they renamed into place,
// together: all are replaced or none is. Every target is looked at before the
// generation starts; two names for one file are refused. Refusals, failures and
// a cancellation leave no file behind; a cancellation that comes once the
// renames have started is too late: the export finishes. Safe to run on
// a worker thread while control is watched from another. writePicture may be
// null when no picture is requested.
bool RunExport(const ExportRequest& request, ExportControl* control, PictureWriter writePicture,
               ExportOutcome* outcome);
