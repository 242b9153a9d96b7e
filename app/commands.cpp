// The main window's menu commands: export, save the picture, exit, and the Help menu's boxes.
#include "app/commands.h"

#include <windows.h>

#include <string>

#include "state/app_state.h"
#include "app/erosion_dialog.h"
#include "app/export_dialog.h"
#include "app/save_picture.h"
#include "koravel_version.h"
#include "state/app_state.h"
#include "state/message_box.h"

const char kControlsText[] =
    "Over the view:\n"
    "  Drag with the left button sideways to turn the terrain,\n"
    "  up and down to zoom it (1x to 10x).\n"
    "  Drag with the right button up and down to tilt it (0 to 90 degrees).\n"
    "\n"
    "In the panel:\n"
    "  Type the parameters and press \"Generate\" to make a terrain;\n"
    "  \"Create River\" carves a river, \"Create as 2d\" lays the next one flat.\n"
    "  \"Solid\" and \"Wire\" draw it as a coloured mesh or as points;\n"
    "  \"Redraw\" draws it again.\n"
    "  \"Single\" spins it once round and writes the frame rate below.\n"
    "\n"
    "File > Export... (Ctrl+E) writes the terrain on view to files;\n"
    "File > Save Picture... (Ctrl+P) saves the view as a PNG picture;\n"
    "Terrain > Erosion... (Ctrl+R) erodes the terrain on view, or every one generated.";

const char* AboutText() {
  static const std::string text = std::string("Koravel ") + KORAVEL_VERSION +
                                  "\n"
                                  "Fractal terrain generator and viewer.\n"
                                  "\n"
                                  "Copyright (c) 2026 The Koravel developers.\n"
                                  "Free software under the MIT License (see LICENSE).";
  return text.c_str();
}

bool RunCommand(int command) {
  switch (command) {
    case kCommandExport:
      OpenExportDialog();
      return true;
    case kCommandSavePicture:
      SavePictureAs();
      return true;
    case kCommandErosion:
      OpenErosionDialog();
      return true;
    case kCommandExit:
      // As the close button: the window goes, and with it the program.
      PostMessageA(mainWindow, WM_CLOSE, 0, 0);
      return true;
    case kCommandControls:
      showMessageBox(mainWindow, kControlsText, "Koravel Controls", MB_OK | MB_ICONINFORMATION);
      return true;
    case kCommandAbout:
      showMessageBox(mainWindow, AboutText(), "About Koravel", MB_OK | MB_ICONINFORMATION);
      return true;
    default:
      return false;
  }
}
