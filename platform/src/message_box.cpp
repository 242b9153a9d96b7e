// Message boxes: a window with the caption, the text, the type's icon and an "OK" button (or "Yes"
// and "No"), modal for its owner; or what an unattended run's hook answers.
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Button.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <string>

namespace {

constexpr UINT kIconMask = 0xF0;
constexpr int kIconSize = 32;
constexpr int kMargin = 12;
constexpr int kButtonWidth = 75;
constexpr int kButtonHeight = 23;
constexpr int kTextMaxWidth = 420;
constexpr Fl_Fontsize kFontSize = 12;

bool HasIcon(UINT icon) {
  return icon == MB_ICONERROR || icon == MB_ICONQUESTION || icon == MB_ICONWARNING || icon == MB_ICONINFORMATION;
}

// The icons of the MB_ICON styles: a red disc with a white cross, a yellow triangle with "!", and
// blue discs with "i" and "?".
class IconWidget : public Fl_Widget {
 public:
  IconWidget(int x, int y, UINT icon) : Fl_Widget(x, y, kIconSize, kIconSize), icon_(icon) {}
  void draw() override;

 private:
  UINT icon_;
};

void IconWidget::draw() {
  const int left = x();
  const int top = y();
  if (icon_ == MB_ICONWARNING) {
    fl_color(fl_rgb_color(255, 255, 0));
    fl_polygon(left + 16, top + 1, left + 31, top + 30, left + 1, top + 30);
    fl_color(FL_BLACK);
    fl_loop(left + 16, top + 1, left + 31, top + 30, left + 1, top + 30);
    fl_rectf(left + 15, top + 10, 3, 12);
    fl_rectf(left + 15, top + 24, 3, 3);
    return;
  }
  fl_color(icon_ == MB_ICONERROR ? fl_rgb_color(255, 0, 0) : fl_rgb_color(0, 0, 255));
  fl_pie(left, top, kIconSize, kIconSize, 0.0, 360.0);
  fl_color(FL_WHITE);
  if (icon_ == MB_ICONERROR) {
    fl_line_style(FL_SOLID | FL_CAP_ROUND, 4);
    fl_line(left + 10, top + 10, left + 22, top + 22);
    fl_line(left + 22, top + 10, left + 10, top + 22);
    fl_line_style(0);
  } else if (icon_ == MB_ICONINFORMATION) {
    fl_rectf(left + 14, top + 6, 4, 4);
    fl_rectf(left + 14, top + 13, 4, 13);
  } else {
    fl_font(FL_HELVETICA_BOLD, 24);
    fl_draw("?", left, top, kIconSize, kIconSize, FL_ALIGN_CENTER, nullptr, 0);
  }
}

// The box's text as written: "@" is no FLTK symbol; long lines wrap.
class TextWidget : public Fl_Widget {
 public:
  TextWidget(int x, int y, int width, int height, const char* text)
      : Fl_Widget(x, y, width, height), text_(text) {}
  void draw() override {
    fl_font(FL_HELVETICA, kFontSize);
    fl_color(FL_FOREGROUND_COLOR);
    fl_draw(text_.c_str(), x(), y(), w(), h(), FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr, 0);
  }

 private:
  std::string text_;
};

struct OpenBox {
  bool closed = false;
  int answer = IDOK;  // the button pressed; closing a question answers "No"
};

void CloseBox(Fl_Widget*, void* box) { static_cast<OpenBox*>(box)->closed = true; }

void AnswerYes(Fl_Widget*, void* box) {
  static_cast<OpenBox*>(box)->answer = IDYES;
  static_cast<OpenBox*>(box)->closed = true;
}

void AnswerNo(Fl_Widget*, void* box) {
  static_cast<OpenBox*>(box)->answer = IDNO;
  static_cast<OpenBox*>(box)->closed = true;
}

// The box's window: icon and text side by side, the button centred below.
Fl_Window* BuildBox(const char* caption, const char* text, UINT icon, bool question, OpenBox* open) {
  int textWidth = kTextMaxWidth;
  int textHeight = 0;
  fl_font(FL_HELVETICA, kFontSize);
  fl_measure(text, textWidth, textHeight, 0);
  const int iconWidth = HasIcon(icon) ? kIconSize + kMargin : 0;
  const int bodyHeight = std::max(textHeight, HasIcon(icon) ? kIconSize : 0);
  const int buttonsWidth = question ? 2 * kButtonWidth + kMargin : kButtonWidth;
  const int width = std::max(kMargin + iconWidth + textWidth + kMargin, buttonsWidth + 2 * kMargin);
  const int height = kMargin + bodyHeight + kMargin + kButtonHeight + kMargin;

  Fl_Group::current(nullptr);
  // Centred on the screen, as Windows places its boxes.
  Fl_Window* box = new Fl_Window((Fl::w() - width) / 2, (Fl::h() - height) / 2, width, height);
  box->copy_label(caption);
  if (HasIcon(icon)) new IconWidget(kMargin, kMargin, icon);
  new TextWidget(kMargin + iconWidth, kMargin + (bodyHeight - textHeight) / 2, textWidth, textHeight, text);
  const int buttonsTop = height - kMargin - kButtonHeight;
  if (question) {
    // "Yes" and "No", side by side; closing the box answers "No".
    const int left = (width - buttonsWidth) / 2;
    Fl_Button* yes = new Fl_Button(left, buttonsTop, kButtonWidth, kButtonHeight, "Yes");
    Fl_Button* no = new Fl_Button(left + kButtonWidth + kMargin, buttonsTop, kButtonWidth, kButtonHeight, "No");
    yes->labelsize(kFontSize);
    no->labelsize(kFontSize);
    yes->shortcut(FL_Enter);
    yes->callback(AnswerYes, open);
    no->callback(AnswerNo, open);
    open->answer = IDNO;
  } else {
    Fl_Button* ok = new Fl_Button((width - kButtonWidth) / 2, buttonsTop, kButtonWidth, kButtonHeight, "OK");
    ok->labelsize(kFontSize);
    ok->shortcut(FL_Enter);
    ok->callback(CloseBox, open);
  }
  box->end();
  box->callback(CloseBox, open);  // the window's close button and Escape
  return box;
}

// Shows the box until it is closed, delivering the program's queued messages meanwhile, as the
// Windows box's own loop does; a quit message ends the box and stays queued for the program's loop.
bool RunBox(Fl_Window* box, const OpenBox& open, Fl_Window* owner) {
  if (owner != nullptr && owner->shown()) {
    // The box stays above its owner: FLTK makes a non-modal window transient for the first window.
    Fl::first_window(owner);
    box->set_non_modal();
  }
  box->show();
  SetWindowClass(box);
  PlatformState& state = Platform();
  while (!open.closed) {
    TakeMessagesFromOtherThreads();
    if (!state.queue.empty()) {
      Fl::check();
      DispatchQueuedMessage();
    } else if (state.quitPosted) {
      return false;
    } else {
      Fl::wait();  // until input arrives; no timeout
    }
  }
  return true;
}

int ShowBox(HWND owner, const char* caption, const char* text, UINT type) {
  OpenBox open;
  Fl_Window* box = BuildBox(caption, text, type & kIconMask, (type & 0xF) == MB_YESNO, &open);
  // A box with an owner is modal for it: the owner's top-level window and its children take no input.
  HWND ownerTop = TopLevelOf(owner);
  WindowRecord* ownerRecord = FindWindowRecord(ownerTop);
  bool disabledOwner = ownerRecord != nullptr && IsWindowEnabled(ownerTop);
  if (disabledOwner) EnableWindow(ownerTop, FALSE);
  bool answered = RunBox(box, open, ownerRecord != nullptr ? static_cast<Fl_Window*>(ownerRecord->widget) : nullptr);
  box->hide();
  Fl::delete_widget(box);
  if (disabledOwner && IsWindow(ownerTop)) EnableWindow(ownerTop, TRUE);
  return answered ? open.answer : 0;
}

}  // namespace

int MessageBoxA(HWND owner, LPCSTR text, LPCSTR caption, UINT type) {
  if (text == nullptr) text = "";
  if (caption == nullptr) caption = "Error";
  int answer = IDOK;
  if (unattendedMessageBox != nullptr && unattendedMessageBox(caption, text, type, &answer)) return answer;
  if (EnsureDisplay()) return ShowBox(owner, caption, text, type);
  std::fprintf(stderr, "%s: %s\n", caption, text);
  return (type & 0xF) == MB_YESNO ? IDNO : IDOK;
}
