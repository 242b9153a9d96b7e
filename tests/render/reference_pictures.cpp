// The reference pictures of the view that both builds' picture tests hold their drawings against.
#include "tests/render/reference_pictures.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

#define STB_IMAGE_IMPLEMENTATION
#define STBI_ONLY_PNG
#include <stb_image.h>
#define STB_IMAGE_WRITE_IMPLEMENTATION
#include <stb_image_write.h>

#include "state/app_state.h"

// Channels this close count as the same colour.
constexpr int kLevelsAlike = 2;

const ReferenceScene kReferenceScenes[4] = {
    {"default-solid", 0, kRenderModeSolid},
    {"default-points", 0, kRenderModeWire},
    {"river-solid", 1, kRenderModeSolid},
    {"river-points", 1, kRenderModeWire},
};

// The PNG files hold rows from the top down, the pictures from the bottom up.
static std::vector<unsigned char> FlipRows(const unsigned char* rgba, int width, int height) {
  const size_t row = static_cast<size_t>(width) * 4;
  std::vector<unsigned char> flipped(row * static_cast<size_t>(height));
  for (int y = 0; y < height; ++y) {
    std::copy(rgba + row * static_cast<size_t>(y), rgba + row * static_cast<size_t>(y + 1),
              flipped.begin() + static_cast<std::ptrdiff_t>(row * static_cast<size_t>(height - 1 - y)));
  }
  return flipped;
}

static Picture LoadReferencePicture(const char* name) {
  const std::string path = std::string(KORAVEL_TEST_DATA) + "/pictures/" + name + ".png";
  int width = 0, height = 0, channels = 0;
  unsigned char* rgba = stbi_load(path.c_str(), &width, &height, &channels, 4);
  if (rgba == nullptr) return Picture{0, 0, {}};
  Picture picture{width, height, FlipRows(rgba, width, height)};
  stbi_image_free(rgba);
  return picture;
}

// Red, green and blue only: the view's alpha is not part of what it shows.
static bool SavePicture(const Picture& picture, const std::string& path) {
  const std::vector<unsigned char> rows = FlipRows(picture.rgba.data(), picture.width, picture.height);
  std::vector<unsigned char> rgb;
  rgb.reserve(rows.size() / 4 * 3);
  for (size_t i = 0; i < rows.size(); i += 4) rgb.insert(rgb.end(), &rows[i], &rows[i + 3]);
  return stbi_write_png(path.c_str(), picture.width, picture.height, 3, rgb.data(), picture.width * 3) != 0;
}

void ExpectLikeReference(const Picture& drawn, const char* name, const char* writeVariable) {
  SCOPED_TRACE(name);
  const char* writeTo = std::getenv(writeVariable);
  if (writeTo != nullptr) {
    EXPECT_TRUE(SavePicture(drawn, std::string(writeTo) + "/" + name + ".png"));
  }
  const Picture reference = LoadReferencePicture(name);
  ASSERT_EQ(reference.width, kReferenceWidth) << "no reference picture " << name;
  ASSERT_EQ(reference.height, kReferenceHeight);
  ASSERT_EQ(drawn.rgba.size(), static_cast<size_t>(drawn.width) * drawn.height * 4);
  EXPECT_GE(drawn.width, kReferenceWidth - 2);
  EXPECT_GE(drawn.height, kReferenceHeight - 2);
  // Over the part both cover, from the bottom-left corner.
  int compared = 0, differing = 0, largest = 0;
  for (int y = 0; y < std::min(drawn.height, reference.height); ++y) {
    for (int x = 0; x < std::min(drawn.width, reference.width); ++x) {
      const unsigned char* a = &drawn.rgba[(static_cast<size_t>(y) * drawn.width + x) * 4];
      const unsigned char* b = &reference.rgba[(static_cast<size_t>(y) * reference.width + x) * 4];
      int pixel = 0;
      for (int channel = 0; channel < 3; ++channel) pixel = std::max(pixel, std::abs(a[channel] - b[channel]));
      ++compared;
      differing += pixel > kLevelsAlike;
      largest = std::max(largest, pixel);
    }
  }
  std::printf("%s: %d x %d drawn, %d of %d pixels differ by more than %d levels, the largest by %d\n", name,
              drawn.width, drawn.height, differing, compared, kLevelsAlike, largest);
  EXPECT_LE(differing, compared / 1000) << differing << " of " << compared
                                        << " pixels differ; the largest difference is " << largest;
}
