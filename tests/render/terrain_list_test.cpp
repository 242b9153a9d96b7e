// The solid mesh's and the point display's OpenGL calls, recorded by a stand-in, against the golden terrains.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <cmath>
#include <memory>
#include <string>
#include <vector>

#include "render/frame.h"
#include "render/terrain_list.h"
#include "terrain/terrain_grid.h"
#include "tests/golden_data.h"
#include "tests/render/recorded_gl.h"

namespace {

struct GlCall {
  std::string name;          // "glBegin", "glColor3f", ...
  std::vector<double> args;  // widened to double
};

std::vector<GlCall> calls;
std::vector<float> stream;  // per vertex: r, g, b of the colour in force, then x, y, z
std::vector<float> colour;

}  // namespace

void RecordGlCall(const char* name, std::vector<double> args) {
  const std::string call = name;
  if (call == "glColor3f") colour = {float(args[0]), float(args[1]), float(args[2])};
  if (call == "glVertex3f") {
    stream.insert(stream.end(), colour.begin(), colour.end());
    for (double value : args) stream.push_back(float(value));
  }
  calls.push_back(GlCall{call, std::move(args)});
}

namespace {

// Records what one drawing operation sends: the calls, and the vertex stream it returns.
template <typename Operation>
std::vector<float> Recorded(Operation operation) {
  calls.clear();
  stream.clear();
  operation();
  return stream;
}

// The recorded calls compile list 1 of 99 quad strips of 200 vertices each: a 100 x 100 grid's.
void ExpectQuadStripList() {
  ASSERT_GE(calls.size(), 2u);
  EXPECT_EQ(calls.front().name, "glNewList");
  EXPECT_EQ(calls.front().args, (std::vector<double>{1.0, double(GL_COMPILE)}));
  EXPECT_EQ(calls.back().name, "glEndList");
  int begun = 0, vertices = 0;
  for (const GlCall& call : calls) {
    if (call.name == "glBegin") {
      EXPECT_EQ(call.args, std::vector<double>{double(GL_QUAD_STRIP)});
      ++begun;
      vertices = 0;
    }
    vertices += call.name == "glVertex3f";
    EXPECT_TRUE(call.name != "glEnd" || vertices == 200) << "strip " << begun;
  }
  EXPECT_EQ(begun, 99);
}

}  // namespace

TEST(TerrainStreams, EveryGoldenCaseMatchesItsHashes) {
  const std::vector<GoldenCase> cases = LoadGoldenCases();
  ASSERT_EQ(cases.size(), 8u) << "golden cases under " << KORAVEL_TEST_DATA;
  for (const GoldenCase& golden : cases) {
    SCOPED_TRACE(golden.name);
    const std::shared_ptr<TerrainGrid> grid(GenerateGoldenTerrain(golden), DestroyTerrainGrid);
    ASSERT_NE(grid, nullptr);
    const std::vector<float> list = Recorded([&] { BuildTerrainList(grid.get(), golden.flat); });
    ExpectQuadStripList();
    const std::vector<float> points = Recorded([&] { DrawTerrainPoints(grid.get()); });
    EXPECT_EQ(Fnv1a64(list.data(), list.size() * sizeof(float)), golden.columns.at("list_fnv1a64"));
    EXPECT_EQ(Fnv1a64(points.data(), points.size() * sizeof(float)), golden.columns.at("points_fnv1a64"));
  }
}

TEST(TerrainDrawing, SolidOnlySetsItsColourAndReplaysListOneAndNoGridDrawsNothing) {
  const std::shared_ptr<TerrainGrid> grid(NewTerrainGrid(1, 1, 8.0f), DestroyTerrainGrid);
  Recorded([&] { DrawTerrainSolid(grid.get()); });
  ASSERT_EQ(calls.size(), 2u);
  EXPECT_EQ(calls[0].name, "glColor3f");
  EXPECT_EQ(calls[0].args, (std::vector<double>{double(0.4f), double(0.7f), double(0.4f)}));
  EXPECT_EQ(calls[1].name, "glCallList");
  EXPECT_EQ(calls[1].args, std::vector<double>{1.0});
  Recorded([] {
    BuildTerrainList(nullptr, 0);
    DrawTerrainSolid(nullptr);
    DrawTerrainPoints(nullptr);
  });
  EXPECT_TRUE(calls.empty());
}

TEST(TerrainColours, EqualHeightsTakeTheLowestRampColourAndWaterComparesWithTheDouble) {
  // Every height 0: no span for the ramp, which must still give the lowest colour.
  const std::shared_ptr<TerrainGrid> grid(NewTerrainGrid(2, 2, 8.0f), DestroyTerrainGrid);
  // Water at the float nearest 0.4 lies above the double 0.4 and tints the mesh; the float below does not.
  grid->water[0] = 0.4f;
  grid->water[2] = std::nextafter(0.4f, 0.0f);
  const std::vector<float> list = Recorded([&] { BuildTerrainList(grid.get(), 0); });
  ASSERT_EQ(list.size(), 4u * 6u);
  // Order: (1, 0), (0, 0), (1, 1), (0, 1); (0, 1) takes the lowest ramp colour.
  EXPECT_NEAR(list[18], 0.075, 1e-7);
  EXPECT_NEAR(list[19], 0.1, 1e-7);
  EXPECT_NEAR(list[20], 0.06, 1e-7);
  const double w = double(0.4f);
  EXPECT_EQ(std::vector<float>(&list[6], &list[9]), (std::vector<float>{0.0f, float((1.0 - w) * 0.5), float(w * 0.5)}));

  // A point turns blue only above the double 0.7, which the float nearest it is not; height 0 is grey 0.55.
  grid->water[0] = 0.7f;
  grid->water[2] = std::nextafter(0.7f, 1.0f);
  const std::vector<float> points = Recorded([&] { DrawTerrainPoints(grid.get()); });
  ASSERT_EQ(points.size(), 4u * 6u);
  EXPECT_EQ(std::vector<float>(&points[0], &points[3]), (std::vector<float>{0.55f, 0.55f, 0.55f}));
  EXPECT_EQ(std::vector<float>(&points[12], &points[15]), (std::vector<float>{0.0f, 0.0f, 1.0f}));
}
