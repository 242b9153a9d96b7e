// What the user sees: frames drawn offscreen by Mesa's software renderer and read back.
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "app/app_state.h"
#include "render/frame.h"
#include "render/generate_terrain.h"
#include "render/render_context.h"
#include "terrain/terrain_grid.h"

namespace {

const int kViewWidth = 800;
const int kViewHeight = 541;

struct Pixel {
  int r;
  int g;
  int b;
};

// The frame as glReadPixels gives it: rows from the bottom of the view up.
struct Picture {
  std::vector<unsigned char> rgba;
};

Pixel At(const Picture& picture, int x, int y) {
  const unsigned char* p = &picture.rgba[(static_cast<size_t>(y) * kViewWidth + static_cast<size_t>(x)) * 4];
  return Pixel{p[0], p[1], p[2]};
}

bool IsDrawn(Pixel p) { return p.r != 0 || p.g != 0 || p.b != 0; }

// The smallest box holding every drawn pixel; count 0 when nothing is drawn.
struct DrawnArea {
  int left = kViewWidth;
  int right = -1;
  int bottom = kViewHeight;
  int top = -1;
  int count = 0;
  double Width() const { return right - left + 1; }
  double Height() const { return top - bottom + 1; }
  double CentreX() const { return (left + right + 1) * 0.5; }
  double CentreY() const { return (bottom + top + 1) * 0.5; }
};

DrawnArea FindDrawnArea(const Picture& picture) {
  DrawnArea area;
  for (int y = 0; y < kViewHeight; ++y) {
    for (int x = 0; x < kViewWidth; ++x) {
      if (!IsDrawn(At(picture, x, y))) continue;
      area.left = std::min(area.left, x);
      area.right = std::max(area.right, x);
      area.bottom = std::min(area.bottom, y);
      area.top = std::max(area.top, y);
      ++area.count;
    }
  }
  return area;
}

// The ramp runs from (0.075, 0.1, 0.06) to (0.175, 0.2333, 0.14): green 4/3 and blue
// 4/5 of red. The river runs from (0, 0.3, 0.2) to (0, 0, 0.5). Smooth shading
// blends them at the river banks, so every mesh pixel lies within their bounds.
bool IsRampColour(Pixel p) {
  return p.r >= 18 && p.r <= 46 && std::abs(3 * p.g - 4 * p.r) <= 6 && std::abs(5 * p.b - 4 * p.r) <= 10;
}
bool IsRiverColour(Pixel p) { return p.r == 0 && p.b >= 50 && p.b <= 128 && p.g <= 77; }
bool IsMeshColour(Pixel p) { return p.r <= 46 && p.g >= p.r && p.g <= 77 && p.b <= 128; }

// Topmost drawn row of each view column in [left, right), -1 where none is drawn.
std::vector<int> Skyline(const Picture& picture, int left, int right) {
  std::vector<int> tops;
  for (int x = left; x < right; ++x) {
    int top = -1;
    for (int y = kViewHeight - 1; y >= 0 && top < 0; --y) {
      if (IsDrawn(At(picture, x, y))) top = y;
    }
    tops.push_back(top);
  }
  return tops;
}

// Each test gets a fresh offscreen context, so the base modelview translation of
// the render state is applied to the identity exactly once, as at start-up.
class Pictures : public ::testing::Test {
 protected:
  void SetUp() override {
    frame.rgba.assign(static_cast<size_t>(kViewWidth) * kViewHeight * 4, 0xff);
    context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(OSMesaMakeCurrent(context, frame.rgba.data(), GL_UNSIGNED_BYTE, kViewWidth, kViewHeight));
    layout.viewWidth = kViewWidth;
    layout.viewHeight = kViewHeight;
    SetDefaultSettings();
    viewState.zoom = 1.0f;
    InitRenderState();
  }

  void TearDown() override {
    if (currentTerrain != nullptr) DestroyTerrainGrid(currentTerrain);
    currentTerrain = nullptr;
    if (context != nullptr) OSMesaDestroyContext(context);
  }

  // The default terrain with its river, generated as "Generate" does it.
  void Generate(int32_t flat) {
    TerrainGrid* grid = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
    ASSERT_TRUE(CreateTerrainGrid(grid, 100, 100, 150.0f, 150.0f, 8.0f));
    currentTerrain = grid;
    ASSERT_TRUE(GenerateTerrain(grid, 0, 0.4f, 6.0f, 4.0f, 5, 1, flat));
  }

  Picture Draw(float pitch, float yaw, float zoom) {
    viewState.pitch = pitch;
    viewState.yaw = yaw;
    viewState.zoom = zoom;
    DrawFrame();
    Picture picture;
    picture.rgba.resize(frame.rgba.size());
    glReadPixels(0, 0, kViewWidth, kViewHeight, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
    return picture;
  }

  OSMesaContext context = nullptr;
  Picture frame;  // the buffer the context draws into, filled white to start
};

}  // namespace

TEST_F(Pictures, BeforeAnyTerrainTheFrameIsClearedToBlack) {
  const Picture picture = Draw(10.0f, 0.0f, 1.0f);
  EXPECT_EQ(FindDrawnArea(picture).count, 0);
}

TEST_F(Pictures, TheSolidTerrainShowsTheRampAndTheRiver) {
  Generate(0);
  const Picture picture = Draw(10.0f, 0.0f, 1.0f);
  // Seen slightly from above, the terrain fills the lower part of the view.
  int ramp = 0;
  int river = 0;
  int drawn = 0;
  for (int y = 0; y < kViewHeight; ++y) {
    for (int x = 0; x < kViewWidth; ++x) {
      const Pixel p = At(picture, x, y);
      if (y < kViewHeight / 4 && x >= kViewWidth / 8 && x < kViewWidth * 7 / 8) {
        ASSERT_TRUE(IsDrawn(p)) << "hole at " << x << ", " << y;
      }
      if (y > kViewHeight * 3 / 4) {
        ASSERT_FALSE(IsDrawn(p)) << "sky at " << x << ", " << y;
      }
      if (!IsDrawn(p)) continue;
      ++drawn;
      ASSERT_TRUE(IsMeshColour(p)) << x << ", " << y << ": " << p.r << " " << p.g << " " << p.b;
      if (IsRampColour(p)) ++ramp;
      if (IsRiverColour(p)) ++river;
    }
  }
  EXPECT_GT(ramp, drawn * 8 / 10);
  EXPECT_GT(river, drawn / 50);
}

TEST_F(Pictures, TheFlatMeshLiesInAPlane) {
  // In relief, mountains make the far edge of the terrain jagged; flat, it is straight.
  Generate(0);
  const std::vector<int> relief = Skyline(Draw(10.0f, 0.0f, 1.0f), 300, 500);
  EXPECT_GT(*std::max_element(relief.begin(), relief.end()) - *std::min_element(relief.begin(), relief.end()), 10);

  Generate(1);
  const Picture picture = Draw(10.0f, 0.0f, 1.0f);
  const std::vector<int> flat = Skyline(picture, 300, 500);
  EXPECT_GE(*std::min_element(flat.begin(), flat.end()), 0);
  EXPECT_LE(*std::max_element(flat.begin(), flat.end()) - *std::min_element(flat.begin(), flat.end()), 1);
  // The colours still follow the heights.
  int ramp = 0;
  for (int x = 0; x < kViewWidth; ++x) ramp += IsRampColour(At(picture, x, 10)) ? 1 : 0;
  EXPECT_GT(ramp, kViewWidth / 2);
}

TEST_F(Pictures, WireModeShowsGreyAndBluePoints) {
  Generate(0);
  settings.renderMode = kRenderModeWire;
  const Picture picture = Draw(10.0f, 0.0f, 1.0f);
  int grey = 0;
  int blue = 0;
  for (int y = 0; y < kViewHeight; ++y) {
    for (int x = 0; x < kViewWidth; ++x) {
      const Pixel p = At(picture, x, y);
      if (!IsDrawn(p)) continue;
      const bool isGrey = p.r == p.g && p.g == p.b;
      const bool isBlue = p.r == 0 && p.g == 0 && p.b == 255;
      ASSERT_TRUE(isGrey || isBlue) << x << ", " << y << ": " << p.r << " " << p.g << " " << p.b;
      grey += isGrey ? 1 : 0;
      blue += isBlue ? 1 : 0;
    }
  }
  // Single pixels, not a filled surface; the default river has a few cells above 0.7.
  EXPECT_GT(grey, 1000);
  EXPECT_LT(grey, 100 * 100);
  EXPECT_GE(blue, 1);
}

TEST_F(Pictures, NothingIsDrawnWhenSeenFromBelow) {
  Generate(1);
  EXPECT_EQ(FindDrawnArea(Draw(-30.0f, 0.0f, 1.0f)).count, 0);
  // The points are not culled: the terrain is in view, only its underside faces us.
  settings.renderMode = kRenderModeWire;
  EXPECT_GT(FindDrawnArea(Draw(-30.0f, 0.0f, 1.0f)).count, 1000);
}

TEST_F(Pictures, PitchYawAndZoomPlaceTheTerrain) {
  // Straight from above, the flat square of 148.5 units at zoom 0.5 lies 92 units
  // ahead, centred 4 units below the eye: 323 pixels wide and high, centred at
  // (398, 255), since the frustum's shape matches the view's.
  Generate(1);
  const DrawnArea above = FindDrawnArea(Draw(90.0f, 0.0f, 0.5f));
  EXPECT_NEAR(above.Width(), 323.0, 4.0);
  EXPECT_NEAR(above.Height(), 323.0, 4.0);
  EXPECT_NEAR(above.CentreX(), 398.4, 3.0);
  EXPECT_NEAR(above.CentreY(), 254.8, 3.0);
  EXPECT_NEAR(above.count, above.Width() * above.Height(), above.Width() * 4) << "holes in the mesh";

  // Zoom scales it about its centre.
  const DrawnArea zoomed = FindDrawnArea(Draw(90.0f, 0.0f, 0.9f));
  EXPECT_NEAR(zoomed.Width(), 323.0 * 1.8, 6.0);
  EXPECT_NEAR(zoomed.CentreX(), above.CentreX(), 4.0);

  // Yaw turns it about the vertical: at 45 degrees its diagonal lies across the view.
  const DrawnArea turned = FindDrawnArea(Draw(90.0f, 45.0f, 0.5f));
  EXPECT_NEAR(turned.Width(), 323.0 * 1.4142, 6.0);
  EXPECT_NEAR(turned.CentreX(), above.CentreX(), 4.0);

  // Lower pitch tilts it away: shorter on screen and lower in the view.
  const DrawnArea tilted = FindDrawnArea(Draw(20.0f, 0.0f, 0.5f));
  EXPECT_LT(tilted.Height(), above.Height() * 0.8);
  EXPECT_LT(tilted.CentreY(), above.CentreY());
}
