// The GLX visual and colormap that windows with a pixel format are created with.
#pragma once

#include <X11/Xlib.h>
#include <X11/Xutil.h>

// The double-buffered RGBA visual with a depth buffer; null (after one message) when GLX offers none.
XVisualInfo* GlVisual();
Colormap GlColormap();
