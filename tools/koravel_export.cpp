// koravel-export: generates a terrain (or a tile of it) as the viewer's "Generate" does and writes it out.
#include <CLI/CLI.hpp>

#include <atomic>
#include <cerrno>
#include <chrono>
#include <condition_variable>
#include <climits>
#include <csignal>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <mutex>
#include <string>
#include <system_error>
#include <thread>

#include "export/export_control.h"
#include "export/export_job.h"
#include "export/output_file.h"
#include "koravel_version.h"
#include "panel/field_text.h"
#include "platform/console/console.h"
#include "platform/memory/field_memory.h"
#include "terrain/erosion.h"
#include "terrain/generation_limits.h"

// The picture code: what draws and writes a picture, and what tells whether its memory can be had.
struct PictureCode {
  PictureWriter write = nullptr;
  bool (*checkMemory)(const ExportRequest& request, std::string* message) = nullptr;
};

#if defined(KORAVEL_EXPORT_PICTURES)
#include "export/picture.h"
static PictureCode LoadPictureCode(std::string*) { return {WriteTerrainPicture, CheckPictureMemory}; }
#elif defined(KORAVEL_PICTURE_MODULE)
#include "platform/module/program_module.h"
// The picture code is a module loaded only when a picture is asked for.
static PictureCode LoadPictureCode(std::string* message) {
  PictureCode code;
  code.write = reinterpret_cast<PictureWriter>(
      LoadModuleFunction(KORAVEL_PICTURE_MODULE, "KoravelWriteTerrainPicture", message));
  if (code.write == nullptr) return PictureCode();
  code.checkMemory = reinterpret_cast<bool (*)(const ExportRequest&, std::string*)>(
      LoadModuleFunction(KORAVEL_PICTURE_MODULE, "KoravelCheckPictureMemory", message));
  if (code.checkMemory == nullptr) return PictureCode();
  return code;
}
#else
static PictureCode LoadPictureCode(std::string*) { return PictureCode(); }
#endif

namespace {

const char kProgram[] = "koravel-export";

const char kDescription[] =
    "Generates one terrain exactly as the viewer's \"Generate\" does, at any size or as a tile of a\n"
    "larger one, prints the generated samples' height range and writes the requested files.\n"
    "Numbers may have spaces around them; whole numbers must fit in 32 bits.";

const char kFooter[] =
    "Formats, by the file name's extension:\n"
    "  --heights  .png: 16-bit grey, floor((h - lo) / (hi - lo) x 65535 + 0.5), lo and hi the height\n"
    "             range (or --range); .r16: the same values as raw little-endian 16-bit; .f32, .raw,\n"
    "             .bin (or no extension, as /dev/stdout): raw little-endian 32-bit floats. Row 0\n"
    "             (z = -75) first. Any other extension is refused.\n"
    "  --water    .png: 8-bit grey, min(255, floor(w x 255 + 0.5)); .f32, .raw, .bin (or none): raw\n"
    "             floats. Any other extension is refused.\n"
    "  --colour   .png: 8-bit RGB in the colours of the solid mesh.\n"
    "  --mesh     .obj or .glb (glTF 2.0): a vertex per sample with colour and normal.\n"
    "  --render   .png: the viewer's picture of the terrain.\n"
    "  --flow     .png: 16-bit grey, floor(65535 x ln(A) / ln(Amax) + 0.5), A the samples whose water\n"
    "             passes (itself included), Amax the whole terrain's largest; .f32, .raw, .bin (or none):\n"
    "             A as raw little-endian 32-bit floats.\n"
    "--erode erodes the terrain before anything is written (every file shows the eroded terrain); erosion\n"
    "and --flow work on whole terrains of at most 16384 a side, tiles being cut from the whole.\n"
    "The range LO HI is float32, printed with 9 digits, which read back as exactly the same float.\n"
    "Samples lie 150 / W apart (W the terrain's samples along x; D along z): W samples span\n"
    "150 x (W - 1) / W units, from -75 on. PNG text and the .glb's extras give the spacing.\n"
    "A tile's scaled formats share the whole terrain's range: pass the range that --range-only prints\n"
    "as --range LO,HI, or it is worked out for every tile.\n"
    "Files appear complete or not at all, all of a run's together, and keep the mode of the files they\n"
    "replace; symbolic links are written through. Devices and pipes (/dev/stdout) are written in place,\n"
    "and the result line then goes to standard error.\n"
    "Exit codes: 0 done, 2 a usage error, a refused shape or two names for one file, 1 a file that\n"
    "cannot be written or memory that cannot be had, 130 interrupted (Ctrl+C; 143 TERM, 129 HUP): an\n"
    "interrupted run leaves no file behind.";

// The options as typed: numbers are read by our own strict rules after parsing.
struct CommandLine {
  std::string seed, height, initFreq, freqScale, passHeightScale, passes;
  bool river = false;
  std::string width, depth, size, tile, threads, range;
  bool rangeOnly = false;
  std::string heights, water, colour, mesh, render;
  bool flat = false;
  std::string view, pitch, yaw, zoom;
  bool wire = false;
  bool force = false;
  std::string compression;
  bool erode = false;
  std::string erosionSteps, erodibility, deposition, talus, creep, flow;
};

int UsageError(const std::string& message) {
  fprintf(stderr, "%s: %s\nusage: %s [options]; %s --help lists them\n", kProgram, message.c_str(), kProgram,
          kProgram);
  return 2;
}

bool IsSpace(char c) {
  return c == ' ' || c == '\t' || c == '\n' || c == '\v' || c == '\f' || c == '\r';
}

// The text without the spaces around it: ' 5' and '5 ' read alike.
std::string Trimmed(const std::string& text) {
  size_t begin = 0, end = text.size();
  while (begin < end && IsSpace(text[begin])) ++begin;
  while (end > begin && IsSpace(text[end - 1])) --end;
  return text.substr(begin, end - begin);
}

// A whole number in lowest .. highest, in decimal with an optional sign and nothing else.
bool ReadWhole(const std::string& raw, int64_t lowest, int64_t highest, int64_t* value) {
  const std::string text = Trimmed(raw);
  size_t at = 0;
  const bool negative = at < text.size() && text[at] == '-';
  if (at < text.size() && (text[at] == '+' || text[at] == '-')) ++at;
  if (at == text.size()) return false;
  uint64_t magnitude = 0;
  for (; at < text.size(); ++at) {
    if (text[at] < '0' || text[at] > '9') return false;
    magnitude = magnitude * 10 + static_cast<uint64_t>(text[at] - '0');
    if (magnitude > (1ull << 62)) return false;
  }
  const int64_t signedValue = negative ? -static_cast<int64_t>(magnitude) : static_cast<int64_t>(magnitude);
  if (signedValue < lowest || signedValue > highest) return false;
  *value = signedValue;
  return true;
}

bool ReadInt32(const std::string& text, int32_t* value) {
  int64_t wide = 0;
  if (!ReadWhole(text, INT32_MIN, INT32_MAX, &wide)) return false;
  // The panel's own reading, so both take a field the same way.
  *value = ParseFieldInt(Trimmed(text).c_str(), nullptr);
  return *value == wide;
}

// A decimal number read as the panel reads its real fields; nothing else may follow.
bool ReadReal(const std::string& raw, float* value) {
  const std::string text = Trimmed(raw);
  const char* end = nullptr;
  const float parsed = ParseFieldFloat(text.c_str(), &end);
  if (text.empty() || end != text.c_str() + text.size()) return false;
  *value = parsed;
  return true;
}

// Splits "a,b,c" (or "WxH" with separator 'x') into its fields.
std::vector<std::string> Fields(const std::string& text, char separator) {
  std::vector<std::string> fields;
  size_t start = 0;
  for (size_t at = 0; at <= text.size(); ++at) {
    if (at == text.size() || text[at] == separator || (separator == 'x' && text[at] == 'X')) {
      fields.push_back(text.substr(start, at - start));
      start = at + 1;
    }
  }
  return fields;
}

// The option that sets each erosion parameter, for messages.
const char* OptionOf(ErosionField field) {
  switch (field) {
    case kErosionFieldSteps: return "--erosion-steps";
    case kErosionFieldErodibility: return "--erodibility";
    case kErosionFieldDeposition: return "--deposition";
    case kErosionFieldTalusAngle: return "--talus";
    case kErosionFieldCreep: return "--creep";
    case kErosionFieldNone: break;
  }
  return "";
}

// Reads --erode and its parameters into the request; returns 0, or the exit code to end with.
int ReadErosion(const CommandLine& line, ExportRequest* request) {
  const bool anyParameter = !line.erosionSteps.empty() || !line.erodibility.empty() || !line.deposition.empty() ||
                            !line.talus.empty() || !line.creep.empty();
  if (anyParameter && !line.erode) return UsageError("--erosion-steps, --erodibility, --deposition, --talus and --creep go with --erode");
  request->erode = line.erode;
  ErosionSettings& e = request->erosion;
  if (!line.erosionSteps.empty() && !ReadInt32(line.erosionSteps, &e.steps)) return UsageError("--erosion-steps: '" + line.erosionSteps + "' is not a 32-bit whole number");
  if (!line.erodibility.empty() && !ReadReal(line.erodibility, &e.erodibility)) return UsageError("--erodibility: '" + line.erodibility + "' is not a decimal number");
  if (!line.deposition.empty() && !ReadReal(line.deposition, &e.deposition)) return UsageError("--deposition: '" + line.deposition + "' is not a decimal number");
  if (!line.talus.empty() && !ReadReal(line.talus, &e.talusAngle)) return UsageError("--talus: '" + line.talus + "' is not a decimal number");
  if (!line.creep.empty() && !ReadReal(line.creep, &e.creep)) return UsageError("--creep: '" + line.creep + "' is not a decimal number");
  const ErosionCheck check = CheckErosionSettings(e);
  if (check.field != kErosionFieldNone) return UsageError(std::string(OptionOf(check.field)) + ": " + check.message);
  request->flowPath = line.flow;
  request->flowFormat = FlowFormatOfPath(line.flow);
  if (!line.flow.empty() && request->flowFormat == kFlowFloat && !IsRawFloatPath(line.flow)) {
    return UsageError("--flow: '" + line.flow + "' ends in none of .png (16-bit grey, log scale), .f32, .raw or .bin "
                      "(raw 32-bit floats)");
  }
  return 0;
}

// The option that sets each checked field, for messages.
const char* OptionOf(GenerationField field) {
  switch (field) {
    case kFieldTerrainHeight: return "--height";
    case kFieldPassHeightScale: return "--pass-height-scale";
    case kFieldFreqScale: return "--freq-scale";
    case kFieldInitFreq: return "--init-freq";
    case kFieldPassCount: return "--passes";
    case kFieldNone: break;
  }
  return "";
}

// Which pass first goes past the highest frequency, and from which options.
std::string FrequencyMessage(const TerrainSettings& s) {
  float freq = s.initFreq;
  std::string frequencies;
  for (int32_t pass = 1; pass <= s.passCount; ++pass) {
    char number[32];
    snprintf(number, sizeof number, "%.9g", static_cast<double>(freq));
    if (pass <= 2) frequencies += std::string(pass > 1 ? ", " : "") + number;
    if (freq > kMaxFrequency) {
      char text[512];
      snprintf(text, sizeof text,
               "the passes %s, ... come from --init-freq %.9g and --freq-scale %.9g: pass %d of %d reaches "
               "frequency %s, above the highest allowed, %.0f; lower --init-freq or --freq-scale, or use "
               "fewer --passes",
               frequencies.c_str(), static_cast<double>(s.initFreq), static_cast<double>(s.freqScale), pass,
               s.passCount, number, static_cast<double>(kMaxFrequency));
      return text;
    }
    freq = static_cast<float>(static_cast<double>(freq) + static_cast<double>(s.freqScale));
  }
  return "--freq-scale: a pass goes past the highest frequency allowed";
}

// Fills the request from the options; returns 0, or the exit code to end with.
int ReadRequest(const CommandLine& line, ExportRequest* request, bool* rangeOnly) {
  TerrainSettings& s = request->settings;
  int32_t initFreq = 4, freqScale = 6;
  if (!line.seed.empty() && !ReadInt32(line.seed, &s.seed)) return UsageError("--seed: '" + line.seed + "' is not a 32-bit whole number");
  if (!line.initFreq.empty() && !ReadInt32(line.initFreq, &initFreq)) return UsageError("--init-freq: '" + line.initFreq + "' is not a 32-bit whole number");
  if (!line.freqScale.empty() && !ReadInt32(line.freqScale, &freqScale)) return UsageError("--freq-scale: '" + line.freqScale + "' is not a 32-bit whole number");
  if (!line.passes.empty() && !ReadInt32(line.passes, &s.passCount)) return UsageError("--passes: '" + line.passes + "' is not a 32-bit whole number");
  if (!line.height.empty() && !ReadReal(line.height, &s.terrainHeight)) return UsageError("--height: '" + line.height + "' is not a decimal number");
  if (!line.passHeightScale.empty() && !ReadReal(line.passHeightScale, &s.passHeightScale)) return UsageError("--pass-height-scale: '" + line.passHeightScale + "' is not a decimal number");
  s.initFreq = static_cast<float>(initFreq);
  s.freqScale = static_cast<float>(freqScale);
  s.river = line.river ? 1 : 0;

  const GenerationCheck check = CheckGenerationParameters(s.terrainHeight, s.passHeightScale, s.freqScale, s.initFreq, s.passCount);
  if (check.field == kFieldFreqScale) return UsageError(FrequencyMessage(s));
  if (check.field != kFieldNone) return UsageError(std::string(OptionOf(check.field)) + ": " + check.message);

  int64_t side = 0;
  if (!line.size.empty()) {
    if (!ReadWhole(line.size, 1, kMaxTerrainSide, &side)) return UsageError("--size: '" + line.size + "' is not a side of 1 to " + std::to_string(kMaxTerrainSide) + " samples");
    request->terrainWidth = request->terrainDepth = side;
  }
  if (!line.width.empty() && !ReadWhole(line.width, 1, kMaxTerrainSide, &request->terrainWidth)) return UsageError("--width: '" + line.width + "' is not a side of 1 to " + std::to_string(kMaxTerrainSide) + " samples");
  if (!line.depth.empty() && !ReadWhole(line.depth, 1, kMaxTerrainSide, &request->terrainDepth)) return UsageError("--depth: '" + line.depth + "' is not a side of 1 to " + std::to_string(kMaxTerrainSide) + " samples");
  request->rect = {0, 0, request->terrainWidth, request->terrainDepth};
  if (!line.tile.empty()) {
    const std::vector<std::string> f = Fields(line.tile, ',');
    TerrainRect& r = request->rect;
    if (f.size() != 4 || !ReadWhole(f[0], 0, INT64_MAX / 4, &r.x0) || !ReadWhole(f[1], 0, INT64_MAX / 4, &r.z0) ||
        !ReadWhole(f[2], 1, INT64_MAX / 4, &r.width) || !ReadWhole(f[3], 1, INT64_MAX / 4, &r.depth)) {
      return UsageError("--tile: '" + line.tile + "' is not X0,Z0,W,H (whole numbers, W and H at least 1)");
    }
    request->tile = true;
  }
  char message[256];
  // --range-only works band by band: any terrain that tiles can make.
  const TerrainRect checked = line.rangeOnly && line.tile.empty() ? TerrainRect{0, 0, 1, 1} : request->rect;
  if (!CheckTerrainRect(request->terrainWidth, request->terrainDepth, checked, message, sizeof message)) {
    std::string text = std::string(line.tile.empty() ? "--width/--depth" : "--tile") + ": " + message;
    if (line.tile.empty() && (request->terrainWidth > kMaxFieldSide || request->terrainDepth > kMaxFieldSide)) {
      text += " (--tile), or build the whole world in chunks with koravel-world";
    }
    return UsageError(text);
  }
  if (!line.threads.empty()) {
    int64_t threads = 0;
    if (!ReadWhole(line.threads, 1, 1024, &threads)) return UsageError("--threads: '" + line.threads + "' is not a count of 1 to 1024");
    request->threads = static_cast<int>(threads);
  }
  if (!line.range.empty()) {
    const std::vector<std::string> f = Fields(line.range, ',');
    if (f.size() != 2 || !ReadReal(f[0], &request->rangeLow) || !ReadReal(f[1], &request->rangeHigh) ||
        !(request->rangeLow <= request->rangeHigh)) {
      return UsageError("--range: '" + line.range + "' is not LO,HI (two decimal numbers, LO not above HI)");
    }
    request->rangeGiven = true;
  }
  *rangeOnly = line.rangeOnly;
  const bool anyFile = !line.heights.empty() || !line.water.empty() || !line.colour.empty() || !line.mesh.empty() ||
                       !line.render.empty() || !line.flow.empty();
  const int erosion = ReadErosion(line, request);
  if (erosion != 0) return erosion;
  if (line.rangeOnly && (anyFile || !line.range.empty() || !line.tile.empty())) {
    return UsageError("--range-only writes no file and takes no --range or --tile");
  }
  if (!line.size.empty() && (!line.width.empty() || !line.depth.empty())) {
    return UsageError("--size sets both --width and --depth: give one or the others");
  }
  if (line.render.empty() && (!line.view.empty() || !line.pitch.empty() || !line.yaw.empty() ||
                              !line.zoom.empty() || line.wire)) {
    return UsageError("--view, --pitch, --yaw, --zoom and --wire go with --render");
  }
  if (line.flat && line.mesh.empty() && line.render.empty()) return UsageError("--flat goes with --mesh or --render");

  request->heightsPath = line.heights;
  request->heightsFormat = HeightFormatOfPath(line.heights);
  request->waterPath = line.water;
  request->waterFormat = WaterFormatOfPath(line.water);
  if (!line.heights.empty() && request->heightsFormat == kHeightsFloat && !IsRawFloatPath(line.heights)) {
    return UsageError("--heights: '" + line.heights + "' ends in none of .png (16-bit grey), .r16 (raw 16-bit), "
                      ".f32, .raw or .bin (raw 32-bit floats)");
  }
  if (!line.water.empty() && request->waterFormat == kWaterFloat && !IsRawFloatPath(line.water)) {
    return UsageError("--water: '" + line.water + "' ends in none of .png (8-bit grey), .f32, .raw or .bin "
                      "(raw 32-bit floats)");
  }
  request->colourPath = line.colour;
  if (!line.colour.empty() && HeightFormatOfPath(line.colour) != kHeightsPng16) return UsageError("--colour: '" + line.colour + "' does not end in .png");
  request->meshPath = line.mesh;
  if (!line.mesh.empty() && !MeshFormatOfPath(line.mesh, &request->meshFormat)) return UsageError("--mesh: '" + line.mesh + "' ends neither in .obj nor in .glb");
  request->picturePath = line.render;
  if (!line.render.empty() && HeightFormatOfPath(line.render) != kHeightsPng16) return UsageError("--render: '" + line.render + "' does not end in .png");
  request->flat = line.flat;
  request->replaceProtected = line.force;

  PictureView& view = request->view;
  if (!line.view.empty()) {
    const std::vector<std::string> f = Fields(line.view, 'x');
    int64_t w = 0, h = 0;
    if (f.size() != 2 || !ReadWhole(f[0], 1, kMaxPictureSide, &w) || !ReadWhole(f[1], 1, kMaxPictureSide, &h)) {
      return UsageError("--view: '" + line.view + "' is not WxH, 1 to " + std::to_string(kMaxPictureSide) + " pixels a side");
    }
    view.width = static_cast<int32_t>(w);
    view.height = static_cast<int32_t>(h);
  }
  if (!line.pitch.empty() && !ReadReal(line.pitch, &view.pitch)) return UsageError("--pitch: '" + line.pitch + "' is not a decimal number");
  if (!line.yaw.empty() && !ReadReal(line.yaw, &view.yaw)) return UsageError("--yaw: '" + line.yaw + "' is not a decimal number");
  if (!line.zoom.empty() && !ReadReal(line.zoom, &view.zoom)) return UsageError("--zoom: '" + line.zoom + "' is not a decimal number");
  view.wire = line.wire;
  if (!line.compression.empty() && !PngCompressionOfName(line.compression, &request->compression)) {
    return UsageError("--compression: '" + line.compression + "' is none of fast, default and small");
  }
  return 0;
}

// Parses argv into line with CLI11, the one place it is called: it reports through exceptions.
// Returns -1 to go on, or the exit code to end with (help and version end with 0).
int ParseCommandLine(int argc, char** argv, CommandLine* line) {
  try {
    CLI::App app(kDescription, kProgram);
    app.footer(kFooter);
    app.set_version_flag("--version", KORAVEL_VERSION, "Print the version and exit");
    auto add = [&](const char* name, std::string* target, const char* type, const char* what, const char* group) {
      app.add_option(name, *target, what)->type_name(type)->group(group);
    };
    add("--seed", &line->seed, "N", "Random seed, a whole number (default 0)", "Terrain");
    add("--height", &line->height, "F", "Terrain height, the first pass's amplitude (default 8)", "Terrain");
    add("--init-freq", &line->initFreq, "N", "Lattice frequency of the first pass (default 4)", "Terrain");
    add("--freq-scale", &line->freqScale, "N", "Added to the frequency after each pass (default 6)", "Terrain");
    add("--pass-height-scale", &line->passHeightScale, "F", "Amplitude factor from pass to pass (default 0.4)", "Terrain");
    add("--passes", &line->passes, "N", "Number of passes (default 5)", "Terrain");
    app.add_flag("--river", line->river, "Carve a river")->group("Terrain");
    add("--size", &line->size, "N", "Samples a side, both ways (default 100)", "Size");
    add("--width", &line->width, "W", "Samples along x (default 100)", "Size");
    add("--depth", &line->depth, "D", "Samples along z (default 100)", "Size");
    add("--tile", &line->tile, "X0,Z0,W,H", "Write only columns X0 .. X0+W-1 and rows Z0 .. Z0+H-1", "Size");
    add("--threads", &line->threads, "N", "Threads to generate with (default: every core)", "Size");
    add("--range", &line->range, "LO,HI", "Scale heights and colours to LO .. HI instead of the height range", "Size");
    app.add_flag("--range-only", line->rangeOnly, "Print the whole terrain's height range and write nothing")->group("Size");
    add("--heights", &line->heights, "FILE", "Heights: .png, .r16, or raw floats (.f32, .raw, .bin)", "Files");
    add("--water", &line->water, "FILE", "Water: .png, or raw floats (.f32, .raw, .bin)", "Files");
    add("--colour", &line->colour, "FILE.png", "Colour map", "Files");
    add("--mesh", &line->mesh, "FILE", "Mesh: .obj or .glb", "Files");
    add("--render", &line->render, "FILE.png", "The viewer's picture of the terrain", "Files");
    app.add_flag("--flat", line->flat, "Lay the mesh and the picture's solid terrain in the plane y = 0")->group("Files");
    add("--compression", &line->compression, "fast|default|small",
        "Compression of PNG heights, water and colour maps (default default)", "Files");
    add("--view", &line->view, "WxH", "Picture size in pixels (default 800x541)", "Picture");
    add("--pitch", &line->pitch, "F", "Tilt in degrees (default 10)", "Picture");
    add("--yaw", &line->yaw, "F", "Turn in degrees (default 0)", "Picture");
    add("--zoom", &line->zoom, "F", "Scale (default 1)", "Picture");
    app.add_flag("--wire", line->wire, "Draw the points, as the viewer's \"Wire\"")->group("Picture");
    app.add_flag("--force", line->force, "Replace read-only files and files with other names (hard links)")->group("Files");
    app.add_flag("--erode", line->erode, "Erode the terrain: water carves valleys, steep slopes slide")->group("Erosion");
    add("--erosion-steps", &line->erosionSteps, "N", "Rounds of erosion, 1 to 100 (default 10)", "Erosion");
    add("--erodibility", &line->erodibility, "F", "How fast running water wears the ground, 0 to 1000 (default 1)", "Erosion");
    add("--deposition", &line->deposition, "F", "How readily carried sediment settles, 0 to 100 (default 1)", "Erosion");
    add("--talus", &line->talus, "DEG", "Steepest slope that holds, 1 to 90 degrees, 90: none (default 35)", "Erosion");
    add("--creep", &line->creep, "F", "Hillslope creep, square units a step, 0 to 100 (default 0.2)", "Erosion");
    add("--flow", &line->flow, "FILE", "Drainage map: .png (log scale) or raw floats", "Files");
    // An option that takes a value, followed by another option's name: its value is missing.
    for (int i = 1; i + 1 < argc; ++i) {
      const CLI::Option* option = app.get_option_no_throw(argv[i]);
      if (option != nullptr && option->get_expected_min() > 0 && app.get_option_no_throw(argv[i + 1]) != nullptr) {
        return UsageError(std::string(argv[i]) + " needs a value; '" + argv[i + 1] + "' is an option, not a value");
      }
    }
    try {
      app.parse(argc, argv);
    } catch (const CLI::Success& done) {
      return app.exit(done);
    } catch (const CLI::ParseError& error) {
      return UsageError(error.what());
    }
    // An option given an empty value is a mistake, not an option left out.
    for (const CLI::Option* option : app.get_options()) {
      if (option->count() == 0 || option->get_expected_min() == 0) continue;
      for (const std::string& value : option->results()) {
        if (value.empty()) return UsageError(option->get_name() + ": an empty value");
      }
    }
  } catch (const std::exception& error) {
    fprintf(stderr, "%s: %s\n", kProgram, error.what());
    return 2;
  }
  // An option's name is never taken for a value, not even after '='.
  const std::string* values[] = {&line->seed, &line->height, &line->initFreq, &line->freqScale,
                                 &line->passHeightScale, &line->passes, &line->width, &line->depth,
                                 &line->size, &line->tile, &line->threads, &line->range, &line->heights,
                                 &line->water, &line->colour, &line->mesh, &line->render, &line->view,
                                 &line->pitch, &line->yaw, &line->zoom, &line->compression, &line->erosionSteps,
                                 &line->erodibility, &line->deposition, &line->talus, &line->creep, &line->flow};
  for (const std::string* value : values) {
    if (value->compare(0, 2, "--") == 0) {
      return UsageError("'" + *value + "' is an option, not a value (a file of that name can be given as ./" +
                        *value + ")");
    }
  }
  return -1;
}

// Ctrl+C (and TERM, HUP) cancels the export, which then removes what it has started.
ExportControl* interruptible = nullptr;
std::atomic<int> interruption{0};

extern "C" void OnInterrupt(int signal) {
  int none = 0;
  interruption.compare_exchange_strong(none, signal);
  if (interruptible != nullptr) CancelExport(interruptible);
}

// The exit code of a run ended by a signal, as shells count it.
int InterruptedCode() { return 128 + interruption.load(); }

// An interrupted run that has not ended a second later (in a call that cannot be cancelled) ends
// here, its temporary files removed; once its files are being renamed into place it finishes.
void EndIfStuck(std::chrono::steady_clock::time_point* interruptedAt) {
  if (interruption.load() == 0 || OutputCommitStarted()) return;
  const auto now = std::chrono::steady_clock::now();
  if (*interruptedAt == std::chrono::steady_clock::time_point()) *interruptedAt = now;
  if (now - *interruptedAt < std::chrono::seconds(1)) return;
  RemoveOutputFilesNow();
  fprintf(stderr, "%s: cancelled\n", kProgram);
  fflush(stderr);
  std::_Exit(InterruptedCode());
}

// Watches the run: ends it when an interruption goes unanswered, and on a terminal shows progress
// once the run has taken a second: percentage, rate, time left.
// The end of the run, told to the watcher at once so that it never holds up the exit.
struct RunEnd {
  std::mutex lock;
  std::condition_variable told;
  std::atomic<bool> finished{false};
};

void WatchRun(const ExportControl* control, RunEnd* end, bool showProgress) {
  const std::atomic<bool>* finished = &end->finished;
  const auto start = std::chrono::steady_clock::now();
  std::chrono::steady_clock::time_point interruptedAt;
  bool shown = false;
  while (!finished->load()) {
    {
      std::unique_lock<std::mutex> hold(end->lock);
      end->told.wait_for(hold, std::chrono::milliseconds(100), [finished] { return finished->load(); });
    }
    if (finished->load()) break;
    EndIfStuck(&interruptedAt);
    const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
    if (!showProgress || seconds < 1.0 || finished->load()) continue;
    const double fraction = ExportFraction(*control);
    const double rate = fraction * static_cast<double>(control->workTotal.load()) / seconds;
    char left[32] = "";
    if (fraction > 0.0) snprintf(left, sizeof left, ", %.0f s left", seconds * (1.0 - fraction) / fraction);
    fprintf(stderr, "\r%s: %3.0f%%, %.1f M samples/s%s   ", kProgram, fraction * 100.0, rate / 1e6, left);
    fflush(stderr);
    shown = true;
  }
  if (shown) fprintf(stderr, "\r%60s\r", "");
}

int ExitCodeOf(ExportStatus status) {
  if (status == kExportRefused) return 2;
  return status == kExportCancelled ? InterruptedCode() : 1;  // cancelled only by a signal
}

// True when a requested file is where standard output goes: the result line then goes to standard error.
bool WritesStandardOutput(const ExportRequest& request) {
  for (const std::string* path : {&request.heightsPath, &request.waterPath, &request.colourPath, &request.meshPath,
                                  &request.picturePath}) {
    TargetInfo target;
    std::string ignored;
    if (!path->empty() && InspectTarget(*path, &target, &ignored) && target.standardOutput && !IsNullDevice(target)) {
      return true;
    }
  }
  return false;
}

}  // namespace

int main(int argc, char** argv) {
  // Paths are UTF-8 inside the program, on every system.
  const std::vector<std::string> arguments = Utf8Arguments(argc, argv);
  std::vector<char*> utf8Argv;
  for (const std::string& argument : arguments) utf8Argv.push_back(const_cast<char*>(argument.c_str()));
  utf8Argv.push_back(nullptr);
  // Bands and pieces reuse the memory the ones before them freed.
  KeepFreedMemory();
  CommandLine line;
  const int parsed = ParseCommandLine(static_cast<int>(arguments.size()), utf8Argv.data(), &line);
  if (parsed >= 0) {
    if (fflush(stdout) == 0 && !ferror(stdout)) return parsed;
    fprintf(stderr, "%s: cannot write to standard output: %s\n", kProgram, strerror(errno));
    return 1;
  }

  ExportRequest request;
  bool rangeOnly = false;
  const int read = ReadRequest(line, &request, &rangeOnly);
  if (read != 0) return read;
  request.threads = request.threads > 0 ? request.threads : static_cast<int>(std::thread::hardware_concurrency());
  // The picture code is loaded only for a picture; its memory is known before the terrain is made,
  // so a picture that cannot be had is refused up front.
  PictureCode picture;
  if (!request.picturePath.empty()) {
    std::string message;
    picture = LoadPictureCode(&message);
    if (picture.write == nullptr && !message.empty()) {
      fprintf(stderr, "%s: --render: %s\n", kProgram, message.c_str());
      return 1;
    }
    if (picture.checkMemory != nullptr && !picture.checkMemory(request, &message)) {
      fprintf(stderr, "%s: %s\n", kProgram, message.c_str());
      return 1;
    }
  }

  ExportControl control;
  interruptible = &control;
  CatchEndingSignals(OnInterrupt);
  IgnoreBrokenPipes();
  RunEnd end;
  std::thread progress;
  try {
    progress = std::thread(WatchRun, &control, &end, StandardErrorIsTerminal());
  } catch (const std::system_error&) {
    // No thread to be had (little memory): the run goes on unwatched.
  }
  ExportOutcome outcome;
  const bool done = rangeOnly ? FindWholeTerrainRange(request, &control, &outcome)
                              : RunExport(request, &control, picture.write, &outcome);
  {
    std::lock_guard<std::mutex> hold(end.lock);
    end.finished = true;
  }
  end.told.notify_all();
  if (progress.joinable()) progress.join();
  interruptible = nullptr;
  if (!done) {
    fprintf(stderr, "%s: %s%s\n", kProgram, outcome.message.c_str(),
            outcome.protectedFile ? " (--force replaces it)" : "");
    return ExitCodeOf(outcome.status);
  }

  // Where standard output carries a file, the result line goes beside it, to standard error.
  FILE* result = WritesStandardOutput(request) ? stderr : stdout;
  errno = 0;
  const bool printed = fprintf(result, "minHeight %.9g maxHeight %.9g\n", static_cast<double>(outcome.minHeight),
                               static_cast<double>(outcome.maxHeight)) > 0;
  if (!printed || fflush(result) != 0 || ferror(result)) {
    fprintf(stderr, "%s: cannot write the height range to standard output: %s\n", kProgram,
            errno != 0 ? strerror(errno) : "write error");
    return 1;
  }
  return 0;
}
