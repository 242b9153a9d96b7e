// The built-in controls: buttons, check boxes, radio buttons, group boxes, edits, labels and progress bars.
#include "platform_state.h"

#include <commctrl.h>

#include <FL/Fl.H>
#include <FL/Fl_Box.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Check_Button.H>
#include <FL/Fl_Input.H>
#include <FL/Fl_Menu_Item.H>
#include <FL/Fl_Progress.H>
#include <FL/Fl_Round_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_ask.H>
#include <FL/fl_draw.H>

#include <algorithm>

namespace {

// Windows controls act on the left button only; the others are taken and ignored.
bool IsOtherMouseButton(int event) {
  if (event == FL_PUSH || event == FL_RELEASE) return Fl::event_button() != FL_LEFT_MOUSE;
  if (event == FL_DRAG) return (Fl::event_state() & FL_BUTTON1) == 0;
  return false;
}

template <class Button>
class LeftClickButton : public Button {
 public:
  LeftClickButton(int x, int y, int width, int height) : Button(x, y, width, height) {}
  int handle(int event) override { return IsOtherMouseButton(event) ? 1 : Button::handle(event); }
};

// An edit; ES_NUMBER lets only digits in from the keyboard and the clipboard. Tab is no character of
// a one-line edit, Ctrl+A selects nothing (Windows' own edit control has no such key), the middle
// button pastes nothing (the X primary selection is not Windows') and the right one opens the edit menu.
bool IsControlA() {
  return Fl::event_key() == 'a' && (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META)) == FL_CTRL;
}

class EditWidget : public Fl_Input {
 public:
  EditWidget(int x, int y, int width, int height) : Fl_Input(x, y, width, height) {}
  bool digitsOnly = false;
  int handle(int event) override;
};

bool HasNonDigit(const char* text, int length) {
  for (int i = 0; i < length; ++i) {
    unsigned char c = static_cast<unsigned char>(text[i]);
    if (c >= 0x20 && c != 0x7F && (c < '0' || c > '9')) return true;
  }
  return false;
}

// The right button opens Windows' edit menu. Its commands change the text as typing does, so the
// edit notifies its parent of each change.
void ShowEditMenu(EditWidget* edit) {
  edit->take_focus();
  const bool selected = edit->position() != edit->mark();
  const int writable = edit->readonly() ? FL_MENU_INACTIVE : 0;
  const int withSelection = selected ? 0 : FL_MENU_INACTIVE;
  const Fl_Menu_Item items[] = {
      {"&Undo", 0, nullptr, nullptr, writable | FL_MENU_DIVIDER, 0, 0, 0, 0},
      {"Cu&t", 0, nullptr, nullptr, writable | withSelection, 0, 0, 0, 0},
      {"&Copy", 0, nullptr, nullptr, withSelection, 0, 0, 0, 0},
      {"&Paste", 0, nullptr, nullptr, writable, 0, 0, 0, 0},
      {"&Delete", 0, nullptr, nullptr, writable | withSelection | FL_MENU_DIVIDER, 0, 0, 0, 0},
      {"Select &All", 0, nullptr, nullptr, edit->size() > 0 ? 0 : FL_MENU_INACTIVE, 0, 0, 0, 0},
      {nullptr, 0, nullptr, nullptr, 0, 0, 0, 0, 0}};
  const Fl_Menu_Item* chosen = items->popup(Fl::event_x(), Fl::event_y());
  if (chosen == nullptr) return;
  switch (chosen - items) {
    case 0: edit->undo(); break;
    case 1: edit->copy(1); edit->cut(); break;
    case 2: edit->copy(1); break;
    case 3: Fl::paste(*edit, 1); break;
    case 4: edit->cut(); break;
    default: edit->position(edit->size(), 0); break;
  }
}

int EditWidget::handle(int event) {
  if (event == FL_PUSH && Fl::event_button() == FL_RIGHT_MOUSE) {
    ShowEditMenu(this);
    return 1;
  }
  if (IsOtherMouseButton(event)) return 1;
  if (event == FL_KEYBOARD && (Fl::event_key() == FL_Tab || IsControlA())) return 1;
  bool typed = event == FL_KEYBOARD && (Fl::event_state() & (FL_CTRL | FL_ALT | FL_META)) == 0;
  if (digitsOnly && (typed || event == FL_PASTE) && HasNonDigit(Fl::event_text(), Fl::event_length())) {
    fl_beep();
    return 1;
  }
  return Fl_Input::handle(event);
}

// A group box: an etched frame with its text in the top edge; clicks pass through it.
class GroupBoxWidget : public Fl_Box {
 public:
  GroupBoxWidget(int x, int y, int width, int height) : Fl_Box(x, y, width, height) {}
  void draw() override;
};

void GroupBoxWidget::draw() {
  fl_font(labelfont(), labelsize());
  int textHeight = fl_height();
  int top = y() + textHeight / 2;
  draw_box(FL_ENGRAVED_FRAME, x(), top, w(), h() - textHeight / 2, color());
  const char* text = label();
  if (text == nullptr || text[0] == '\0') return;
  int textWidth = static_cast<int>(fl_width(text));
  fl_color(parent() != nullptr ? parent()->color() : FL_BACKGROUND_COLOR);
  fl_rectf(x() + 6, y(), textWidth + 4, textHeight);
  fl_color(active_r() ? labelcolor() : fl_inactive(labelcolor()));
  fl_draw(text, x() + 8, y() + textHeight - fl_descent());
}

// FLTK draws "@..." in labels as symbols; "@@" stands for one "@".
std::string LabelText(const std::string& text) {
  std::string label;
  for (char c : text) {
    label += c;
    if (c == '@') label += '@';
  }
  return label;
}

bool IsAuto(const WindowRecord& record) {
  DWORD type = record.style & 0xF;
  return type == BS_AUTOCHECKBOX || type == BS_AUTORADIOBUTTON || type == 6;  // 6: BS_AUTO3STATE
}

// An auto radio button checks itself and unchecks the other auto radio buttons of its group,
// the controls from the last one with WS_GROUP up to the next one with WS_GROUP.
void CheckAutoRadio(WindowRecord& record) {
  WindowRecord* parent = FindWindowRecord(record.parent);
  if (parent == nullptr) return;
  const auto& siblings = parent->children;
  size_t at = 0;
  while (at < siblings.size() && siblings[at] != record.handle) ++at;
  if (at == siblings.size()) return;
  auto hasGroupStyle = [&](size_t i) {
    WindowRecord* sibling = FindWindowRecord(siblings[i]);
    return sibling != nullptr && (sibling->style & WS_GROUP) != 0;
  };
  size_t first = at;
  while (first > 0 && !hasGroupStyle(first)) --first;
  size_t end = at + 1;
  while (end < siblings.size() && !hasGroupStyle(end)) ++end;
  for (size_t i = first; i < end; ++i) {
    WindowRecord* sibling = FindWindowRecord(siblings[i]);
    if (sibling != nullptr && sibling != &record && sibling->kind == WindowKind::RadioButton && IsAuto(*sibling)) {
      SetButtonChecked(*sibling, false);
    }
  }
  SetButtonChecked(record, true);
}

// FLTK has flipped a check box or radio button already; the click takes effect when its notification
// is delivered (ClickDelivered), so that a click the program no longer takes changes nothing.
void ButtonClicked(Fl_Widget* widget, void*) {
  HWND handle = HandleOfWidget(widget);
  WindowRecord* record = FindWindowRecord(handle);
  if (record == nullptr) return;
  if (record->kind == WindowKind::RadioButton || record->kind == WindowKind::CheckBox) {
    Fl_Button* button = static_cast<Fl_Button*>(widget);
    button->value(!button->value());
  }
  PostMessageA(handle, kNotifyParentMessage, BN_CLICKED, 0);
}

// A click whose button has been disabled since (with its window, say by "Single" clicked just before)
// is lost, as Windows never delivers mouse input to a disabled window; otherwise the auto styles
// check themselves and the parent is told.
bool ClickDelivered(WindowRecord& record) {
  if (!TakesInput(record)) return false;
  if (record.kind == WindowKind::RadioButton && IsAuto(record)) {
    CheckAutoRadio(record);
  } else if (record.kind == WindowKind::CheckBox && IsAuto(record)) {
    SetButtonChecked(record, !ButtonChecked(record));
  }
  return true;
}

// FLTK also calls back when nothing changed (a read-only edit being typed at); Windows does not notify then.
void EditChanged(Fl_Widget* widget, void*) {
  HWND handle = HandleOfWidget(widget);
  WindowRecord* record = FindWindowRecord(handle);
  const char* value = static_cast<Fl_Input*>(widget)->value();
  if (record == nullptr || record->text == value) return;
  record->text = value;
  PostMessageA(handle, kNotifyParentMessage, EN_CHANGE, 0);
}

// Sends WM_COMMAND to the parent; an edit's change arrives as EN_UPDATE, then EN_CHANGE.
void NotifyParent(HWND control, WORD code) {
  WindowRecord* record = FindWindowRecord(control);
  if (record == nullptr) return;
  HWND parent = record->parent;
  WPARAM id = static_cast<WPARAM>(static_cast<WORD>(record->controlId));
  LPARAM from = reinterpret_cast<LPARAM>(control);
  if (code == EN_CHANGE) {
    SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, EN_UPDATE), from);
    if (FindWindowRecord(control) == nullptr) return;
  }
  SendMessageA(parent, WM_COMMAND, MAKEWPARAM(id, code), from);
}

void ApplyFont(Fl_Widget* widget, DialogFont font) {
  widget->labelfont(static_cast<Fl_Font>(font.face));
  widget->labelsize(static_cast<Fl_Fontsize>(font.size));
}

}  // namespace

bool IsButtonKind(WindowKind kind) {
  return kind == WindowKind::PushButton || kind == WindowKind::CheckBox || kind == WindowKind::RadioButton ||
         kind == WindowKind::GroupBox;
}

Fl_Widget* CreateControlWidget(WindowRecord& record, int x, int y, int width, int height, DialogFont font) {
  void* handle = record.handle;
  Fl_Widget* widget = nullptr;
  switch (record.kind) {
    case WindowKind::CheckBox:
      widget = new LeftClickButton<Fl_Check_Button>(x, y, width, height);
      widget->callback(ButtonClicked, handle);
      break;
    case WindowKind::RadioButton: {
      Fl_Round_Button* radio = new LeftClickButton<Fl_Round_Button>(x, y, width, height);
      radio->type(FL_TOGGLE_BUTTON);
      widget = radio;
      widget->callback(ButtonClicked, handle);
      break;
    }
    case WindowKind::GroupBox:
      widget = new GroupBoxWidget(x, y, width, height);
      widget->user_data(handle);
      break;
    case WindowKind::Edit: {
      EditWidget* edit = new EditWidget(x, y, width, height);
      edit->digitsOnly = (record.style & ES_NUMBER) != 0;
      edit->readonly((record.style & ES_READONLY) != 0 ? 1 : 0);
      edit->box((record.style & WS_BORDER) != 0 || (record.exStyle & WS_EX_CLIENTEDGE) != 0 ? FL_DOWN_BOX
                                                                                              : FL_FLAT_BOX);
      edit->textfont(static_cast<Fl_Font>(font.face));
      edit->textsize(static_cast<Fl_Fontsize>(font.size));
      edit->when(FL_WHEN_CHANGED);
      edit->callback(EditChanged, handle);
      widget = edit;
      break;
    }
    case WindowKind::Label: {
      Fl_Box* label = new Fl_Box(x, y, width, height);
      Fl_Align align = FL_ALIGN_LEFT;
      if ((record.style & 0x3) == 1) align = FL_ALIGN_CENTER;  // SS_CENTER
      if ((record.style & 0x3) == 2) align = FL_ALIGN_RIGHT;   // SS_RIGHT
      // Our stand-in font runs wider than the one the layout was made for: a label with room
      // for one line only stays on it rather than wrap under the control below.
      const bool roomForTwoLines = height >= 2 * fl_height(font.face, font.size);
      label->align(align | FL_ALIGN_TOP | FL_ALIGN_INSIDE | (roomForTwoLines ? FL_ALIGN_WRAP : 0));
      label->user_data(handle);
      widget = label;
      break;
    }
    case WindowKind::Progress: {
      // The classic bar: sunken, filled in the highlight colour from the left.
      Fl_Progress* progress = new Fl_Progress(x, y, width, height);
      progress->box(FL_DOWN_BOX);
      progress->color(FL_BACKGROUND_COLOR);
      progress->selection_color(fl_rgb_color(0, 0, 128));
      progress->minimum(0.0f);
      progress->maximum(100.0f);
      progress->value(0.0f);
      progress->user_data(handle);
      widget = progress;
      break;
    }
    default:
      widget = new LeftClickButton<Fl_Button>(x, y, width, height);
      widget->callback(ButtonClicked, handle);
      break;
  }
  ApplyFont(widget, font);
  return widget;
}

namespace {

void ShowProgress(WindowRecord& record) {
  Fl_Progress* progress = static_cast<Fl_Progress*>(record.widget);
  progress->minimum(static_cast<float>(record.progressMin));
  // An empty range shows an empty bar.
  progress->maximum(static_cast<float>(std::max(record.progressMax, record.progressMin + 1)));
  progress->value(static_cast<float>(record.progressPos));
}

// The messages of msctls_progress32; the position stays within the range.
LRESULT ProgressProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam) {
  const int previousPos = record.progressPos;
  const LRESULT previousRange = MAKELONG(record.progressMin, record.progressMax);
  switch (message) {
    case PBM_SETRANGE:
      record.progressMin = LOWORD(lParam);
      record.progressMax = HIWORD(lParam);
      break;
    case PBM_SETRANGE32:
      record.progressMin = static_cast<int>(wParam);
      record.progressMax = static_cast<int>(lParam);
      break;
    case PBM_SETPOS:
      record.progressPos = static_cast<int>(wParam);
      break;
    case PBM_DELTAPOS:
      record.progressPos += static_cast<int>(wParam);
      break;
    case PBM_GETPOS:
      return record.progressPos;
    case PBM_GETRANGE:
      return wParam ? record.progressMin : record.progressMax;
    default:
      return DefWindowProcA(record.handle, message, wParam, lParam);
  }
  record.progressPos = std::min(std::max(record.progressPos, record.progressMin), record.progressMax);
  ShowProgress(record);
  const bool rangeMessage = message == PBM_SETRANGE || message == PBM_SETRANGE32;
  return rangeMessage ? previousRange : previousPos;
}

}  // namespace

BOOL InitCommonControlsEx(const INITCOMMONCONTROLSEX* controls) { return controls != nullptr ? TRUE : FALSE; }

LRESULT ControlProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam) {
  if (record.kind == WindowKind::Progress) return ProgressProc(record, message, wParam, lParam);
  if (message == kNotifyParentMessage) {
    WORD code = static_cast<WORD>(wParam);
    if (code != BN_CLICKED || ClickDelivered(record)) NotifyParent(record.handle, code);
    return 0;
  }
  return DefWindowProcA(record.handle, message, wParam, lParam);
}

void SetTextOf(WindowRecord& record, const char* text, bool notify) {
  record.text = text != nullptr ? text : "";
  if (record.widget == nullptr) return;
  switch (record.kind) {
    case WindowKind::Edit:
      static_cast<Fl_Input*>(record.widget)->value(record.text.c_str());
      if (notify) NotifyParent(record.handle, EN_CHANGE);  // as WM_SETTEXT does on Windows
      return;
    case WindowKind::TopLevel:
      record.widget->copy_label(record.text.c_str());
      return;
    case WindowKind::Child:
    case WindowKind::Dialog:
      record.widget->redraw();
      return;
    case WindowKind::GroupBox:
      record.widget->copy_label(record.text.c_str());
      break;
    default:
      record.widget->copy_label(LabelText(record.text).c_str());
      break;
  }
  if (Fl_Window* window = record.widget->window()) window->redraw();
}

std::string TextOf(const WindowRecord& record) {
  if (record.kind == WindowKind::Edit && record.widget != nullptr) {
    const char* value = static_cast<const Fl_Input*>(record.widget)->value();
    return value != nullptr ? value : "";
  }
  return record.text;
}

void SetButtonChecked(WindowRecord& record, bool checked) {
  if ((record.kind == WindowKind::CheckBox || record.kind == WindowKind::RadioButton) && record.widget != nullptr) {
    static_cast<Fl_Button*>(record.widget)->value(checked ? 1 : 0);
  }
}

bool ButtonChecked(const WindowRecord& record) {
  if ((record.kind == WindowKind::CheckBox || record.kind == WindowKind::RadioButton) && record.widget != nullptr) {
    return static_cast<const Fl_Button*>(record.widget)->value() != 0;
  }
  return false;
}
