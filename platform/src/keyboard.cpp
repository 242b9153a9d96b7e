// Keys the program translates itself: accelerators, and the keys a dialog navigates with.
// Controls take their characters from FLTK directly; only a key that the program's loop is
// to see (one in a loaded accelerator table, or Return, Escape and Tab in a top-level dialog)
// becomes a WM_KEYDOWN, and then no control gets it.
#include "platform_state.h"
#include "resource_script.h"
#include "resources.h"

#include <FL/Fl.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Window.H>

#include <cstdio>

namespace {

std::unordered_map<uintptr_t, std::vector<AcceleratorTemplate>>& AcceleratorTables() {
  static std::unordered_map<uintptr_t, std::vector<AcceleratorTemplate>> tables;
  return tables;
}

constexpr int kModifierKeys = FL_SHIFT | FL_CTRL | FL_ALT;

// The virtual-key code of the key FLTK reports; 0 for the keys no table or dialog uses.
int VirtualKeyOf(int key) {
  if (key >= 'a' && key <= 'z') return key - 'a' + 'A';
  if (key >= '0' && key <= '9') return key;
  if (key == FL_Enter || key == FL_KP_Enter) return VK_RETURN;
  if (key == FL_Escape) return VK_ESCAPE;
  if (key == FL_Tab) return VK_TAB;
  if (key > FL_F && key <= FL_F + 12) return VK_F1 + (key - FL_F - 1);
  return 0;
}

bool Matches(const AcceleratorTemplate& entry, int virtualKey, int keyState) {
  return entry.virtualKey && entry.key == virtualKey && entry.control == ((keyState & FL_CTRL) != 0) &&
         entry.shift == ((keyState & FL_SHIFT) != 0) && entry.alt == ((keyState & FL_ALT) != 0);
}

bool InSomeTable(int virtualKey, int keyState) {
  for (const auto& table : AcceleratorTables()) {
    for (const AcceleratorTemplate& entry : table.second) {
      if (Matches(entry, virtualKey, keyState)) return true;
    }
  }
  return false;
}

bool IsNavigationKey(int virtualKey) {
  return virtualKey == VK_RETURN || virtualKey == VK_ESCAPE || virtualKey == VK_TAB;
}

// The layer's window of an FLTK widget, or null for FLTK's own windows (message boxes, choosers).
WindowRecord* RecordOf(const Fl_Widget* widget) {
  for (; widget != nullptr; widget = widget->parent()) {
    if (WindowRecord* record = FindWindowRecord(HandleOfWidget(widget))) {
      if (record->widget == widget || record->client == widget || record->menuBar == widget) return record;
    }
  }
  return nullptr;
}

bool InTopLevelDialog(HWND window) {
  WindowRecord* top = FindWindowRecord(TopLevelOf(window));
  return top != nullptr && top->kind == WindowKind::Dialog;
}

// Sees every FLTK event before FLTK delivers it: a key for the program's loop is queued instead.
int DispatchEvent(int event, Fl_Window* window) {
  if (event == FL_KEYBOARD) {
    WindowRecord* target = RecordOf(Fl::focus() != nullptr ? Fl::focus() : window);
    const int virtualKey = VirtualKeyOf(Fl::event_key());
    const int keyState = Fl::event_state() & kModifierKeys;
    if (target != nullptr && virtualKey != 0 && TakesInput(*target) &&
        (InSomeTable(virtualKey, keyState) || (IsNavigationKey(virtualKey) && InTopLevelDialog(target->handle)))) {
      QueuedMessage key;
      key.hwnd = target->handle;
      key.message = (keyState & FL_ALT) != 0 ? WM_SYSKEYDOWN : WM_KEYDOWN;
      key.wParam = static_cast<WPARAM>(virtualKey);
      key.lParam = 1;  // one stroke
      key.time = timeGetTime();
      key.keyState = keyState;
      Platform().queue.push_back(key);
      return 1;
    }
  }
  return Fl::handle_(event, window);
}

bool IsSelfOrDescendant(HWND window, HWND ancestor) {
  for (WindowRecord* record = FindWindowRecord(window); record != nullptr; record = FindWindowRecord(record->parent)) {
    if (record->handle == ancestor) return true;
  }
  return false;
}

bool CanTakeFocus(const WindowRecord& record) {
  return (record.style & WS_TABSTOP) != 0 && (record.style & WS_VISIBLE) != 0 && TakesInput(record);
}

// Tab lands on the checked radio button of a group rather than the group's first.
HWND CheckedRadioOfGroup(const std::vector<HWND>& controls, size_t at) {
  for (size_t i = at; i < controls.size(); ++i) {
    WindowRecord* record = FindWindowRecord(controls[i]);
    if (record == nullptr || (i > at && (record->style & WS_GROUP) != 0)) break;
    if (record->kind == WindowKind::RadioButton && ButtonChecked(*record)) return controls[i];
  }
  return controls[at];
}

// Tab and Shift+Tab: the next control with WS_TABSTOP, round the dialog; an edit gets its text selected.
void MoveFocus(WindowRecord& dialog, bool backwards) {
  const std::vector<HWND>& controls = dialog.children;
  if (controls.empty()) return;
  HWND focus = GetFocus();
  size_t at = controls.size();
  for (size_t i = 0; i < controls.size(); ++i) {
    if (IsSelfOrDescendant(focus, controls[i])) at = i;
  }
  const size_t count = controls.size();
  for (size_t step = 1; step <= count; ++step) {
    size_t i = 0;
    if (at == count) {
      i = backwards ? count - step : step - 1;  // from the last or the first
    } else {
      i = backwards ? (at + count - step) % count : (at + step) % count;
    }
    WindowRecord* record = FindWindowRecord(controls[i]);
    if (record == nullptr || !CanTakeFocus(*record)) continue;
    HWND target = record->kind == WindowKind::RadioButton ? CheckedRadioOfGroup(controls, i) : controls[i];
    SetFocus(target);
    WindowRecord* chosen = FindWindowRecord(target);
    if (chosen != nullptr && chosen->kind == WindowKind::Edit) {
      Fl_Input* edit = static_cast<Fl_Input*>(chosen->widget);
      edit->position(edit->size(), 0);
    }
    return;
  }
}

void SendCommand(HWND dialog, int id, HWND control) {
  SendMessageA(dialog, WM_COMMAND, MAKEWPARAM(id, BN_CLICKED), reinterpret_cast<LPARAM>(control));
}

// Return clicks the focused push button, else the default push button, else sends IDOK.
void PressReturn(WindowRecord& dialog) {
  WindowRecord* focus = FindWindowRecord(GetFocus());
  if (focus != nullptr && focus->parent == dialog.handle && focus->kind == WindowKind::PushButton) {
    SendCommand(dialog.handle, focus->controlId, focus->handle);
    return;
  }
  for (HWND child : dialog.children) {
    WindowRecord* record = FindWindowRecord(child);
    if (record != nullptr && record->kind == WindowKind::PushButton && (record->style & 0xF) == BS_DEFPUSHBUTTON) {
      if (TakesInput(*record)) SendCommand(dialog.handle, record->controlId, child);
      return;
    }
  }
  SendCommand(dialog.handle, IDOK, GetDlgItem(dialog.handle, IDOK));
}

}  // namespace

void WatchKeys() { Fl::event_dispatch(DispatchEvent); }

HACCEL LoadAcceleratorsA(HINSTANCE instance, LPCSTR name) {
  (void)instance;
  if (name == nullptr || IS_INTRESOURCE(name)) return nullptr;  // tables are found by name only
  for (const ResourceScript& script : ResourceScripts()) {
    std::vector<AcceleratorTemplate> table;
    std::string error;
    if (ParseAcceleratorTable(script.text, name, &table, &error)) {
      static uintptr_t next = 0x40000;
      next += 4;
      AcceleratorTables()[next] = table;
      return reinterpret_cast<HACCEL>(next);
    }
    if (error.rfind("no accelerator table named", 0) != 0) {
      std::fprintf(stderr, "koravel: accelerators \"%s\" in %s: %s\n", name, script.name.c_str(), error.c_str());
      return nullptr;
    }
  }
  return nullptr;
}

int TranslateAcceleratorA(HWND window, HACCEL accelerators, LPMSG message) {
  if (message == nullptr || (message->message != WM_KEYDOWN && message->message != WM_SYSKEYDOWN)) return 0;
  auto table = AcceleratorTables().find(reinterpret_cast<uintptr_t>(accelerators));
  if (table == AcceleratorTables().end() || !IsWindow(window)) return 0;
  for (const AcceleratorTemplate& entry : table->second) {
    if (Matches(entry, static_cast<int>(message->wParam), Platform().messageKeyState)) {
      SendMessageA(window, WM_COMMAND, MAKEWPARAM(entry.id, 1), 0);
      return 1;
    }
  }
  return 0;
}

BOOL IsDialogMessageA(HWND dialog, LPMSG message) {
  WindowRecord* record = FindWindowRecord(dialog);
  if (record == nullptr || message == nullptr || !IsSelfOrDescendant(message->hwnd, dialog)) return FALSE;
  if (message->message != WM_KEYDOWN) {
    DispatchMessageA(message);
    return TRUE;
  }
  switch (message->wParam) {
    case VK_TAB:
      MoveFocus(*record, (Platform().messageKeyState & FL_SHIFT) != 0);
      break;
    case VK_RETURN:
      PressReturn(*record);
      break;
    case VK_ESCAPE:
      SendCommand(dialog, IDCANCEL, GetDlgItem(dialog, IDCANCEL));
      break;
    default:
      DispatchMessageA(message);
      break;
  }
  return TRUE;
}

HWND GetFocus(void) {
  if (WindowRecord* record = RecordOf(Fl::focus())) {
    // A control's own widget, or a window's: the window of a client area or a menu bar is its owner record.
    return record->handle;
  }
  return Platform().focus;
}

BOOL SetForegroundWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(TopLevelOf(window));
  if (record == nullptr || record->widget == nullptr || !record->widget->visible()) return FALSE;
  static_cast<Fl_Window*>(record->widget)->show();  // raises a shown window
  return TRUE;
}
