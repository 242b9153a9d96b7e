// Dialogs built from templates, and the dialog-item functions.
#include "resource_script.h"
#include "platform_state.h"
#include "resources.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>

#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <strings.h>

namespace {

// a * b / c rounded half away from zero, as MulDiv does.
int MulDiv(int a, int b, int c) {
  long long product = static_cast<long long>(a) * b;
  long long half = c / 2;
  return static_cast<int>(product >= 0 ? (product + half) / c : (product - half) / c);
}

// The FLTK font for a dialog font. Windows' "MS Sans Serif" and its kin are sans-serif faces
// whose character cell is MulDiv(points, 96, 72) + 2 pixels high at 96 dpi (13 for 8 points);
// the largest Helvetica that fits that cell stands in for them.
DialogFont DialogFontFor(const std::string& faceName, int pointSize) {
  DialogFont font;
  font.face = FL_HELVETICA;
  if (strncasecmp(faceName.c_str(), "Courier", 7) == 0) font.face = FL_COURIER;
  if (strncasecmp(faceName.c_str(), "Times", 5) == 0) font.face = FL_TIMES;
  int cell = MulDiv(pointSize, 96, 72) + 2;
  font.size = 6;
  for (int size = cell; size > 6; --size) {
    fl_font(static_cast<Fl_Font>(font.face), static_cast<Fl_Fontsize>(size));
    if (fl_height() <= cell) {
      font.size = size;
      break;
    }
  }
  return font;
}

// Dialog base units as Windows computes them from a font: the average width of the 52 letters
// (rounded as GdiGetCharDimensions does) and the character height.
POINT DialogBaseUnits(DialogFont font) {
  fl_font(static_cast<Fl_Font>(font.face), static_cast<Fl_Fontsize>(font.size));
  int letters = static_cast<int>(fl_width("ABCDEFGHIJKLMNOPQRSTUVWXYZabcdefghijklmnopqrstuvwxyz") + 0.5);
  return POINT{(letters / 26 + 1) / 2, fl_height()};
}

// A place in dialog units in pixels; like Windows, the size is converted apart from the position.
struct PixelPlace {
  int x;
  int y;
  int width;
  int height;
};

PixelPlace ToPixels(POINT baseUnits, int x, int y, int width, int height) {
  return PixelPlace{MulDiv(x, baseUnits.x, 4), MulDiv(y, baseUnits.y, 8), MulDiv(width, baseUnits.x, 4),
                    MulDiv(height, baseUnits.y, 8)};
}

// The control a template item makes: as CreateWindowExA makes a predefined class, except that a "static"
// is a label.
bool ControlKind(const DialogItemTemplate& item, WindowKind* kind, std::string* className) {
  const char* canonicalName = nullptr;
  if (!PredefinedKind(item.className.c_str(), item.style, kind, &canonicalName)) return false;
  if (*kind == WindowKind::Child) *kind = WindowKind::Label;
  *className = canonicalName;
  return true;
}

// Finds and reads the named dialog in the embedded resource scripts.
bool FindTemplate(const std::string& name, DialogTemplate* dialog) {
  for (const ResourceScript& script : ResourceScripts()) {
    std::string error;
    if (ParseDialogTemplate(script.text, name, dialog, &error)) return true;
    if (error.rfind("no dialog named", 0) != 0) {
      std::fprintf(stderr, "koravel: dialog \"%s\" in %s: %s\n", name.c_str(), script.name.c_str(), error.c_str());
      return false;
    }
  }
  std::fprintf(stderr, "koravel: no dialog template named \"%s\" in the program's resources\n", name.c_str());
  return false;
}

bool AddControl(WindowRecord& dialog, const DialogItemTemplate& item, DialogFont font) {
  WindowKind kind;
  std::string className;
  if (!ControlKind(item, &kind, &className)) {
    std::fprintf(stderr, "koravel: dialog control %d has the unknown class \"%s\"\n", item.id, item.className.c_str());
    return false;
  }
  WindowRecord& control = AddWindowRecord(kind, className, dialog.handle);
  control.controlId = item.id;
  control.style = item.style;
  control.exStyle = item.exStyle;
  control.text = item.text;
  PixelPlace place = ToPixels(dialog.baseUnits, item.x, item.y, item.width, item.height);
  if (!AttachWidget(control, place.x, place.y, place.width, place.height, font)) return false;
  SetTextOf(control, item.text.c_str(), false);
  if (item.style & WS_VISIBLE) control.widget->show();
  return true;
}

HWND FirstTabStop(const WindowRecord& dialog) {
  for (HWND child : dialog.children) {
    WindowRecord* record = FindWindowRecord(child);
    if (record != nullptr && (record->style & WS_TABSTOP) && (record->style & WS_VISIBLE) &&
        !(record->style & WS_DISABLED)) {
      return child;
    }
  }
  return nullptr;
}

WindowRecord* DialogItem(HWND dialog, int id) { return FindWindowRecord(GetDlgItem(dialog, id)); }

}  // namespace

HWND CreateDialogParamA(HINSTANCE instance, LPCSTR templateName, HWND parent, DLGPROC dialogProc,
                        LPARAM initParam) {
  (void)instance;
  if (templateName == nullptr || IS_INTRESOURCE(templateName)) {
    std::fprintf(stderr, "koravel: dialogs are found by name only\n");
    return nullptr;
  }
  DialogTemplate dialogTemplate;
  if (!FindTemplate(templateName, &dialogTemplate)) return nullptr;
  if (parent != nullptr && FindWindowRecord(parent) == nullptr) return nullptr;
  bool child = (dialogTemplate.style & WS_CHILD) != 0;
  if (child && parent == nullptr) return nullptr;
  if (!EnsureDisplay()) return nullptr;

  DialogFont font = DialogFontFor(dialogTemplate.fontFace.empty() ? "MS Sans Serif" : dialogTemplate.fontFace,
                                  dialogTemplate.fontPointSize > 0 ? dialogTemplate.fontPointSize : 8);
  WindowRecord& dialog = AddWindowRecord(WindowKind::Dialog, "#32770", child ? parent : nullptr);
  HWND handle = dialog.handle;
  if (!child) dialog.owner = TopLevelOf(parent);
  dialog.dialogProc = dialogProc;
  dialog.style = dialogTemplate.style;
  dialog.exStyle = dialogTemplate.exStyle;
  dialog.text = dialogTemplate.caption;
  dialog.baseUnits = DialogBaseUnits(font);
  PixelPlace place = ToPixels(dialog.baseUnits, dialogTemplate.x, dialogTemplate.y, dialogTemplate.width,
                              dialogTemplate.height);
  if (!child && (dialogTemplate.style & DS_CENTER) != 0) {
    place.x = (Fl::w() - place.width) / 2;
    place.y = (Fl::h() - place.height) / 2;
  }
  bool built = AttachWidget(dialog, place.x, place.y, place.width, place.height, font);
  if (built) {
    dialog.widget->box((dialog.exStyle & WS_EX_CLIENTEDGE) != 0 ? FL_DOWN_BOX : FL_FLAT_BOX);
    if (!child) dialog.widget->copy_label(dialog.text.c_str());
    for (const DialogItemTemplate& item : dialogTemplate.items) {
      WindowRecord* record = FindWindowRecord(handle);
      if (!AddControl(*record, item, font)) {
        built = false;
        break;
      }
    }
  }
  if (!built) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (dialogProc != nullptr) {
    HWND focus = FirstTabStop(*FindWindowRecord(handle));
    INT_PTR result = dialogProc(handle, WM_INITDIALOG, reinterpret_cast<WPARAM>(focus), initParam);
    if (result && focus != nullptr && IsWindow(focus)) SetFocus(focus);
  }
  WindowRecord* record = FindWindowRecord(handle);
  if (record == nullptr) return nullptr;
  if (record->style & WS_VISIBLE) ShowWindow(handle, SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

HWND GetDlgItem(HWND dialog, int id) {
  WindowRecord* record = FindWindowRecord(dialog);
  if (record == nullptr) return nullptr;
  for (HWND child : record->children) {
    WindowRecord* control = FindWindowRecord(child);
    if (control != nullptr && control->controlId == id) return child;
  }
  return nullptr;
}

BOOL SetDlgItemTextA(HWND dialog, int id, LPCSTR text) {
  WindowRecord* control = DialogItem(dialog, id);
  if (control == nullptr) return FALSE;
  SetTextOf(*control, text);
  if (unattendedControlText != nullptr) unattendedControlText(id, text != nullptr ? text : "");
  return TRUE;
}

UINT GetDlgItemTextA(HWND dialog, int id, LPSTR text, int maxCount) {
  int copied = GetWindowTextA(GetDlgItem(dialog, id), text, maxCount);
  return static_cast<UINT>(copied);
}

BOOL CheckDlgButton(HWND dialog, int id, UINT check) {
  WindowRecord* control = DialogItem(dialog, id);
  if (control == nullptr || !IsButtonKind(control->kind)) return FALSE;
  SetButtonChecked(*control, check != BST_UNCHECKED);
  return TRUE;
}

UINT IsDlgButtonChecked(HWND dialog, int id) {
  WindowRecord* control = DialogItem(dialog, id);
  return control != nullptr && ButtonChecked(*control) ? BST_CHECKED : BST_UNCHECKED;
}

BOOL CheckRadioButton(HWND dialog, int firstId, int lastId, int checkId) {
  WindowRecord* record = FindWindowRecord(dialog);
  if (record == nullptr) return FALSE;
  for (HWND child : record->children) {
    WindowRecord* control = FindWindowRecord(child);
    if (control != nullptr && control->controlId >= firstId && control->controlId <= lastId) {
      SetButtonChecked(*control, control->controlId == checkId);
    }
  }
  return TRUE;
}

BOOL MapDialogRect(HWND dialog, RECT* rect) {
  WindowRecord* record = FindWindowRecord(dialog);
  if (record == nullptr || record->kind != WindowKind::Dialog || rect == nullptr) return FALSE;
  POINT base = record->baseUnits;
  *rect = RECT{MulDiv(rect->left, base.x, 4), MulDiv(rect->top, base.y, 8), MulDiv(rect->right, base.x, 4),
               MulDiv(rect->bottom, base.y, 8)};
  return TRUE;
}
