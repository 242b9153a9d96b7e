// "Save Picture...": the view's pixels as a PNG picture.
#include "app/save_picture.h"

#include <windows.h>

#include <GL/gl.h>

#include <algorithm>
#include <cstdint>
#include <cstring>
#include <vector>

#include "state/app_state.h"
#include "panel/erosion_choice.h"
#include "app/file_chooser.h"
#include "export/export_job.h"
#include "export/output_file.h"
#include "export/png_writer.h"
#include "render/frame.h"
#include "state/app_state.h"
#include "state/message_box.h"

// The folder and name the last picture went to, offered again.
static std::string lastPicturePath = "view.png";

// The frame as the view shows it: drawn, read from the back buffer before it is presented (so
// nothing on the screen can stand in front of it), then presented. Rows bottom first, RGB.
static std::vector<uint8_t> ReadViewPixels(int32_t width, int32_t height) {
  std::vector<uint8_t> pixels(static_cast<size_t>(width) * static_cast<size_t>(height) * 3);
  RenderFrame();
  glFinish();
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, width, height, GL_RGB, GL_UNSIGNED_BYTE, pixels.data());
  SwapBuffers(viewDC);
  return pixels;
}

static std::vector<PngText> PictureTexts() {
  std::vector<PngText> texts = {{"Software", ExportGenerator()}};
  if (viewedTerrain.generated) {
    ExportRequest request;
    request.settings = viewedTerrain.settings;
    request.erode = viewedErosion.eroded;
    request.erosion = viewedErosion.settings;
    texts.push_back({"Koravel options", TerrainOptionsText(request)});
  }
  return texts;
}

bool SaveViewPicture(const std::string& path, std::string* message, bool replaceProtected) {
  // What the view shows: its client area, inside its border, where the viewport's lower left lies.
  RECT client = {0, 0, 0, 0};
  GetClientRect(viewWindow, &client);
  const int32_t width = std::min(static_cast<int32_t>(client.right - client.left), layout.viewWidth);
  const int32_t height = std::min(static_cast<int32_t>(client.bottom - client.top), layout.viewHeight);
  if (width <= 0 || height <= 0 || renderContext == nullptr) {
    *message = "the view has no pixels to save (the window is too small)";
    return false;
  }
  const std::vector<uint8_t> pixels = ReadViewPixels(width, height);
  const size_t rowBytes = static_cast<size_t>(width) * 3;
  OutputFile file;
  // The picture's first row is the view's top; OpenGL gives the bottom row first.
  const bool written =
      OpenOutputFile(&file, path, OutputOptions{replaceProtected, nullptr}) &&
      WritePng(&file, width, height, kPngRgb8, PictureTexts(),
               [&](int64_t row, uint8_t* bytes) {
                 std::memcpy(bytes, pixels.data() + static_cast<size_t>(height - 1 - row) * rowBytes, rowBytes);
                 return true;
               }) &&
      FinishOutputFile(&file) && CommitOutputFile(&file);
  if (!written) *message = file.message;
  DiscardOutputFile(&file);
  return written;
}

void SavePictureAs() {
  std::vector<char> path(4096, '\0');
  lastPicturePath.copy(path.data(), path.size() - 1);
  OPENFILENAMEA chooser = {};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = mainWindow;
  chooser.lpstrFilter = "PNG pictures (*.png)\0*.png\0All files (*.*)\0*.*\0";
  chooser.nFilterIndex = 1;
  chooser.lpstrFile = path.data();
  chooser.nMaxFile = static_cast<DWORD>(path.size());
  chooser.lpstrTitle = "Save Picture";
  chooser.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  chooser.lpstrDefExt = "png";
  if (!chooseSaveFile(&chooser)) return;
  lastPicturePath = path.data();
  bool replaceProtected = false;
  if (!MayReplace(mainWindow, lastPicturePath, &replaceProtected)) return;
  std::string message;
  if (!SaveViewPicture(lastPicturePath, &message, replaceProtected)) {
    const std::string text = "The picture could not be saved: " + message + ".";
    showMessageBox(mainWindow, text.c_str(), "Koravel", MB_OK | MB_ICONERROR);
  }
}
