// The FLTK window behind top-level windows, child windows and dialogs.
// For Fl_X::make_xid, which makes a window's X window with a given visual (as Fl_Gl_Window does).
#define FL_INTERNALS

#include "gl_binding.h"
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <algorithm>
#include <array>
#include <vector>

namespace {

class LayerWindow : public Fl_Window {
 public:
  LayerWindow(int x, int y, int width, int height, LayerWindowRole windowRole)
      : Fl_Window(x, y, width, height), role(windowRole) {}
  LayerWindow(int width, int height, LayerWindowRole windowRole) : Fl_Window(width, height), role(windowRole) {}

  const LayerWindowRole role;
  bool programHiding = false;  // hide()/show() asked for by the program, not by the window manager

  int handle(int event) override;
  void resize(int x, int y, int width, int height) override;
  void show() override;
  void hide() override;
  void draw() override;
  // Follows the window manager's iconic state of a top-level window with WM_SIZE.
  void FollowIconicState();

 private:
  WindowRecord* Record() const { return FindWindowRecord(HandleOfWidget(this)); }
};

bool IsMouseEvent(int event) {
  return event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG || event == FL_MOVE || event == FL_ENTER ||
         event == FL_MOUSEWHEEL;
}

bool IsDragAndDropEvent(int event) {
  return event == FL_DND_ENTER || event == FL_DND_DRAG || event == FL_DND_LEAVE || event == FL_DND_RELEASE;
}

int LayerWindow::handle(int event) {
  WindowRecord* record = Record();
  if (record == nullptr) return Fl_Window::handle(event);
  // The program's loop has no dialog-navigation step: keys reach the focused control and nothing else,
  // so there is no Tab or arrow navigation and there are no mnemonics. A window given the focus keeps it
  // rather than hand it to its first control. Nothing is dropped on windows or controls.
  if (event == FL_SHORTCUT && record->menuBar != nullptr && TakesInput(*record) &&
      (Fl::focus() == nullptr || contains(Fl::focus()))) {
    return record->menuBar->handle(event);  // Alt and an item's underlined letter open its menu
  }
  if (event == FL_KEYBOARD || event == FL_SHORTCUT || IsDragAndDropEvent(event)) return 0;
  if (event == FL_FOCUS) return TakesInput(*record) ? 1 : 0;
  if (IsMouseEvent(event) && !TakesInput(*record)) return 1;  // a disabled window and its children ignore the mouse
  if (event == FL_HIDE || event == FL_SHOW) {
    int result = Fl_Window::handle(event);
    FollowIconicState();
    return result;
  }
  if (record->kind == WindowKind::Dialog || !IsMouseEvent(event)) return Fl_Window::handle(event);
  if (event == FL_PUSH || event == FL_MOVE) {
    // Controls placed directly in this window take their own clicks.
    int used = Fl_Window::handle(event);
    if (event == FL_PUSH && used && Fl::pushed() != this) return used;
  } else if (event == FL_ENTER) {
    Fl_Window::handle(event);  // then reported as a move, as Windows reports the pointer's arrival
  }
  RouteMouseEvent(this, event);
  return 1;
}

// ICCCM's WM_STATE, which a window manager sets to IconicState when it iconifies a window. A window it
// unmaps for other reasons (another desktop shown) stays in NormalState.
bool WindowManagerShowsIconic(Window xid) {
  Atom wmState = XInternAtom(fl_display, "WM_STATE", False);
  Atom type = None;
  int format = 0;
  unsigned long count = 0;
  unsigned long remaining = 0;
  unsigned char* data = nullptr;
  bool iconic = false;
  if (XGetWindowProperty(fl_display, xid, wmState, 0, 1, False, AnyPropertyType, &type, &format, &count,
                         &remaining, &data) == Success &&
      data != nullptr && format == 32 && count >= 1) {
    iconic = reinterpret_cast<const long*>(data)[0] == IconicState;
  }
  if (data != nullptr) XFree(data);
  return iconic;
}

void LayerWindow::FollowIconicState() {
  WindowRecord* record = Record();
  if (record == nullptr || record->kind != WindowKind::TopLevel || role != LayerWindowRole::Whole || programHiding ||
      !shown()) {
    return;
  }
  bool iconic = WindowManagerShowsIconic(fl_xid(this));
  if (iconic == record->minimised) return;
  record->minimised = iconic;
  SendSizeMessage(*record);
}

// Sees the window manager's changes of WM_STATE before FLTK handles the X event.
int WatchWindowState(void* event, void*) {
  const XEvent* xevent = static_cast<const XEvent*>(event);
  if (xevent->type != PropertyNotify || xevent->xproperty.atom != XInternAtom(fl_display, "WM_STATE", False)) {
    return 0;
  }
  if (LayerWindow* window = dynamic_cast<LayerWindow*>(fl_find(xevent->xproperty.window))) {
    window->FollowIconicState();
  }
  return 0;
}

void WatchPropertyChanges(Window xid) {
  static bool watching = false;
  if (!watching) {
    Fl::add_system_handler(WatchWindowState, nullptr);
    watching = true;
  }
  XWindowAttributes attributes;
  if (XGetWindowAttributes(fl_display, xid, &attributes) != 0) {
    XSelectInput(fl_display, xid, attributes.your_event_mask | PropertyChangeMask);
  }
}

void LayerWindow::resize(int x, int y, int width, int height) {
  bool sized = width != w() || height != h();
  // Children stay where the program put them, as on Windows; FLTK would stretch them.
  std::vector<std::array<int, 4>> places;
  for (int n = 0; n < children(); ++n) {
    Fl_Widget* c = child(n);
    places.push_back({c->x(), c->y(), c->w(), c->h()});
  }
  Fl_Window::resize(x, y, width, height);
  for (int n = 0; n < children() && n < static_cast<int>(places.size()); ++n) {
    const auto& place = places[static_cast<size_t>(n)];
    Fl_Widget* c = child(n);
    if (c->x() != place[0] || c->y() != place[1] || c->w() != place[2] || c->h() != place[3]) {
      c->resize(place[0], place[1], place[2], place[3]);
    }
  }
  WindowRecord* record = Record();
  if (record == nullptr || role == LayerWindowRole::Client) return;
  if (record->menuBar != nullptr) {
    record->menuBar->resize(0, 0, width, kMenuBarHeight);
    record->client->resize(0, kMenuBarHeight, width, std::max(height - kMenuBarHeight, 0));
  } else if (role == LayerWindowRole::Frame && record->client != nullptr) {
    record->client->resize(1, 1, std::max(width - 2, 0), std::max(height - 2, 0));
  }
  if (sized && !record->destroying && !record->minimised) SendSizeMessage(*record);
}

// An owned window stays above its owner: FLTK makes a non-modal window transient for the first window.
void StayAboveOwner(Fl_Window* window, const WindowRecord& record) {
  WindowRecord* owner = FindWindowRecord(record.owner);
  Fl_Window* ownerWindow = owner != nullptr ? static_cast<Fl_Window*>(owner->widget) : nullptr;
  if (ownerWindow == nullptr || !ownerWindow->shown()) return;
  Fl::first_window(ownerWindow);
  window->set_non_modal();
}

void LayerWindow::show() {
  WindowRecord* record = Record();
  bool clientArea = record != nullptr && (record->client == nullptr || role == LayerWindowRole::Client);
  bool gl = clientArea && record->pixelFormat != 0 && GlVisual() != nullptr;
  bool canRealise = parent() == nullptr || (window() != nullptr && window()->shown());
  bool realising = !shown() && canRealise;
  if (realising && parent() == nullptr && record != nullptr) StayAboveOwner(this, *record);
  if (realising && gl) Fl_X::make_xid(this, GlVisual(), GlColormap());
  Fl_Window::show();
  if (realising && shown() && parent() == nullptr) {
    SetWindowClass(this);
    WatchPropertyChanges(fl_xid(this));
  }
  if (realising && gl && shown()) DrawableCreated(HandleOfWidget(this));
}

void LayerWindow::hide() {
  if (shown()) DrawableDestroying(HandleOfWidget(this));
  Fl_Window::hide();
}

void LayerWindow::draw() {
  if (role == LayerWindowRole::Frame) {
    // WS_BORDER: one pixel in the window-frame colour; the client window covers the rest.
    fl_color(FL_BLACK);
    fl_rect(0, 0, w(), h());
    return;
  }
  WindowRecord* record = Record();
  if (record != nullptr && record->client != nullptr && role == LayerWindowRole::Whole) {
    Fl_Window::draw();  // the menu bar and the client area
    return;
  }
  if (record != nullptr && record->pixelFormat != 0) {
    // OpenGL draws here, when the program asks; X lost (part of) the picture, as when a window over it went
    // away while the server keeps no pictures: the window gets WM_PAINT.
    PostPaint(record->handle);
    return;
  }
  Fl_Window::draw();
  if (record != nullptr && record->kind == WindowKind::Child && !record->text.empty()) {
    fl_font(FL_HELVETICA, 12);
    fl_color(FL_FOREGROUND_COLOR);
    fl_draw(record->text.c_str(), 2, 2, w() - 4, h() - 4, FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr,
            0);
  }
}

// The close button of a top-level window; a disabled window ignores it, as it ignores all input.
void CloseRequested(Fl_Widget* widget, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;  // FLTK's Escape-closes-window
  WindowRecord* record = FindWindowRecord(HandleOfWidget(widget));
  if (record == nullptr || !TakesInput(*record)) return;
  PostMessageA(record->handle, WM_CLOSE, 0, 0);
}

}  // namespace

Fl_Window* CreateLayerWindow(HWND handle, int x, int y, int width, int height, bool topLevel, LayerWindowRole role) {
  LayerWindow* window = nullptr;
  if (topLevel && x == CW_USEDEFAULT) {
    window = new LayerWindow(width, height, role);
  } else {
    window = new LayerWindow(x, y, width, height, role);
  }
  window->end();
  window->callback(CloseRequested, handle);
  if (!topLevel) window->resizable(nullptr);
  return window;
}

void ShowLayerWindow(Fl_Window* window, bool show) {
  LayerWindow* layerWindow = static_cast<LayerWindow*>(window);
  layerWindow->programHiding = true;
  if (show) {
    layerWindow->show();
  } else {
    layerWindow->hide();
  }
  layerWindow->programHiding = false;
}
