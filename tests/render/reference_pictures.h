// The reference pictures of the view that both builds' picture tests hold their drawings against.
#pragma once

#include <cstdint>
#include <vector>

// The view the pictures show: 800 x 541 pixels, the size of the program's view in a
// 953 x 543 client area.
constexpr int kReferenceWidth = 800;
constexpr int kReferenceHeight = 541;

// A frame's RGBA bytes, rows from the bottom of the view up.
struct Picture {
  int width;
  int height;
  std::vector<unsigned char> rgba;
};

// "Generate" with the default settings, with or without "Create River", seen from the
// start view (pitch 10, yaw 0, zoom 1) as "Solid" or as "Wire" points.
struct ReferenceScene {
  const char* name;  // also the picture's file name in tests/data/pictures, without ".png"
  int32_t river;
  int32_t renderMode;
};

extern const ReferenceScene kReferenceScenes[4];

// Holds the drawn picture against the scene's reference, from the bottom-left corner (the
// Windows program's view is 2 pixels smaller each way than its viewport, inside its border):
// it must cover all of it but a 2-pixel margin, and at most 1 in 1000 of the compared pixels
// may differ by more than 2 of 255 in a channel. Both builds draw with Mesa, but not always
// with the same pixel format and depth precision. When the environment variable named
// writeVariable names a folder, the drawn picture is first written there as an RGB PNG file.
void ExpectLikeReference(const Picture& drawn, const char* name, const char* writeVariable);
