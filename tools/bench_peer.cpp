// The peers bench-export.sh measures koravel-export against: FastNoiseLite over a whole field, and zlib level 6 on a PNG's own rows.
#include <zlib.h>

#include <algorithm>
#include <chrono>
#include <cstdint>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <fstream>
#include <iterator>
#include <string>
#include <thread>
#include <vector>

#include "FastNoiseLite.h"

namespace {

// FastNoiseLite's value-cubic FBm, 5 octaves, over side x side samples on every core, with the
// range printed: what koravel-export --size SIDE does, as a whole process.
int Noise(int64_t side) {
  FastNoiseLite noise(0);
  noise.SetNoiseType(FastNoiseLite::NoiseType_ValueCubic);
  noise.SetFractalType(FastNoiseLite::FractalType_FBm);
  noise.SetFractalOctaves(5);
  noise.SetFrequency(4.0f / static_cast<float>(side));
  std::vector<float> heights(static_cast<size_t>(side * side));
  const int threads = std::max(1u, std::thread::hardware_concurrency());
  std::vector<float> lows(threads, 1e30f), highs(threads, -1e30f);
  const auto rows = [&](int t) {
    for (int64_t z = side * t / threads; z < side * (t + 1) / threads; ++z) {
      for (int64_t x = 0; x < side; ++x) {
        const float h = noise.GetNoise(static_cast<float>(x), static_cast<float>(z));
        heights[static_cast<size_t>(z * side + x)] = h;
        lows[t] = std::min(lows[t], h);
        highs[t] = std::max(highs[t], h);
      }
    }
  };
  std::vector<std::thread> helpers;
  for (int t = 1; t < threads; ++t) helpers.emplace_back(rows, t);
  rows(0);
  for (std::thread& helper : helpers) helper.join();
  printf("minHeight %.9g maxHeight %.9g\n", *std::min_element(lows.begin(), lows.end()),
         *std::max_element(highs.begin(), highs.end()));
  return 0;
}

uint32_t U32(const unsigned char* p) { return uint32_t(p[0]) << 24 | p[1] << 16 | p[2] << 8 | p[3]; }

// The PNG's filtered rows (its IDAT stream inflated) compressed again by zlib at level 6:
// prints the seconds that took and the bytes it gave.
int Zlib6(const char* path) {
  std::ifstream file(path, std::ios::binary);
  const std::vector<unsigned char> png((std::istreambuf_iterator<char>(file)), std::istreambuf_iterator<char>());
  std::vector<unsigned char> stream;
  uint64_t raw = 0;
  for (size_t at = 8; at + 12 <= png.size();) {
    const uint32_t length = U32(&png[at]);
    if (memcmp(&png[at + 4], "IHDR", 4) == 0) {
      const uint64_t width = U32(&png[at + 8]), height = U32(&png[at + 12]);
      const int depth = png[at + 16], type = png[at + 17];
      raw = height * (1 + width * (type == 2 ? 3 : 1) * (depth / 8));
    }
    if (memcmp(&png[at + 4], "IDAT", 4) == 0) stream.insert(stream.end(), &png[at + 8], &png[at + 8] + length);
    at += 12 + length;
  }
  std::vector<unsigned char> rows(raw);
  uLongf rowBytes = raw;
  if (uncompress(rows.data(), &rowBytes, stream.data(), stream.size()) != Z_OK || rowBytes != raw) {
    fprintf(stderr, "bench-peer: %s does not inflate\n", path);
    return 1;
  }
  uLongf bytes = compressBound(raw);
  std::vector<unsigned char> out(bytes);
  const auto start = std::chrono::steady_clock::now();
  compress2(out.data(), &bytes, rows.data(), raw, 6);
  const double seconds = std::chrono::duration<double>(std::chrono::steady_clock::now() - start).count();
  printf("%.3f %lu\n", seconds, static_cast<unsigned long>(bytes));
  return 0;
}

}  // namespace

int main(int argc, char** argv) {
  if (argc == 3 && std::string(argv[1]) == "noise") return Noise(atoll(argv[2]));
  if (argc == 3 && std::string(argv[1]) == "zlib6") return Zlib6(argv[2]);
  fprintf(stderr, "usage: bench-peer noise SIDE | zlib6 FILE.png\n");
  return 2;
}
