// The program's own windows and rendering context draw the reference pictures: start-up as the
// program runs it, "Generate" and "Solid" / "Wire" through the panel, the view read back.
#include <windows.h>

#include <GL/gl.h>
#include <gtest/gtest.h>

#include <string>
#include <vector>

#include "app/main_loop.h"
#include "app/start_up.h"
#include "panel/config_panel.h"
#include "state/app_state.h"
#include "state/message_box.h"
#include "tests/render/reference_pictures.h"

namespace {

std::vector<std::string> boxes;

int WINAPI RecordMessageBox(HWND, LPCSTR text, LPCSTR caption, UINT) {
  boxes.push_back(std::string(caption) + ": " + text);
  return IDOK;
}

INT_PTR PanelCommand(int control) {
  return ConfigDlgProc(panelWindow, WM_COMMAND, MAKEWPARAM(control, BN_CLICKED),
                       reinterpret_cast<LPARAM>(GetDlgItem(panelWindow, control)));
}

// Sizes the main window so that the view and its viewport are those of the references:
// the client area is 153 pixels wider and 2 higher than the view.
void SizeViewForReference() {
  for (int attempt = 0; attempt < 3; ++attempt) {
    MSG message;
    DrainMessages(&message);
    if (layout.viewWidth == kReferenceWidth && layout.viewHeight == kReferenceHeight) return;
    RECT window, client;
    GetWindowRect(mainWindow, &window);
    GetClientRect(mainWindow, &client);
    const int width = (window.right - window.left) + (kReferenceWidth + 153) - (client.right - client.left);
    const int height = (window.bottom - window.top) + (kReferenceHeight + 2) - (client.bottom - client.top);
    MoveWindow(mainWindow, 0, 0, width, height, TRUE);
  }
}

// The view's client area as the last frame drew it, read on the view's own context.
Picture ReadView() {
  RECT client;
  GetClientRect(viewWindow, &client);
  Picture picture = {client.right - client.left, client.bottom - client.top, {}};
  picture.rgba.assign(static_cast<size_t>(picture.width) * picture.height * 4, 0);
  glFinish();
  // The frame just drawn and presented: Mesa keeps it in the back buffer through the swap on
  // both builds, while the Linux layer's front buffer reads back black.
  glReadBuffer(GL_BACK);
  glPixelStorei(GL_PACK_ALIGNMENT, 1);
  glReadPixels(0, 0, picture.width, picture.height, GL_RGBA, GL_UNSIGNED_BYTE, picture.rgba.data());
  return picture;
}

}  // namespace

TEST(WindowPictures, DefaultAndRiverTerrainsSolidAndAsPointsMatchTheReferences) {
  showMessageBox = RecordMessageBox;
  ASSERT_TRUE(StartUp(nullptr));
  ASSERT_NE(renderContext, nullptr);
  SizeViewForReference();
  ASSERT_EQ(layout.viewWidth, kReferenceWidth);
  ASSERT_EQ(layout.viewHeight, kReferenceHeight);
  for (const ReferenceScene& scene : kReferenceScenes) {
    if (settings.createRiver != scene.river) PanelCommand(kControlCreateRiver);
    PanelCommand(kControlGenerate);
    PanelCommand(scene.renderMode);  // "Solid" or "Wire" draws again
    // KORAVEL_WRITE_WINDOW_PICTURES=DIR keeps what the windows drew, to look at a failure.
    ExpectLikeReference(ReadView(), scene.name, "KORAVEL_WRITE_WINDOW_PICTURES");
  }
  EXPECT_TRUE(boxes.empty()) << boxes.front();
  DestroyWindow(mainWindow);
  ShutDown();
}
