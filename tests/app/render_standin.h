// A stand-in for the render entry points: a real context on the view, and a count of the frames asked for.
#pragma once

#include <cstdint>

struct RenderStandIn {
  int32_t contextFails;      // CreateRenderContext returns null when set
  int32_t framesDrawn;       // DrawFrame calls
  int32_t renderStateSetUps;
  int32_t generations;
  int32_t lastRiver;         // the river and flat flags of the last GenerateTerrain
  int32_t lastFlat;
  void (*afterRenderState)();  // called at the end of InitRenderState
  void (*afterFrame)();        // called at the end of DrawFrame
};

extern RenderStandIn renderStandIn;
