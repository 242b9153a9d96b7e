// The "Erosion" dialog: whether "Generate" erodes, the erosion's parameters, and "Apply" to the terrain on view.
#include "app/erosion_dialog.h"

#include <string>
#include <vector>

#include "state/app_state.h"
#include "panel/erosion_choice.h"
#include "state/message_box.h"
#include "panel/config_panel.h"

HWND erosionDialog = nullptr;

namespace {

// Each field and where its text goes.
struct ParameterField {
  int control;
  std::string ErosionChoice::*text;
};

const ParameterField kFields[] = {
    {kControlErosionSteps, &ErosionChoice::steps},        {kControlErodibility, &ErosionChoice::erodibility},
    {kControlDeposition, &ErosionChoice::deposition},    {kControlTalusAngle, &ErosionChoice::talusAngle},
    {kControlCreep, &ErosionChoice::creep},
};

std::string FieldText(HWND dialog, int control) {
  std::vector<char> text(64);
  for (;;) {
    const UINT length = GetDlgItemTextA(dialog, control, text.data(), static_cast<int>(text.size()));
    if (length + 1 < text.size()) return std::string(text.data(), length);
    text.resize(text.size() * 2);
  }
}

void ShowChoice(HWND dialog) {
  // The texts come back through EN_CHANGE and are stored unchanged.
  const ErosionChoice shown = erosionChoice;
  CheckDlgButton(dialog, kControlErodeGenerated, shown.erodeGenerated ? BST_CHECKED : BST_UNCHECKED);
  for (const ParameterField& field : kFields) SetDlgItemTextA(dialog, field.control, (shown.*field.text).c_str());
}

void ShowError(HWND owner, const std::string& text) {
  showMessageBox(owner, text.c_str(), "Koravel", MB_OK | MB_ICONERROR);
}

void Apply(HWND dialog) {
  ErosionSettings settings = DefaultErosionSettings();
  const std::string refusal = ReadErosionChoice(erosionChoice, &settings);
  if (!refusal.empty()) {
    ShowError(dialog, refusal);
    return;
  }
  if (!viewedTerrain.generated) {
    showMessageBox(dialog, "There is no terrain to erode yet: press \"Generate\" first.", "Koravel",
                   MB_OK | MB_ICONINFORMATION);
    return;
  }
  ShowTerrain(viewedTerrain.settings, viewedTerrain.flat, &settings);
}

INT_PTR Command(HWND dialog, int control, int notification) {
  switch (control) {
    case IDOK:
      Apply(dialog);
      return TRUE;
    case IDCANCEL:
      DestroyWindow(dialog);
      return TRUE;
    case kControlErodeGenerated:
      // As the panel's boxes: the click toggles the choice, and the mark follows it.
      erosionChoice.erodeGenerated = !erosionChoice.erodeGenerated;
      CheckDlgButton(dialog, kControlErodeGenerated, erosionChoice.erodeGenerated ? BST_CHECKED : BST_UNCHECKED);
      return TRUE;
    default:
      break;
  }
  for (const ParameterField& field : kFields) {
    if (field.control != control) continue;
    if (notification == EN_CHANGE) erosionChoice.*field.text = FieldText(dialog, control);
    return TRUE;
  }
  return FALSE;
}

}  // namespace

INT_PTR CALLBACK ErosionDlgProc(HWND dialog, UINT message, WPARAM wParam, LPARAM) {
  switch (message) {
    case WM_INITDIALOG:
      erosionDialog = dialog;
      ShowChoice(dialog);
      return TRUE;
    case WM_COMMAND:
      return Command(dialog, LOWORD(wParam), HIWORD(wParam));
    case WM_CLOSE:
      DestroyWindow(dialog);
      return TRUE;
    case WM_DESTROY:
      erosionDialog = nullptr;
      return TRUE;
    default:
      return FALSE;
  }
}

void OpenErosionDialog() {
  if (erosionDialog != nullptr) {
    ShowWindow(erosionDialog, SW_SHOW);
    SetForegroundWindow(erosionDialog);
    return;
  }
  HWND dialog = CreateDialogParamA(programInstance, "ErosionDlg", mainWindow, ErosionDlgProc, 0);
  if (dialog == nullptr) {
    ShowError(mainWindow, "The \"Erosion\" dialog could not be made.");
    return;
  }
  ShowWindow(dialog, SW_SHOW);
}
