// The "Export Terrain" dialog: the files it writes of the terrain on view, on a worker thread.
#include "app/export_dialog.h"

#include <commctrl.h>

#include <memory>
#include <string>
#include <vector>

#include "state/app_state.h"
#include "panel/erosion_choice.h"
#include "app/export_choices.h"
#include "app/export_worker.h"
#include "app/file_chooser.h"
#include "export/output_file.h"
#include "platform/utf8/utf8_text.h"
#include "state/app_state.h"
#include "state/message_box.h"

// The dialog's choices, kept for the next time it opens, and the export running now.
struct ExportDialogState {
  bool chosen;  // false until the dialog has first closed: it then opens with the defaults
  ExportChoices choices;
  std::unique_ptr<ExportJob> job;
  bool closeWhenStopped;  // closed during an export: goes once the worker has stopped
  uint32_t lastExportMs;
};

static ExportDialogState exportState;

// The controls that make an export; while it runs only "Cancel" is enabled.
static const int kChoiceControls[] = {kControlExportSize,  kControlHeightsPng, kControlHeightsR16,
                                      kControlHeightsFloat, kControlWaterMask, kControlColourMap,
                                      kControlMesh,        kControlExportFileName, kControlExportBrowse,
                                      IDOK};

static int ControlOfFormat(HeightFormat format) {
  if (format == kHeightsR16) return kControlHeightsR16;
  if (format == kHeightsFloat) return kControlHeightsFloat;
  return kControlHeightsPng;
}

static HeightFormat CheckedFormat(HWND dialog) {
  if (IsDlgButtonChecked(dialog, kControlHeightsR16) == BST_CHECKED) return kHeightsR16;
  if (IsDlgButtonChecked(dialog, kControlHeightsFloat) == BST_CHECKED) return kHeightsFloat;
  return kHeightsPng16;
}

// An edit's whole text, however long, in UTF-8.
static std::string FieldText(HWND dialog, int control) { return GetDlgItemTextUtf8(dialog, control); }

static void ShowChoices(HWND dialog, const ExportChoices& choices) {
  SetDlgItemTextUtf8(dialog, kControlExportSize, choices.sizeText);
  CheckRadioButton(dialog, kControlHeightsPng, kControlHeightsFloat, ControlOfFormat(choices.heightsFormat));
  CheckDlgButton(dialog, kControlWaterMask, choices.water ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kControlColourMap, choices.colour ? BST_CHECKED : BST_UNCHECKED);
  CheckDlgButton(dialog, kControlMesh, choices.mesh ? BST_CHECKED : BST_UNCHECKED);
  SetDlgItemTextUtf8(dialog, kControlExportFileName, choices.heightsPath);
}

static ExportChoices ChoicesShown(HWND dialog) {
  return ExportChoices{FieldText(dialog, kControlExportSize),
                       CheckedFormat(dialog),
                       IsDlgButtonChecked(dialog, kControlWaterMask) == BST_CHECKED,
                       IsDlgButtonChecked(dialog, kControlColourMap) == BST_CHECKED,
                       IsDlgButtonChecked(dialog, kControlMesh) == BST_CHECKED,
                       FieldText(dialog, kControlExportFileName)};
}

static LRESULT SendToBar(HWND dialog, UINT message, WPARAM wParam, LPARAM lParam) {
  return SendMessageA(GetDlgItem(dialog, kControlExportProgress), message, wParam, lParam);
}

static void ShowError(HWND owner, const std::string& text) {
  showMessageBox(owner, text.c_str(), "Koravel", MB_OK | MB_ICONERROR);
}

static void EnableChoices(HWND dialog, bool enable) {
  for (int control : kChoiceControls) EnableWindow(GetDlgItem(dialog, control), enable ? TRUE : FALSE);
  SetFocus(GetDlgItem(dialog, enable ? IDOK : IDCANCEL));
}

static void ShowProgress(HWND dialog) {
  if (exportState.job == nullptr) return;
  const double fraction = ExportFraction(exportState.job->control);
  SendToBar(dialog, PBM_SETPOS, static_cast<WPARAM>(fraction * kProgressSteps), 0);
}

static void StartExport(HWND dialog) {
  if (exportState.job != nullptr) return;
  if (!viewedTerrain.generated) {
    ShowError(dialog, "There is no terrain to export: press \"Generate\" first.");
    return;
  }
  auto job = std::make_unique<ExportJob>();
  const std::string refusal =
      ReadExportChoices(ChoicesShown(dialog), viewedTerrain.settings, viewedTerrain.flat, &job->request);
  if (!refusal.empty()) {
    ShowError(dialog, refusal);
    return;
  }
  job->request.erode = viewedErosion.eroded;  // the files show the terrain on view
  job->request.erosion = viewedErosion.settings;
  const ExportRequest& request = job->request;
  for (const std::string& path : {request.heightsPath, request.waterPath, request.colourPath, request.meshPath}) {
    if (!MayReplace(dialog, path, &job->request.replaceProtected)) return;
  }
  job->notify = dialog;
  job->finished = kExportFinishedMessage;
  SendToBar(dialog, PBM_SETPOS, 0, 0);
  EnableChoices(dialog, false);
  exportState.closeWhenStopped = false;
  exportState.job = std::move(job);
  // The bar follows the worker while it runs, and nothing wakes the program once it has ended.
  SetTimer(dialog, kProgressTimer, kProgressIntervalMs, nullptr);
  if (!StartExportJob(exportState.job.get())) {
    KillTimer(dialog, kProgressTimer);
    exportState.job.reset();
    EnableChoices(dialog, true);
    ShowError(dialog, "The export could not be started: no thread could be made for it.");
  }
}

// The worker has ended: done closes the dialog; a failure says what and where.
static void ExportEnded(HWND dialog) {
  if (exportState.job == nullptr) return;
  FinishExportJob(exportState.job.get());
  KillTimer(dialog, kProgressTimer);
  exportState.lastExportMs = timeGetTime() - exportState.job->startedMs;
  const ExportOutcome outcome = exportState.job->outcome;
  exportState.job.reset();
  const bool close = exportState.closeWhenStopped || outcome.status == kExportDone;
  exportState.closeWhenStopped = false;
  SendToBar(dialog, PBM_SETPOS, outcome.status == kExportDone ? kProgressSteps : 0, 0);
  EnableChoices(dialog, true);
  if (outcome.status != kExportDone && outcome.status != kExportCancelled) {
    ShowError(dialog, "The terrain could not be exported: " + outcome.message + ".");
  }
  if (close) DestroyWindow(dialog);
}

// "Cancel", the close button and Escape: stop a running export, else close.
static void CancelOrClose(HWND dialog, bool closing) {
  if (exportState.job == nullptr) {
    DestroyWindow(dialog);
    return;
  }
  CancelExportJob(exportState.job.get());
  exportState.closeWhenStopped = exportState.closeWhenStopped || closing;
}

void CancelRunningExport() {
  if (exportState.job != nullptr) CancelExportJob(exportState.job.get());
}

// The save-file dialog's filter for a heightmap format: its own files, then all.
static const char* FilterOf(HeightFormat format) {
  switch (format) {
    case kHeightsPng16: return "PNG 16-bit heightmaps (*.png)\0*.png\0All files (*.*)\0*.*\0";
    case kHeightsR16: return "RAW 16-bit heightmaps (*.r16)\0*.r16\0All files (*.*)\0*.*\0";
    case kHeightsFloat: break;
  }
  return "32-bit float heightmaps (*.f32)\0*.f32\0All files (*.*)\0*.*\0";
}

// The save-file dialog for the heightmap, in its format.
static void Browse(HWND dialog) {
  const HeightFormat format = CheckedFormat(dialog);
  std::vector<char> path(4096, '\0');
  const std::string shown = FieldText(dialog, kControlExportFileName);
  shown.copy(path.data(), path.size() - 1);
  OPENFILENAMEA chooser = {};
  chooser.lStructSize = sizeof chooser;
  chooser.hwndOwner = dialog;
  chooser.lpstrFilter = FilterOf(format);
  chooser.nFilterIndex = 1;
  chooser.lpstrFile = path.data();
  chooser.nMaxFile = static_cast<DWORD>(path.size());
  chooser.lpstrTitle = "Export Heightmap As";
  chooser.Flags = OFN_OVERWRITEPROMPT | OFN_PATHMUSTEXIST | OFN_HIDEREADONLY | OFN_NOCHANGEDIR;
  chooser.lpstrDefExt = HeightsExtension(format) + 1;
  if (!chooseSaveFile(&chooser)) return;
  SetDlgItemTextUtf8(dialog, kControlExportFileName, WithHeightsExtension(path.data(), format));
}

// A format chosen: the file name takes its extension.
static void FormatChosen(HWND dialog, int control) {
  CheckRadioButton(dialog, kControlHeightsPng, kControlHeightsFloat, control);
  const std::string name = FieldText(dialog, kControlExportFileName);
  SetDlgItemTextUtf8(dialog, kControlExportFileName, WithHeightsExtension(name, CheckedFormat(dialog)));
}

static INT_PTR Command(HWND dialog, int control, int notification) {
  switch (control) {
    case IDOK:
      StartExport(dialog);
      return TRUE;
    case IDCANCEL:
      CancelOrClose(dialog, false);
      return TRUE;
    case kControlExportBrowse:
      Browse(dialog);
      return TRUE;
    case kControlHeightsPng:
    case kControlHeightsR16:
    case kControlHeightsFloat:
      if (notification == BN_CLICKED) FormatChosen(dialog, control);
      return TRUE;
    default:
      return FALSE;
  }
}

INT_PTR CALLBACK ExportDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      exportDialog = dialog;
      if (!exportState.chosen) exportState.choices = DefaultExportChoices();
      ShowChoices(dialog, exportState.choices);
      SendToBar(dialog, PBM_SETRANGE32, 0, kProgressSteps);
      SendToBar(dialog, PBM_SETPOS, 0, 0);
      return TRUE;  // the focus goes to the size
    case WM_COMMAND:
      return Command(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_TIMER:
      if (wParam == kProgressTimer) ShowProgress(dialog);
      return TRUE;
    case kExportFinishedMessage:
      ExportEnded(dialog);
      return TRUE;
    case WM_CLOSE:
      CancelOrClose(dialog, true);
      return TRUE;
    case WM_DESTROY:
      // Going with the main window, or at the end: the worker stops and leaves nothing behind.
      if (exportState.job != nullptr) {
        CancelExportJob(exportState.job.get());
        FinishExportJob(exportState.job.get());
        KillTimer(dialog, kProgressTimer);
        exportState.job.reset();
      }
      exportState.choices = ChoicesShown(dialog);
      exportState.chosen = true;
      exportDialog = nullptr;
      return TRUE;
    default:
      return FALSE;
  }
}

void OpenExportDialog() {
  if (!viewedTerrain.generated) {
    showMessageBox(mainWindow, "There is no terrain to export yet: press \"Generate\" first.", "Koravel",
                   MB_OK | MB_ICONINFORMATION);
    return;
  }
  if (exportDialog != nullptr) {
    ShowWindow(exportDialog, SW_SHOW);
    SetForegroundWindow(exportDialog);
    return;
  }
  HWND dialog = CreateDialogParamA(programInstance, "ExportDlg", mainWindow, ExportDlgProc, 0);
  if (dialog == nullptr) {
    ShowError(mainWindow, "The \"Export Terrain\" dialog could not be made.");
    return;
  }
  ShowWindow(dialog, SW_SHOW);
}

bool ExportRunning() { return exportState.job != nullptr; }

uint32_t LastExportMs() { return exportState.lastExportMs; }
