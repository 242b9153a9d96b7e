// The golden terrains in the test data (case tables, raw float streams, hashes) and the random source's position.
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

// A grid as the viewer creates it, over 150 x 150 units, zero-filled; null when its fields
// cannot be had. The caller destroys it.
TerrainGrid* NewTerrainGrid(int32_t width, int32_t depth, float terrainHeight);

// The case's terrain on the 100 x 100 grid over 150 x 150 units, as "Generate" makes it;
// null when it could not be generated. The caller destroys it.
TerrainGrid* GenerateGoldenTerrain(const GoldenCase& golden);

// The raw bytes of a golden stream ("heights", "water", "list", "points"); empty when the case has no such file.
std::vector<unsigned char> LoadGoldenStream(const std::string& caseName, const std::string& stream);

// 64-bit FNV-1a, printed as 16 lower-case hex digits.
std::string Fnv1a64(const void* bytes, size_t size);

// Formats a float with %.9g.
std::string Format9g(float value);

// True when the random source now stands exactly `draws` values after RandomSeed(seed), as the
// golden cases count their draws. Consumes a few values to find out.
bool SourceStandsAt(int32_t seed, int64_t draws);
