// Reads the golden case tables and streams from the tests' data folder; finds the random source's position.
#include "golden_data.h"

#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <sstream>

#include "terrain/random_source.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

static std::vector<std::string> SplitTabs(const std::string& line) {
  std::vector<std::string> fields;
  std::stringstream stream(line);
  std::string field;
  while (std::getline(stream, field, '\t')) {
    if (!field.empty() && field.back() == '\r') field.pop_back();
    fields.push_back(field);
  }
  return fields;
}

std::vector<GoldenCase> LoadGoldenCases(const std::string& table) {
  std::ifstream file(std::string(KORAVEL_TEST_DATA) + "/golden/" + table);
  std::vector<GoldenCase> cases;
  std::string line;
  if (!std::getline(file, line)) return cases;
  const std::vector<std::string> header = SplitTabs(line);
  while (std::getline(file, line)) {
    const std::vector<std::string> fields = SplitTabs(line);
    if (fields.size() != header.size()) continue;
    GoldenCase golden;
    for (size_t i = 0; i < header.size(); ++i) golden.columns[header[i]] = fields[i];
    const auto real = [&](const char* column) { return std::strtof(golden.columns[column].c_str(), nullptr); };
    const auto whole = [&](const char* column, int64_t missing) {
      const std::string& text = golden.columns[column];
      return text.empty() ? missing : std::strtoll(text.c_str(), nullptr, 10);
    };
    golden.name = golden.columns["name"];
    golden.settings = {static_cast<int32_t>(whole("seed", 0)), real("terrainHeight"), real("passHeightScale"),
                       real("freqScale"), real("initFreq"), static_cast<int32_t>(whole("passCount", 0)),
                       static_cast<int32_t>(whole("river", 0))};
    golden.width = whole("width", 100);
    golden.depth = whole("depth", 100);
    golden.flat = static_cast<int32_t>(whole("flat", 0));
    golden.draws = whole("draws", 0);
    cases.push_back(golden);
  }
  return cases;
}

std::vector<unsigned char> LoadGoldenStream(const std::string& caseName, const std::string& stream) {
  const std::string path = std::string(KORAVEL_TEST_DATA) + "/golden/" + caseName + "/" + stream + ".f32";
  std::ifstream file(path, std::ios::binary);
  if (!file) return {};
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

std::string Fnv1a64(const void* bytes, size_t size) {
  uint64_t hash = 0xcbf29ce484222325ull;
  const unsigned char* p = static_cast<const unsigned char*>(bytes);
  for (size_t i = 0; i < size; ++i) {
    hash ^= p[i];
    hash *= 0x100000001b3ull;
  }
  char text[17];
  snprintf(text, sizeof text, "%08lx%08lx", static_cast<unsigned long>(hash >> 32),
           static_cast<unsigned long>(hash & 0xffffffffu));
  return text;
}

std::string Format9g(float value) {
  char text[32];
  snprintf(text, sizeof text, "%.9g", static_cast<double>(value));
  return text;
}

TerrainGrid* NewTerrainGrid(int32_t width, int32_t depth, float terrainHeight) {
  TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
  if (grid && CreateTerrainGrid(grid, width, depth, 150.0f, 150.0f, terrainHeight)) return grid;
  DestroyTerrainGrid(grid);
  return nullptr;
}

TerrainGrid* GenerateGoldenTerrain(const GoldenCase& golden) {
  const TerrainSettings& s = golden.settings;
  TerrainGrid* grid = NewTerrainGrid(100, 100, s.terrainHeight);
  if (grid && SynthesizeTerrain(grid, s.seed, s.passHeightScale, s.freqScale, s.initFreq, s.passCount, s.river)) {
    return grid;
  }
  DestroyTerrainGrid(grid);
  return nullptr;
}

// Compares the source's next values with a replay from the seed.
bool SourceStandsAt(int32_t seed, int64_t draws) {
  const int kProbe = 6;
  int next[kProbe];
  for (int i = 0; i < kProbe; ++i) next[i] = RandomNext();
  RandomSeed(seed);
  for (int64_t i = 0; i < draws; ++i) RandomNext();
  for (int i = 0; i < kProbe; ++i) {
    if (RandomNext() != next[i]) return false;
  }
  return true;
}
