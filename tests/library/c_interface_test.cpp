// Koravel's C interface through its public header: settings records, checks, buffers, progress and cancellation.
#include <gtest/gtest.h>
#include <koravel/koravel.h>

#include <cmath>
#include <cstddef>
#include <cstring>
#include <fstream>
#include <functional>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "tests/golden_data.h"
#include "koravel_version.h"

namespace {

koravel_settings Defaults() {
  koravel_settings s;
  EXPECT_EQ(koravel_settings_init(&s, sizeof s), KORAVEL_OK);
  return s;
}

std::string CheckMessage(const koravel_settings& s, koravel_status* status) {
  char message[256] = "untouched";
  *status = koravel_check_settings(&s, message, sizeof message);
  return message;
}

TEST(CInterface, VersionAndStatusTexts) {
  EXPECT_STREQ(koravel_version(), KORAVEL_VERSION);
  std::vector<std::string> texts;
  for (koravel_status status = KORAVEL_OK; status <= KORAVEL_ERROR_INTERNAL; ++status) {
    ASSERT_NE(koravel_status_text(status), nullptr);
    texts.push_back(koravel_status_text(status));
    for (size_t i = 0; i + 1 < texts.size(); ++i) EXPECT_NE(texts[i], texts.back()) << status;
  }
  EXPECT_STREQ(koravel_status_text(-1), "an unknown status");
  EXPECT_STREQ(koravel_status_text(1000), "an unknown status");
}

TEST(CInterface, SettingsAreCheckedFieldByField) {
  const struct {
    const char* what;
    std::function<void(koravel_settings*)> change;
    koravel_status status;
    const char* messageStart;
  } cases[] = {
      {"defaults", [](koravel_settings*) {}, KORAVEL_OK, ""},
      {"any seed", [](koravel_settings* s) { s->seed = INT32_MIN; }, KORAVEL_OK, ""},
      {"no passes", [](koravel_settings* s) { s->passes = -3; }, KORAVEL_OK, ""},
      {"height NaN", [](koravel_settings* s) { s->height = NAN; }, KORAVEL_ERROR_SETTINGS, "height: "},
      {"height too high", [](koravel_settings* s) { s->height = 2e6f; }, KORAVEL_ERROR_SETTINGS, "height: "},
      {"scale infinite", [](koravel_settings* s) { s->pass_height_scale = INFINITY; }, KORAVEL_ERROR_SETTINGS,
       "pass_height_scale: "},
      {"first frequency", [](koravel_settings* s) { s->init_freq = 4097; }, KORAVEL_ERROR_SETTINGS, "init_freq: "},
      {"frequency step", [](koravel_settings* s) { s->freq_scale = 2000; }, KORAVEL_ERROR_SETTINGS, "freq_scale: "},
      {"passes", [](koravel_settings* s) { s->passes = 1001; }, KORAVEL_ERROR_SETTINGS, "passes: "},
      {"river 2", [](koravel_settings* s) { s->river = 2; }, KORAVEL_ERROR_SETTINGS, "river: "},
      {"erode 2", [](koravel_settings* s) { s->erode = 2; }, KORAVEL_ERROR_SETTINGS, "erode: "},
      {"no erosion steps", [](koravel_settings* s) { s->erode = 1, s->erosion_steps = 0; }, KORAVEL_ERROR_SETTINGS,
       "erosion_steps: "},
      {"erodibility NaN", [](koravel_settings* s) { s->erode = 1, s->erodibility = NAN; }, KORAVEL_ERROR_SETTINGS,
       "erodibility: "},
      {"deposition", [](koravel_settings* s) { s->erode = 1, s->deposition = 101.0f; }, KORAVEL_ERROR_SETTINGS,
       "deposition: "},
      {"talus", [](koravel_settings* s) { s->erode = 1, s->talus = 0.5f; }, KORAVEL_ERROR_SETTINGS, "talus: "},
      {"creep", [](koravel_settings* s) { s->erode = 1, s->creep = -1.0f; }, KORAVEL_ERROR_SETTINGS, "creep: "},
      {"erosion's parameters unread without it", [](koravel_settings* s) { s->erosion_steps = 0, s->talus = NAN; },
       KORAVEL_OK, ""},
      {"size 0", [](koravel_settings* s) { s->size = 0; }, KORAVEL_ERROR_ARGUMENT, "settings.size: "},
      {"size 28", [](koravel_settings* s) { s->size = 28; }, KORAVEL_ERROR_ARGUMENT, "settings.size: "},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    koravel_settings s = Defaults();
    c.change(&s);
    koravel_status status = KORAVEL_OK;
    const std::string message = CheckMessage(s, &status);
    EXPECT_EQ(status, c.status) << message;
    EXPECT_EQ(message.compare(0, strlen(c.messageStart), c.messageStart), 0) << message;
    if (c.status == KORAVEL_OK) {
      EXPECT_EQ(message, "");
    }
    // Generation refuses what the check refuses, with the same status.
    float h = 0.0f;
    const koravel_rect one = {0, 0, 1, 1};
    EXPECT_EQ(koravel_generate(&s, 100, 100, &one, &h, nullptr, 1, 1, nullptr, nullptr), c.status);
  }
  EXPECT_EQ(koravel_check_settings(nullptr, nullptr, 0), KORAVEL_ERROR_ARGUMENT);
  // A short message buffer gets the message's start, terminated.
  koravel_settings s = Defaults();
  s.passes = 1001;
  char shortMessage[8];
  memset(shortMessage, 'x', sizeof shortMessage);
  EXPECT_EQ(koravel_check_settings(&s, shortMessage, sizeof shortMessage), KORAVEL_ERROR_SETTINGS);
  EXPECT_STREQ(shortMessage, "passes:");
}

// A caller compiled against a later header: its record is longer than this library's.
struct LaterSettings {
  koravel_settings known;
  int32_t laterField;
  float anotherLaterField;
};

TEST(CInterface, RecordsOfOtherSizes) {
  LaterSettings later;
  memset(&later, 0xAB, sizeof later);
  ASSERT_EQ(koravel_settings_init(&later.known, sizeof later), KORAVEL_OK);
  EXPECT_EQ(later.known.size, sizeof later);
  EXPECT_EQ(later.laterField, 0);  // later fields are off when zero, and init zeroes them
  EXPECT_EQ(later.known.passes, 5);
  EXPECT_EQ(later.known.height, 8.0f);
  EXPECT_EQ(koravel_check_settings(&later.known, nullptr, 0), KORAVEL_OK);
  float fromLater = 0.0f, fromKnown = 1.0f;
  const koravel_rect one = {3, 4, 1, 1};
  koravel_settings known = Defaults();
  ASSERT_EQ(koravel_generate(&later.known, 100, 100, &one, &fromLater, nullptr, 1, 1, nullptr, nullptr), KORAVEL_OK);
  ASSERT_EQ(koravel_generate(&known, 100, 100, &one, &fromKnown, nullptr, 1, 1, nullptr, nullptr), KORAVEL_OK);
  EXPECT_EQ(fromLater, fromKnown);
  // A later field this library cannot honour is refused rather than ignored.
  later.laterField = 1;
  char message[256];
  EXPECT_EQ(koravel_check_settings(&later.known, message, sizeof message), KORAVEL_ERROR_ARGUMENT);
  EXPECT_NE(std::string(message).find("does not know"), std::string::npos) << message;
  EXPECT_EQ(koravel_settings_init(&known, 16), KORAVEL_ERROR_ARGUMENT);
  // An older caller's record ends before the erosion's fields: whatever lies beyond, no erosion.
  koravel_settings older = Defaults();
  older.size = 32;
  older.erode = 1;
  older.erosion_steps = -5;
  EXPECT_EQ(koravel_check_settings(&older, nullptr, 0), KORAVEL_OK);
  const koravel_rect inner = {40, 40, 1, 1};
  ASSERT_EQ(koravel_generate(&older, 100, 100, &inner, &fromLater, nullptr, 1, 1, nullptr, nullptr), KORAVEL_OK);
  ASSERT_EQ(koravel_generate(&known, 100, 100, &inner, &fromKnown, nullptr, 1, 1, nullptr, nullptr), KORAVEL_OK);
  EXPECT_EQ(fromLater, fromKnown);
  // Nor does a record of this size whose erosion fields are all zero.
  koravel_settings zeroed = Defaults();
  memset(&zeroed.erode, 0, sizeof zeroed - offsetof(koravel_settings, erode));
  float fromZeroed = 1.0f;
  ASSERT_EQ(koravel_generate(&zeroed, 100, 100, &inner, &fromZeroed, nullptr, 1, 1, nullptr, nullptr), KORAVEL_OK);
  EXPECT_EQ(fromZeroed, fromKnown);
  known.erode = 1;
  ASSERT_EQ(koravel_generate(&known, 100, 100, &inner, &fromKnown, nullptr, 1, 1, nullptr, nullptr), KORAVEL_OK);
  EXPECT_NE(fromLater, fromKnown);
  EXPECT_EQ(koravel_settings_init(nullptr, sizeof known), KORAVEL_ERROR_ARGUMENT);
}

TEST(CInterface, ShapesBuffersAndThreads) {
  const koravel_settings s = Defaults();
  const struct {
    const char* what;
    int64_t width, depth;
    koravel_rect rect;
    bool whole;
    koravel_status status;
  } shapes[] = {
      {"one sample", 1, 1, {0, 0, 1, 1}, false, KORAVEL_OK},
      {"a tile of the largest terrain", 1048576, 1048576, {1048575, 0, 1, 16384}, false, KORAVEL_OK},
      {"the largest field", 16384, 16384, {}, true, KORAVEL_OK},
      {"a whole terrain past one field", 16385, 100, {}, true, KORAVEL_ERROR_SHAPE},
      {"a terrain past the largest", 1048577, 1, {0, 0, 1, 1}, false, KORAVEL_ERROR_SHAPE},
      {"no samples", 0, 100, {}, true, KORAVEL_ERROR_SHAPE},
      {"a tile past the edge", 100, 100, {90, 0, 11, 10}, false, KORAVEL_ERROR_SHAPE},
      {"a negative corner", 100, 100, {-1, 0, 10, 10}, false, KORAVEL_ERROR_SHAPE},
      {"an empty tile", 100, 100, {0, 0, 0, 10}, false, KORAVEL_ERROR_SHAPE},
      {"a corner far out", 100, 100, {INT64_MAX, 0, 1, 1}, false, KORAVEL_ERROR_SHAPE},
  };
  for (const auto& c : shapes) {
    SCOPED_TRACE(c.what);
    char message[256] = "untouched";
    EXPECT_EQ(koravel_check_rect(c.width, c.depth, c.whole ? nullptr : &c.rect, message, sizeof message), c.status);
    EXPECT_EQ(c.status == KORAVEL_OK, message[0] == '\0') << message;
    if (c.status != KORAVEL_OK) {
      float h = 0.0f;
      EXPECT_EQ(koravel_generate(&s, c.width, c.depth, c.whole ? nullptr : &c.rect, &h, &h, 1, 1, nullptr, nullptr),
                c.status);
    }
  }
  std::vector<float> field(100), water(100);
  const koravel_rect rect = {0, 0, 10, 10};
  const struct {
    const char* what;
    float* heights;
    float* water;
    size_t floats;
    int32_t threads;
    koravel_status status;
  } calls[] = {
      {"both buffers", field.data(), water.data(), 100, 1, KORAVEL_OK},
      {"no buffer", nullptr, nullptr, 100, 1, KORAVEL_ERROR_ARGUMENT},
      {"a buffer too small", field.data(), nullptr, 99, 1, KORAVEL_ERROR_ARGUMENT},
      {"negative threads", field.data(), nullptr, 100, -1, KORAVEL_ERROR_ARGUMENT},
      {"too many threads", field.data(), nullptr, 100, 1025, KORAVEL_ERROR_ARGUMENT},
      {"every core", field.data(), nullptr, 100, 0, KORAVEL_OK},
  };
  for (const auto& c : calls) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(koravel_generate(&s, 100, 100, &rect, c.heights, c.water, c.floats, c.threads, nullptr, nullptr),
              c.status);
  }
  float low = 0.0f;
  EXPECT_EQ(koravel_height_range(&s, 100, 100, 0, nullptr, nullptr, &low, nullptr), KORAVEL_ERROR_ARGUMENT);
  EXPECT_EQ(koravel_height_range(&s, 0, 100, 0, nullptr, nullptr, &low, &low), KORAVEL_ERROR_SHAPE);
}

std::vector<float> Floats(const std::vector<unsigned char>& bytes) {
  std::vector<float> values(bytes.size() / sizeof(float));
  memcpy(values.data(), bytes.data(), values.size() * sizeof(float));
  return values;
}

TEST(CInterface, GoldenTerrainWholeAndInParts) {
  koravel_settings s = Defaults();
  s.river = 1;
  const std::vector<float> heights = Floats(LoadGoldenStream("default-river", "heights"));
  const std::vector<float> water = Floats(LoadGoldenStream("default-river", "water"));
  ASSERT_EQ(heights.size(), 10000u);
  std::vector<float> h(10000), w(10000);
  ASSERT_EQ(koravel_generate(&s, 100, 100, nullptr, h.data(), w.data(), h.size(), 0, nullptr, nullptr), KORAVEL_OK);
  EXPECT_EQ(memcmp(h.data(), heights.data(), 40000), 0);
  EXPECT_EQ(memcmp(w.data(), water.data(), 40000), 0);
  // Water alone, on one thread, of a tile: the cut of the golden field.
  const koravel_rect tile = {37, 12, 41, 55};
  std::vector<float> tileWater(41 * 55);
  ASSERT_EQ(koravel_generate(&s, 100, 100, &tile, nullptr, tileWater.data(), tileWater.size(), 1, nullptr, nullptr),
            KORAVEL_OK);
  for (int64_t j = 0; j < tile.depth; ++j) {
    EXPECT_EQ(memcmp(&tileWater[static_cast<size_t>(j * 41)], &water[static_cast<size_t>((12 + j) * 100 + 37)], 41 * 4),
              0) << "row " << j;
  }
  float low = 0.0f, high = 0.0f;
  ASSERT_EQ(koravel_height_range(&s, 100, 100, 1, nullptr, nullptr, &low, &high), KORAVEL_OK);
  const GoldenCase golden = LoadGoldenCases()[0];
  ASSERT_EQ(golden.name, "default-river");
  EXPECT_EQ(Format9g(low), golden.columns.at("minHeight"));
  EXPECT_EQ(Format9g(high), golden.columns.at("maxHeight"));
}

// A file koravel-export wrote for these tests (tests/library/CMakeLists.txt).
std::vector<unsigned char> ErodedFile(const std::string& name) {
  std::ifstream file(std::string(KORAVEL_ERODED_FILES) + "/" + name, std::ios::binary);
  EXPECT_TRUE(file) << name << " is missing: ctest runs library_eroded_* first";
  return std::vector<unsigned char>(std::istreambuf_iterator<char>(file), std::istreambuf_iterator<char>());
}

template <typename Sample>
std::vector<unsigned char> Bytes(const std::vector<Sample>& values) {
  std::vector<unsigned char> bytes(values.size() * sizeof(Sample));
  memcpy(bytes.data(), values.data(), bytes.size());
  return bytes;
}

// The drainage map as koravel-export's raw file holds it.
std::vector<unsigned char> FlowFloats(const std::vector<uint64_t>& counts) {
  std::vector<float> floats(counts.size());
  for (size_t i = 0; i < counts.size(); ++i) floats[i] = static_cast<float>(counts[i]);
  return Bytes(floats);
}

TEST(CInterface, ErodedTerrainIsKoravelExports) {
  koravel_settings s = Defaults();
  s.seed = 12345;
  s.river = 1;
  s.erode = 1;
  s.erosion_steps = 4;
  s.erodibility = 2.5f;
  s.deposition = 0.5f;
  s.talus = 30.0f;
  s.creep = 0.1f;
  const int64_t width = 61, depth = 45;
  // The whole terrain on one thread.
  std::vector<float> heights(width * depth);
  std::vector<uint64_t> flow(heights.size());
  uint64_t largest = 0;
  ASSERT_EQ(koravel_generate(&s, width, depth, nullptr, heights.data(), nullptr, heights.size(), 1, nullptr, nullptr),
            KORAVEL_OK);
  ASSERT_EQ(koravel_flow(&s, width, depth, nullptr, flow.data(), flow.size(), &largest, 1, nullptr, nullptr),
            KORAVEL_OK);
  EXPECT_EQ(Bytes(heights), ErodedFile("whole.f32"));
  EXPECT_EQ(FlowFloats(flow), ErodedFile("whole-flow.f32"));
  EXPECT_EQ(largest, *std::max_element(flow.begin(), flow.end()));
  float low = 0.0f, high = 0.0f;
  ASSERT_EQ(koravel_height_range(&s, width, depth, 2, nullptr, nullptr, &low, &high), KORAVEL_OK);
  EXPECT_EQ(low, *std::min_element(heights.begin(), heights.end()));
  EXPECT_EQ(high, *std::max_element(heights.begin(), heights.end()));

  // A tile at odd offsets on two threads: heights with water, each alone, and the drainage map,
  // whose largest count stays the whole terrain's.
  const koravel_rect tile = {13, 7, 29, 21};
  std::vector<float> tileHeights(29 * 21), tileWater(29 * 21), alone(29 * 21);
  std::vector<uint64_t> tileFlow(29 * 21);
  uint64_t tileLargest = 0;
  ASSERT_EQ(koravel_generate(&s, width, depth, &tile, tileHeights.data(), tileWater.data(), alone.size(), 2, nullptr,
                             nullptr), KORAVEL_OK);
  ASSERT_EQ(koravel_flow(&s, width, depth, &tile, tileFlow.data(), tileFlow.size(), &tileLargest, 2, nullptr, nullptr),
            KORAVEL_OK);
  EXPECT_EQ(Bytes(tileHeights), ErodedFile("tile.f32"));
  EXPECT_EQ(Bytes(tileWater), ErodedFile("tile-water.f32"));
  EXPECT_EQ(FlowFloats(tileFlow), ErodedFile("tile-flow.f32"));
  EXPECT_EQ(tileLargest, largest);
  ASSERT_EQ(koravel_generate(&s, width, depth, &tile, alone.data(), nullptr, alone.size(), 2, nullptr, nullptr),
            KORAVEL_OK);
  EXPECT_EQ(Bytes(alone), ErodedFile("tile.f32"));
  ASSERT_EQ(koravel_generate(&s, width, depth, &tile, nullptr, alone.data(), alone.size(), 2, nullptr, nullptr),
            KORAVEL_OK);
  EXPECT_EQ(Bytes(alone), ErodedFile("tile-water.f32"));
}

TEST(CInterface, ErosionAndDrainageRefusals) {
  koravel_settings eroded = Defaults();
  eroded.erode = 1;
  const koravel_settings plain = Defaults();
  const koravel_rect corner = {0, 0, 4, 4};
  float h[16];
  uint64_t counts[16];
  float low = 0.0f, high = 0.0f;
  const struct {
    const char* what;
    std::function<koravel_status()> call;
    koravel_status status;
  } cases[] = {
      {"eroding a terrain past one field",
       [&] { return koravel_generate(&eroded, 16385, 100, &corner, h, nullptr, 16, 1, nullptr, nullptr); },
       KORAVEL_ERROR_SHAPE},
      {"its water too", [&] { return koravel_generate(&eroded, 100, 16385, &corner, nullptr, h, 16, 1, nullptr, nullptr); },
       KORAVEL_ERROR_SHAPE},
      {"its range", [&] { return koravel_height_range(&eroded, 16385, 16385, 1, nullptr, nullptr, &low, &high); },
       KORAVEL_ERROR_SHAPE},
      {"draining a terrain past one field",
       [&] { return koravel_flow(&plain, 16385, 100, &corner, counts, 16, nullptr, 1, nullptr, nullptr); },
       KORAVEL_ERROR_SHAPE},
      {"no counts", [&] { return koravel_flow(&plain, 100, 100, &corner, nullptr, 16, nullptr, 1, nullptr, nullptr); },
       KORAVEL_ERROR_ARGUMENT},
      {"too few counts", [&] { return koravel_flow(&plain, 100, 100, &corner, counts, 15, nullptr, 1, nullptr, nullptr); },
       KORAVEL_ERROR_ARGUMENT},
      {"threads", [&] { return koravel_flow(&plain, 100, 100, &corner, counts, 16, nullptr, -1, nullptr, nullptr); },
       KORAVEL_ERROR_ARGUMENT},
      {"a tile past the edge",
       [&] {
         const koravel_rect out = {98, 0, 4, 4};
         return koravel_flow(&plain, 100, 100, &out, counts, 16, nullptr, 1, nullptr, nullptr);
       },
       KORAVEL_ERROR_SHAPE},
      {"bad settings", [&] {
         koravel_settings bad = eroded;
         bad.talus = 91.0f;
         return koravel_flow(&bad, 100, 100, &corner, counts, 16, nullptr, 1, nullptr, nullptr);
       },
       KORAVEL_ERROR_SETTINGS},
      {"a small terrain of any kind", [&] { return koravel_flow(&eroded, 2, 2, nullptr, counts, 4, nullptr, 0, nullptr, nullptr); },
       KORAVEL_OK},
  };
  for (const auto& c : cases) {
    SCOPED_TRACE(c.what);
    EXPECT_EQ(c.call(), c.status);
  }
}

struct Reports {
  std::thread::id caller;
  std::vector<double> fractions;
  bool otherThread = false;
  size_t stopAfter = SIZE_MAX;
};

int32_t Report(double fraction, void* userData) {
  Reports* reports = static_cast<Reports*>(userData);
  if (std::this_thread::get_id() != reports->caller) reports->otherThread = true;
  reports->fractions.push_back(fraction);
  return reports->fractions.size() >= reports->stopAfter ? 1 : 0;
}

TEST(CInterface, ProgressOnTheCallersThreadAndCancellation) {
  const koravel_settings s = Defaults();
  const koravel_rect rect = {0, 0, 2048, 2048};
  std::vector<float> heights(2048 * 2048);
  Reports done;
  done.caller = std::this_thread::get_id();
  ASSERT_EQ(koravel_generate(&s, 65536, 65536, &rect, heights.data(), nullptr, heights.size(), 1, Report, &done),
            KORAVEL_OK);
  ASSERT_FALSE(done.fractions.empty());
  EXPECT_FALSE(done.otherThread);
  EXPECT_EQ(done.fractions.back(), 1.0);
  for (size_t i = 1; i < done.fractions.size(); ++i) EXPECT_LE(done.fractions[i - 1], done.fractions[i]);

  // Stopping at the first report ends both calls early; the range's is the whole terrain's pass.
  Reports stopped;
  stopped.caller = std::this_thread::get_id();
  stopped.stopAfter = 1;
  EXPECT_EQ(koravel_generate(&s, 65536, 65536, &rect, heights.data(), nullptr, heights.size(), 1, Report, &stopped),
            KORAVEL_ERROR_CANCELLED);
  EXPECT_EQ(stopped.fractions.size(), 1u);
  Reports rangeStopped = stopped;
  rangeStopped.fractions.clear();
  float low = 0.0f, high = 0.0f;
  EXPECT_EQ(koravel_height_range(&s, 65536, 65536, 1, Report, &rangeStopped, &low, &high), KORAVEL_ERROR_CANCELLED);
  EXPECT_EQ(rangeStopped.fractions.size(), 1u);
}

TEST(CInterface, ProgressOverErosionAndDrainage) {
  koravel_settings s = Defaults();
  s.erode = 1;
  s.erosion_steps = 3;
  std::vector<uint64_t> counts(769 * 769);
  Reports done;
  done.caller = std::this_thread::get_id();
  ASSERT_EQ(koravel_flow(&s, 769, 769, nullptr, counts.data(), counts.size(), nullptr, 1, Report, &done), KORAVEL_OK);
  ASSERT_GE(done.fractions.size(), 2u);
  EXPECT_FALSE(done.otherThread);
  EXPECT_EQ(done.fractions.back(), 1.0);
  for (size_t i = 1; i < done.fractions.size(); ++i) EXPECT_LE(done.fractions[i - 1], done.fractions[i]);
  // Stopped at the first report, mid-erosion.
  Reports stopped;
  stopped.caller = done.caller;
  stopped.stopAfter = 1;
  const koravel_rect tile = {5, 5, 8, 8};
  float heights[64];
  EXPECT_EQ(koravel_generate(&s, 769, 769, &tile, heights, nullptr, 64, 1, Report, &stopped), KORAVEL_ERROR_CANCELLED);
  EXPECT_EQ(stopped.fractions.size(), 1u);
}

}  // namespace
