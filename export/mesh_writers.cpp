// Writing the terrain as a mesh: Wavefront OBJ and binary glTF 2.0.
#include "export/mesh_writers.h"

#include <algorithm>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <vector>

#include "export/export_control.h"
#include "export/export_field.h"
#include "export/export_job.h"
#include "export/ordered_work.h"
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

double Coordinate(int64_t index, int64_t count) {
  return GridCoordinate(kTerrainExtentUnits, static_cast<int32_t>(index), static_cast<int32_t>(count));
}

// Each attribute of a sample, computed once for each block of the file that holds it.
void SamplePosition(const ExportField& field, int64_t x, int64_t z, bool flat, float position[3]) {
  position[0] = static_cast<float>(Coordinate(x, field.terrainWidth));
  position[1] = flat ? 0.0f : field.heights[FieldIndex(field, x, z)];
  position[2] = static_cast<float>(Coordinate(z, field.terrainDepth));
}

void SampleNormalOrUp(const ExportField& field, int64_t x, int64_t z, bool flat, float normal[3]) {
  if (!flat) {
    SampleNormal(field, x, z, normal);
    return;
  }
  normal[0] = 0.0f;
  normal[1] = 1.0f;
  normal[2] = 0.0f;
}

const float* SampleColour(const ExportField& field, int64_t x, int64_t z, MeshSampleColour* colour) {
  const int64_t k = FieldIndex(field, x, z);
  *colour = SampleMeshColour(field.heights[k], field.water[k], field.low, field.high, false);
  return ShownColour(*colour);
}

// Rows of the mesh in pieces of about this many samples, made on every core and written in order.
const int64_t kPieceSamples = int64_t(1) << 16;

int64_t PieceRows(int64_t width) {
  const int64_t rows = kPieceSamples / width;
  return rows < 1 ? 1 : rows;
}

// The bytes of one piece: room that only grows, and how much of it is used.
struct PieceBuffer {
  std::vector<char> room;
  size_t used = 0;
};

// Room for at least `bytes`, kept from piece to piece.
char* PieceRoom(PieceBuffer* buffer, size_t bytes) {
  if (buffer->room.size() < bytes) buffer->room.resize(bytes);
  return buffer->room.data();
}

// Runs make(first row, rows, buffer) for pieces of rows 0 .. rows - 1 on every core and writes
// each piece's buffer in order, counting width samples of work a row.
bool WriteRowPieces(int64_t rows, int64_t width, OutputFile* file, ExportControl* control,
                    const std::function<void(int64_t row, int64_t count, PieceBuffer* out)>& make) {
  const int64_t pieceRows = PieceRows(width);
  OrderedWork work;
  work.pieces = (rows + pieceRows - 1) / pieceRows;
  work.workers = OrderedWorkers(0, work.pieces);
  work.slots = work.workers + 2;
  std::vector<PieceBuffer> buffers(static_cast<size_t>(work.slots));
  work.make = [&](int64_t piece, int slot) {
    const int64_t first = piece * pieceRows;
    make(first, std::min(pieceRows, rows - first), &buffers[static_cast<size_t>(slot)]);
    return true;
  };
  work.take = [&](int64_t piece, int slot) {
    if (ExportCancelled(control)) {
      FailOutputFile(file, "cancelled");
      return false;
    }
    const PieceBuffer& out = buffers[static_cast<size_t>(slot)];
    if (!WriteOutput(file, out.room.data(), out.used)) return false;
    AddExportWork(control, std::min(pieceRows, rows - piece * pieceRows) * width);
    return true;
  };
  return RunOrderedWork(work);
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
  const size_t lineBytes = 320;
  // Positions with colours, then normals: each a pass over the samples.
  for (int pass = 0; pass < 2; ++pass) {
    const bool written = WriteRowPieces(rect.depth, rect.width, file, control,
                                        [&](int64_t first, int64_t rows, PieceBuffer* buffer) {
      char* const start = PieceRoom(buffer, static_cast<size_t>(rows * rect.width) * lineBytes);
      char* out = start;
      for (int64_t j = first; j < first + rows; ++j) {
        for (int64_t c = 0; c < rect.width; ++c) {
          float values[6];
          if (pass == 0) {
            MeshSampleColour colour;
            SamplePosition(field, rect.x0 + c, rect.z0 + j, flat, values);
            memcpy(values + 3, SampleColour(field, rect.x0 + c, rect.z0 + j, &colour), 3 * sizeof(float));
            out = AppendFloats(out, "v", values, 6);
          } else {
            SampleNormalOrUp(field, rect.x0 + c, rect.z0 + j, flat, values);
            out = AppendFloats(out, "vn", values, 3);
          }
        }
      }
      buffer->used = static_cast<size_t>(out - start);
    });
    if (!written) return false;
  }
  const uint64_t width = static_cast<uint64_t>(rect.width);
  const bool written = WriteRowPieces(rect.depth - 1, rect.width, file, control,
                                      [&](int64_t first, int64_t rows, PieceBuffer* buffer) {
    char* const start = PieceRoom(buffer, static_cast<size_t>(rows * rect.width) * lineBytes);
    char* out = start;
    for (int64_t j = first; j < first + rows; ++j) {
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
    }
    buffer->used = static_cast<size_t>(out - start);
  });
  if (!written) return false;
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

// The fifth root of a in [0, 1] by Newton's method, from above (a^(1/8) lies at or above
// it), in plain double arithmetic: the same bits on every system.
double FifthRoot(double a) {
  if (!(a > 0.0)) return 0.0;
  double y = std::sqrt(std::sqrt(std::sqrt(a)));
  for (int i = 0; i < 100; ++i) {
    const double y2 = y * y;
    const double next = (4.0 * y + a / (y2 * y2)) / 5.0;
    if (!(next < y)) break;
    y = next;
  }
  return y;
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
  if (!flat) FindRectHeightRange(field, &low, &high);
  const float minimum[3] = {static_cast<float>(Coordinate(rect.x0, field.terrainWidth)), low,
                            static_cast<float>(Coordinate(rect.z0, field.terrainDepth))};
  const float maximum[3] = {static_cast<float>(Coordinate(rect.x0 + rect.width - 1, field.terrainWidth)), high,
                            static_cast<float>(Coordinate(rect.z0 + rect.depth - 1, field.terrainDepth))};
  const std::string n = std::to_string(layout.vertices);
  const std::string a = std::to_string(layout.attributeBytes);
  std::string json;
  // The extras: how to remake the terrain, the range its colours were scaled to (float32, 9
  // digits) and how far apart its samples lie (150 / W along x, 150 / D along z).
  json += "{\"asset\":{\"version\":\"2.0\",\"generator\":" + JsonString(notes.generator) +
          ",\"extras\":{\"options\":" + JsonString(notes.options) + ",\"heightRange\":[" + RangeText(field.low) +
          "," + RangeText(field.high) + "],\"sampleSpacing\":[" + SpacingText(field.terrainWidth) + "," +
          SpacingText(field.terrainDepth) + "]}},";
  json += "\"scene\":0,\"scenes\":[{\"nodes\":[0]}],\"nodes\":[{\"mesh\":0,\"name\":\"terrain\"}],";
  json += "\"meshes\":[{\"name\":\"terrain\",\"primitives\":[{\"attributes\":"
          "{\"POSITION\":0,\"NORMAL\":1,\"COLOR_0\":2},\"indices\":3,\"material\":0,\"mode\":4}]}],";
  // Ground, not metal: the vertex colours times a white base colour, fully rough.
  json += "\"materials\":[{\"name\":\"terrain\",\"pbrMetallicRoughness\":{\"baseColorFactor\":[1,1,1,1],"
          "\"metallicFactor\":0,\"roughnessFactor\":1}}],";
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
    FailOutputFile(file, "a .glb file holds at most " + std::to_string(kMaxGlbBytes) + " bytes and this one needs " +
                             std::to_string(total));
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

  // Positions, normals and colours, each a block of three floats per vertex, each
  // computed once, on every core.
  for (int attribute = 0; attribute < 3; ++attribute) {
    const bool written = WriteRowPieces(rect.depth, rect.width, file, control,
                                        [&](int64_t first, int64_t rows, PieceBuffer* buffer) {
      unsigned char* out = reinterpret_cast<unsigned char*>(PieceRoom(buffer, static_cast<size_t>(rows * rect.width) * 12));
      for (int64_t j = first; j < first + rows; ++j) {
        for (int64_t c = 0; c < rect.width; ++c, out += 12) {
          const int64_t x = rect.x0 + c, z = rect.z0 + j;
          float values[3];
          if (attribute == 0) {
            SamplePosition(field, x, z, flat, values);
          } else if (attribute == 1) {
            SampleNormalOrUp(field, x, z, flat, values);
          } else {
            MeshSampleColour colour;
            const float* shown = SampleColour(field, x, z, &colour);
            for (int k = 0; k < 3; ++k) values[k] = LinearColour(shown[k]);
          }
          PutFloatBytes(out, values, 3);
        }
      }
      buffer->used = static_cast<size_t>(rows * rect.width) * 12;
    });
    if (!written) return false;
  }
  const uint64_t width = static_cast<uint64_t>(rect.width);
  const int indexBytes = layout.indexBytes;
  const bool written = WriteRowPieces(rect.depth - 1, rect.width, file, control,
                                      [&](int64_t first, int64_t rows, PieceBuffer* buffer) {
    unsigned char* const start = reinterpret_cast<unsigned char*>(
        PieceRoom(buffer, static_cast<size_t>(rows * rect.width) * 6 * static_cast<size_t>(indexBytes)));
    unsigned char* out = start;
    for (int64_t j = first; j < first + rows; ++j) {
      for (int64_t c = 0; c + 1 < rect.width; ++c) {
        uint64_t corners[6];
        CellTriangles(static_cast<uint64_t>(c) + static_cast<uint64_t>(j) * width, width, corners);
        for (uint64_t corner : corners) {
          for (int b = 0; b < indexBytes; ++b) *out++ = static_cast<unsigned char>(corner >> (8 * b));
        }
      }
    }
    buffer->used = static_cast<size_t>(out - start);
  });
  if (!written) return false;
  AddExportWork(control, rect.width);
  const unsigned char padding[4] = {0, 0, 0, 0};
  return WriteOutput(file, padding, static_cast<size_t>(layout.binBytes - 3 * layout.attributeBytes - layout.indexBytesTotal));
}

}  // namespace

// s^2.4 at kPowerSteps + 1 evenly spaced s in [0, 1], computed once.
static const int kPowerSteps = 4096;

static const double* PowerTable() {
  static const std::vector<double> table = [] {
    std::vector<double> values(kPowerSteps + 1);
    for (int i = 0; i <= kPowerSteps; ++i) {
      const double s = static_cast<double>(i) / kPowerSteps;
      values[static_cast<size_t>(i)] = s * s * FifthRoot(s * s);  // s^2 x s^(2/5)
    }
    return values;
  }();
  return table.data();
}

float LinearColour(float shown) {
  const double c = static_cast<double>(shown);
  if (!(c > 0.0)) return 0.0f;
  if (c >= 1.0) return 1.0f;
  if (c <= 0.04045) return static_cast<float>(c / 12.92);
  // ((c + 0.055) / 1.055)^2.4, between the table's neighbouring values: within 3e-8.
  const double at = (c + 0.055) / 1.055 * kPowerSteps;
  const int below = static_cast<int>(at);
  if (below >= kPowerSteps) return 1.0f;
  const double* table = PowerTable();
  const double part = at - static_cast<double>(below);
  return static_cast<float>(table[below] + (table[below + 1] - table[below]) * part);
}

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
             "a .glb file holds at most %llu bytes (4 GiB less one) and a %lld x %lld mesh needs %llu bytes "
             "for its headers, vertices and triangles alone; write it as .obj or in tiles of at most 8461 x 8461",
             static_cast<unsigned long long>(kMaxGlbBytes), static_cast<long long>(width),
             static_cast<long long>(depth), static_cast<unsigned long long>(GlbBinaryBytes(width, depth)));
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
