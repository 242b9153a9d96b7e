// The render entry points stood in for, message boxes recorded, and the program started once, for the shell's tests.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The render stand-in makes a real context on the view but only counts the frames asked for;
// RenderFrame paints the back buffer red in its top-left quarter and blue elsewhere.
extern int32_t contextFails;  // CreateRenderContext returns null when set
extern int32_t framesDrawn;
extern int32_t framesRendered;
extern int32_t lastRiver, lastFlat;  // the flags of the last GenerateTerrain
extern int32_t erosionsDone;         // ErodeGeneratedTerrain calls
extern void (*afterRenderState)();
extern void (*afterFrame)();
// "caption: text", then " [error]" for the error icon, " [modal]" when the main window owns the box
// and " [over the dialog]" when the export dialog does.
extern std::vector<std::string> recordedBoxes;

// What the recorder answers a question (MB_YESNO) with; other boxes get IDOK.
extern int questionAnswer;

int WINAPI RecordMessageBox(HWND owner, LPCSTR text, LPCSTR caption, UINT type);

// Starts the program once per process, then: benchmark idle, pitch 10, yaw 0, zoom 1,
// default Settings shown in the panel, no boxes, no frames counted.
void ResetProgram();

INT_PTR PanelCommand(int control, int notification);
void TypeInto(int control, const char* text);
std::string ControlText(int control);
