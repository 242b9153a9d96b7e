// Writing the terrain as a mesh: Wavefront OBJ and binary glTF 2.0.
#include "export/mesh_writers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <vector>

#include "export/export_control.h"
#include "export/export_field.h"
#include "export/output_file.h"
#include "export/sample_formats.h"
#include "render/mesh_sample.h"

namespace {

// A .glb stores its length, and each chunk's, in 32 bits.
const uint64_t kMaxGlbBytes = 0xffffffffull;
// Room kept for the glTF JSON and the headers when checking a size before writing.
const uint64_t kGlbJsonAllowance = 4096;

const uint32_t kGlbMagic = 0x46546c67;  // "glTF"
const uint32_t kGlbJsonChunk = 0x4e4f534a;
const uint32_t kGlbBinChunk = 0x004e4942;
const int kFloatType = 5126;
const int kUnsignedShortType = 5123;
const int kUnsignedIntType = 5125;

struct Vertex {
  float position[3];
  float normal[3];
  float colour[3];
};

double Coordinate(int64_t index, int64_t count) {
  return GridCoordinate(kTerrainExtentUnits, static_cast<int32_t>(index), static_cast<int32_t>(count));
}

Vertex SampleVertex(const ExportField& field, int64_t x, int64_t z, bool flat) {
  Vertex vertex;
  const int64_t k = FieldIndex(field, x, z);
  const float h = field.heights[k];
  vertex.position[0] = static_cast<float>(Coordinate(x, field.terrainWidth));
  vertex.position[1] = flat ? 0.0f : h;
  vertex.position[2] = static_cast<float>(Coordinate(z, field.terrainDepth));
  if (flat) {
    vertex.normal[0] = 0.0f;
    vertex.normal[1] = 1.0f;
    vertex.normal[2] = 0.0f;
  } else {
    SampleNormal(field, x, z, vertex.normal);
  }
  const MeshSampleColour colour = SampleMeshColour(h, field.water[k], field.low, field.high, false);
  memcpy(vertex.colour, ShownColour(colour), sizeof vertex.colour);
  return vertex;
}

bool Cancelled(OutputFile* file, ExportControl* control) {
  if (!ExportCancelled(control)) return false;
  FailOutputFile(file, "cancelled");
  return true;
}

uint64_t VertexCount(int64_t width, int64_t depth) {
  return static_cast<uint64_t>(width) * static_cast<uint64_t>(depth);
}

uint64_t TriangleCount(int64_t width, int64_t depth) {
  return 2 * static_cast<uint64_t>(width - 1) * static_cast<uint64_t>(depth - 1);
}

// Index values must stay below the largest of their type, which marks a restart.
bool ShortIndices(int64_t width, int64_t depth) {
  return VertexCount(width, depth) <= 0xffff;
}

uint64_t PaddedTo4(uint64_t n) {
  return (n + 3) & ~3ull;
}

// The triangles of the cell whose first corner is vertex v of a row of width
// vertices: (c + 1, j), (c, j), (c, j + 1) and (c + 1, j), (c, j + 1), (c + 1, j + 1).
void CellTriangles(uint64_t v, uint64_t width, uint64_t corners[6]) {
  const uint64_t below = v + width;
  corners[0] = v + 1;
  corners[1] = v;
  corners[2] = below;
  corners[3] = v + 1;
  corners[4] = below;
  corners[5] = below + 1;
}

// ---- Wavefront OBJ ----

char* AppendText(char* out, const char* text) {
  const size_t length = strlen(text);
  memcpy(out, text, length);
  return out + length;
}

char* AppendFloats(char* out, const char* prefix, const float* values, int count) {
  out = AppendText(out, prefix);
  for (int i = 0; i < count; ++i) {
    *out++ = ' ';
    out = AppendFloatText(out, out + 32, values[i]);
  }
  *out++ = '\n';
  return out;
}

bool WriteObj(const ExportField& field, bool flat, const MeshNotes& notes, OutputFile* file,
              ExportControl* control) {
  const TerrainRect& rect = field.rect;
  const std::string header = "# " + notes.generator + "\n# " + notes.options + "\n# " +
                             std::to_string(rect.width) + " x " + std::to_string(rect.depth) +
                             " samples: vertices row by row, with colours; normals; two triangles a cell\n";
  if (!WriteOutput(file, header.data(), header.size())) return false;
  // A vertex line takes at most 6 floats of 16 characters, a cell's two faces 12 numbers of 20 digits.
  std::vector<char> buffer(static_cast<size_t>(rect.width) * 320 + 64);
  for (int pass = 0; pass < 2; ++pass) {
    for (int64_t j = 0; j < rect.depth; ++j) {
      if (Cancelled(file, control)) return false;
      char* out = buffer.data();
      for (int64_t c = 0; c < rect.width; ++c) {
        const Vertex vertex = SampleVertex(field, rect.x0 + c, rect.z0 + j, flat);
        if (pass == 0) {
          float values[6];
          memcpy(values, vertex.position, sizeof vertex.position);
          memcpy(values + 3, vertex.colour, sizeof vertex.colour);
          out = AppendFloats(out, "v", values, 6);
        } else {
          out = AppendFloats(out, "vn", vertex.normal, 3);
        }
      }
      if (!WriteOutput(file, buffer.data(), static_cast<size_t>(out - buffer.data()))) return false;
      AddExportWork(control, rect.width);
    }
  }
  const uint64_t width = static_cast<uint64_t>(rect.width);
  for (int64_t j = 0; j + 1 < rect.depth; ++j) {
    if (Cancelled(file, control)) return false;
    char* out = buffer.data();
    for (int64_t c = 0; c + 1 < rect.width; ++c) {
      uint64_t corners[6];
      CellTriangles(static_cast<uint64_t>(c) + static_cast<uint64_t>(j) * width, width, corners);
      for (int t = 0; t < 2; ++t) {
        *out++ = 'f';
        for (int i = 0; i < 3; ++i) {
          const uint64_t index = corners[3 * t + i] + 1;  // OBJ counts from 1
          *out++ = ' ';
          out = std::to_chars(out, out + 24, index).ptr;
          *out++ = '/';
          *out++ = '/';
          out = std::to_chars(out, out + 24, index).ptr;
        }
        *out++ = '\n';
      }
    }
    if (!WriteOutput(file, buffer.data(), static_cast<size_t>(out - buffer.data()))) return false;
    AddExportWork(control, rect.width);
  }
  AddExportWork(control, rect.width);
  return true;
}

// ---- binary glTF ----

void PutU32(std::vector<unsigned char>* bytes, uint32_t value) {
  for (int i = 0; i < 4; ++i) bytes->push_back(static_cast<unsigned char>(value >> (8 * i)));
}

void PutFloatBytes(unsigned char* out, const float* values, int count) {
  for (int i = 0; i < count; ++i) {
    uint32_t bits;
    memcpy(&bits, &values[i], sizeof bits);
    for (int b = 0; b < 4; ++b) out[4 * i + b] = static_cast<unsigned char>(bits >> (8 * b));
  }
}

// Escapes a string for JSON.
std::string JsonString(const std::string& text) {
  std::string out = "\"";
  for (char ch : text) {
    const unsigned char c = static_cast<unsigned char>(ch);
    if (c == '"' || c == '\\') {
      out += '\\';
      out += ch;
    } else if (c < 0x20) {
      char escaped[8];
      snprintf(escaped, sizeof escaped, "\\u%04x", c);
      out += escaped;
    } else {
      out += ch;
    }
  }
  return out + "\"";
}

std::string JsonFloats(const float* values, int count) {
  std::string out = "[";
  for (int i = 0; i < count; ++i) out += (i > 0 ? "," : "") + FloatText(values[i]);
  return out + "]";
}

struct GlbLayout {
  uint64_t vertices;
  uint64_t indices;
  int indexBytes;
  uint64_t attributeBytes;  // one attribute (three floats a vertex)
  uint64_t indexBytesTotal;
  uint64_t binBytes;        // padded
};

GlbLayout LayoutOf(int64_t width, int64_t depth) {
  GlbLayout layout;
  layout.vertices = VertexCount(width, depth);
  layout.indices = 3 * TriangleCount(width, depth);
  layout.indexBytes = ShortIndices(width, depth) ? 2 : 4;
  layout.attributeBytes = layout.vertices * 12;
  layout.indexBytesTotal = layout.indices * static_cast<uint64_t>(layout.indexBytes);
  layout.binBytes = PaddedTo4(3 * layout.attributeBytes + layout.indexBytesTotal);
  return layout;
}

std::string GltfJson(const ExportField& field, bool flat, const MeshNotes& notes, const GlbLayout& layout) {
  const TerrainRect& rect = field.rect;
  // The positions' bounds: x and z grow with the column and the row; y spans the heights.
  float low = 0.0f, high = 0.0f;
  if (!flat) {
    low = high = field.heights[FieldIndex(field, rect.x0, rect.z0)];
    for (int64_t j = 0; j < rect.depth; ++j) {
      const float* row = field.heights + FieldIndex(field, rect.x0, rect.z0 + j);
      for (int64_t c = 0; c < rect.width; ++c) {
        low = std::min(low, row[c]);
        high = std::max(high, row[c]);
      }
    }
  }
  const float minimum[3] = {static_cast<float>(Coordinate(rect.x0, field.terrainWidth)), low,
                            static_cast<float>(Coordinate(rect.z0, field.terrainDepth))};
  const float maximum[3] = {static_cast<float>(Coordinate(rect.x0 + rect.width - 1, field.terrainWidth)), high,
                            static_cast<float>(Coordinate(rect.z0 + rect.depth - 1, field.terrainDepth))};
  const std::string n = std::to_string(layout.vertices);
  const std::string a = std::to_string(layout.attributeBytes);
  const float range[2] = {field.low, field.high};
  std::string json;
  json += "{\"asset\":{\"version\":\"2.0\",\"generator\":" + JsonString(notes.generator) +
          ",\"extras\":{\"options\":" + JsonString(notes.options) + ",\"heightRange\":" + JsonFloats(range, 2) + "}},";
  json += "\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0,\"name\":\"terrain\"}],";
  json += "\"meshes\":[{\"name\":\"terrain\",\"primitives\":[{\"attributes\":"
          "{\"POSITION\":0,\"NORMAL\":1,\"COLOR_0\":2},\"indices\":3,\"mode\":4}]}],";
  json += "\"accessors\":[";
  json += "{\"bufferView\":0,\"componentType\":" + std::to_string(kFloatType) + ",\"count\":" + n +
          ",\"type\":\"VEC3\",\"min\":" + JsonFloats(minimum, 3) + ",\"max\":" + JsonFloats(maximum, 3) + "},";
  json += "{\"bufferView\":1,\"componentType\":" + std::to_string(kFloatType) + ",\"count\":" + n + ",\"type\":\"VEC3\"},";
  json += "{\"bufferView\":2,\"componentType\":" + std::to_string(kFloatType) + ",\"count\":" + n + ",\"type\":\"VEC3\"},";
  json += "{\"bufferView\":3,\"componentType\":" +
          std::to_string(layout.indexBytes == 2 ? kUnsignedShortType : kUnsignedIntType) +
          ",\"count\":" + std::to_string(layout.indices) + ",\"type\":\"SCALAR\"}],";
  json += "\"bufferViews\":[";
  for (int view = 0; view < 3; ++view) {
    json += "{\"buffer\":0,\"byteOffset\":" + std::to_string(static_cast<uint64_t>(view) * layout.attributeBytes) +
            ",\"byteLength\":" + a + ",\"target\":34962},";
  }
  json += "{\"buffer\":0,\"byteOffset\":" + std::to_string(3 * layout.attributeBytes) +
          ",\"byteLength\":" + std::to_string(layout.indexBytesTotal) + ",\"target\":34963}],";
  json += "\"buffers\":[{\"byteLength\":" + std::to_string(layout.binBytes) + "}]}";
  while (json.size() % 4 != 0) json += ' ';
  return json;
}

bool WriteGlb(const ExportField& field, bool flat, const MeshNotes& notes, OutputFile* file,
              ExportControl* control) {
  const TerrainRect& rect = field.rect;
  const GlbLayout layout = LayoutOf(rect.width, rect.depth);
  const std::string json = GltfJson(field, flat, notes, layout);
  const uint64_t total = 12 + 8 + json.size() + 8 + layout.binBytes;
  if (total > kMaxGlbBytes) {
    FailOutputFile(file, "a .glb file holds at most 4 GiB");
    return false;
  }
  std::vector<unsigned char> head;
  PutU32(&head, kGlbMagic);
  PutU32(&head, 2);
  PutU32(&head, static_cast<uint32_t>(total));
  PutU32(&head, static_cast<uint32_t>(json.size()));
  PutU32(&head, kGlbJsonChunk);
  head.insert(head.end(), json.begin(), json.end());
  PutU32(&head, static_cast<uint32_t>(layout.binBytes));
  PutU32(&head, kGlbBinChunk);
  if (!WriteOutput(file, head.data(), head.size())) return false;

  // Positions, normals and colours, each a block of three floats per vertex.
  std::vector<unsigned char> row(static_cast<size_t>(rect.width) * 24);
  for (int attribute = 0; attribute < 3; ++attribute) {
    for (int64_t j = 0; j < rect.depth; ++j) {
      if (Cancelled(file, control)) return false;
      for (int64_t c = 0; c < rect.width; ++c) {
        const Vertex vertex = SampleVertex(field, rect.x0 + c, rect.z0 + j, flat);
        const float* values = attribute == 0 ? vertex.position : attribute == 1 ? vertex.normal : vertex.colour;
        PutFloatBytes(&row[static_cast<size_t>(c) * 12], values, 3);
      }
      if (!WriteOutput(file, row.data(), static_cast<size_t>(rect.width) * 12)) return false;
      AddExportWork(control, rect.width);
    }
  }
  const uint64_t width = static_cast<uint64_t>(rect.width);
  for (int64_t j = 0; j + 1 < rect.depth; ++j) {
    if (Cancelled(file, control)) return false;
    size_t at = 0;
    for (int64_t c = 0; c + 1 < rect.width; ++c) {
      uint64_t corners[6];
      CellTriangles(static_cast<uint64_t>(c) + static_cast<uint64_t>(j) * width, width, corners);
      for (uint64_t corner : corners) {
        for (int b = 0; b < layout.indexBytes; ++b) row[at++] = static_cast<unsigned char>(corner >> (8 * b));
      }
    }
    if (!WriteOutput(file, row.data(), at)) return false;
    AddExportWork(control, rect.width);
  }
  AddExportWork(control, rect.width);
  const unsigned char padding[4] = {0, 0, 0, 0};
  return WriteOutput(file, padding, static_cast<size_t>(layout.binBytes - 3 * layout.attributeBytes - layout.indexBytesTotal));
}

}  // namespace

int64_t MeshWork(MeshFormat format, int64_t width, int64_t depth) {
  return (format == kMeshObj ? 3 : 4) * width * depth;
}

uint64_t GlbBinaryBytes(int64_t width, int64_t depth) {
  return 12 + 8 + 8 + LayoutOf(width, depth).binBytes;
}

bool CheckMeshShape(MeshFormat format, int64_t width, int64_t depth, std::string* message) {
  if (width < 2 || depth < 2) {
    *message = "a mesh needs at least 2 x 2 samples";
    return false;
  }
  if (format == kMeshGlb && GlbBinaryBytes(width, depth) + kGlbJsonAllowance > kMaxGlbBytes) {
    char text[256];
    snprintf(text, sizeof text,
             "a .glb file holds at most 4 GiB and a %lld x %lld mesh needs %.1f GiB; "
             "write it as .obj or in tiles of at most 8461 x 8461",
             static_cast<long long>(width), static_cast<long long>(depth),
             static_cast<double>(GlbBinaryBytes(width, depth)) / (1024.0 * 1024.0 * 1024.0));
    *message = text;
    return false;
  }
  return true;
}

void SampleNormal(const ExportField& field, int64_t x, int64_t z, float normal[3]) {
  const int64_t left = std::max<int64_t>(x - 1, 0);
  const int64_t right = std::min<int64_t>(x + 1, field.terrainWidth - 1);
  const int64_t near = std::max<int64_t>(z - 1, 0);
  const int64_t far = std::min<int64_t>(z + 1, field.terrainDepth - 1);
  double slopeX = 0.0, slopeZ = 0.0;
  if (right > left) {
    slopeX = (static_cast<double>(field.heights[FieldIndex(field, right, z)]) -
              static_cast<double>(field.heights[FieldIndex(field, left, z)])) /
             (Coordinate(right, field.terrainWidth) - Coordinate(left, field.terrainWidth));
  }
  if (far > near) {
    slopeZ = (static_cast<double>(field.heights[FieldIndex(field, x, far)]) -
              static_cast<double>(field.heights[FieldIndex(field, x, near)])) /
             (Coordinate(far, field.terrainDepth) - Coordinate(near, field.terrainDepth));
  }
  const double length = std::sqrt(slopeX * slopeX + 1.0 + slopeZ * slopeZ);
  normal[0] = static_cast<float>(-slopeX / length);
  normal[1] = static_cast<float>(1.0 / length);
  normal[2] = static_cast<float>(-slopeZ / length);
}

bool WriteMesh(const ExportField& field, MeshFormat format, bool flat, const MeshNotes& notes,
               OutputFile* file, ExportControl* control) {
  std::string message;
  if (!CheckMeshShape(format, field.rect.width, field.rect.depth, &message)) {
    FailOutputFile(file, message);
    return false;
  }
  return format == kMeshObj ? WriteObj(field, flat, notes, file, control)
                            : WriteGlb(field, flat, notes, file, control);
}
