// A drawing surface that no one sees, for rendering pictures with the program's own frame code.
#pragma once

#include <cstdint>
#include <string>
#include <vector>

// Makes an OpenGL context current on a hidden surface of width x height pixels
// and points viewDC at it, so DrawFrame draws there. On failure, message says why.
bool OpenOffscreenView(int32_t width, int32_t height, std::string* message);

// The last frame DrawFrame presented, as RGB bytes, the top row first.
bool ReadOffscreenView(std::vector<uint8_t>* rgb);

// Releases the context and the surface.
void CloseOffscreenView();

// The memory the process may take in all, in bytes, as far as the system says: its address-space
// limit (ulimit -v, -d), or the memory and swap of the machine; UINT64_MAX when unlimited.
uint64_t OffscreenMemoryLimit();
