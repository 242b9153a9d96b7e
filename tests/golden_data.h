// Access to the golden terrains in the test data: the case tables and the raw float streams.
#pragma once

#include <cstdint>
#include <map>
#include <string>
#include <vector>

#include "terrain/terrain_region.h"

// A row of a golden table: cases.tsv holds the viewer's 100 x 100 terrains, sizes.tsv other sizes.
struct GoldenCase {
  std::string name;
  TerrainSettings settings;
  int64_t width;  // 100 x 100 where the table gives no size
  int64_t depth;
  int32_t flat;
  int64_t draws;
  std::map<std::string, std::string> columns;  // every column by its header name, heights as printed with %.9g
};

std::vector<GoldenCase> LoadGoldenCases(const std::string& table = "cases.tsv");

struct TerrainGrid;

// The case's terrain on the 100 x 100 grid over 150 x 150 units, as "Generate" makes it;
// null when it could not be generated. The caller destroys it.
TerrainGrid* GenerateGoldenTerrain(const GoldenCase& golden);

// The raw bytes of a golden stream ("heights", "water", "list", "points"); empty when the case has no such file.
std::vector<unsigned char> LoadGoldenStream(const std::string& caseName, const std::string& stream);

// 64-bit FNV-1a, printed as 16 lower-case hex digits.
std::string Fnv1a64(const void* bytes, size_t size);

// Formats a float with %.9g.
std::string Format9g(float value);
