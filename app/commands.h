// The main window's menu commands, which Ctrl+E and Ctrl+P also give.
#pragma once

// Identifiers of the items of the "Koravel" menu and of its accelerators.
constexpr int kCommandExport = 2001;
constexpr int kCommandSavePicture = 2002;
constexpr int kCommandExit = 2003;
constexpr int kCommandErosion = 2021;
constexpr int kCommandControls = 2011;
constexpr int kCommandAbout = 2012;

// Carries out a menu command; false for an identifier that is none.
bool RunCommand(int command);

// The texts of the Help menu's boxes.
extern const char kControlsText[];
const char* AboutText();
