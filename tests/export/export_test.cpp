// The export job: its files read back against the golden floats and display list, each other and the whole terrain.
#include <gtest/gtest.h>
#include <spng.h>

#include <algorithm>
#include <array>
#include <charconv>
#include <chrono>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

#include "export/deflate_bands.h"
#include "export/export_control.h"
#include "export/export_field.h"
#include "export/export_job.h"
#include "export/mesh_writers.h"
#include "export/ordered_work.h"
#include "export/output_file.h"
#include "export/png_writer.h"
#include "tests/golden_data.h"

#ifndef _WIN32
#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>
#endif

namespace fs = std::filesystem;

namespace {

// A fresh folder for each test.
std::string WorkFolder() {
  const ::testing::TestInfo* test = ::testing::UnitTest::GetInstance()->current_test_info();
  const fs::path folder = fs::path(KORAVEL_TEST_WORK) / (std::string(test->test_suite_name()) + "." + test->name());
  fs::remove_all(folder);
  fs::create_directories(folder);
  return folder.generic_string();
}

std::set<std::string> FilesIn(const std::string& folder) {
  std::set<std::string> names;
  for (const fs::directory_entry& entry : fs::directory_iterator(folder)) names.insert(entry.path().filename().string());
  return names;
}

std::vector<unsigned char> ReadBytes(const std::string& path) {
  std::ifstream file(path, std::ios::binary);
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::vector<float> FloatsOf(const std::vector<unsigned char>& bytes) {
  std::vector<float> values(bytes.size() / 4);
  if (!values.empty()) memcpy(values.data(), bytes.data(), values.size() * 4);
  return values;
}

struct Png {
  std::string shape;              // "W x H, B-bit, type T"
  std::vector<uint32_t> samples;  // every channel of every pixel, row 0 first
  std::map<std::string, std::string> texts;
};

// Decodes with libspng, as any reader would.
Png ReadPng(const std::string& path) {
  Png png;
  const std::vector<unsigned char> bytes = ReadBytes(path);
  spng_ctx* context = spng_ctx_new(0);
  spng_set_png_buffer(context, bytes.data(), bytes.size());
  spng_ihdr header;
  size_t size = 0;
  if (spng_get_ihdr(context, &header) == 0 && spng_decoded_image_size(context, SPNG_FMT_RAW, &size) == 0) {
    png.shape = std::to_string(header.width) + " x " + std::to_string(header.height) + ", " +
                std::to_string(header.bit_depth) + "-bit, type " + std::to_string(header.color_type);
    std::vector<unsigned char> raw(size);
    if (spng_decode_image(context, raw.data(), size, SPNG_FMT_RAW, 0) == 0) {
      const size_t step = header.bit_depth == 16 ? 2 : 1;
      for (size_t i = 0; i + step <= size; i += step) png.samples.push_back(step == 2 ? raw[i] << 8 | raw[i + 1] : raw[i]);
    }
    uint32_t count = 0;
    if (spng_get_text(context, nullptr, &count) == 0) {
      std::vector<spng_text> texts(count);
      spng_get_text(context, texts.data(), &count);
      for (const spng_text& text : texts) png.texts[text.keyword] = std::string(text.text, text.length);
    }
  }
  spng_ctx_free(context);
  return png;
}

double Scaled16(float h, float low, float high) {
  if (low == high) return 0.0;
  const double v = std::floor((double(h) - double(low)) / (double(high) - double(low)) * 65535.0 + 0.5);
  return std::min(65535.0, std::max(0.0, v));
}

uint32_t Byte(float c) {
  return uint32_t(std::min(255.0, std::max(0.0, std::floor(double(c) * 255.0 + 0.5))));
}

ExportRequest DefaultRiver() {
  ExportRequest request;
  request.settings.river = 1;
  return request;
}

ExportOutcome Export(const ExportRequest& request, ExportControl* control = nullptr, PictureWriter picture = nullptr) {
  ExportOutcome outcome;
  const bool done = RunExport(request, control, picture, &outcome);
  EXPECT_EQ(done, outcome.status == kExportDone) << outcome.message;
  return outcome;
}

// An OBJ read back: each vertex's six numbers (position, colour), its normal, and the faces as 0-based index triples.
struct Obj {
  std::vector<std::vector<float>> vertices, normals;
  std::vector<std::array<uint64_t, 3>> faces;
};

std::vector<float> NumbersOf(const std::string& line) {
  std::vector<float> numbers;
  const char* end = line.data() + line.size();
  for (const char* p = line.data() + line.find(' '); p < end;) {
    float value = 0.0f;
    const std::from_chars_result read = std::from_chars(p + 1, end, value);  // the numbers are one space apart
    if (read.ec != std::errc()) break;
    numbers.push_back(value);
    p = read.ptr;
  }
  return numbers;
}

Obj ReadObj(const std::string& path) {
  Obj obj;
  std::ifstream file(path);
  for (std::string line; std::getline(file, line);) {
    if (line.rfind("v ", 0) == 0) obj.vertices.push_back(NumbersOf(line));
    if (line.rfind("vn ", 0) == 0) obj.normals.push_back(NumbersOf(line));
    if (line.rfind("f ", 0) != 0) continue;
    std::array<uint64_t, 3> face{};
    std::istringstream fields(line.substr(2));
    for (uint64_t& corner : face) {
      std::string field;
      fields >> field;
      corner = std::stoull(field) - 1;
      EXPECT_EQ(field, std::to_string(corner + 1) + "//" + std::to_string(corner + 1)) << "normal index differs";
    }
    obj.faces.push_back(face);
  }
  return obj;
}

// Sample (c, j) of the golden default-river display list (colour, then position): the first vertex
// of strip c - 1's pair at row j, or for column 0 the second vertex of strip 0.
const float* ListedVertex(const std::vector<float>& list, int c, int j) {
  return &list[(c > 0 ? size_t((c - 1) * 100 + j) * 2 : size_t(j) * 2 + 1) * 6];
}

}  // namespace

TEST(ExportFormats, HeightmapsAndTheWaterMaskFollowTheFloatsWithAndWithoutARange) {
  const std::string dir = WorkFolder();
  const std::vector<float> heights = FloatsOf(LoadGoldenStream("default-river", "heights"));
  const std::vector<float> water = FloatsOf(LoadGoldenStream("default-river", "water"));
  const auto range = std::minmax_element(heights.begin(), heights.end());

  // The terrain's own range, then a given one narrower than the heights, which clamps.
  for (const bool given : {false, true}) {
    SCOPED_TRACE(given ? "--range -5,5" : "own range");
    ExportRequest request = DefaultRiver();
    request.rangeGiven = given;
    request.rangeLow = -5.0f;
    request.rangeHigh = 5.0f;
    request.heightsPath = dir + "/h.png";
    request.heightsFormat = kHeightsPng16;
    request.waterPath = dir + "/w.png";
    request.waterFormat = kWaterPng8;
    Export(request);
    const float low = given ? -5.0f : *range.first, high = given ? 5.0f : *range.second;
    Png png = ReadPng(dir + "/h.png");
    EXPECT_EQ(png.shape, "100 x 100, 16-bit, type 0");
    ASSERT_EQ(png.samples.size(), heights.size());
    for (size_t k = 0; k < heights.size(); ++k) ASSERT_EQ(png.samples[k], Scaled16(heights[k], low, high)) << k;
    // The file says how to turn it back into heights and how to remake it.
    float textLow = 0.0f, textHigh = 0.0f;
    std::istringstream(png.texts["Koravel height range"]) >> textLow >> textHigh;
    EXPECT_EQ(textLow, low);
    EXPECT_EQ(textHigh, high);
    EXPECT_NE(png.texts["Koravel options"].find("--seed 0 --height 8 --pass-height-scale 0.4 --freq-scale 6 "
                                                "--init-freq 4 --passes 5 --river --width 100 --depth 100"),
              std::string::npos);
    EXPECT_NE(png.texts["Software"].find("Koravel "), std::string::npos);

    const Png mask = ReadPng(dir + "/w.png");
    EXPECT_EQ(mask.shape, "100 x 100, 8-bit, type 0");
    ASSERT_EQ(mask.samples.size(), water.size());
    for (size_t k = 0; k < water.size(); ++k) ASSERT_EQ(mask.samples[k], Byte(water[k])) << k;
    EXPECT_GT(std::count_if(mask.samples.begin(), mask.samples.end(), [](uint32_t s) { return s > 0; }), 100);

    // R16: the same values, little-endian, no header.
    request.heightsPath = dir + "/h.r16";
    request.heightsFormat = kHeightsR16;
    Export(request);
    const std::vector<unsigned char> r16 = ReadBytes(dir + "/h.r16");
    ASSERT_EQ(r16.size(), 2 * png.samples.size());
    for (size_t k = 0; k < png.samples.size(); ++k) ASSERT_EQ(r16[2 * k] | r16[2 * k + 1] << 8, int(png.samples[k]));
  }

  // A terrain of one height (no pass, no river) scales to 0, coloured as the lowest ramp colour (0.075, 0.1, 0.06).
  ExportRequest level;
  level.settings.passCount = 0;
  level.heightsPath = dir + "/h.png";
  level.heightsFormat = kHeightsPng16;
  level.colourPath = dir + "/c.png";
  Export(level);
  const Png png = ReadPng(dir + "/h.png");
  EXPECT_EQ(std::set<uint32_t>(png.samples.begin(), png.samples.end()), std::set<uint32_t>{0});
  const Png colours = ReadPng(dir + "/c.png");
  ASSERT_EQ(colours.samples.size(), 3u * 100 * 100);
  for (size_t k = 0; k < colours.samples.size(); k += 3) {
    ASSERT_EQ(std::vector<uint32_t>(&colours.samples[k], &colours.samples[k] + 3), (std::vector<uint32_t>{19, 26, 15}));
  }
}

TEST(ExportMeshes, TheColourMapAndTheObjFollowTheDisplayListAndTheGlbCarriesTheSame) {
  const std::string dir = WorkFolder();
  ExportRequest request = DefaultRiver();
  request.meshPath = dir + "/m.obj";
  request.colourPath = dir + "/c.png";
  Export(request);
  const Obj obj = ReadObj(dir + "/m.obj");
  const Png colours = ReadPng(dir + "/c.png");
  const std::vector<float> list = FloatsOf(LoadGoldenStream("default-river", "list"));
  ASSERT_EQ(list.size(), 99u * 200 * 6);
  EXPECT_EQ(colours.shape, "100 x 100, 8-bit, type 2");
  ASSERT_EQ(colours.samples.size(), 3u * 100 * 100);
  ASSERT_EQ(obj.vertices.size(), 100u * 100);
  ASSERT_EQ(obj.normals.size(), 100u * 100);
  ASSERT_EQ(obj.faces.size(), 2u * 99 * 99);
  // Each sample where and in the colour the viewer draws it.
  for (int j = 0; j < 100; ++j) {
    for (int c = 0; c < 100; ++c) {
      const float* listed = ListedVertex(list, c, j);
      const std::vector<float>& v = obj.vertices[size_t(j) * 100 + c];
      ASSERT_EQ(v.size(), 6u);
      for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(colours.samples[size_t(j * 100 + c) * 3 + k], Byte(listed[k])) << c << "," << j;
        ASSERT_EQ(v[k], listed[3 + k]) << c << "," << j;
        ASSERT_EQ(Byte(v[3 + k]), Byte(listed[k])) << c << "," << j;
      }
    }
  }
  // Unit normals pointing up; where the ground rises along +x (or +z) they lean back towards -x (or -z).
  int leaning = 0;
  for (size_t v = 0; v < obj.normals.size(); ++v) {
    const std::vector<float>& n = obj.normals[v];
    ASSERT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-6);
    ASSERT_GT(n[1], 0.0f);
    if (v % 100 == 0 || v % 100 == 99 || v < 100 || v >= 9900) continue;
    const float riseX = obj.vertices[v + 1][1] - obj.vertices[v - 1][1];
    const float riseZ = obj.vertices[v + 100][1] - obj.vertices[v - 100][1];
    ASSERT_LE(n[0] * riseX, 0.0f) << "vertex " << v;
    ASSERT_LE(n[2] * riseZ, 0.0f) << "vertex " << v;
    leaning += n[0] * riseX < 0.0f;
  }
  EXPECT_GT(leaning, 9000);

  // The .glb's binary chunk: positions, normals, colours, then the same faces in 16-bit indices.
  request.meshPath = dir + "/m.glb";
  request.meshFormat = kMeshGlb;
  Export(request);
  const std::vector<unsigned char> glb = ReadBytes(dir + "/m.glb");
  ASSERT_GT(glb.size(), 20u);
  uint32_t jsonLength = 0;
  memcpy(&jsonLength, &glb[12], 4);
  const size_t bin = 20 + jsonLength + 8;
  ASSERT_EQ(glb.size(), bin + 3 * 10000 * 12 + 2 * 99 * 99 * 3 * 2);
  for (size_t i = 0; i < 10000; ++i) {
    std::vector<float> read(9);  // position, normal, colour
    for (size_t a = 0; a < 3; ++a) memcpy(&read[3 * a], &glb[bin + a * 120000 + i * 12], 12);
    const std::vector<float>& v = obj.vertices[i];
    const std::vector<float>& n = obj.normals[i];
    // Colours linear, as glTF wants: the OBJ's (and the viewer's) through the sRGB transfer function.
    ASSERT_EQ(read, (std::vector<float>{v[0], v[1], v[2], n[0], n[1], n[2], LinearColour(v[3]), LinearColour(v[4]),
                                        LinearColour(v[5])}))
        << "vertex " << i;
  }
  for (size_t i = 0; i < 3 * obj.faces.size(); ++i) {
    uint16_t index = 0;
    memcpy(&index, &glb[bin + 360000 + i * 2], 2);
    ASSERT_EQ(index, obj.faces[i / 3][i % 3]) << "corner " << i;
  }

  // Flat: every y is 0, every normal straight up, the rest as before.
  request.flat = true;
  request.meshPath = dir + "/flat.obj";
  request.meshFormat = kMeshObj;
  Export(request);
  const Obj flat = ReadObj(dir + "/flat.obj");
  ASSERT_EQ(flat.vertices.size(), obj.vertices.size());
  for (size_t i = 0; i < flat.vertices.size(); ++i) {
    std::vector<float> expected = obj.vertices[i];
    expected[1] = 0.0f;
    ASSERT_EQ(flat.vertices[i], expected);
    ASSERT_EQ(flat.normals[i], (std::vector<float>{0.0f, 1.0f, 0.0f}));
  }
  EXPECT_EQ(flat.faces, obj.faces);
}

TEST(ExportTiles, ATileIsTheCutOfTheWholeInEveryFormatWithTheWholeTerrainsRange) {
  const std::string dir = WorkFolder();
  // The 57 x 33 golden size with every option away from its default.
  ExportRequest whole;
  whole.settings = {12345, 12.5f, 0.5f, 3.0f, 2.0f, 6, 1};
  whole.terrainWidth = 57;
  whole.terrainDepth = 33;
  ExportRequest request = whole;
  whole.heightsPath = dir + "/whole.f32";
  whole.colourPath = dir + "/whole.png";
  whole.meshPath = dir + "/whole.obj";
  const ExportOutcome all = Export(whole);
  const std::vector<float> heights = FloatsOf(ReadBytes(dir + "/whole.f32"));
  const Png colours = ReadPng(dir + "/whole.png");
  const Obj mesh = ReadObj(dir + "/whole.obj");

  // Odd offsets, a tile touching the far edges, a 1-wide tile and a 2 x 2 one in a corner.
  for (const TerrainRect& tile : {TerrainRect{13, 7, 20, 26}, {50, 0, 7, 33}, {5, 3, 1, 17}, {0, 0, 2, 2}}) {
    SCOPED_TRACE(std::to_string(tile.x0) + "," + std::to_string(tile.z0) + "," + std::to_string(tile.width) +
                 "," + std::to_string(tile.depth));
    request.tile = true;
    request.rect = tile;
    request.heightsPath = dir + "/tile.f32";
    request.colourPath = dir + "/tile.png";
    request.meshPath = tile.width > 1 ? dir + "/tile.obj" : "";
    const ExportOutcome outcome = Export(request);
    // Without --range the tile's colours take the whole terrain's range; its printed range is its own.
    EXPECT_EQ(outcome.rangeLow, all.minHeight);
    EXPECT_EQ(outcome.rangeHigh, all.maxHeight);
    const std::vector<float> cut = FloatsOf(ReadBytes(dir + "/tile.f32"));
    const Png tileColours = ReadPng(dir + "/tile.png");
    const Obj tileMesh = tile.width > 1 ? ReadObj(dir + "/tile.obj") : Obj();
    ASSERT_EQ(cut.size(), size_t(tile.width * tile.depth));
    for (int64_t j = 0; j < tile.depth; ++j) {
      for (int64_t c = 0; c < tile.width; ++c) {
        const size_t k = size_t((tile.x0 + c) + (tile.z0 + j) * 57), t = size_t(c + j * tile.width);
        ASSERT_EQ(cut[t], heights[k]);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(tileColours.samples[3 * t + i], colours.samples[3 * k + i]);
        if (tile.width == 1) continue;
        // Normals read past the tile's edge, so tiles join without a seam in the shading either.
        ASSERT_EQ(tileMesh.vertices[t], mesh.vertices[k]);
        ASSERT_EQ(tileMesh.normals[t], mesh.normals[k]);
      }
    }
    EXPECT_EQ(outcome.minHeight, *std::min_element(cut.begin(), cut.end()));
    EXPECT_EQ(outcome.maxHeight, *std::max_element(cut.begin(), cut.end()));
  }
}

// The samples of every PNG at each compression, and the fields through every path: the same.
TEST(ExportFormats, EveryCompressionAndEveryWayOfGeneratingGivesTheSameSamples) {
  const std::string dir = WorkFolder();
  // 1537 a side: two bands when streamed. First the fields alone (streamed) on one thread.
  ExportRequest request = DefaultRiver();
  request.terrainWidth = request.terrainDepth = 1537;
  request.threads = 1;
  request.heightsPath = dir + "/one.f32";
  request.waterPath = dir + "/one-water.f32";
  Export(request);
  const std::vector<unsigned char> heights = ReadBytes(dir + "/one.f32"), water = ReadBytes(dir + "/one-water.f32");
  ASSERT_EQ(heights.size(), 1537u * 1537 * 4);
  // Streamed on two threads, and whole on two threads (a mesh needs the whole field).
  for (const bool whole : {false, true}) {
    SCOPED_TRACE(whole ? "whole field" : "streamed");
    request.threads = 2;
    request.heightsPath = dir + "/two.f32";
    request.waterPath = dir + "/two-water.f32";
    request.meshPath = whole ? dir + "/m.glb" : "";
    request.meshFormat = kMeshGlb;
    Export(request);
    EXPECT_TRUE(ReadBytes(dir + "/two.f32") == heights);
    EXPECT_TRUE(ReadBytes(dir + "/two-water.f32") == water);
  }

  // Each kind of PNG at each compression: the same samples, smaller as it works harder.
  request = DefaultRiver();
  request.terrainWidth = request.terrainDepth = 257;
  std::map<std::string, std::vector<uint32_t>> samples;
  std::map<std::string, uintmax_t> sizes;
  for (const PngCompression compression : {kPngFast, kPngDefault, kPngSmall}) {
    request.compression = compression;
    request.heightsPath = dir + "/h.png";
    request.heightsFormat = kHeightsPng16;
    request.waterPath = dir + "/w.png";
    request.waterFormat = kWaterPng8;
    request.colourPath = dir + "/c.png";
    Export(request);
    for (const char* name : {"h.png", "w.png", "c.png"}) {
      SCOPED_TRACE(std::string(name) + " at compression " + std::to_string(compression));
      const Png png = ReadPng(dir + "/" + name);
      ASSERT_FALSE(png.samples.empty());
      if (compression == kPngFast) {
        samples[name] = png.samples;
      } else {
        EXPECT_TRUE(png.samples == samples[name]);
        EXPECT_LE(fs::file_size(dir + "/" + name), sizes[name]);
      }
      sizes[name] = fs::file_size(dir + "/" + name);
      if (std::string(KORAVEL_PNGCHECK).empty()) continue;
      const std::string command = std::string(KORAVEL_PNGCHECK) + " -q " + dir + "/" + name;
      EXPECT_EQ(std::system(command.c_str()), 0) << command;
    }
  }
}

// Fast PNGs are bands compressed apart and joined: every shape and kind of content decodes to its
// samples, whether the bands end inside a byte or on one, in one block or stored, across rows or not.
TEST(ExportFormats, FastPngsJoinTheirBandsIntoOneStreamThatDecodesToTheSamples) {
  const std::string dir = WorkFolder();
  struct Case {
    int64_t width, height;
    PngPixels pixels;
    const char* content;
  };
  const Case cases[] = {
      {1, 1, kPngGrey8, "ramp"},        {5, 3, kPngRgb8, "noise"},         {600, 500, kPngGrey16, "ramp"},
      {16385, 3, kPngGrey16, "ramp"},   {300, 300, kPngRgb8, "noise"},     {700, 400, kPngGrey8, "zeros"},
      {512, 512, kPngGrey16, "steps"},  {1000, 300, kPngRgb8, "steps"},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::to_string(c.width) + " x " + std::to_string(c.height) + " " + c.content);
    const size_t channels = c.pixels == kPngRgb8 ? 3 : 1, bytes = c.pixels == kPngGrey16 ? 2 : 1;
    const size_t rowSamples = size_t(c.width) * channels;
    std::vector<uint32_t> samples(rowSamples * size_t(c.height));
    uint32_t state = 12345;
    for (size_t i = 0; i < samples.size(); ++i) {
      state = state * 1664525u + 1013904223u;
      const size_t x = i % rowSamples, y = i / rowSamples;
      const std::string content = c.content;
      const uint32_t value = content == "noise" ? state >> 8 : content == "zeros" ? 0
                           : content == "ramp" ? uint32_t(x * 37 + y * 11) : uint32_t((x / 7 + y / 5) * 97 + (state >> 30));
      samples[i] = value & (bytes == 2 ? 0xffffu : 0xffu);
    }
    const std::string path = dir + "/fast.png";
    OutputFile file;
    ASSERT_TRUE(OpenOutputFile(&file, path)) << file.message;
    const bool written = WritePng(&file, c.width, c.height, c.pixels, {{"Comment", "bands"}},
                                  [&](int64_t row, uint8_t* out) {
      for (size_t i = 0; i < rowSamples; ++i) {
        const uint32_t value = samples[size_t(row) * rowSamples + i];
        if (bytes == 2) {
          out[2 * i] = uint8_t(value >> 8);
          out[2 * i + 1] = uint8_t(value);
        } else {
          out[i] = uint8_t(value);
        }
      }
      return true;
    }, kPngFilterAdaptive, kPngFast);
    ASSERT_TRUE(written) << file.message;
    ASSERT_TRUE(FinishOutputFile(&file) && CommitOutputFile(&file)) << file.message;
    const Png png = ReadPng(path);
    EXPECT_TRUE(png.samples == samples);
    EXPECT_EQ(png.texts.at("Comment"), "bands");
    if (std::string(KORAVEL_PNGCHECK).empty()) continue;
    const std::string command = std::string(KORAVEL_PNGCHECK) + " -q " + path;
    EXPECT_EQ(std::system(command.c_str()), 0) << command;
  }
}

// Where a final block ends: stored, fixed and malformed streams.
TEST(ExportFormats, TheEndOfADeflateBlockIsFoundOrRefused) {
  struct Case {
    std::vector<uint8_t> bytes;
    int64_t end;
  };
  const Case cases[] = {
      {{0x03, 0x00}, 10},                    // fixed, empty
      {{0x4b, 0x04, 0x00}, 18},              // fixed, "a"
      {{0x01, 0x00, 0x00, 0xff, 0xff}, 40},  // stored, empty
      {{0x01, 0x01, 0x00, 0xfe, 0xff, 'a'}, 48},
      {{0x02, 0x00}, -1},                    // fixed, not final
      {{0x4b, 0x04}, -1},                    // cut short
      {{0x4b, 0x04, 0x00, 0x00}, -1},        // a byte beyond the block
      {{0x01, 0x01, 0x00, 0xff, 0xff, 'a'}, -1},  // stored, a length that does not check
      {{0x07, 0x00}, -1},                    // the reserved block type
      {{}, -1},
  };
  for (const Case& c : cases) {
    EXPECT_EQ(DeflateBlockEndBit(c.bytes.data(), c.bytes.size()), c.end) << c.bytes.size() << " bytes";
  }
}

// Adler-32 sums of pieces combine into the whole's, for pieces past the sum's modulus too.
TEST(ExportFormats, AdlerSumsOfPiecesCombineIntoTheWholes) {
  std::vector<uint8_t> data(200000);
  for (size_t i = 0; i < data.size(); ++i) data[i] = uint8_t((i * 2654435761u) >> 13);
  auto adler = [&](size_t from, size_t to) {
    uint32_t a = 1, b = 0;
    for (size_t i = from; i < to; ++i) {
      a = (a + data[i]) % 65521;
      b = (b + a) % 65521;
    }
    return b << 16 | a;
  };
  const uint32_t whole = adler(0, data.size());
  for (const size_t split : {size_t(0), size_t(1), size_t(5552), size_t(65521), size_t(131042), data.size()}) {
    EXPECT_EQ(CombineAdler32(adler(0, split), adler(split, data.size()), data.size() - split), whole) << split;
  }
}

// Pieces made on many threads come out in order, each once, whatever the slots and however
// unevenly they take; a later piece never takes an earlier one's slot (which once hung).
TEST(ExportFormats, OrderedWorkTakesEveryPieceInOrderWithFewSlotsAndUnevenWorkers) {
  for (const int slots : {1, 2, 6}) {
    SCOPED_TRACE(std::to_string(slots) + " slots");
    std::vector<int64_t> held(static_cast<size_t>(slots), -1);
    std::vector<int64_t> taken;
    OrderedWork work;
    work.pieces = 300;
    work.workers = 4;
    work.slots = slots;
    work.make = [&](int64_t piece, int slot) {
      if (piece % 7 == 0) std::this_thread::sleep_for(std::chrono::microseconds(200));
      held[static_cast<size_t>(slot)] = piece;
      return true;
    };
    work.take = [&](int64_t piece, int slot) {
      if (piece % 5 == 0) std::this_thread::sleep_for(std::chrono::microseconds(300));
      taken.push_back(held[static_cast<size_t>(slot)] == piece ? piece : -1);
      return true;
    };
    ASSERT_TRUE(RunOrderedWork(work));
    ASSERT_EQ(taken.size(), 300u);
    for (size_t i = 0; i < taken.size(); ++i) ASSERT_EQ(taken[i], int64_t(i));
  }
  // A piece that cannot be made stops the work.
  OrderedWork failing;
  failing.pieces = 50;
  failing.workers = 2;
  failing.slots = 3;
  failing.make = [](int64_t piece, int) { return piece != 20; };
  failing.take = [](int64_t piece, int) { return piece < 20; };
  EXPECT_FALSE(RunOrderedWork(failing));
}

// Requests that koravel-export refuses before making them, which the program's dialog may still make.
// (Unwritable files and refused shapes are held against koravel-export itself.)
TEST(ExportFailures, RefusalsWriteNothingAndSayWhy) {
  const std::string dir = WorkFolder();
  const struct {
    const char* reason;
    void (*change)(ExportRequest*);
  } refusals[] = {
      {"named for two files", [](ExportRequest* r) { r->colourPath = r->heightsPath; }},
      {"4096", [](ExportRequest* r) { r->settings.initFreq = 5000.0f; }},
      {"lower first", [](ExportRequest* r) { r->rangeGiven = true, r->rangeLow = 2.0f, r->rangeHigh = 1.0f; }},
  };
  for (const auto& refusal : refusals) {
    SCOPED_TRACE(refusal.reason);
    ExportRequest request = DefaultRiver();
    request.heightsPath = dir + "/h.f32";
    refusal.change(&request);
    const ExportOutcome refused = Export(request);
    EXPECT_EQ(refused.status, kExportRefused);
    EXPECT_NE(refused.message.find(refusal.reason), std::string::npos) << refused.message;
    EXPECT_TRUE(FilesIn(dir).empty());
  }
  // A .glb of 36 bytes a vertex and 24 a cell fits in 4 GiB up to 8461 x 8461; an .obj has no such limit.
  std::string message;
  EXPECT_TRUE(CheckMeshShape(kMeshGlb, 8461, 8461, &message)) << message;
  EXPECT_FALSE(CheckMeshShape(kMeshGlb, 8462, 8461, &message));
  EXPECT_NE(message.find("at most 4294967295 bytes"), std::string::npos) << message;
  EXPECT_NE(message.find("a 8462 x 8461 mesh needs " +
                         std::to_string(GlbBinaryBytes(8462, 8461)) + " bytes"),
            std::string::npos)
      << message;
  EXPECT_TRUE(CheckMeshShape(kMeshObj, 16384, 16384, &message));
}

// The picture comes last: cancelling there finds every other file already written.
ExportControl* cancelledByPicture = nullptr;

TEST(ExportFailures, AnExportCancelledAfterItsFilesAreWrittenLeavesNothing) {
  const std::string dir = WorkFolder();
  ExportRequest request = DefaultRiver();
  request.heightsPath = dir + "/h.png";
  request.heightsFormat = kHeightsPng16;
  request.meshPath = dir + "/m.glb";
  request.meshFormat = kMeshGlb;
  request.colourPath = dir + "/c.png";
  request.picturePath = dir + "/p.png";
  ExportControl late;
  cancelledByPicture = &late;
  const ExportOutcome outcome = Export(request, &late, [](const ExportField&, const ExportRequest&, OutputFile* file) {
    CancelExport(cancelledByPicture);
    const char bytes[] = "half a picture";
    return WriteOutput(file, bytes, sizeof bytes);
  });
  EXPECT_EQ(outcome.status, kExportCancelled);
  EXPECT_TRUE(FilesIn(dir).empty());
  EXPECT_GT(ExportFraction(late), 0.7);
}

TEST(ExportFailures, DevicesAreWrittenInPlaceNeverReplaced) {
  const std::string device = KORAVEL_TEST_DEVICE;
  if (device.empty()) GTEST_SKIP() << "no device path on this system";
  ExportRequest request = DefaultRiver();
  request.heightsPath = device;
  EXPECT_EQ(Export(request).status, kExportDone);
  EXPECT_FALSE(fs::is_regular_file(device));
  EXPECT_TRUE(fs::exists(device));
}

// Writes a finished file of text under a temporary name, ready to be committed.
void WriteUncommitted(OutputFile* file, const std::string& path, const std::string& text) {
  ASSERT_TRUE(OpenOutputFile(file, path)) << file->message;
  ASSERT_TRUE(WriteOutput(file, text.data(), text.size()));
  ASSERT_TRUE(FinishOutputFile(file)) << file->message;
}

std::string TextOf(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadBytes(path);
  return std::string(bytes.begin(), bytes.end());
}

// Before the second of three renames its target becomes a folder.
std::string folderInTheWay;
void PutAFolderInTheWay(size_t index) {
  if (index != 1) return;
  fs::remove(folderInTheWay);
  fs::create_directories(folderInTheWay + "/inside");
}

// Files are committed together: a rename that fails puts back the old file it replaced and removes the
// new one that had no old file, keeping nothing aside; without a failure all three are replaced.
TEST(OutputFiles, ARenameThatFailsPutsBackTheFilesAlreadyReplaced) {
  const std::string dir = WorkFolder();
  for (bool failing : {true, false}) {
    SCOPED_TRACE(failing ? "failing" : "succeeding");
    fs::remove_all(dir);
    fs::create_directories(dir);
    std::ofstream(dir + "/a.txt") << "old a";
    std::ofstream(dir + "/b.txt") << "old b";
    OutputFile files[3];
    WriteUncommitted(&files[0], dir + "/a.txt", "new a");
    WriteUncommitted(&files[1], dir + "/b.txt", "new b");
    WriteUncommitted(&files[2], dir + "/c.txt", "new c");
    folderInTheWay = dir + "/b.txt";
    outputRenameHook = failing ? PutAFolderInTheWay : nullptr;
    std::string message;
    const bool committed = CommitOutputFiles(files, 3, &message);
    outputRenameHook = nullptr;
    EXPECT_EQ(committed, !failing);
    if (failing) {
      EXPECT_EQ(message.rfind("cannot write " + dir + "/b.txt: ", 0), 0u) << message;
      EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"a.txt", "b.txt"}));
      EXPECT_EQ(TextOf(dir + "/a.txt"), "old a");
      EXPECT_TRUE(fs::is_directory(dir + "/b.txt"));
    } else {
      EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"a.txt", "b.txt", "c.txt"}));
      EXPECT_EQ(TextOf(dir + "/a.txt") + TextOf(dir + "/b.txt") + TextOf(dir + "/c.txt"), "new anew bnew c");
    }
  }
}

#ifndef _WIN32
// The program's way with TERM, HUP and Ctrl+C: in a child process, files half made or made and awaiting
// their renames are removed before the signal ends it; a signal that comes during the renames ends it
// once they are done, every file replaced.
int toParent = -1;
void TellParentAndWait(size_t index) {
  if (index != 0) return;
  if (write(toParent, "r", 1) != 1) _exit(3);
  usleep(300000);
}

TEST(OutputFiles, AProgramEndedByASignalLeavesNoTemporaryFile) {
  const std::string dir = WorkFolder();
  for (int signal : {SIGTERM, SIGHUP, SIGINT}) {
    for (bool renaming : {false, true}) {
      SCOPED_TRACE(std::to_string(signal) + (renaming ? " while renaming" : " while writing"));
      fs::remove_all(dir);
      fs::create_directories(dir);
      std::ofstream(dir + "/a.txt") << "old a";
      int channel[2];
      ASSERT_EQ(pipe(channel), 0);
      const pid_t child = fork();
      if (child == 0) {
        close(channel[0]);
        toParent = channel[1];
        RemoveOutputFilesAtEndingSignals();
        OutputFile files[2];
        for (int i = 0; i < 2; ++i) {
          if (!OpenOutputFile(&files[i], dir + (i == 0 ? "/a.txt" : "/b.txt")) || !WriteOutput(&files[i], "new", 3) ||
              !FinishOutputFile(&files[i])) {
            _exit(2);
          }
        }
        if (renaming) {
          outputRenameHook = TellParentAndWait;
          std::string message;
          CommitOutputFiles(files, 2, &message);
        } else if (write(toParent, "w", 1) != 1) {
          _exit(3);
        }
        for (;;) pause();
      }
      close(channel[1]);
      char said = 0;
      ASSERT_EQ(read(channel[0], &said, 1), 1);
      close(channel[0]);
      kill(child, signal);
      int status = 0;
      ASSERT_EQ(waitpid(child, &status, 0), child);
      EXPECT_TRUE(WIFSIGNALED(status) && WTERMSIG(status) == signal) << status;
      if (renaming) {
        EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"a.txt", "b.txt"}));
        EXPECT_EQ(TextOf(dir + "/a.txt") + TextOf(dir + "/b.txt"), "newnew");
      } else {
        EXPECT_EQ(FilesIn(dir), std::set<std::string>{"a.txt"});
        EXPECT_EQ(TextOf(dir + "/a.txt"), "old a");
      }
    }
  }
}
#endif
