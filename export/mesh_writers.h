// Writing the terrain as a mesh: Wavefront OBJ and binary glTF 2.0.
#pragma once

#include <cstdint>
#include <string>

struct ExportControl;
struct ExportField;
struct OutputFile;

enum MeshFormat {
  kMeshObj,
  kMeshGlb,
};

// What the mesh files say about where they come from.
struct MeshNotes {
  std::string generator;  // program and version
  std::string options;    // the options that remake the terrain
};

// Refuses a rect that has no cell (fewer than 2 samples a side) or, for a
// .glb, whose file would pass the format's 4 GiB limit. The message names the limit.
bool CheckMeshShape(MeshFormat format, int64_t width, int64_t depth, std::string* message);

// One vertex per sample of field.rect at the viewer's place (y = 0 when flat),
// with the sample's normal and mesh colour (in the .glb linear, as glTF wants, with
// a rough, non-metallic material); two triangles per cell, counter-clockwise seen
// from above. Vertices run row by row, column by column.
bool WriteMesh(const ExportField& field, MeshFormat format, bool flat, const MeshNotes& notes,
               OutputFile* file, ExportControl* control);

// The work a mesh of width x depth samples counts in its export's progress.
int64_t MeshWork(MeshFormat format, int64_t width, int64_t depth);

// The size of the .glb file for a rect of width x depth samples, without its JSON.
uint64_t GlbBinaryBytes(int64_t width, int64_t depth);

// The linear value of a colour component shown (sRGB encoded) as `shown`, as glTF's
// COLOR_0 holds it: the sRGB transfer function, computed with exact arithmetic only.
float LinearColour(float shown);

// The unit normal of the terrain at terrain column x, row z of the field: central
// differences over the neighbouring samples (one-sided at the terrain's edges).
void SampleNormal(const ExportField& field, int64_t x, int64_t z, float normal[3]);
