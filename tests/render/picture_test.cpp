// What the user sees: frames drawn offscreen by Mesa's software renderer and read back.
#include <GL/osmesa.h>
#include <gtest/gtest.h>

#include <algorithm>
#include <cstdlib>
#include <vector>

#include "render/frame.h"
#include "render/generate_terrain.h"
#include "render/render_context.h"
#include "render/terrain_list.h"
#include "state/app_state.h"
#include "terrain/terrain_grid.h"
#include "tests/render/reference_pictures.h"

namespace {

const int kWidth = kReferenceWidth;
const int kHeight = kReferenceHeight;

// The drawn pixels of a region, those in the height ramp's colours, and the smallest box holding them all.
struct Census {
  int drawn = 0, ramp = 0;
  int left = kWidth, right = -1, bottom = kHeight, top = -1;
  double Width() const { return right - left + 1; }
  double Height() const { return top - bottom + 1; }
  double CentreX() const { return (left + right + 1) * 0.5; }
  double CentreY() const { return (bottom + top + 1) * 0.5; }
};

Census Count(const Picture& picture, int left = 0, int right = kWidth, int bottom = 0, int top = kHeight) {
  Census c;
  for (int y = bottom; y < top; ++y) {
    for (int x = left; x < right; ++x) {
      const unsigned char* rgba = &picture.rgba[(static_cast<size_t>(y) * kWidth + static_cast<size_t>(x)) * 4];
      const int r = rgba[0], g = rgba[1], b = rgba[2];
      if (r == 0 && g == 0 && b == 0) continue;
      ++c.drawn;
      // The ramp runs from (0.075, 0.1, 0.06) to (0.175, 0.2333, 0.14): green 4/3 and blue 4/5 of red.
      c.ramp += r >= 18 && r <= 46 && std::abs(3 * g - 4 * r) <= 6 && std::abs(5 * b - 4 * r) <= 10;
      c.left = std::min(c.left, x);
      c.right = std::max(c.right, x);
      c.bottom = std::min(c.bottom, y);
      c.top = std::max(c.top, y);
    }
  }
  return c;
}

// How far the topmost drawn rows of the columns in [left, right) spread; an empty column counts as row -1.
int SkylineSpread(const Picture& picture, int left, int right) {
  std::vector<int> tops;
  for (int x = left; x < right; ++x) tops.push_back(Count(picture, x, x + 1).top);
  return *std::max_element(tops.begin(), tops.end()) - *std::min_element(tops.begin(), tops.end());
}

// Each test gets a fresh offscreen context, so the base modelview translation of
// the render state is applied to the identity exactly once, as at start-up.
class Pictures : public ::testing::Test {
 protected:
  void SetUp() override {
    buffer.assign(static_cast<size_t>(kWidth) * kHeight * 4, 0xff);  // white until cleared
    context = OSMesaCreateContextExt(OSMESA_RGBA, 16, 0, 0, nullptr);
    ASSERT_NE(context, nullptr);
    ASSERT_TRUE(OSMesaMakeCurrent(context, buffer.data(), GL_UNSIGNED_BYTE, kWidth, kHeight));
    layout.viewWidth = kWidth;
    layout.viewHeight = kHeight;
    SetDefaultSettings();
    InitRenderState();
  }

  void TearDown() override {
    if (currentTerrain != nullptr) DestroyTerrainGrid(currentTerrain);
    currentTerrain = nullptr;
    if (context != nullptr) OSMesaDestroyContext(context);
  }

  // The default terrain, with its river unless told otherwise, generated as "Generate" does it.
  void Generate(int32_t flat, int32_t river = 1) {
    if (currentTerrain != nullptr) DestroyTerrainGrid(currentTerrain);
    currentTerrain = static_cast<TerrainGrid*>(calloc(1, sizeof(TerrainGrid)));
    ASSERT_TRUE(CreateTerrainGrid(currentTerrain, 100, 100, 150.0f, 150.0f, 8.0f));
    ASSERT_TRUE(GenerateTerrain(currentTerrain, 0, 0.4f, 6.0f, 4.0f, 5, river, flat));
  }

  Picture Draw(float pitch, float yaw, float zoom) {
    viewState.pitch = pitch;
    viewState.yaw = yaw;
    viewState.zoom = zoom;
    DrawFrame();
    glFinish();
    return Picture{kWidth, kHeight, buffer};
  }

  OSMesaContext context = nullptr;
  std::vector<unsigned char> buffer;  // rows from the bottom of the view up
};

}  // namespace

// The relief from the start view is held against the reference pictures below.
TEST_F(Pictures, FlatTerrainFromTheFrontAndFromBelow) {
  EXPECT_EQ(Count(Draw(10.0f, 0.0f, 1.0f)).drawn, 0);  // cleared to black before any terrain
  // Flat, the far edge is straight and the colours still follow the heights.
  Generate(1);
  const Picture flat = Draw(10.0f, 0.0f, 1.0f);
  EXPECT_LE(SkylineSpread(flat, 300, 500), 1);
  EXPECT_GE(Count(flat, 300, 301).top, 0);
  EXPECT_GT(Count(flat, 0, kWidth, 10, 11).ramp, kWidth / 2);
  // From below only the underside faces the eye: culled, while the points still show.
  EXPECT_EQ(Count(Draw(-30.0f, 0.0f, 1.0f)).drawn, 0);
  settings.renderMode = kRenderModeWire;
  EXPECT_GT(Count(Draw(-30.0f, 0.0f, 1.0f)).drawn, 1000);
}

TEST_F(Pictures, PitchYawAndZoomPlaceTheTerrain) {
  // Straight from above, the flat square of 148.5 units at zoom 0.5 lies 92 units
  // ahead, centred 4 units below the eye: 323 pixels wide and high, centred at
  // (398, 255), since the frustum's shape matches the view's.
  Generate(1);
  const Census above = Count(Draw(90.0f, 0.0f, 0.5f));
  EXPECT_NEAR(above.Width(), 323.0, 4.0);
  EXPECT_NEAR(above.Height(), 323.0, 4.0);
  EXPECT_NEAR(above.CentreX(), 398.4, 3.0);
  EXPECT_NEAR(above.CentreY(), 254.8, 3.0);
  EXPECT_NEAR(above.drawn, above.Width() * above.Height(), above.Width() * 4) << "holes in the mesh";
  // Zoom scales it about its centre; yaw 45 lays its diagonal across the view.
  const Census zoomed = Count(Draw(90.0f, 0.0f, 0.9f));
  EXPECT_NEAR(zoomed.Width(), 323.0 * 1.8, 6.0);
  EXPECT_NEAR(zoomed.CentreX(), above.CentreX(), 4.0);
  const Census turned = Count(Draw(90.0f, 45.0f, 0.5f));
  EXPECT_NEAR(turned.Width(), 323.0 * 1.4142, 6.0);
  EXPECT_NEAR(turned.CentreX(), above.CentreX(), 4.0);
  // Lower pitch tilts it away: shorter on screen and lower in the view.
  const Census tilted = Count(Draw(20.0f, 0.0f, 0.5f));
  EXPECT_LT(tilted.Height(), above.Height() * 0.8);
  EXPECT_LT(tilted.CentreY(), above.CentreY());
}

// Pictures drawn once send the mesh from vertex arrays: the list's pixels exactly, from views
// that hold all of the terrain and views that hold little of it.
TEST_F(Pictures, TheVertexArraysDrawTheListsPixels) {
  struct View {
    float pitch, yaw, zoom;
    int32_t flat;
  };
  const View views[] = {{10.0f, 0.0f, 1.0f, 0}, {10.0f, 0.0f, 4.0f, 0}, {45.0f, 30.0f, 2.5f, 0},
                        {90.0f, 0.0f, 6.0f, 1}, {5.0f, 90.0f, 1.5f, 0},  {-20.0f, 200.0f, 3.0f, 0}};
  for (const View& view : views) {
    SCOPED_TRACE(std::to_string(view.pitch) + " " + std::to_string(view.yaw) + " " + std::to_string(view.zoom));
    Generate(view.flat);
    const std::vector<unsigned char> listed = Draw(view.pitch, view.yaw, view.zoom).rgba;
    SetTerrainSource(kTerrainFromArrays);
    BuildTerrainList(currentTerrain, view.flat);
    const std::vector<unsigned char> arrays = Draw(view.pitch, view.yaw, view.zoom).rgba;
    SetTerrainSource(kTerrainFromList);
    EXPECT_GT(Count(Picture{kWidth, kHeight, listed}).drawn, 0);
    EXPECT_TRUE(arrays == listed);
  }
}

// The same scenes as the Windows program draws them in its own window, held against the same
// pictures. KORAVEL_WRITE_REFERENCE_PICTURES=DIR writes this renderer's pictures into DIR, to
// renew the references when the drawing changes on purpose.
TEST_F(Pictures, StartViewsMatchTheReferencePictures) {
  for (const ReferenceScene& scene : kReferenceScenes) {
    Generate(0, scene.river);
    settings.renderMode = scene.renderMode;
    ExpectLikeReference(Draw(10.0f, 0.0f, 1.0f), scene.name, "KORAVEL_WRITE_REFERENCE_PICTURES");
  }
}
