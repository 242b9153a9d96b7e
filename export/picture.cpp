// Drawing a terrain as the viewer shows it, without a display, and writing the picture as a PNG.
#include "export/picture.h"

#include <new>
#include <string>
#include <vector>

#include "export/export_field.h"
#include "export/export_job.h"
#include "export/output_file.h"
#include "export/png_writer.h"
#include "export/sample_formats.h"
#include "platform/offscreen/offscreen.h"
#include "render/frame.h"
#include "render/render_context.h"
#include "render/terrain_list.h"
#include "state/app_state.h"
#include "terrain/terrain_grid.h"
#include "terrain/terrain_synthesis.h"

static std::string ViewText(const PictureView& view) {
  std::string text = "--view " + std::to_string(view.width) + "x" + std::to_string(view.height) + " --pitch " +
                     FloatText(view.pitch) + " --yaw " + FloatText(view.yaw) + " --zoom " + FloatText(view.zoom);
  if (view.wire) text += " --wire";
  return text;
}

// The renderer's memory, measured as the least address space in which pictures of terrains from 100 to
// 4097 samples a side and views up to 8192 x 8192 pixels are drawn, with a margin: a fixed part for the
// libraries and the renderer's threads, and a part for each sample (the display list) and each pixel
// (colour, depth and the copies read back).
const uint64_t kPictureBaseBytes = 768ull << 20;
const uint64_t kPictureSampleBytes = 64;
const uint64_t kPicturePixelBytes = 40;

uint64_t PictureMemoryBytes(const ExportRequest& request) {
  const uint64_t samples = static_cast<uint64_t>(request.terrainWidth) * static_cast<uint64_t>(request.terrainDepth);
  const uint64_t pixels = static_cast<uint64_t>(request.view.width) * static_cast<uint64_t>(request.view.height);
  return kPictureBaseBytes + samples * kPictureSampleBytes + pixels * kPicturePixelBytes;
}

bool CheckPictureMemory(const ExportRequest& request, std::string* message) {
  const uint64_t needed = PictureMemoryBytes(request);
  if (needed <= OffscreenMemoryLimit()) return true;
  *message = "the picture of " + std::to_string(request.terrainWidth) + " x " + std::to_string(request.terrainDepth) +
             " samples at " + std::to_string(request.view.width) + " x " + std::to_string(request.view.height) +
             " pixels needs about " + std::to_string((needed + (1u << 20) - 1) >> 20) +
             " MiB of memory, which cannot be had";
  return false;
}

static bool DrawAndWritePicture(const ExportField& field, const ExportRequest& request, OutputFile* file) {
  const PictureView& view = request.view;
  // The terrain as the viewer holds it after "Generate", its range its own.
  TerrainGrid grid = {};
  grid.seed = request.settings.seed;
  grid.passCount = request.settings.passCount;
  grid.baseHeight = request.settings.terrainHeight;
  grid.passHeightScale = request.settings.passHeightScale;
  grid.freqScale = request.settings.freqScale;
  grid.initFreq = request.settings.initFreq;
  grid.width = static_cast<int32_t>(field.rect.width);
  grid.depth = static_cast<int32_t>(field.rect.depth);
  grid.extentX = kTerrainExtentUnits;
  grid.extentZ = kTerrainExtentUnits;
  grid.heights = const_cast<float*>(field.heights);
  grid.water = const_cast<float*>(field.water);
  FindHeightRange(&grid);

  std::string message;
  layout.viewWidth = view.width;
  layout.viewHeight = view.height;
  if (!OpenOffscreenView(view.width, view.height, &message)) {
    FailOutputFile(file, message);
    return false;
  }
  SetDefaultSettings();
  settings.renderMode = view.wire ? kRenderModeWire : kRenderModeSolid;
  settings.createAs2d = request.flat ? 1 : 0;
  InitRenderState();
  // Drawn once: straight from vertex arrays, with no display list to compile.
  SetTerrainSource(kTerrainFromArrays);
  viewState.pitch = view.pitch;
  viewState.yaw = view.yaw;
  viewState.zoom = view.zoom;
  BuildTerrainList(&grid, settings.createAs2d);
  currentTerrain = &grid;
  DrawFrame();
  currentTerrain = nullptr;
  SetTerrainSource(kTerrainFromList);
  std::vector<uint8_t> rgb;
  const bool read = ReadOffscreenView(&rgb);
  CloseOffscreenView();
  if (!read) {
    FailOutputFile(file, "the drawn picture could not be read back");
    return false;
  }
  const std::vector<PngText> texts = {
      {"Software", ExportGenerator()},
      {"Description", "The terrain as the viewer shows it."},
      {"Koravel options", TerrainOptionsText(request) + (request.flat ? " --flat " : " ") + ViewText(view)},
  };
  const size_t rowBytes = static_cast<size_t>(view.width) * 3;
  return WritePng(file, view.width, view.height, kPngRgb8, texts, [&](int64_t row, uint8_t* bytes) {
    std::copy(&rgb[static_cast<size_t>(row) * rowBytes], &rgb[static_cast<size_t>(row) * rowBytes] + rowBytes, bytes);
    return true;
  });
}

bool WriteTerrainPicture(const ExportField& field, const ExportRequest& request, OutputFile* file) {
  std::string message;
  if (!CheckPictureMemory(request, &message)) {
    FailOutputFile(file, message);
    return false;
  }
  try {
    return DrawAndWritePicture(field, request, file);
  } catch (const std::bad_alloc&) {
    CloseOffscreenView();
    FailOutputFile(file, "the memory to draw the picture cannot be had");
    return false;
  }
}
