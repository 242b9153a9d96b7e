// What the shell's tests share: a recorder for message boxes, the started program, and ways to talk to it.
#pragma once

#include <windows.h>

#include <string>
#include <vector>

struct RecordedBox {
  std::string text;
  std::string caption;
  UINT type;
};

extern std::vector<RecordedBox> recordedBoxes;

// Puts the recorder in place of the real message boxes.
void RecordMessageBoxes();

// Runs the program's start-up once per process; later calls do nothing.
void EnsureStarted();

// Benchmark idle, view at pitch 10, yaw 0, zoom 1, mouse at (0, 0), no boxes, frame count 0.
void ResetView();

// A WM_COMMAND from a panel control, straight to the dialog procedure; its result.
INT_PTR PanelCommand(int control, int notification);

// Types text into an edit of the panel as a program would (the edit notifies the panel).
void TypeInto(int control, const char* text);

std::string ControlText(int control);

// A WM_MOUSEMOVE or button press on the main window at (x, y); its result.
LRESULT Mouse(UINT message, WPARAM keys, int x, int y);
