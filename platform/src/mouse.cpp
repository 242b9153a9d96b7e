// Mouse input: FLTK mouse events become WM_MOUSEMOVE and button messages for the window under the pointer.
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Window.H>

namespace {

// Statics without SS_NOTIFY and group boxes let the mouse through to what lies beneath, as on Windows.
bool IsTransparent(const WindowRecord& record) {
  if (record.kind == WindowKind::GroupBox) return true;
  bool isStatic = record.kind == WindowKind::Label || (record.kind == WindowKind::Child && record.windowProc == nullptr);
  return isStatic && (record.style & SS_NOTIFY) == 0;
}

// The window under a point given in the client coordinates of `container`; the point comes back
// in the client coordinates of the window found.
HWND WindowAtPoint(WindowRecord& container, int* x, int* y) {
  for (HWND child : container.children) {
    WindowRecord* record = FindWindowRecord(child);
    if (record == nullptr || record->widget == nullptr || !record->widget->visible() || IsTransparent(*record)) {
      continue;
    }
    RECT bounds = WindowBounds(*record);
    if (*x >= bounds.left && *x < bounds.right && *y >= bounds.top && *y < bounds.bottom) {
      RECT client = ClientBounds(*record);
      *x -= bounds.left + client.left;
      *y -= bounds.top + client.top;
      if (!IsWindowKind(record->kind)) return record->handle;
      return WindowAtPoint(*record, x, y);
    }
  }
  return container.handle;
}

UINT MessageFor(int event, int button) {
  if (event == FL_MOVE || event == FL_DRAG || event == FL_ENTER) return WM_MOUSEMOVE;
  bool down = event == FL_PUSH;
  if (button == FL_LEFT_MOUSE) return down ? WM_LBUTTONDOWN : WM_LBUTTONUP;
  if (button == FL_RIGHT_MOUSE) return down ? WM_RBUTTONDOWN : WM_RBUTTONUP;
  return 0;
}

// MK_ flags of the buttons held once the event has taken effect.
WPARAM ButtonsHeld(int event, int button) {
  int state = Fl::event_state();
  bool left = (state & FL_BUTTON1) != 0;
  bool right = (state & FL_BUTTON3) != 0;
  if (button == FL_LEFT_MOUSE && event == FL_PUSH) left = true;
  if (button == FL_LEFT_MOUSE && event == FL_RELEASE) left = false;
  if (button == FL_RIGHT_MOUSE && event == FL_PUSH) right = true;
  if (button == FL_RIGHT_MOUSE && event == FL_RELEASE) right = false;
  return (left ? MK_LBUTTON : 0) | (right ? MK_RBUTTON : 0);
}

// The last mouse message posted; FLTK repeats a move after a release, which Windows does not.
struct LastMouseMessage {
  HWND window = nullptr;
  UINT message = 0;
  WPARAM keys = 0;
  LPARAM position = 0;
};

LastMouseMessage lastMouseMessage;

bool RepeatsLastMessage(HWND window, UINT message, WPARAM keys, LPARAM position) {
  const LastMouseMessage& last = lastMouseMessage;
  return message == WM_MOUSEMOVE && last.window == window && last.keys == keys && last.position == position;
}

}  // namespace

void RouteMouseEvent(Fl_Window* window, int event) {
  int button = event == FL_PUSH || event == FL_RELEASE ? Fl::event_button() : 0;
  UINT message = MessageFor(event, button);
  if (message == 0) return;
  // Event coordinates are relative to `window`; take them to the top-level window's client area.
  int x = Fl::event_x();
  int y = Fl::event_y();
  Fl_Window* top = window;
  for (; top->window() != nullptr; top = top->window()) {
    x += top->x();
    y += top->y();
  }
  WindowRecord* topRecord = FindWindowRecord(HandleOfWidget(top));
  if (topRecord == nullptr) return;
  // Into the client area's coordinates: a menu bar lies above it.
  const RECT client = ClientBounds(*topRecord);
  x -= client.left;
  y -= client.top;
  if (x < 0 || y < 0 || x >= client.right - client.left || y >= client.bottom - client.top) return;
  // The mouse is not captured: a drag that leaves for another window is not followed there.
  HWND target = WindowAtPoint(*topRecord, &x, &y);
  WindowRecord* record = FindWindowRecord(target);
  if (record == nullptr || (record->kind != WindowKind::TopLevel && record->kind != WindowKind::Child)) return;
  if (!TakesInput(*record)) return;
  WPARAM keys = ButtonsHeld(event, button);
  LPARAM position = MAKELPARAM(x, y);
  if (RepeatsLastMessage(target, message, keys, position)) return;
  lastMouseMessage = LastMouseMessage{target, message, keys, position};
  PostMessageA(target, message, keys, position);
  Platform().queue.back().pt = POINT{Fl::event_x_root(), Fl::event_y_root()};
}
