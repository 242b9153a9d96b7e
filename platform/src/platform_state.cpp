// The layer's process-wide records and the X display they live on.
#include "platform_state.h"

#include <FL/Fl.H>
#include <FL/Fl_Widget.H>
#include <FL/Fl_Window.H>
#include <FL/x.H>

#include <cstdio>

PlatformState& Platform() {
  static PlatformState state;
  return state;
}

WindowRecord* FindWindowRecord(HWND window) {
  auto& windows = Platform().windows;
  auto found = windows.find(reinterpret_cast<uintptr_t>(window));
  return found == windows.end() ? nullptr : found->second.get();
}

HWND NewWindowHandle() {
  PlatformState& state = Platform();
  state.nextHandle += 4;
  return reinterpret_cast<HWND>(state.nextHandle);
}

HWND HandleOfWidget(const Fl_Widget* widget) {
  return widget == nullptr ? nullptr : static_cast<HWND>(widget->user_data());
}

bool EnsureDisplay() {
  static bool failed = false;
  if (fl_display != nullptr) return true;
  if (failed) return false;
  Display* display = XOpenDisplay(nullptr);
  if (display == nullptr) {
    const char* name = XDisplayName(nullptr);
    std::fprintf(stderr, "koravel: cannot open the X display \"%s\" (is DISPLAY set?)\n", name ? name : "");
    failed = true;
    return false;
  }
  fl_open_display(display);
  Fl::option(Fl::OPTION_DND_TEXT, false);  // Windows edits do not drag selected text about
  // Threads may post messages: Fl::awake then wakes this thread, which holds FLTK's lock but while it waits.
  MarkLayerThread();
  Fl::lock();
  WatchKeys();
  Fl_Window::default_xclass("koravel");
  return true;
}

void SetWindowClass(Fl_Window* window) {
  if (window == nullptr || !window->shown()) return;
  // FLTK would capitalise the class ("Koravel"); desktop entries match the name as written.
  XClassHint hint;
  hint.res_name = const_cast<char*>("koravel");
  hint.res_class = const_cast<char*>("koravel");
  XSetClassHint(fl_display, fl_xid(window), &hint);
}

bool (*unattendedMessageBox)(const char* caption, const char* text, UINT type, int* answer) = nullptr;
void (*unattendedControlText)(int id, const char* text) = nullptr;
