// What the "Export Terrain" dialog asks for, the files it names and the export it makes of them.
#include "app/export_choices.h"

#include <cctype>
#include <filesystem>
#include <system_error>

#include "export/mesh_writers.h"

namespace fs = std::filesystem;

static const char kWaterSuffix[] = "_water.png";
static const char kColourSuffix[] = "_colour.png";
static const char kMeshSuffix[] = ".glb";

ExportChoices DefaultExportChoices() {
  std::error_code error;
  fs::path folder = fs::current_path(error);
  const std::string path = error ? std::string("terrain.png") : (folder / "terrain.png").u8string();
  return ExportChoices{"1025", kHeightsPng16, false, false, false, path};
}

const char* HeightsExtension(HeightFormat format) {
  switch (format) {
    case kHeightsPng16: return ".png";
    case kHeightsR16: return ".r16";
    case kHeightsFloat: break;
  }
  return ".f32";
}

// Where the last component's extension starts (its dot), or npos for a name without one.
static size_t ExtensionAt(const std::string& path) {
  const size_t nameAt = path.find_last_of("/\\") == std::string::npos ? 0 : path.find_last_of("/\\") + 1;
  const size_t dot = path.rfind('.');
  if (dot == std::string::npos || dot <= nameAt) return std::string::npos;  // ".hidden" has none
  return dot;
}

static std::string LowerExtension(const std::string& path) {
  const size_t dot = ExtensionAt(path);
  std::string extension = dot == std::string::npos ? "" : path.substr(dot);
  for (char& c : extension) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  return extension;
}

std::string WithHeightsExtension(const std::string& path, HeightFormat format) {
  if (path.empty()) return path;
  if (HeightFormatOfPath(path) == format && (format != kHeightsFloat || IsRawFloatPath(path))) return path;
  const size_t dot = ExtensionAt(path);
  return path.substr(0, dot) + HeightsExtension(format);
}

std::string RelatedFileName(const std::string& heightsPath, const char* suffix) {
  return heightsPath.substr(0, ExtensionAt(heightsPath)) + suffix;
}

static bool IsBlank(const std::string& text) {
  for (char c : text) {
    if (!std::isspace(static_cast<unsigned char>(c))) return false;
  }
  return true;
}

// The whole text as a count of samples, or -1: digits only, spaces around them allowed.
static int64_t ReadSide(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && std::isspace(static_cast<unsigned char>(text[begin]))) ++begin;
  while (end > begin && std::isspace(static_cast<unsigned char>(text[end - 1]))) --end;
  if (begin == end || end - begin > 9) return -1;
  int64_t side = 0;
  for (size_t i = begin; i < end; ++i) {
    if (!std::isdigit(static_cast<unsigned char>(text[i]))) return -1;
    side = side * 10 + (text[i] - '0');
  }
  return side;
}

// The largest side whose mesh a .glb file can hold.
static int64_t LargestGlbSide() {
  std::string ignored;
  int64_t low = 2, high = kMaxFieldSide;
  while (low < high) {
    const int64_t middle = (low + high + 1) / 2;
    if (CheckMeshShape(kMeshGlb, middle, middle, &ignored)) low = middle;
    else high = middle - 1;
  }
  return low;
}

static std::string CheckSize(const ExportChoices& choices, int64_t* side) {
  *side = ReadSide(choices.sizeText);
  const int64_t smallest = choices.mesh ? 2 : 1;
  if (*side < smallest || *side > kMaxFieldSide) {
    return "\"Size (samples a side)\" must be a whole number of samples a side from " + std::to_string(smallest) +
           " to " + std::to_string(kMaxFieldSide) + (choices.mesh ? " (a mesh needs at least 2)." : ".");
  }
  std::string message;
  if (choices.mesh && !CheckMeshShape(kMeshGlb, *side, *side, &message)) {
    return "\"Size (samples a side)\" is too large for the glTF mesh: a .glb file holds at most 4 GiB, which is " +
           std::to_string(LargestGlbSide()) + " samples a side.";
  }
  return "";
}

static std::string CheckPath(const ExportChoices& choices) {
  const std::string& path = choices.heightsPath;
  if (IsBlank(path)) {
    return "\"Heightmap file name\" is empty: type where the heightmap goes, or choose it with \"Browse...\".";
  }
  const std::string extension = LowerExtension(path);
  if (choices.heightsFormat == kHeightsPng16 && extension != ".png") {
    return "\"Heightmap file name\" must end in .png for a PNG 16-bit heightmap.";
  }
  if (choices.heightsFormat == kHeightsR16 && extension != ".r16") {
    return "\"Heightmap file name\" must end in .r16 for a RAW 16-bit heightmap.";
  }
  if (choices.heightsFormat == kHeightsFloat && !IsRawFloatPath(path)) {
    return "\"Heightmap file name\" must end in .f32, .raw or .bin for a 32-bit float heightmap.";
  }
  std::error_code error;
  const fs::path target = fs::u8path(path);  // names are UTF-8 on every system
  if (fs::is_directory(target, error)) return "\"Heightmap file name\" names the folder " + path + ", not a file.";
  const fs::path folder = target.parent_path();
  if (!folder.empty() && !fs::is_directory(folder, error)) {
    return "\"Heightmap file name\": the folder " + folder.u8string() + " does not exist.";
  }
  return "";
}

std::string ReadExportChoices(const ExportChoices& choices, const TerrainSettings& settings, bool flat,
                              ExportRequest* request) {
  int64_t side = 0;
  std::string refusal = CheckSize(choices, &side);
  if (refusal.empty()) refusal = CheckPath(choices);
  if (!refusal.empty()) return refusal;
  *request = ExportRequest();
  request->settings = settings;
  request->terrainWidth = side;
  request->terrainDepth = side;
  request->rect = TerrainRect{0, 0, side, side};
  request->heightsPath = choices.heightsPath;
  request->heightsFormat = choices.heightsFormat;
  if (choices.water) {
    request->waterPath = RelatedFileName(choices.heightsPath, kWaterSuffix);
    request->waterFormat = kWaterPng8;
  }
  if (choices.colour) request->colourPath = RelatedFileName(choices.heightsPath, kColourSuffix);
  if (choices.mesh) {
    request->meshPath = RelatedFileName(choices.heightsPath, kMeshSuffix);
    request->meshFormat = kMeshGlb;
    request->flat = flat;  // the mesh as the view shows it
  }
  return "";
}
