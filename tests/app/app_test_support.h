// What the shell's tests share: a stand-in for the render entry points, a message-box recorder, helpers.
#pragma once

#include <windows.h>

#include <cstdint>
#include <string>
#include <vector>

// The stand-in makes a real context on the view but only counts the frames asked for.
struct RenderStandIn {
  int32_t contextFails;  // CreateRenderContext returns null when set
  int32_t framesDrawn;
  int32_t renderStateSetUps;
  int32_t lastRiver;  // the flags of the last GenerateTerrain
  int32_t lastFlat;
  void (*afterRenderState)();
  void (*afterFrame)();
};

struct RecordedBox {
  std::string text;
  std::string caption;
  UINT type;
};

extern RenderStandIn renderStandIn;
extern std::vector<RecordedBox> recordedBoxes;

void RecordMessageBoxes();
// Starts the program once per process, then: benchmark idle, pitch 10, yaw 0, zoom 1,
// default Settings shown in the panel, no boxes, no frames counted.
void ResetProgram();
INT_PTR PanelCommand(int control, int notification);
void TypeInto(int control, const char* text);
std::string ControlText(int control);
LRESULT Mouse(UINT message, WPARAM keys, int x, int y);
