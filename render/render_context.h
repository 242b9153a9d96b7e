// Binding OpenGL to the view window and fixing the render state every frame relies on.
#pragma once

#include <windows.h>

// Chooses and sets the pixel format on viewDC and makes a new context current.
// Returns null on any failure, leaving no context behind.
HGLRC CreateRenderContext();

// Viewport, projection, base modelview, light and switches; resets pitch and
// yaw, seeds the random source from the calendar and clears currentTerrain.
void InitRenderState();
