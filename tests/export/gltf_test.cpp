// The meshes read back by third-party readers (tinygltf; Open Asset Import for the .obj): counts, bounds, indices, winding, colours, material.
#include <gtest/gtest.h>
#include <stb_image.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdlib>
#include <cstring>
#include <filesystem>
#include <limits>

#include "export/export_job.h"

namespace {

// name in the running test's own folder.
std::string WorkPath(const std::string& name) {
  const std::filesystem::path folder =
      std::filesystem::path(KORAVEL_TEST_WORK) / ::testing::UnitTest::GetInstance()->current_test_info()->name();
  std::filesystem::create_directories(folder);
  return (folder / name).string();
}

bool Load(const std::string& path, tinygltf::Model* model) {
  tinygltf::TinyGLTF loader;
  std::string error, warning;
  const bool loaded = loader.LoadBinaryFromFile(model, &error, &warning, path);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_TRUE(warning.empty()) << warning;
  return loaded;
}

const unsigned char* DataOf(const tinygltf::Model& model, int accessorIndex) {
  const tinygltf::Accessor& accessor = model.accessors.at(size_t(accessorIndex));
  const tinygltf::BufferView& view = model.bufferViews.at(size_t(accessor.bufferView));
  return model.buffers.at(size_t(view.buffer)).data.data() + view.byteOffset + accessor.byteOffset;
}

// The accessor's elements as floats, three a vertex.
std::vector<float> Floats(const tinygltf::Model& model, int accessorIndex) {
  std::vector<float> values(model.accessors.at(size_t(accessorIndex)).count * 3);
  memcpy(values.data(), DataOf(model, accessorIndex), values.size() * 4);
  return values;
}

std::vector<uint32_t> Indices(const tinygltf::Model& model, int accessorIndex) {
  const tinygltf::Accessor& accessor = model.accessors.at(size_t(accessorIndex));
  const unsigned char* data = DataOf(model, accessorIndex);
  std::vector<uint32_t> indices(accessor.count);
  for (size_t i = 0; i < accessor.count; ++i) {
    uint16_t narrow = 0;
    if (accessor.componentType != TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
      memcpy(&indices[i], data + 4 * i, 4);
    } else {
      memcpy(&narrow, data + 2 * i, 2);
      indices[i] = narrow;
    }
  }
  return indices;
}

using Point = std::array<float, 3>;

// Asserts that every triangle turns counter-clockwise seen from above; low and high become the bounds of their corners.
void ExpectUpwardTriangles(const std::vector<float>& positions, const std::vector<uint32_t>& indices, Point* low,
                           Point* high) {
  low->fill(std::numeric_limits<float>::infinity());
  high->fill(-std::numeric_limits<float>::infinity());
  for (size_t t = 0; t < indices.size(); t += 3) {
    const float* a = &positions.at(3 * indices[t]);
    const float* b = &positions.at(3 * indices[t + 1]);
    const float* c = &positions.at(3 * indices[t + 2]);
    const double turn = double(b[2] - a[2]) * double(c[0] - b[0]) - double(b[0] - a[0]) * double(c[2] - b[2]);
    ASSERT_GT(turn, 0.0) << "triangle " << t / 3;
    for (const float* p : {a, b, c}) {
      for (size_t k = 0; k < 3; ++k) (*low)[k] = std::min((*low)[k], p[k]), (*high)[k] = std::max((*high)[k], p[k]);
    }
  }
}

}  // namespace

// The .glb as tinygltf reads it, and the .obj as Open Asset Import reads it (converted to glTF for tinygltf).
TEST(GltfMeshes, ThirdPartyReadersFindTheCountsBoundsUpwardTrianglesAndTheIndexWidthTheSizeNeeds) {
  // 255 x 257 has 65535 vertices, the most 16-bit indices may number (65535 itself marks a restart).
  const struct {
    int64_t width, depth;
    const char* name;
    int componentType;
  } meshes[] = {{255, 257, "m.glb", TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT},
                {256, 256, "m.glb", TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT},
                {100, 100, "m.obj", 0}};
  for (const auto& mesh : meshes) {
    SCOPED_TRACE(std::to_string(mesh.width) + " x " + std::to_string(mesh.depth) + " " + mesh.name);
    ExportRequest request;
    request.settings.river = 1;
    request.terrainWidth = mesh.width;
    request.terrainDepth = mesh.depth;
    std::string path = request.meshPath = WorkPath(mesh.name);
    ASSERT_TRUE(MeshFormatOfPath(path, &request.meshFormat));
    ExportOutcome outcome;
    ASSERT_TRUE(RunExport(request, nullptr, nullptr, &outcome)) << outcome.message;
    const bool obj = mesh.componentType == 0;
    if (obj) {
      const std::string assimp = KORAVEL_ASSIMP;
      if (assimp.empty()) GTEST_SKIP() << "assimp (assimp-utils) not found";
      const std::string command = assimp + " export " + path + " " + WorkPath("from-obj.glb") + " -fglb2 > " +
                                  WorkPath("assimp.log") + " 2>&1";
      ASSERT_EQ(std::system(command.c_str()), 0) << command;
      path = WorkPath("from-obj.glb");
    }
    tinygltf::Model model;
    ASSERT_TRUE(Load(path, &model));
    const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
    const std::vector<uint32_t> indices = Indices(model, primitive.indices);
    ASSERT_EQ(indices.size(), size_t(6 * (mesh.width - 1) * (mesh.depth - 1)));
    Point low, high;
    ExpectUpwardTriangles(Floats(model, primitive.attributes.at("POSITION")), indices, &low, &high);
    // x and z from -75 to one spacing short of 75, y the heights.
    EXPECT_EQ(low, (Point{-75.0f, outcome.minHeight, -75.0f}));
    EXPECT_NEAR(high[0], 75.0 - 150.0 / double(mesh.width), 1e-5);
    EXPECT_EQ(high[1], outcome.maxHeight);
    EXPECT_NEAR(high[2], 75.0 - 150.0 / double(mesh.depth), 1e-5);
    if (obj) continue;

    // What the .glb itself says: one triangle list, a vertex a sample, the true bounds, normals up.
    EXPECT_EQ(model.asset.version, "2.0");
    EXPECT_EQ(model.meshes.size(), 1u);
    EXPECT_EQ(model.meshes[0].primitives.size(), 1u);
    EXPECT_EQ(primitive.mode, TINYGLTF_MODE_TRIANGLES);
    EXPECT_EQ(model.accessors.at(size_t(primitive.indices)).componentType, mesh.componentType);
    const size_t vertices = size_t(mesh.width * mesh.depth);
    for (const char* attribute : {"POSITION", "NORMAL", "COLOR_0"}) {
      ASSERT_EQ(model.accessors.at(size_t(primitive.attributes.at(attribute))).count, vertices) << attribute;
    }
    const tinygltf::Accessor& position = model.accessors.at(size_t(primitive.attributes.at("POSITION")));
    for (size_t k = 0; k < 3; ++k) {
      EXPECT_EQ(float(position.minValues.at(k)), low[k]);
      EXPECT_EQ(float(position.maxValues.at(k)), high[k]);
    }
    const std::vector<float> normals = Floats(model, primitive.attributes.at("NORMAL"));
    for (size_t v = 0; v < vertices; ++v) ASSERT_GT(normals[3 * v + 1], 0.0f) << "vertex " << v;
  }
}

namespace {

// The sRGB transfer function: a display value in 0 .. 1 to linear light.
double SrgbToLinear(double c) {
  return c <= 0.04045 ? c / 12.92 : std::pow((c + 0.055) / 1.055, 2.4);
}

}  // namespace

// The .glb's colours are the colour map's, linear; its material is rough ground, not metal; its extras
// give the range (float32, read back exactly) and the sample spacing.
TEST(GltfMeshes, ColoursAreTheColourMapsMadeLinearUnderARoughNonMetallicMaterial) {
  ExportRequest request;
  request.settings.river = 1;
  request.terrainWidth = 120;
  request.terrainDepth = 90;
  request.meshPath = WorkPath("m.glb");
  request.meshFormat = kMeshGlb;
  request.colourPath = WorkPath("c.png");
  ExportOutcome outcome;
  ASSERT_TRUE(RunExport(request, nullptr, nullptr, &outcome)) << outcome.message;
  int width = 0, depth = 0, channels = 0;
  unsigned char* map = stbi_load(request.colourPath.c_str(), &width, &depth, &channels, 3);
  ASSERT_NE(map, nullptr);
  ASSERT_EQ(width * depth, 120 * 90);

  tinygltf::Model model;
  ASSERT_TRUE(Load(request.meshPath, &model));
  const tinygltf::Primitive& primitive = model.meshes.at(0).primitives.at(0);
  ASSERT_EQ(primitive.material, 0);
  const tinygltf::Material& material = model.materials.at(0);
  EXPECT_EQ(material.pbrMetallicRoughness.metallicFactor, 0.0);
  EXPECT_EQ(material.pbrMetallicRoughness.roughnessFactor, 1.0);
  EXPECT_EQ(material.pbrMetallicRoughness.baseColorFactor, (std::vector<double>{1, 1, 1, 1}));

  // Each component within the span its colour map byte stands for (half a step either way), made linear.
  const std::vector<float> colours = Floats(model, primitive.attributes.at("COLOR_0"));
  double meanShown = 0.0, meanLinear = 0.0;
  for (size_t i = 0; i < colours.size(); ++i) {
    const double byte = map[i];
    ASSERT_GE(colours[i], SrgbToLinear(std::max(0.0, byte - 0.5) / 255.0) - 1e-6) << "component " << i;
    ASSERT_LE(colours[i], SrgbToLinear(std::min(255.0, byte + 0.5) / 255.0) + 1e-6) << "component " << i;
    meanShown += byte / 255.0;
    meanLinear += colours[i];
  }
  stbi_image_free(map);
  EXPECT_LT(meanLinear, 0.5 * meanShown);  // the terrain's dark greens are far darker in linear light

  const tinygltf::Value& extras = model.asset.extras;
  const tinygltf::Value& range = extras.Get("heightRange");
  EXPECT_EQ(float(range.Get(0).GetNumberAsDouble()), outcome.rangeLow);
  EXPECT_EQ(float(range.Get(1).GetNumberAsDouble()), outcome.rangeHigh);
  const tinygltf::Value& spacing = extras.Get("sampleSpacing");
  EXPECT_NEAR(spacing.Get(0).GetNumberAsDouble(), 150.0 / 120, 1e-8);  // 9 digits
  EXPECT_NEAR(spacing.Get(1).GetNumberAsDouble(), 150.0 / 90, 1e-8);
}
