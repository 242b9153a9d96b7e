// The common controls Koravel uses, declared for the Linux build: the progress bar.
#pragma once

#include <windows.h>

struct INITCOMMONCONTROLSEX {
  DWORD dwSize;
  DWORD dwICC;
};
typedef INITCOMMONCONTROLSEX* LPINITCOMMONCONTROLSEX;

#define ICC_PROGRESS_CLASS 0x00000020

#define PROGRESS_CLASSA "msctls_progress32"
#define PBS_SMOOTH 0x01

#define PBM_SETRANGE (WM_USER + 1)
#define PBM_SETPOS (WM_USER + 2)
#define PBM_DELTAPOS (WM_USER + 3)
#define PBM_SETRANGE32 (WM_USER + 6)
#define PBM_GETRANGE (WM_USER + 7)
#define PBM_GETPOS (WM_USER + 8)

// Registers the control classes; the layer has them always.
BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls);
