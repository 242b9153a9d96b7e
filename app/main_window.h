// The main window's procedure: layout of the view and the panel, mouse navigation, closing.
#pragma once

#include <windows.h>

#include <cstdint>

// View and panel placement for a client area of the given size.
void LayOutWindows(int32_t clientWidth, int32_t clientHeight);

// One mouse move at (x, y) in client coordinates with the buttons of keys (MK_*).
void NavigateView(WPARAM keys, int32_t x, int32_t y);

LRESULT CALLBACK MainWndProc(HWND window, UINT message, WPARAM wParam, LPARAM lParam);
