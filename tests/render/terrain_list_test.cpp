// The vertex streams of the solid mesh and the point display, against the golden terrains.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <cstdlib>
#include <cstring>
#include <memory>
#include <string>

#include "render/frame.h"
#include "render/terrain_list.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"
#include "tests/golden_data.h"
#include "tests/render/gl_recorder.h"

namespace {

struct GridDeleter {
  void operator()(TerrainGrid* grid) const { DestroyTerrainGrid(grid); }
};
using GridPointer = std::unique_ptr<TerrainGrid, GridDeleter>;

GridPointer NewGrid(int32_t width, int32_t depth, float baseHeight) {
  GridPointer grid(static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid))));
  EXPECT_TRUE(CreateTerrainGrid(grid.get(), width, depth, 150.0f, 150.0f, baseHeight));
  return grid;
}

GridPointer SynthesizeCase(const GoldenCase& golden) {
  GridPointer grid = NewGrid(100, 100, golden.terrainHeight);
  EXPECT_TRUE(SynthesizeTerrain(grid.get(), golden.seed, golden.passHeightScale, golden.freqScale,
                                golden.initFreq, golden.passCount, golden.river));
  return grid;
}

std::vector<float> ListStream(const TerrainGrid* grid, int32_t flat) {
  ResetGlRecording();
  BuildTerrainList(grid, flat);
  return glRecording.stream;
}

std::vector<float> PointStream(const TerrainGrid* grid) {
  ResetGlRecording();
  DrawTerrainPoints(grid);
  return glRecording.stream;
}

std::string StreamHash(const std::vector<float>& stream) {
  return Fnv1a64(stream.data(), stream.size() * sizeof(float));
}

// Compares a stream with a golden file vertex by vertex, naming the first that differs.
void ExpectSameStream(const std::vector<float>& stream, const std::vector<unsigned char>& golden) {
  ASSERT_EQ(stream.size() * sizeof(float), golden.size());
  std::vector<float> expected(golden.size() / sizeof(float));
  memcpy(expected.data(), golden.data(), golden.size());
  for (size_t i = 0; i < stream.size(); ++i) {
    if (memcmp(&stream[i], &expected[i], sizeof(float)) != 0) {
      FAIL() << "vertex " << i / 6 << " value " << i % 6 << ": " << stream[i] << " instead of " << expected[i];
    }
  }
}

// The six stream values of one vertex.
std::vector<float> Vertex(const std::vector<float>& stream, size_t index) {
  return std::vector<float>(stream.begin() + static_cast<std::ptrdiff_t>(index * 6),
                            stream.begin() + static_cast<std::ptrdiff_t>(index * 6 + 6));
}

}  // namespace

TEST(TerrainStreams, EveryGoldenCaseMatchesBitForBit) {
  const std::vector<GoldenCase> cases = LoadGoldenCases();
  ASSERT_FALSE(cases.empty()) << "no golden cases under " << KORAVEL_TEST_DATA;
  for (const GoldenCase& golden : cases) {
    SCOPED_TRACE(golden.name);
    GridPointer grid = SynthesizeCase(golden);
    const std::vector<float> list = ListStream(grid.get(), golden.flat);
    EXPECT_EQ(list.size(), 99u * 200u * 6u);
    EXPECT_EQ(StreamHash(list), golden.columns.at("list_fnv1a64"));
    const std::vector<float> points = PointStream(grid.get());
    EXPECT_EQ(points.size(), 100u * 100u * 6u);
    EXPECT_EQ(StreamHash(points), golden.columns.at("points_fnv1a64"));
  }
}

TEST(TerrainStreams, DefaultRiverMatchesTheWholeFiles) {
  for (const GoldenCase& golden : LoadGoldenCases()) {
    if (golden.name != "default-river") continue;
    GridPointer grid = SynthesizeCase(golden);
    ExpectSameStream(ListStream(grid.get(), 0), LoadGoldenStream(golden.name, "list"));
    ExpectSameStream(PointStream(grid.get()), LoadGoldenStream(golden.name, "points"));
    return;
  }
  FAIL() << "default-river missing from the golden cases";
}

TEST(TerrainList, CompilesListOneAsOneQuadStripPerColumnPair) {
  GridPointer grid = NewGrid(100, 100, 8.0f);
  ASSERT_TRUE(SynthesizeTerrain(grid.get(), 0, 0.4f, 6.0f, 4.0f, 5, 1));
  ResetGlRecording();
  BuildTerrainList(grid.get(), 0);
  const std::vector<GlCall>& calls = glRecording.calls;
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls.front().name, "glNewList");
  EXPECT_EQ(calls.front().args, (std::vector<double>{1.0, double(GL_COMPILE)}));
  EXPECT_EQ(calls.back().name, "glEndList");

  int strips = 0;
  int verticesInStrip = 0;
  for (const GlCall& call : calls) {
    if (call.name == "glBegin") {
      EXPECT_EQ(call.args, std::vector<double>{double(GL_QUAD_STRIP)});
      ++strips;
      verticesInStrip = 0;
    } else if (call.name == "glVertex3f") {
      ++verticesInStrip;
    } else if (call.name == "glEnd") {
      EXPECT_EQ(verticesInStrip, 200) << "strip " << strips;
    }
  }
  EXPECT_EQ(strips, 99);
}

TEST(TerrainList, RampHandlesASingleHeightAndWaterComparesWithTheDouble) {
  // Every height 0: no span for the ramp, which must still give the lowest colour.
  GridPointer grid = NewGrid(2, 2, 8.0f);
  FindHeightRange(grid.get());
  // Water at the float nearest 0.4 lies above the double 0.4; the float below does not.
  grid->water[0] = 0.4f;
  grid->water[2] = std::nextafter(0.4f, 0.0f);
  const std::vector<float> list = ListStream(grid.get(), 0);
  ASSERT_EQ(list.size(), 4u * 6u);
  // Order: (1, 0), (0, 0), (1, 1), (0, 1); all but (0, 0) take the lowest ramp colour.
  for (size_t v : {0u, 2u, 3u}) {
    const std::vector<float> vertex = Vertex(list, v);
    EXPECT_NEAR(vertex[0], 0.075, 1e-7) << "vertex " << v;
    EXPECT_NEAR(vertex[1], 0.1, 1e-7) << "vertex " << v;
    EXPECT_NEAR(vertex[2], 0.06, 1e-7) << "vertex " << v;
  }
  EXPECT_EQ(Vertex(list, 1)[0], 0.0f);
  EXPECT_EQ(Vertex(list, 1)[1], static_cast<float>((1.0 - double(0.4f)) * 0.5));
  EXPECT_EQ(Vertex(list, 1)[2], static_cast<float>(double(0.4f) * 0.5));
}

TEST(TerrainList, ANarrowGridCompilesAnEmptyListAndNoGridNothing) {
  GridPointer grid = NewGrid(1, 5, 8.0f);
  ResetGlRecording();
  BuildTerrainList(grid.get(), 0);
  EXPECT_EQ(RecordedStructure(), (std::vector<std::string>{"glNewList", "glEndList"}));
  ResetGlRecording();
  BuildTerrainList(nullptr, 0);
  EXPECT_TRUE(glRecording.calls.empty());
}

TEST(TerrainDrawing, SolidOnlySetsItsColourAndReplaysListOne) {
  GridPointer grid = NewGrid(100, 100, 8.0f);
  ResetGlRecording();
  DrawTerrainSolid(grid.get());
  ASSERT_EQ(glRecording.calls.size(), 2u);
  EXPECT_EQ(glRecording.calls[0].name, "glColor3f");
  EXPECT_EQ(glRecording.calls[0].args, (std::vector<double>{double(0.4f), double(0.7f), double(0.4f)}));
  EXPECT_EQ(glRecording.calls[1].name, "glCallList");
  EXPECT_EQ(glRecording.calls[1].args, std::vector<double>{1.0});

  ResetGlRecording();
  DrawTerrainSolid(nullptr);
  DrawTerrainPoints(nullptr);
  EXPECT_TRUE(glRecording.calls.empty());
}

TEST(TerrainDrawing, PointsTurnBlueOnlyAboveTheDoubleSevenTenths) {
  GridPointer grid = NewGrid(2, 1, 8.0f);
  grid->water[0] = 0.7f;
  grid->water[1] = std::nextafter(0.7f, 1.0f);
  ResetGlRecording();
  DrawTerrainPoints(grid.get());
  const std::vector<float>& points = glRecording.stream;
  ASSERT_EQ(points.size(), 2u * 6u);
  // Height 0 is grey 0.55.
  EXPECT_EQ(Vertex(points, 0), (std::vector<float>{0.55f, 0.55f, 0.55f, -75.0f, 0.0f, -75.0f}));
  EXPECT_EQ(Vertex(points, 1), (std::vector<float>{0.0f, 0.0f, 1.0f, 0.0f, 0.0f, -75.0f}));
}
