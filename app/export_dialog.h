// The "Export Terrain" dialog: the files it writes of the terrain on view, on a worker thread.
#pragma once

#include <windows.h>

#include <cstdint>

// Control identifiers of the ExportDlg template (besides IDOK "Export" and IDCANCEL "Cancel").
constexpr int kControlExportSize = 1101;
constexpr int kControlExportFileName = 1102;
constexpr int kControlExportBrowse = 1103;
constexpr int kControlExportProgress = 1104;
constexpr int kControlHeightsPng = 1111;
constexpr int kControlHeightsR16 = 1112;
constexpr int kControlHeightsFloat = 1113;
constexpr int kControlWaterMask = 1121;
constexpr int kControlColourMap = 1122;
constexpr int kControlMesh = 1123;

// The worker's word that it has ended; the bar's timer, which runs only while it works.
constexpr UINT kExportFinishedMessage = WM_APP + 1;
constexpr UINT_PTR kProgressTimer = 1;
constexpr UINT kProgressIntervalMs = 100;
constexpr int kProgressSteps = 1000;  // the bar's range

// "Export...": opens the dialog, or brings it forward; before any terrain was generated it
// says so instead.
void OpenExportDialog();

// The dialog's procedure. "Export" checks the fields (a box names the one refused) and starts
// the export; while it runs only "Cancel" can be used, which stops it and leaves no file. The
// dialog closes when the files are written; closing it during an export stops the export.
INT_PTR CALLBACK ExportDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam);

// Stops a running export, as "Cancel" does, without waiting for it: the main window calls it
// before it closes, so no file is finished while its windows are being taken down.
void CancelRunningExport();

// Whether an export runs now, and how long the last one that ended took.
bool ExportRunning();
uint32_t LastExportMs();
