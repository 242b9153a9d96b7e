// What the "Export Terrain" dialog asks for, the files it names and the export it makes of them.
#pragma once

#include <cstdint>
#include <string>

#include "export/export_job.h"

// The dialog's fields as typed and ticked.
struct ExportChoices {
  std::string sizeText;
  HeightFormat heightsFormat;
  bool water;
  bool colour;
  bool mesh;
  std::string heightsPath;
};

// The choices of a first export: 1025 a side, a PNG heightmap named terrain.png in the
// current folder, no further files.
ExportChoices DefaultExportChoices();

// ".png", ".r16" or ".f32": what a heightmap's name ends in for its format.
const char* HeightsExtension(HeightFormat format);

// The path with the extension its format asks for: a PNG's or R16's name takes theirs; a float
// heightmap's keeps any extension but those two.
std::string WithHeightsExtension(const std::string& path, HeightFormat format);

// The name of a further file: the heightmap's without its extension, then suffix
// ("_water.png", "_colour.png" or ".glb").
std::string RelatedFileName(const std::string& heightsPath, const char* suffix);

// Reads the choices into an export of the terrain on view (settings, flat). Returns an empty
// text, or the refusal that names the field at fault; the request is then unspecified.
std::string ReadExportChoices(const ExportChoices& choices, const TerrainSettings& settings, bool flat,
                              ExportRequest* request);
