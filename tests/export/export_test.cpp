// The export job: its files read back and checked against the generated floats, the golden mesh, each other and the whole terrain.
#include <gtest/gtest.h>
#include <spng.h>

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <map>
#include <set>
#include <sstream>
#include <string>
#include <vector>

#include "export/export_control.h"
#include "export/export_field.h"
#include "export/export_job.h"
#include "export/output_file.h"
#include "tests/golden_data.h"

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

std::vector<float> ReadFloats(const std::string& path) {
  const std::vector<unsigned char> bytes = ReadBytes(path);
  std::vector<float> values(bytes.size() / 4);
  for (size_t i = 0; i < values.size(); ++i) {
    const uint32_t bits = uint32_t(bytes[4 * i]) | uint32_t(bytes[4 * i + 1]) << 8 | uint32_t(bytes[4 * i + 2]) << 16 |
                          uint32_t(bytes[4 * i + 3]) << 24;
    memcpy(&values[i], &bits, 4);
  }
  return values;
}

struct Png {
  uint32_t width = 0, height = 0;
  int bitDepth = 0, colourType = -1;
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
  if (spng_get_ihdr(context, &header) == 0) {
    png.width = header.width;
    png.height = header.height;
    png.bitDepth = header.bit_depth;
    png.colourType = header.color_type;
    size_t size = 0;
    spng_decoded_image_size(context, SPNG_FMT_RAW, &size);
    std::vector<unsigned char> raw(size);
    if (spng_decode_image(context, raw.data(), size, SPNG_FMT_RAW, 0) == 0) {
      if (png.bitDepth == 16) {
        for (size_t i = 0; i + 1 < size; i += 2) png.samples.push_back(uint32_t(raw[i]) << 8 | raw[i + 1]);
      } else {
        png.samples.assign(raw.begin(), raw.end());
      }
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

// The 57 x 33 golden size with every option away from its default.
ExportRequest Mixed(int64_t width, int64_t depth) {
  ExportRequest request;
  request.settings = {12345, 12.5f, 0.5f, 3.0f, 2.0f, 6, 1};
  request.terrainWidth = width;
  request.terrainDepth = depth;
  return request;
}

ExportOutcome Export(const ExportRequest& request, ExportControl* control = nullptr, PictureWriter picture = nullptr) {
  ExportOutcome outcome;
  const bool done = RunExport(request, control, picture, &outcome);
  EXPECT_EQ(done, outcome.status == kExportDone) << outcome.message;
  return outcome;
}

// An OBJ read back: vertex lines, normal lines and faces as 0-based index triples.
struct Obj {
  std::vector<std::string> vertexLines, normalLines;
  std::vector<std::vector<float>> vertices, normals;
  std::vector<std::array<uint64_t, 3>> faces;
};

std::vector<float> NumbersOf(const std::string& line) {
  std::vector<float> numbers;
  const char* p = line.c_str() + line.find(' ');
  const char* end = line.c_str() + line.size();
  while (p < end) {
    while (p < end && *p == ' ') ++p;
    float value = 0.0f;
    const std::from_chars_result read = std::from_chars(p, end, value);
    if (read.ec != std::errc()) break;
    numbers.push_back(value);
    p = read.ptr;
  }
  return numbers;
}

Obj ReadObj(const std::string& path) {
  Obj obj;
  std::ifstream file(path);
  std::string line;
  while (std::getline(file, line)) {
    if (line.rfind("v ", 0) == 0) {
      obj.vertexLines.push_back(line);
      obj.vertices.push_back(NumbersOf(line));
    } else if (line.rfind("vn ", 0) == 0) {
      obj.normalLines.push_back(line);
      obj.normals.push_back(NumbersOf(line));
    } else if (line.rfind("f ", 0) == 0) {
      std::array<uint64_t, 3> face{};
      std::istringstream fields(line.substr(2));
      for (uint64_t& corner : face) {
        std::string field;
        fields >> field;
        corner = std::stoull(field.substr(0, field.find('/'))) - 1;
        EXPECT_EQ(field.substr(field.find('/')), "//" + std::to_string(corner + 1)) << "normal index differs";
      }
      obj.faces.push_back(face);
    }
  }
  return obj;
}

// The y of the cross product of two triangle edges: positive when counter-clockwise seen from above.
double UpwardTurn(const std::vector<float>& a, const std::vector<float>& b, const std::vector<float>& c) {
  const double e1x = b[0] - a[0], e1z = b[2] - a[2], e2x = c[0] - b[0], e2z = c[2] - b[2];
  return e1z * e2x - e1x * e2z;
}

}  // namespace

TEST(ExportFormats, HeightsWaterAndColoursFollowTheFloatsAndTheGoldenMesh) {
  const std::string dir = WorkFolder();
  ExportRequest request = DefaultRiver();
  request.heightsPath = dir + "/h.f32";
  request.waterPath = dir + "/w.f32";
  ExportOutcome outcome = Export(request);
  // The raw floats are the golden fields, byte for byte.
  EXPECT_EQ(ReadBytes(dir + "/h.f32"), LoadGoldenStream("default-river", "heights"));
  EXPECT_EQ(ReadBytes(dir + "/w.f32"), LoadGoldenStream("default-river", "water"));
  EXPECT_EQ(Format9g(outcome.minHeight), "-10.0665274");
  EXPECT_EQ(Format9g(outcome.maxHeight), "11.6338987");
  const std::vector<float> heights = ReadFloats(dir + "/h.f32");
  const std::vector<float> water = ReadFloats(dir + "/w.f32");

  // The terrain's own range, then a given one narrower than the heights, which clamps.
  for (const bool given : {false, true}) {
    SCOPED_TRACE(given ? "--range -5,5" : "own range");
    request = DefaultRiver();
    request.rangeGiven = given;
    request.rangeLow = -5.0f;
    request.rangeHigh = 5.0f;
    request.heightsPath = dir + "/h.png";
    request.heightsFormat = kHeightsPng16;
    outcome = Export(request);
    const float low = given ? -5.0f : outcome.minHeight, high = given ? 5.0f : outcome.maxHeight;
    const Png png = ReadPng(dir + "/h.png");
    ASSERT_EQ(png.width, 100u);
    ASSERT_EQ(png.height, 100u);
    EXPECT_EQ(png.bitDepth, 16);
    EXPECT_EQ(png.colourType, SPNG_COLOR_TYPE_GRAYSCALE);
    ASSERT_EQ(png.samples.size(), heights.size());
    for (size_t k = 0; k < heights.size(); ++k) {
      ASSERT_EQ(png.samples[k], Scaled16(heights[k], low, high)) << "sample " << k;
    }
    EXPECT_EQ(*std::min_element(png.samples.begin(), png.samples.end()), 0u);
    EXPECT_EQ(*std::max_element(png.samples.begin(), png.samples.end()), 65535u);
    // The file says how to turn it back into heights and how to remake it.
    float textLow = 0.0f, textHigh = 0.0f;
    std::istringstream(png.texts.at("Koravel height range")) >> textLow >> textHigh;
    EXPECT_EQ(textLow, low);
    EXPECT_EQ(textHigh, high);
    EXPECT_NE(png.texts.at("Koravel options").find("--seed 0 --height 8 --pass-height-scale 0.4 --freq-scale 6 "
                                                 "--init-freq 4 --passes 5 --river --width 100 --depth 100"),
              std::string::npos);
    EXPECT_NE(png.texts.at("Software").find("Koravel "), std::string::npos);

    // R16: the same values, little-endian, no header.
    request.heightsPath = dir + "/h.r16";
    request.heightsFormat = kHeightsR16;
    Export(request);
    const std::vector<unsigned char> r16 = ReadBytes(dir + "/h.r16");
    ASSERT_EQ(r16.size(), 2 * png.samples.size());
    for (size_t k = 0; k < png.samples.size(); ++k) ASSERT_EQ(r16[2 * k] | r16[2 * k + 1] << 8, int(png.samples[k]));
  }

  // The water mask and the colour map.
  request = DefaultRiver();
  request.waterPath = dir + "/w.png";
  request.waterFormat = kWaterPng8;
  request.colourPath = dir + "/c.png";
  Export(request);
  const Png mask = ReadPng(dir + "/w.png");
  ASSERT_EQ(mask.samples.size(), water.size());
  EXPECT_EQ(mask.bitDepth, 8);
  int wet = 0;
  for (size_t k = 0; k < water.size(); ++k) {
    ASSERT_EQ(mask.samples[k], Byte(water[k])) << "sample " << k;
    wet += mask.samples[k] > 0;
  }
  EXPECT_GT(wet, 100);
  // Each sample in the colour the display list gives it: sample (c, j) is the first vertex of
  // strip c - 1's pair at row j, or for column 0 the second vertex of strip 0.
  const Png colours = ReadPng(dir + "/c.png");
  EXPECT_EQ(colours.colourType, SPNG_COLOR_TYPE_TRUECOLOR);
  const std::vector<float> list = ReadFloats(std::string(KORAVEL_TEST_DATA) + "/golden/default-river/list.f32");
  ASSERT_EQ(colours.samples.size(), 3u * 100 * 100);
  ASSERT_EQ(list.size(), 99u * 200 * 6);
  for (int j = 0; j < 100; ++j) {
    for (int c = 0; c < 100; ++c) {
      const size_t vertex = c > 0 ? size_t((c - 1) * 100 + j) * 2 : size_t(j) * 2 + 1;
      for (int k = 0; k < 3; ++k) {
        ASSERT_EQ(colours.samples[size_t(j * 100 + c) * 3 + k], Byte(list[vertex * 6 + k])) << c << "," << j;
      }
    }
  }
}

TEST(ExportFormats, ATerrainOfOneHeightScalesToZeroAndTakesTheLowestColour) {
  const std::string dir = WorkFolder();
  ExportRequest request;
  request.settings.passCount = 0;  // no pass, no river: every height 0
  request.heightsPath = dir + "/h.png";
  request.heightsFormat = kHeightsPng16;
  request.colourPath = dir + "/c.png";
  const ExportOutcome outcome = Export(request);
  EXPECT_EQ(outcome.minHeight, 0.0f);
  EXPECT_EQ(outcome.maxHeight, 0.0f);
  const Png heights = ReadPng(dir + "/h.png");
  EXPECT_EQ(std::set<uint32_t>(heights.samples.begin(), heights.samples.end()), std::set<uint32_t>{0});
  const Png colours = ReadPng(dir + "/c.png");
  ASSERT_EQ(colours.samples.size(), 3u * 100 * 100);
  // The lowest ramp colour (0.075, 0.1, 0.06).
  EXPECT_EQ(std::vector<uint32_t>(colours.samples.begin(), colours.samples.begin() + 3), (std::vector<uint32_t>{19, 26, 15}));
}

TEST(ExportMeshes, OneVertexPerSampleAtTheViewersPlacesTwoUpwardTrianglesPerCellAndBothFormatsAgree) {
  const std::string dir = WorkFolder();
  ExportRequest request = DefaultRiver();
  request.meshPath = dir + "/m.obj";
  request.colourPath = dir + "/c.png";
  Export(request);
  const Obj obj = ReadObj(dir + "/m.obj");
  ASSERT_EQ(obj.vertices.size(), 100u * 100);
  ASSERT_EQ(obj.normals.size(), 100u * 100);
  ASSERT_EQ(obj.faces.size(), 2u * 99 * 99);
  // Positions are those the display list passes: sample (c, j) is the first vertex of strip c - 1.
  const std::vector<float> list = ReadFloats(std::string(KORAVEL_TEST_DATA) + "/golden/default-river/list.f32");
  const Png colours = ReadPng(dir + "/c.png");
  for (int j = 0; j < 100; ++j) {
    for (int c = 0; c < 100; ++c) {
      const size_t vertex = c > 0 ? size_t((c - 1) * 100 + j) * 2 : size_t(j) * 2 + 1;
      const std::vector<float>& v = obj.vertices[size_t(j) * 100 + c];
      ASSERT_EQ(v.size(), 6u);
      for (int k = 0; k < 3; ++k) ASSERT_EQ(v[k], list[vertex * 6 + 3 + k]) << c << "," << j;
      for (int k = 0; k < 3; ++k) ASSERT_EQ(Byte(v[3 + k]), colours.samples[size_t(j * 100 + c) * 3 + k]);
    }
  }
  EXPECT_EQ(obj.vertices.front()[0], -75.0f);
  EXPECT_EQ(obj.vertices.back()[0], 73.5f);
  EXPECT_EQ(obj.vertices.back()[2], 73.5f);
  // Every face turns counter-clockwise seen from above; the normals are unit length, point up
  // and lean as the faces around them do.
  for (const std::array<uint64_t, 3>& face : obj.faces) {
    const std::vector<float>& a = obj.vertices[face[0]];
    ASSERT_GT(UpwardTurn(a, obj.vertices[face[1]], obj.vertices[face[2]]), 0.0);
  }
  for (size_t i = 0; i < obj.normals.size(); ++i) {
    const std::vector<float>& n = obj.normals[i];
    ASSERT_NEAR(std::sqrt(n[0] * n[0] + n[1] * n[1] + n[2] * n[2]), 1.0, 1e-6);
    ASSERT_GT(n[1], 0.0f);
  }
  // Where the ground rises along +x (or +z) the normal leans back towards -x (or -z).
  int leaning = 0;
  for (size_t j = 1; j < 99; ++j) {
    for (size_t c = 1; c < 99; ++c) {
      const size_t v = j * 100 + c;
      const float riseX = obj.vertices[v + 1][1] - obj.vertices[v - 1][1];
      const float riseZ = obj.vertices[v + 100][1] - obj.vertices[v - 100][1];
      ASSERT_LE(obj.normals[v][0] * riseX, 0.0f) << c << "," << j;
      ASSERT_LE(obj.normals[v][2] * riseZ, 0.0f) << c << "," << j;
      leaning += obj.normals[v][0] * riseX < 0.0f;
    }
  }
  EXPECT_GT(leaning, 9000);

  // The .glb carries the same floats in the same order, with 16-bit indices at this size.
  request.meshPath = dir + "/m.glb";
  request.meshFormat = kMeshGlb;
  Export(request);
  const std::vector<unsigned char> glb = ReadBytes(dir + "/m.glb");
  ASSERT_GT(glb.size(), 28u);
  EXPECT_EQ(std::string(glb.begin(), glb.begin() + 4), "glTF");
  uint32_t jsonLength = 0, total = 0;
  memcpy(&total, &glb[8], 4);
  memcpy(&jsonLength, &glb[12], 4);
  EXPECT_EQ(total, glb.size());
  const size_t bin = 20 + jsonLength + 8;
  ASSERT_EQ(glb.size(), bin + 3 * 10000 * 12 + ((2 * 99 * 99 * 3 * 2 + 3) & ~size_t(3)));
  for (size_t i = 0; i < 10000; ++i) {
    float position[3], normal[3], colour[3];
    memcpy(position, &glb[bin + i * 12], 12);
    memcpy(normal, &glb[bin + 120000 + i * 12], 12);
    memcpy(colour, &glb[bin + 240000 + i * 12], 12);
    for (int k = 0; k < 3; ++k) {
      ASSERT_EQ(position[k], obj.vertices[i][k]);
      ASSERT_EQ(normal[k], obj.normals[i][k]);
      ASSERT_EQ(colour[k], obj.vertices[i][3 + k]);
    }
  }
  for (size_t f = 0; f < obj.faces.size(); ++f) {
    for (int k = 0; k < 3; ++k) {
      uint16_t index = 0;
      memcpy(&index, &glb[bin + 360000 + (f * 3 + k) * 2], 2);
      ASSERT_EQ(index, obj.faces[f][k]);
    }
  }

  // Flat: every y is 0, every normal straight up, the colours still those of the heights.
  request.flat = true;
  request.meshPath = dir + "/flat.obj";
  request.meshFormat = kMeshObj;
  Export(request);
  const Obj flat = ReadObj(dir + "/flat.obj");
  ASSERT_EQ(flat.vertices.size(), obj.vertices.size());
  for (size_t i = 0; i < flat.vertices.size(); ++i) {
    ASSERT_EQ(flat.vertices[i][1], 0.0f);
    ASSERT_EQ(flat.normalLines[i], "vn 0 1 0");
    ASSERT_EQ(std::vector<float>(flat.vertices[i].begin() + 3, flat.vertices[i].end()),
              std::vector<float>(obj.vertices[i].begin() + 3, obj.vertices[i].end()));
  }
}

TEST(ExportTiles, ATileIsTheCutOfTheWholeInEveryFormatWithTheWholeTerrainsRange) {
  const std::string dir = WorkFolder();
  // The golden raw heights of this size, made without a river.
  ExportRequest whole = Mixed(57, 33);
  whole.settings.river = 0;
  whole.heightsPath = dir + "/whole.f32";
  Export(whole);
  EXPECT_EQ(ReadBytes(dir + "/whole.f32"), ReadBytes(std::string(KORAVEL_TEST_DATA) + "/golden/size-57x33-mixed/heights.f32"));

  whole.settings.river = 1;
  whole.colourPath = dir + "/whole.png";
  whole.meshPath = dir + "/whole.obj";
  const ExportOutcome all = Export(whole);
  const std::vector<float> heights = ReadFloats(dir + "/whole.f32");
  const Png colours = ReadPng(dir + "/whole.png");
  const Obj mesh = ReadObj(dir + "/whole.obj");

  // Odd offsets, a tile touching the far edges, a 1-wide tile and a 2 x 2 one in a corner.
  const TerrainRect tiles[] = {{13, 7, 20, 26}, {50, 0, 7, 33}, {5, 3, 1, 17}, {0, 0, 2, 2}};
  for (const TerrainRect& tile : tiles) {
    SCOPED_TRACE(std::to_string(tile.x0) + "," + std::to_string(tile.z0) + "," + std::to_string(tile.width) +
                 "," + std::to_string(tile.depth));
    ExportRequest request = Mixed(57, 33);
    request.tile = true;
    request.rect = tile;
    request.heightsPath = dir + "/tile.f32";
    request.colourPath = dir + "/tile.png";
    if (tile.width > 1) request.meshPath = dir + "/tile.obj";
    const ExportOutcome outcome = Export(request);
    // Without --range the tile's colours take the whole terrain's range; its printed range is its own.
    EXPECT_EQ(outcome.rangeLow, all.minHeight);
    EXPECT_EQ(outcome.rangeHigh, all.maxHeight);
    float low = heights[tile.x0 + tile.z0 * 57], high = low;
    const std::vector<float> cut = ReadFloats(dir + "/tile.f32");
    const Png tileColours = ReadPng(dir + "/tile.png");
    const Obj tileMesh = tile.width > 1 ? ReadObj(dir + "/tile.obj") : Obj();
    ASSERT_EQ(cut.size(), size_t(tile.width * tile.depth));
    for (int64_t j = 0; j < tile.depth; ++j) {
      for (int64_t c = 0; c < tile.width; ++c) {
        const size_t k = size_t((tile.x0 + c) + (tile.z0 + j) * 57), t = size_t(c + j * tile.width);
        ASSERT_EQ(cut[t], heights[k]);
        low = std::min(low, heights[k]);
        high = std::max(high, heights[k]);
        for (int i = 0; i < 3; ++i) ASSERT_EQ(tileColours.samples[3 * t + i], colours.samples[3 * k + i]);
        if (tile.width == 1) continue;
        // Normals read past the tile's edge, so tiles join without a seam in the shading either.
        ASSERT_EQ(tileMesh.vertexLines[t], mesh.vertexLines[k]);
        ASSERT_EQ(tileMesh.normalLines[t], mesh.normalLines[k]);
      }
    }
    EXPECT_EQ(outcome.minHeight, low);
    EXPECT_EQ(outcome.maxHeight, high);
  }
}

TEST(ExportFailures, NothingIsLeftBehindAndOldFilesStayWhenAnyFileFails) {
  const std::string dir = WorkFolder();
  // A folder that cannot be: its parent is a file.
  std::ofstream(dir + "/blocker") << "x";
  std::ofstream(dir + "/h.png") << "old";
  ExportRequest request = DefaultRiver();
  request.heightsPath = dir + "/h.png";
  request.heightsFormat = kHeightsPng16;
  request.waterPath = dir + "/blocker/w.png";
  ExportOutcome outcome = Export(request);
  EXPECT_EQ(outcome.status, kExportFileError);
  EXPECT_NE(outcome.message.find("blocker/w.png"), std::string::npos) << outcome.message;
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"blocker", "h.png"}));
  EXPECT_EQ(ReadBytes(dir + "/h.png"), (std::vector<unsigned char>{'o', 'l', 'd'}));
  // Written in full, it replaces the old file.
  request.waterPath = dir + "/w.png";
  EXPECT_EQ(Export(request).status, kExportDone);
  EXPECT_EQ(ReadPng(dir + "/h.png").width, 100u);
  EXPECT_EQ(FilesIn(dir), (std::set<std::string>{"blocker", "h.png", "w.png"}));

  // Refusals write nothing, and say why.
  fs::remove(dir + "/h.png");
  fs::remove(dir + "/w.png");
  const auto refused = [&](ExportRequest r, const char* reason) {
    SCOPED_TRACE(reason);
    r.heightsPath = dir + "/h.f32";
    const ExportOutcome o = Export(r, nullptr, [](const ExportField&, const ExportRequest&, OutputFile*) { return true; });
    EXPECT_EQ(o.status, kExportRefused);
    EXPECT_NE(o.message.find(reason), std::string::npos) << o.message;
    EXPECT_EQ(FilesIn(dir), std::set<std::string>{"blocker"});
  };
  ExportRequest r = DefaultRiver();
  r.terrainWidth = 1;
  r.meshPath = dir + "/m.obj";
  refused(r, "at least 2 x 2");
  r = DefaultRiver();
  r.terrainWidth = r.terrainDepth = 8500;
  r.meshPath = dir + "/m.glb";
  r.meshFormat = kMeshGlb;
  refused(r, "4 GiB");
  r = DefaultRiver();
  r.tile = true;
  r.rect = {90, 90, 11, 10};
  refused(r, "inside the 100 x 100");
  r.rect = {0, 0, 50, 50};
  r.picturePath = dir + "/p.png";
  refused(r, "whole terrain");
  r = DefaultRiver();
  r.colourPath = dir + "/h.f32";
  refused(r, "named for two files");
  r = DefaultRiver();
  r.settings.initFreq = 5000.0f;
  refused(r, "4096");
  r = DefaultRiver();
  r.rangeGiven = true;
  r.rangeLow = 2.0f;
  r.rangeHigh = 1.0f;
  refused(r, "lower first");
  // A .glb of 36 bytes a vertex and 24 a cell fits in 4 GiB up to 8461 x 8461; an .obj has no such limit.
  std::string message;
  EXPECT_TRUE(CheckMeshShape(kMeshGlb, 8461, 8461, &message)) << message;
  EXPECT_FALSE(CheckMeshShape(kMeshGlb, 8462, 8461, &message));
  EXPECT_NE(message.find("8462 x 8461 mesh needs 4.0 GiB"), std::string::npos) << message;
  EXPECT_TRUE(CheckMeshShape(kMeshObj, 16384, 16384, &message));
}

// The picture comes last: cancelling there finds every other file already written.
ExportControl* cancelledByPicture = nullptr;

TEST(ExportFailures, ACancelledExportLeavesNothingBeforeOrAfterItsFilesAreWritten) {
  const std::string dir = WorkFolder();
  ExportRequest request = DefaultRiver();
  request.heightsPath = dir + "/h.png";
  request.heightsFormat = kHeightsPng16;
  request.meshPath = dir + "/m.glb";
  request.meshFormat = kMeshGlb;
  request.colourPath = dir + "/c.png";
  request.picturePath = dir + "/p.png";
  ExportControl early;
  CancelExport(&early);
  EXPECT_EQ(Export(request, &early, [](const ExportField&, const ExportRequest&, OutputFile*) { return true; }).status,
            kExportCancelled);
  EXPECT_TRUE(FilesIn(dir).empty());

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
