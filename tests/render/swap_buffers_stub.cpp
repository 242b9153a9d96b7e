// SwapBuffers for test programs that link no platform layer: there is no window to present.
#include <windows.h>

BOOL SwapBuffers(HDC) { return TRUE; }
