// The .glb meshes read back by a third-party glTF loader: structure, counts, bounds, index width and winding.
#include <gtest/gtest.h>
#include <tiny_gltf.h>

#include <algorithm>
#include <cmath>
#include <cstring>
#include <cstdlib>
#include <filesystem>

#include "export/export_job.h"

namespace {

struct Loaded {
  tinygltf::Model model;
  bool ok = false;
};

Loaded Load(const std::string& path) {
  Loaded loaded;
  tinygltf::TinyGLTF loader;
  std::string error, warning;
  loaded.ok = loader.LoadBinaryFromFile(&loaded.model, &error, &warning, path);
  EXPECT_TRUE(error.empty()) << error;
  EXPECT_TRUE(warning.empty()) << warning;
  return loaded;
}

// The accessor's elements as floats (three a vertex) or as indices.
std::vector<float> Floats(const tinygltf::Model& model, int accessorIndex) {
  const tinygltf::Accessor& accessor = model.accessors.at(size_t(accessorIndex));
  const tinygltf::BufferView& view = model.bufferViews.at(size_t(accessor.bufferView));
  const unsigned char* data = model.buffers.at(size_t(view.buffer)).data.data() + view.byteOffset + accessor.byteOffset;
  std::vector<float> values(accessor.count * 3);
  memcpy(values.data(), data, values.size() * 4);
  return values;
}

std::vector<uint32_t> Indices(const tinygltf::Model& model, int accessorIndex) {
  const tinygltf::Accessor& accessor = model.accessors.at(size_t(accessorIndex));
  const tinygltf::BufferView& view = model.bufferViews.at(size_t(accessor.bufferView));
  const unsigned char* data = model.buffers.at(size_t(view.buffer)).data.data() + view.byteOffset + accessor.byteOffset;
  std::vector<uint32_t> indices(accessor.count);
  for (size_t i = 0; i < accessor.count; ++i) {
    if (accessor.componentType == TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT) {
      uint16_t index;
      memcpy(&index, data + 2 * i, 2);
      indices[i] = index;
    } else {
      memcpy(&indices[i], data + 4 * i, 4);
    }
  }
  return indices;
}

}  // namespace

TEST(GltfMeshes, ALoaderReadsCountsBoundsAndUpwardTrianglesWithTheIndexWidthTheSizeNeeds) {
  const std::filesystem::path dir = std::filesystem::path(KORAVEL_TEST_WORK) / "GltfMeshes";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  struct Case {
    int64_t side;
    int componentType;
  };
  // 256 x 256 has 65536 vertices: one past what 16-bit indices may number.
  for (const Case& size : {Case{100, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT}, Case{255, TINYGLTF_COMPONENT_TYPE_UNSIGNED_SHORT},
                           Case{256, TINYGLTF_COMPONENT_TYPE_UNSIGNED_INT}}) {
    SCOPED_TRACE(size.side);
    ExportRequest request;
    request.settings.river = 1;
    request.terrainWidth = request.terrainDepth = size.side;
    request.meshPath = (dir / "m.glb").string();
    request.meshFormat = kMeshGlb;
    ExportOutcome outcome;
    ASSERT_TRUE(RunExport(request, nullptr, nullptr, &outcome)) << outcome.message;
    const Loaded loaded = Load(request.meshPath);
    ASSERT_TRUE(loaded.ok);
    const tinygltf::Model& model = loaded.model;
    EXPECT_EQ(model.asset.version, "2.0");
    ASSERT_EQ(model.meshes.size(), 1u);
    ASSERT_EQ(model.meshes[0].primitives.size(), 1u);
    const tinygltf::Primitive& primitive = model.meshes[0].primitives[0];
    EXPECT_EQ(primitive.mode, TINYGLTF_MODE_TRIANGLES);
    const size_t vertices = size_t(size.side * size.side);
    const tinygltf::Accessor& positionAccessor = model.accessors.at(size_t(primitive.attributes.at("POSITION")));
    ASSERT_EQ(positionAccessor.count, vertices);
    EXPECT_EQ(model.accessors.at(size_t(primitive.indices)).componentType, size.componentType);
    EXPECT_EQ(model.accessors.at(size_t(primitive.attributes.at("COLOR_0"))).count, vertices);

    const std::vector<float> positions = Floats(model, primitive.attributes.at("POSITION"));
    const std::vector<float> normals = Floats(model, primitive.attributes.at("NORMAL"));
    const std::vector<uint32_t> indices = Indices(model, primitive.indices);
    ASSERT_EQ(indices.size(), size_t(6 * (size.side - 1) * (size.side - 1)));
    // The declared bounds are the true ones, as 32-bit floats: x and z from -75 to just short of 75,
    // y the heights.
    for (int axis = 0; axis < 3; ++axis) {
      float low = positions[size_t(axis)], high = low;
      for (size_t v = 0; v < vertices; ++v) {
        low = std::min(low, positions[3 * v + size_t(axis)]);
        high = std::max(high, positions[3 * v + size_t(axis)]);
      }
      EXPECT_EQ(float(positionAccessor.minValues.at(size_t(axis))), low);
      EXPECT_EQ(float(positionAccessor.maxValues.at(size_t(axis))), high);
    }
    EXPECT_EQ(positionAccessor.minValues[0], -75.0);
    EXPECT_EQ(float(positionAccessor.minValues[1]), outcome.minHeight);
    EXPECT_EQ(float(positionAccessor.maxValues[1]), outcome.maxHeight);
    EXPECT_NEAR(positionAccessor.maxValues[2], 75.0 - 150.0 / double(size.side), 1e-5);
    // Counter-clockwise seen from above, and the vertex normals on the faces' side.
    for (size_t t = 0; t < indices.size(); t += 3) {
      const float* a = &positions[3 * indices[t]];
      const float* b = &positions[3 * indices[t + 1]];
      const float* c = &positions[3 * indices[t + 2]];
      const double turn = double(b[2] - a[2]) * double(c[0] - b[0]) - double(b[0] - a[0]) * double(c[2] - b[2]);
      ASSERT_GT(turn, 0.0) << "triangle " << t / 3;
      ASSERT_GT(normals[3 * indices[t] + 1], 0.0f);
    }
  }
}

TEST(GltfMeshes, TheObjReadByOpenAssetImportKeepsItsTrianglesTurningUpAndItsExtent) {
  const std::string assimp = KORAVEL_ASSIMP;
  if (assimp.empty()) GTEST_SKIP() << "assimp (assimp-utils) not found";
  const std::filesystem::path dir = std::filesystem::path(KORAVEL_TEST_WORK) / "GltfMeshesFromObj";
  std::filesystem::remove_all(dir);
  std::filesystem::create_directories(dir);
  ExportRequest request;
  request.settings.river = 1;
  request.meshPath = (dir / "m.obj").string();
  ExportOutcome outcome;
  ASSERT_TRUE(RunExport(request, nullptr, nullptr, &outcome)) << outcome.message;
  // Open Asset Import reads the .obj and writes what it read as glTF, which tinygltf then reads.
  const std::string converted = (dir / "from-obj.glb").string();
  const std::string command = assimp + " export " + request.meshPath + " " + converted + " -fglb2 > " +
                              (dir / "assimp.log").string() + " 2>&1";
  ASSERT_EQ(std::system(command.c_str()), 0) << command;
  const Loaded loaded = Load(converted);
  ASSERT_TRUE(loaded.ok);
  const tinygltf::Primitive& primitive = loaded.model.meshes.at(0).primitives.at(0);
  const std::vector<float> positions = Floats(loaded.model, primitive.attributes.at("POSITION"));
  const std::vector<uint32_t> indices = Indices(loaded.model, primitive.indices);
  ASSERT_EQ(indices.size(), 3u * 2 * 99 * 99);
  float lowX = 0.0f, highX = 0.0f, lowY = 0.0f, highY = 0.0f;
  for (size_t t = 0; t < indices.size(); t += 3) {
    const float* a = &positions[3 * indices[t]];
    const float* b = &positions[3 * indices[t + 1]];
    const float* c = &positions[3 * indices[t + 2]];
    const double turn = double(b[2] - a[2]) * double(c[0] - b[0]) - double(b[0] - a[0]) * double(c[2] - b[2]);
    ASSERT_GT(turn, 0.0) << "triangle " << t / 3;
    for (const float* p : {a, b, c}) {
      lowX = std::min(lowX, p[0]);
      highX = std::max(highX, p[0]);
      lowY = std::min(lowY, p[1]);
      highY = std::max(highY, p[1]);
    }
  }
  EXPECT_EQ(lowX, -75.0f);
  EXPECT_EQ(highX, 73.5f);
  EXPECT_EQ(lowY, outcome.minHeight);
  EXPECT_EQ(highY, outcome.maxHeight);
}
