// The "Erosion" dialog: whether "Generate" erodes, the erosion's parameters, and "Apply" to the terrain on view.
#pragma once

#include <windows.h>

// Control identifiers of the ErosionDlg template (besides IDOK "Apply" and IDCANCEL "Close").
constexpr int kControlErodeGenerated = 1201;
constexpr int kControlErosionSteps = 1211;
constexpr int kControlErodibility = 1212;
constexpr int kControlDeposition = 1213;
constexpr int kControlTalusAngle = 1214;
constexpr int kControlCreep = 1215;

// The dialog while it is open.
extern HWND erosionDialog;

// "Erosion...": opens the dialog, or brings it forward.
void OpenErosionDialog();

// The dialog's procedure. The check box and the fields go into erosionChoice as
// they change, for the next "Generate"; "Apply" reads them (a box names a field
// refused) and shows the terrain on view, as generated, eroded with them;
// "Close" closes the dialog, which opens next time with what it held.
INT_PTR CALLBACK ErosionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);
