// Koravel's C interface through its public header: settings records, checks, buffers, progress and cancellation.
#include <gtest/gtest.h>
#include <koravel/koravel.h>

#include <cmath>
#include <cstring>
#include <functional>
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

}  // namespace
