// The drainage map: hand-made fields, and random ones against a plain implementation of its definition.
#include <gtest/gtest.h>

#include <cmath>
#include <cstring>
#include <queue>
#include <random>
#include <vector>

#include "terrain/drainage.h"
#include "terrain/depression_fill.h"
#include "terrain/flow_routing.h"

namespace {

// The definition, step by step: the priority flood keyed by (filled height,
// push counter), receivers by steepest descent in double, and every sample's
// count carried down its path one by one.
struct Reference {
  std::vector<float> filled;
  std::vector<int> receiver;  // -1 for none
  std::vector<uint64_t> accumulation;
  uint64_t largest = 0;
};

const int kRowStep[8] = {-1, -1, 0, 1, 1, 1, 0, -1};
const int kColumnStep[8] = {0, 1, 1, 1, 0, -1, -1, -1};

Reference PlainDrainage(const std::vector<float>& h, int width, int depth) {
  struct Entry {
    float f;
    long counter;
    int sample;
  };
  auto later = [](const Entry& a, const Entry& b) { return a.f > b.f || (a.f == b.f && a.counter > b.counter); };
  std::priority_queue<Entry, std::vector<Entry>, decltype(later)> queue(later);
  const int n = width * depth;
  Reference r;
  r.filled.assign(n, 0.0f);
  std::vector<bool> pushed(n, false);
  long counter = 0;
  for (int i = 0; i < n; ++i) {
    const int row = i / width, column = i % width;
    if (row == 0 || row == depth - 1 || column == 0 || column == width - 1) {
      r.filled[i] = h[i];
      pushed[i] = true;
      queue.push({h[i], counter++, i});
    }
  }
  while (!queue.empty()) {
    const Entry e = queue.top();
    queue.pop();
    const int row = e.sample / width, column = e.sample % width;
    for (int k = 0; k < 8; ++k) {
      const int nr = row + kRowStep[k], nc = column + kColumnStep[k];
      if (nr < 0 || nr >= depth || nc < 0 || nc >= width) continue;
      const int m = nr * width + nc;
      if (pushed[m]) continue;
      pushed[m] = true;
      r.filled[m] = std::max(h[m], std::nextafter(r.filled[e.sample], INFINITY));
      queue.push({r.filled[m], counter++, m});
    }
  }
  const double dx = 150.0 / (width - 1), dz = 150.0 / (depth - 1);
  r.receiver.assign(n, -1);
  for (int i = 0; i < n; ++i) {
    const int row = i / width, column = i % width;
    if (row == 0 || row == depth - 1 || column == 0 || column == width - 1) continue;
    double best = 0.0;
    for (int k = 0; k < 8; ++k) {
      const int m = (row + kRowStep[k]) * width + column + kColumnStep[k];
      if (!(r.filled[m] < r.filled[i])) continue;
      const double distance = kRowStep[k] == 0 ? dx : (kColumnStep[k] == 0 ? dz : std::sqrt(dx * dx + dz * dz));
      const double slope = (static_cast<double>(r.filled[i]) - static_cast<double>(r.filled[m])) / distance;
      if (r.receiver[i] < 0 || slope > best) {
        r.receiver[i] = m;
        best = slope;
      }
    }
  }
  r.accumulation.assign(n, 0);
  for (int i = 0; i < n; ++i) {
    for (int x = i; x >= 0; x = r.receiver[x]) ++r.accumulation[x];
  }
  for (uint64_t a : r.accumulation) r.largest = std::max(r.largest, a);
  return r;
}

struct Drained {
  std::vector<uint64_t> accumulation;
  uint64_t largest = 0;
};

Drained Drain(const std::vector<float>& h, int width, int depth, int threads = 1) {
  Drained d;
  d.accumulation.assign(h.size(), 0);
  EXPECT_EQ(ComputeDrainage(h.data(), width, depth, threads, d.accumulation.data(), &d.largest, nullptr), kFlowDone);
  return d;
}

std::vector<float> Filled(const std::vector<float>& h, int width, int depth, int threads = 2) {
  const FlowGrid grid = MakeFlowGrid(width, depth);
  std::vector<float> filled(h.size());
  std::vector<uint64_t> pool(h.size());
  EXPECT_TRUE(FillDepressions(h.data(), grid, filled.data(), pool.data(), threads, nullptr));
  return filled;
}

bool SameBits(const std::vector<float>& a, const std::vector<float>& b) {
  return a.size() == b.size() && memcmp(a.data(), b.data(), a.size() * sizeof(float)) == 0;
}

}  // namespace

// Small fields whose answer is worked out by hand. Ties among equal drops go to
// the first neighbour in order (up, up-right, right, ...), and a cardinal step
// beats a diagonal one of the same drop.
TEST(Drainage, HandMadeFields) {
  // 5 x 5: the counts that the flat, the plateau and the bowl share: the ring
  // sends to the nearest edge (up first, then the sides), the centre up.
  const std::vector<uint64_t> ringToEdges = {
      1, 2, 3, 2, 1,  //
      2, 1, 2, 1, 2,  //
      1, 1, 1, 1, 1,  //
      1, 2, 2, 1, 1,  //
      1, 1, 1, 1, 1};
  std::vector<uint64_t> ringExpected = ringToEdges;
  ringExpected[2 * 5 + 0] = 2;  // (2,1) sends left
  ringExpected[2 * 5 + 4] = 2;  // (2,3) sends right
  ringExpected[3 * 5 + 4] = 2;  // (3,3) sends right
  ringExpected[4 * 5 + 1] = 2;  // (3,1) sends down
  ringExpected[4 * 5 + 2] = 2;  // (3,2) sends down
  ringExpected[1 * 5 + 0] = 1;
  ringExpected[1 * 5 + 4] = 1;
  ringExpected[3 * 5 + 1] = 1;
  ringExpected[3 * 5 + 2] = 1;
  ringExpected[1 * 5 + 1] = 1;
  ringExpected[1 * 5 + 3] = 1;
  const std::vector<float> flat(25, 3.0f);
  std::vector<float> plateau(25, 0.0f), bowl(25, 9.0f);
  for (int j = 1; j < 4; ++j) {
    for (int c = 1; c < 4; ++c) {
      plateau[j * 5 + c] = 1.0f;
      bowl[j * 5 + c] = (j == 2 && c == 2) ? 4.0f : 6.0f;
    }
  }
  const struct Case {
    const char* name;
    std::vector<float> heights;
    int width, depth;
    std::vector<uint64_t> accumulation;
  } cases[] = {
      {"flat", flat, 5, 5, ringExpected},
      {"plateau", plateau, 5, 5, ringExpected},
      {"bowl", bowl, 5, 5, ringExpected},
      // The centre's two equal descents, up and right: up is first.
      {"tie", {9, 1, 9, 9, 5, 1, 9, 9, 9}, 3, 3, {1, 2, 1, 1, 1, 1, 1, 1, 1}},
      // 4 wide, 3 deep: columns lie 50 apart, rows 75: the same drop is steeper to
      // the left than up; the sample right of it finds the diagonal steepest.
      {"tie across unequal spacing", {9, 1, 9, 9, 1, 5, 9, 9, 9, 9, 9, 9}, 4, 3, {1, 2, 1, 1, 2, 1, 1, 1, 1, 1, 1, 1}},
      {"strip", {3, 1, 4, 1, 5, 9, 2}, 7, 1, {1, 1, 1, 1, 1, 1, 1}},
      {"column", {3, 1, 4, 1, 5}, 1, 5, {1, 1, 1, 1, 1}},
      {"two by two", {1, 2, 3, 4}, 2, 2, {1, 1, 1, 1}},
      {"one sample", {7}, 1, 1, {1}},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    const Drained d = Drain(c.heights, c.width, c.depth);
    EXPECT_EQ(d.accumulation, c.accumulation);
    uint64_t largest = 0;
    for (uint64_t a : c.accumulation) largest = std::max(largest, a);
    EXPECT_EQ(d.largest, largest);
    EXPECT_TRUE(SameBits(Filled(c.heights, c.width, c.depth), PlainDrainage(c.heights, c.width, c.depth).filled));
  }
}

// Random fields, some of a few repeated values (flats, plateaus, ties, both
// zeros), some of any value, against the plain definition, bit for bit.
TEST(Drainage, RandomFieldsMatchThePlainDefinition) {
  std::mt19937 random(20240611);
  const float levels[] = {-0.0f, 0.0f, 1.0f, 1.0f, 2.5f, -3.0f, 1e-45f, 7.0f};
  const struct { int width, depth; bool levelled; } shapes[] = {
      {3, 3, true}, {5, 4, true}, {4, 9, false}, {31, 17, true}, {31, 17, false}, {64, 65, true}, {97, 61, false},
      {300, 240, true}};
  for (const auto& shape : shapes) {
    SCOPED_TRACE(testing::Message() << shape.width << " x " << shape.depth << (shape.levelled ? " levelled" : ""));
    std::vector<float> h(static_cast<size_t>(shape.width * shape.depth));
    std::uniform_real_distribution<float> any(-10.0f, 10.0f);
    std::uniform_int_distribution<int> pick(0, 7);
    for (float& v : h) v = shape.levelled ? levels[pick(random)] : any(random);
    const Reference r = PlainDrainage(h, shape.width, shape.depth);
    EXPECT_TRUE(SameBits(Filled(h, shape.width, shape.depth), r.filled));
    for (int threads : {1, 2, 7}) {
      const Drained d = Drain(h, shape.width, shape.depth, threads);
      EXPECT_EQ(d.accumulation, r.accumulation) << threads << " threads";
      EXPECT_EQ(d.largest, r.largest);
    }
  }
}

// Fields shaped like land, large enough for the fill to share its sweeps out
// to threads: bowls side by side (lakes, and slopes draining into them), and a
// valley winding back and forth, rising from the edge, that no sweep over the
// rows follows in one pass.
TEST(Drainage, LakesAndWindingValleysMatchThePlainDefinition) {
  const int width = 301, depth = 257;
  std::vector<float> bowls(static_cast<size_t>(width * depth)), winding(bowls.size(), 1000.0f);
  std::mt19937 random(7);
  std::uniform_int_distribution<int> jitter(0, 3);
  for (int z = 0; z < depth; ++z) {
    for (int x = 0; x < width; ++x) {
      const float dx = static_cast<float>(x % 40 - 20), dz = static_cast<float>(z % 37 - 18);
      bowls[z * width + x] = dx * dx + dz * dz + 0.25f * static_cast<float>(jitter(random));
    }
  }
  // Floors on every second row, joined at alternate ends; the height rises along the way in.
  float along = 0.0f;
  for (int z = 1; z < depth - 1; z += 2) {
    for (int k = 1; k < width - 1; ++k) {
      const int x = (z / 2) % 2 == 0 ? k : width - 1 - k;
      winding[z * width + x] = along += 0.5f;
    }
    if (z + 2 < depth - 1) winding[(z + 1) * width + ((z / 2) % 2 == 0 ? width - 2 : 1)] = along += 0.5f;
  }
  winding[width + 0] = -1.0f;  // the way in, on the edge
  for (const auto& field : {bowls, winding}) {
    const std::vector<float> expected = PlainDrainage(field, width, depth).filled;
    for (int threads : {1, 2, 7}) EXPECT_TRUE(SameBits(Filled(field, width, depth, threads), expected)) << threads;
  }
}

TEST(Drainage, RefusesNaNAndEmptyFields) {
  std::vector<float> h(16, 1.0f);
  h[5] = std::nanf("");
  std::vector<uint64_t> a(16);
  uint64_t largest = 0;
  EXPECT_EQ(ComputeDrainage(h.data(), 4, 4, 1, a.data(), &largest, nullptr), kFlowBadHeights);
  EXPECT_EQ(ComputeDrainage(h.data(), 0, 4, 1, a.data(), &largest, nullptr), kFlowBadHeights);
  EXPECT_EQ(ComputeDrainage(h.data(), 16385, 1, 1, a.data(), &largest, nullptr), kFlowBadHeights);
}

TEST(Drainage, NextFloatUpIsNextafter) {
  for (float v : {0.0f, -0.0f, 1e-45f, -1e-45f, 1.0f, -1.0f, 3.4028235e38f, -3.4028235e38f, INFINITY, -INFINITY}) {
    const float up = NextFloatUp(v);
    const float expected = std::nextafter(v, INFINITY);
    EXPECT_TRUE(memcmp(&up, &expected, sizeof up) == 0 || (up == 0.0f && expected == 0.0f)) << v;
  }
}
