// The FLTK window behind top-level windows, child windows and dialogs.
// For Fl_X::make_xid, which makes a window's X window with a given visual (as Fl_Gl_Window does).
#define FL_INTERNALS

#include "gl_binding.h"
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>
#include <FL/fl_draw.H>
#include <FL/x.H>

#include <array>
#include <vector>

namespace {

class LayerWindow : public Fl_Window {
 public:
  LayerWindow(int x, int y, int width, int height) : Fl_Window(x, y, width, height) {}
  LayerWindow(int width, int height) : Fl_Window(width, height) {}

  bool programHiding = false;  // hide()/show() asked for by the program, not a minimise or restore

  int handle(int event) override;
  void resize(int x, int y, int width, int height) override;
  void show() override;
  void hide() override;
  void draw() override;

 private:
  WindowRecord* Record() const { return FindWindowRecord(HandleOfWidget(this)); }
};

bool IsMouseEvent(int event) {
  return event == FL_PUSH || event == FL_RELEASE || event == FL_DRAG || event == FL_MOVE;
}

int LayerWindow::handle(int event) {
  WindowRecord* record = Record();
  if (record == nullptr || record->kind == WindowKind::Dialog) return Fl_Window::handle(event);
  if (IsMouseEvent(event)) {
    // Controls placed directly in this window take their own clicks.
    if (event == FL_PUSH || event == FL_MOVE) {
      int used = Fl_Window::handle(event);
      if (event == FL_PUSH && used && Fl::pushed() != this) return used;
    }
    RouteMouseEvent(this, event);
    return 1;
  }
  if (event == FL_ENTER) {
    Fl_Window::handle(event);
    RouteMouseEvent(this, event);  // Windows reports the pointer's arrival as a move
    return 1;
  }
  if (event == FL_HIDE && record->kind == WindowKind::TopLevel && !programHiding && shown()) {
    // Unmapped by the window manager while the program still shows it: minimised.
    record->minimised = true;
    SendSizeMessage(*record);
  } else if (event == FL_SHOW && record->kind == WindowKind::TopLevel && !programHiding && record->minimised) {
    record->minimised = false;
    SendSizeMessage(*record);
  }
  return Fl_Window::handle(event);
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
  if (sized && record != nullptr && !record->destroying) {
    record->minimised = false;
    SendSizeMessage(*record);
  }
}

void LayerWindow::show() {
  WindowRecord* record = Record();
  bool gl = record != nullptr && record->pixelFormat != 0 && GlVisual() != nullptr;
  bool canRealise = parent() == nullptr || (window() != nullptr && window()->shown());
  bool realising = !shown() && canRealise;
  if (realising && gl) Fl_X::make_xid(this, GlVisual(), GlColormap());
  Fl_Window::show();
  if (realising && gl && shown()) DrawableCreated(HandleOfWidget(this));
}

void LayerWindow::hide() {
  if (shown()) DrawableDestroying(HandleOfWidget(this));
  Fl_Window::hide();
}

void LayerWindow::draw() {
  WindowRecord* record = Record();
  if (record != nullptr && record->pixelFormat != 0) return;  // OpenGL draws here, when the program asks
  Fl_Window::draw();
  if (record != nullptr && record->kind == WindowKind::Child && !record->text.empty()) {
    fl_font(FL_HELVETICA, 12);
    fl_color(active_r() ? FL_FOREGROUND_COLOR : fl_inactive(FL_FOREGROUND_COLOR));
    fl_draw(record->text.c_str(), 2, 2, w() - 4, h() - 4, FL_ALIGN_TOP_LEFT | FL_ALIGN_INSIDE | FL_ALIGN_WRAP, nullptr,
            0);
  }
}

// The close button of a top-level window.
void CloseRequested(Fl_Widget* widget, void*) {
  if (Fl::event() == FL_SHORTCUT && Fl::event_key() == FL_Escape) return;  // FLTK's Escape-closes-window
  PostMessageA(HandleOfWidget(widget), WM_CLOSE, 0, 0);
}

}  // namespace

Fl_Window* CreateLayerWindow(HWND handle, int x, int y, int width, int height, bool topLevel) {
  LayerWindow* window = nullptr;
  if (topLevel && x == CW_USEDEFAULT) {
    window = new LayerWindow(width, height);
  } else {
    window = new LayerWindow(x, y, width, height);
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
