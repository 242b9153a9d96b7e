// Window classes and windows: creation, placement, visibility, enabling, destruction and inspection.
#include "platform_state.h"
#include "resources.h"

#include <FL/Fl.H>
#include <FL/Fl_Group.H>
#include <FL/Fl_Window.H>

#include <algorithm>
#include <cstdio>
#include <cstring>
#include <iterator>
#include <strings.h>

namespace {

constexpr WORD kFirstClassAtom = 0xC000;

bool SameName(const std::string& a, const char* b) { return strcasecmp(a.c_str(), b) == 0; }

const WindowClass* FindClass(LPCSTR className) {
  const auto& classes = Platform().classes;
  if (className == nullptr) return nullptr;
  if (IS_INTRESOURCE(className)) {
    size_t index = reinterpret_cast<uintptr_t>(className) - kFirstClassAtom;
    return index < classes.size() ? &classes[index] : nullptr;
  }
  for (const WindowClass& windowClass : classes) {
    if (SameName(windowClass.name, className)) return &windowClass;
  }
  return nullptr;
}

}  // namespace

// The built-in control a predefined class name and style make; dialog templates use it too.
bool PredefinedKind(LPCSTR className, DWORD style, WindowKind* kind, const char** canonicalName) {
  if (className == nullptr || IS_INTRESOURCE(className)) return false;
  if (strcasecmp(className, "static") == 0) {
    *kind = WindowKind::Child;
    *canonicalName = "Static";
    return true;
  }
  if (strcasecmp(className, "edit") == 0) {
    *kind = WindowKind::Edit;
    *canonicalName = "Edit";
    return true;
  }
  if (strcasecmp(className, "msctls_progress32") == 0) {
    *kind = WindowKind::Progress;
    *canonicalName = "msctls_progress32";
    return true;
  }
  if (strcasecmp(className, "button") == 0) {
    *canonicalName = "Button";
    switch (style & 0xF) {
      case BS_CHECKBOX:
      case BS_AUTOCHECKBOX:
      case 5:  // BS_3STATE
      case 6:  // BS_AUTO3STATE
        *kind = WindowKind::CheckBox;
        break;
      case BS_RADIOBUTTON:
      case BS_AUTORADIOBUTTON:
        *kind = WindowKind::RadioButton;
        break;
      case BS_GROUPBOX:
        *kind = WindowKind::GroupBox;
        break;
      default:
        *kind = WindowKind::PushButton;
        break;
    }
    return true;
  }
  return false;
}

namespace {

void RemoveRecords(HWND window) {
  PlatformState& state = Platform();
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return;
  std::vector<HWND> children = record->children;
  for (HWND child : children) RemoveRecords(child);
  auto& queue = state.queue;
  queue.erase(std::remove_if(queue.begin(), queue.end(), [window](const MSG& m) { return m.hwnd == window; }),
              queue.end());
  KillTimersOf(window);
  if (state.focus == window) state.focus = nullptr;
  state.windows.erase(reinterpret_cast<uintptr_t>(window));
}

void SendDestroyMessages(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return;
  record->destroying = true;
  SendMessageA(window, WM_DESTROY, 0, 0);
  record = FindWindowRecord(window);
  if (record == nullptr) return;
  std::vector<HWND> children = record->children;
  for (HWND child : children) SendDestroyMessages(child);
}

void CopyOut(const std::string& text, LPSTR buffer, int maxCount, int* copied) {
  *copied = 0;
  if (buffer == nullptr || maxCount <= 0) return;
  size_t count = std::min(text.size(), static_cast<size_t>(maxCount - 1));
  std::memcpy(buffer, text.data(), count);
  buffer[count] = '\0';
  *copied = static_cast<int>(count);
}

}  // namespace

bool IsWindowKind(WindowKind kind) {
  return kind == WindowKind::TopLevel || kind == WindowKind::Child || kind == WindowKind::Dialog;
}

// The classic scheme's system colours, by index (COLOR_SCROLLBAR to COLOR_BTNHIGHLIGHT).
bool SystemBrushColour(HBRUSH brush, unsigned* rgb) {
  static const unsigned kClassicColours[] = {
      0xC0C0C0, 0x008080, 0x000080, 0x808080, 0xC0C0C0, 0xFFFFFF, 0x000000, 0x000000, 0x000000, 0xFFFFFF, 0xC0C0C0,
      0xC0C0C0, 0x808080, 0x000080, 0xFFFFFF, 0xC0C0C0, 0x808080, 0x808080, 0x000000, 0xC0C0C0, 0xFFFFFF,
  };
  uintptr_t index = reinterpret_cast<uintptr_t>(brush) - 1;  // a brush names a system colour as its index + 1
  if (brush == nullptr || index >= std::size(kClassicColours)) return false;
  *rgb = kClassicColours[index];
  return true;
}

Fl_Window* ClientWindow(const WindowRecord& record) {
  return record.client != nullptr ? record.client : static_cast<Fl_Window*>(record.widget);
}

RECT ClientBounds(const WindowRecord& record) {
  RECT rect = {0, 0, 0, 0};
  if (record.widget == nullptr || record.minimised) return rect;
  if (record.client != nullptr) {
    rect = RECT{record.client->x(), record.client->y(), record.client->x() + record.client->w(),
                record.client->y() + record.client->h()};
  } else {
    rect.right = record.widget->w();
    rect.bottom = record.widget->h();
  }
  return rect;
}

bool TakesInput(const WindowRecord& record) {
  for (const WindowRecord* r = &record; r != nullptr; r = FindWindowRecord(r->parent)) {
    if (r->style & WS_DISABLED) return false;
  }
  return true;
}

WindowRecord& AddWindowRecord(WindowKind kind, const std::string& className, HWND parent) {
  auto record = std::make_unique<WindowRecord>();
  record->handle = NewWindowHandle();
  record->kind = kind;
  record->className = className;
  record->parent = parent;
  WindowRecord& added = *record;
  Platform().windows[reinterpret_cast<uintptr_t>(added.handle)] = std::move(record);
  if (WindowRecord* parentRecord = FindWindowRecord(parent)) parentRecord->children.push_back(added.handle);
  return added;
}

bool AttachWidget(WindowRecord& record, int x, int y, int width, int height, DialogFont font) {
  WindowRecord* parent = FindWindowRecord(record.parent);
  if (record.parent != nullptr && (parent == nullptr || !IsWindowKind(parent->kind))) {
    std::fprintf(stderr, "koravel: a child window needs a window (not a control) as its parent\n");
    return false;
  }
  Fl_Group::current(nullptr);
  width = std::max(width, 0);
  height = std::max(height, 0);
  bool topLevel = parent == nullptr;
  if (!IsWindowKind(record.kind)) {
    record.widget = CreateControlWidget(record, x, y, width, height, font);
    if (record.style & WS_DISABLED) record.widget->deactivate();  // a disabled control draws itself greyed
  } else if (topLevel && record.menu != nullptr) {
    // The menu bar along the top, the client area below it.
    Fl_Window* whole = CreateLayerWindow(record.handle, x, y, width, height, true);
    whole->begin();
    record.menuBar = CreateMenuBar(record, width);
    record.client = CreateLayerWindow(record.handle, 0, kMenuBarHeight, width, std::max(height - kMenuBarHeight, 0),
                                      false, LayerWindowRole::Client);
    whole->end();
    record.widget = whole;
  } else if (topLevel || (record.style & WS_BORDER) == 0) {
    record.widget = CreateLayerWindow(record.handle, x, y, width, height, topLevel);
  } else {
    // A child's WS_BORDER: a one-pixel frame around a client area 2 pixels smaller each way.
    Fl_Window* frame = CreateLayerWindow(record.handle, x, y, width, height, false, LayerWindowRole::Frame);
    frame->begin();
    record.client = CreateLayerWindow(record.handle, 1, 1, std::max(width - 2, 0), std::max(height - 2, 0), false,
                                      LayerWindowRole::Client);
    frame->end();
    record.widget = frame;
  }
  if (parent != nullptr) ClientWindow(*parent)->add(record.widget);
  record.widget->hide();  // until ShowWindow or WS_VISIBLE shows it
  return true;
}

RECT WindowBounds(const WindowRecord& record) {
  RECT rect = {0, 0, 0, 0};
  if (record.widget == nullptr) return rect;
  rect.left = record.widget->x();
  rect.top = record.widget->y();
  rect.right = rect.left + record.widget->w();
  rect.bottom = rect.top + record.widget->h();
  return rect;
}

void SendSizeMessage(WindowRecord& record) {
  if (!IsWindowKind(record.kind) || record.widget == nullptr) return;
  record.sizeSent = true;
  RECT client = ClientBounds(record);
  int width = client.right - client.left;
  int height = client.bottom - client.top;
  WPARAM kind = record.minimised ? SIZE_MINIMIZED : SIZE_RESTORED;
  SendMessageA(record.handle, WM_SIZE, kind, MAKELPARAM(width, height));
}

void PlaceWindow(WindowRecord& record, int x, int y, int width, int height) {
  if (record.widget == nullptr) return;
  width = std::max(width, 0);
  height = std::max(height, 0);
  // Windows of the layer send WM_SIZE themselves when their size changes (layer_window.cpp).
  record.widget->resize(x, y, width, height);
  if (Fl_Window* window = record.widget->window()) window->redraw();
}

WORD RegisterClassA(const WNDCLASSA* windowClass) {
  if (windowClass == nullptr || windowClass->lpfnWndProc == nullptr || windowClass->lpszClassName == nullptr ||
      IS_INTRESOURCE(windowClass->lpszClassName) || windowClass->lpszClassName[0] == '\0') {
    return 0;
  }
  WindowKind kind;
  const char* canonical = nullptr;
  if (FindClass(windowClass->lpszClassName) != nullptr ||
      PredefinedKind(windowClass->lpszClassName, 0, &kind, &canonical)) {
    return 0;  // the class exists already
  }
  auto& classes = Platform().classes;
  if (classes.size() >= 0x3FFF) return 0;
  WindowClass added;
  added.name = windowClass->lpszClassName;
  added.windowProc = windowClass->lpfnWndProc;
  added.instance = windowClass->hInstance;
  added.background = windowClass->hbrBackground;
  added.icon = windowClass->hIcon;
  if (windowClass->lpszMenuName != nullptr && !IS_INTRESOURCE(windowClass->lpszMenuName)) {
    added.menuName = windowClass->lpszMenuName;
  }
  classes.push_back(added);
  return static_cast<WORD>(kFirstClassAtom + classes.size() - 1);
}

HWND CreateWindowExA(DWORD exStyle, LPCSTR className, LPCSTR windowName, DWORD style, int x, int y, int width,
                     int height, HWND parent, HMENU menu, HINSTANCE instance, LPVOID param) {
  WindowKind kind = WindowKind::Child;
  const char* canonical = nullptr;
  const WindowClass* registered = FindClass(className);
  if (registered == nullptr && !PredefinedKind(className, style, &kind, &canonical)) return nullptr;
  if (parent != nullptr && FindWindowRecord(parent) == nullptr) return nullptr;
  if ((style & WS_CHILD) != 0 && parent == nullptr) return nullptr;
  if (registered != nullptr) kind = parent != nullptr && (style & WS_CHILD) ? WindowKind::Child : WindowKind::TopLevel;
  if (kind != WindowKind::TopLevel && parent == nullptr) return nullptr;
  if (!EnsureDisplay()) return nullptr;

  bool topLevel = kind == WindowKind::TopLevel;
  if (width == CW_USEDEFAULT) {
    width = topLevel ? Fl::w() * 3 / 4 : 0;
    height = topLevel ? Fl::h() * 3 / 4 : 0;
  }
  if (x == CW_USEDEFAULT && !topLevel) x = y = 0;

  WindowRecord& record = AddWindowRecord(kind, registered ? registered->name : canonical, topLevel ? nullptr : parent);
  record.windowProc = registered ? registered->windowProc : nullptr;
  record.style = style;
  record.exStyle = exStyle;
  record.controlId = topLevel ? 0 : static_cast<int>(reinterpret_cast<intptr_t>(menu));
  record.text = windowName ? windowName : "";
  if (topLevel) {
    // A top-level window's menu: the one given, else its class's, when the resources hold it.
    if (menu == nullptr && registered != nullptr && !registered->menuName.empty()) {
      menu = LoadMenuA(registered->instance, registered->menuName.c_str());
    }
    record.menu = menu;
    record.owner = TopLevelOf(parent);
  }
  HWND handle = record.handle;
  if (!AttachWidget(record, x, y, width, height, DialogFont())) {
    RemoveRecords(handle);
    return nullptr;
  }
  SetTextOf(record, record.text.c_str(), false);
  if (topLevel && registered != nullptr) GiveWindowIcon(static_cast<Fl_Window*>(record.widget), registered->icon);
  unsigned rgb = 0;
  if (registered != nullptr && SystemBrushColour(registered->background, &rgb)) {
    ClientWindow(record)->color(fl_rgb_color(static_cast<uchar>(rgb >> 16), static_cast<uchar>(rgb >> 8),
                                             static_cast<uchar>(rgb)));
  }

  CREATESTRUCTA create = CREATESTRUCTA();
  create.lpCreateParams = param;
  create.hInstance = instance;
  create.hMenu = menu;
  create.hwndParent = parent;
  create.cx = width;
  create.cy = height;
  create.x = x;
  create.y = y;
  create.style = static_cast<LONG>(style);
  create.lpszName = windowName;
  create.lpszClass = className;
  create.dwExStyle = exStyle;
  if (SendMessageA(handle, WM_CREATE, 0, reinterpret_cast<LPARAM>(&create)) == -1) {
    DestroyWindow(handle);
    return nullptr;
  }
  if (IsWindow(handle) && (style & WS_VISIBLE)) ShowWindow(handle, SW_SHOW);
  return IsWindow(handle) ? handle : nullptr;
}

BOOL ShowWindow(HWND window, int showCommand) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->widget == nullptr) return FALSE;
  BOOL wasVisible = (record->style & WS_VISIBLE) ? TRUE : FALSE;
  bool show = showCommand != SW_HIDE;
  if (show) {
    record->style |= WS_VISIBLE;
  } else {
    record->style &= ~static_cast<DWORD>(WS_VISIBLE);
  }
  if (IsWindowKind(record->kind)) {
    ShowLayerWindow(static_cast<Fl_Window*>(record->widget), show);
    record = FindWindowRecord(window);
    if (record != nullptr && show && !record->sizeSent) SendSizeMessage(*record);
  } else if (show) {
    record->widget->show();
  } else {
    record->widget->hide();
  }
  return wasVisible;
}

BOOL UpdateWindow(HWND window) {
  if (FindWindowRecord(window) == nullptr) return FALSE;
  Fl::flush();
  return TRUE;
}

HWND SetFocus(HWND window) {
  PlatformState& state = Platform();
  HWND previous = state.focus;
  if (window == nullptr) {
    state.focus = nullptr;
    return previous;
  }
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return nullptr;
  state.focus = window;
  if (record->widget != nullptr && record->widget->visible_r()) Fl::focus(record->widget);
  return previous;
}

BOOL MoveWindow(HWND window, int x, int y, int width, int height, BOOL repaint) {
  (void)repaint;
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  PlaceWindow(*record, x, y, width, height);
  return TRUE;
}

// The top-level windows a window owns, which go before it.
std::vector<HWND> OwnedWindows(HWND owner) {
  std::vector<HWND> owned;
  for (const auto& entry : Platform().windows) {
    if (entry.second->owner == owner && entry.second->handle != owner) owned.push_back(entry.second->handle);
  }
  return owned;
}

BOOL DestroyWindow(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->destroying) return FALSE;
  for (HWND owned : OwnedWindows(window)) DestroyWindow(owned);
  record = FindWindowRecord(window);
  if (record == nullptr || record->destroying) return FALSE;
  if (record->widget != nullptr) {
    if (IsWindowKind(record->kind)) {
      ShowLayerWindow(static_cast<Fl_Window*>(record->widget), false);
    } else {
      record->widget->hide();
    }
  }
  SendDestroyMessages(window);
  record = FindWindowRecord(window);
  if (record == nullptr) return TRUE;
  Fl_Widget* widget = record->widget;
  if (WindowRecord* parent = FindWindowRecord(record->parent)) {
    auto& siblings = parent->children;
    siblings.erase(std::remove(siblings.begin(), siblings.end(), window), siblings.end());
    if (widget != nullptr) ClientWindow(*parent)->remove(widget);
  }
  HMENU menu = record->menu;
  RemoveRecords(window);
  if (widget != nullptr) Fl::delete_widget(widget);
  if (menu != nullptr) DestroyMenu(menu);  // a window's menu goes with it
  return TRUE;
}

// A disabled window keeps its look and its children theirs (Windows repaints none of them); it and they
// take no input, and the keyboard focus leaves them. A disabled control draws itself greyed.
BOOL EnableWindow(HWND window, BOOL enable) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || record->widget == nullptr) return FALSE;
  BOOL wasDisabled = (record->style & WS_DISABLED) ? TRUE : FALSE;
  if (enable) {
    record->style &= ~static_cast<DWORD>(WS_DISABLED);
  } else {
    record->style |= WS_DISABLED;
  }
  if (!IsWindowKind(record->kind)) {
    if (enable) {
      record->widget->activate();
    } else {
      record->widget->deactivate();
    }
  }
  if (!enable) {
    PlatformState& state = Platform();
    for (WindowRecord* r = FindWindowRecord(state.focus); r != nullptr; r = FindWindowRecord(r->parent)) {
      if (r == record) {
        state.focus = nullptr;
        break;
      }
    }
    if (Fl::focus() != nullptr && record->widget->contains(Fl::focus())) Fl::focus(nullptr);
  }
  return wasDisabled;
}

BOOL IsWindowEnabled(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  return record != nullptr && (record->style & WS_DISABLED) == 0 ? TRUE : FALSE;
}

BOOL IsWindow(HWND window) { return FindWindowRecord(window) != nullptr ? TRUE : FALSE; }

// Visible as the program made it: a window the window manager has unmapped or iconified still is.
BOOL IsWindowVisible(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  for (; record != nullptr; record = FindWindowRecord(record->parent)) {
    if ((record->style & WS_VISIBLE) == 0) return FALSE;
  }
  return TRUE;
}

BOOL GetClientRect(HWND window, RECT* rect) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || rect == nullptr) return FALSE;
  RECT client = ClientBounds(*record);
  *rect = RECT{0, 0, client.right - client.left, client.bottom - client.top};
  return TRUE;
}

BOOL GetWindowRect(HWND window, RECT* rect) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr || rect == nullptr || record->widget == nullptr) return FALSE;
  // Widget positions are relative to the enclosing window; top-level positions are on the screen.
  LONG x = record->widget->x();
  LONG y = record->widget->y();
  for (Fl_Window* enclosing = record->widget->window(); enclosing != nullptr; enclosing = enclosing->window()) {
    x += enclosing->x();
    y += enclosing->y();
  }
  rect->left = x;
  rect->top = y;
  rect->right = x + record->widget->w();
  rect->bottom = y + record->widget->h();
  return TRUE;
}

// A child's parent, or a top-level window's owner.
HWND GetParent(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return nullptr;
  return record->parent != nullptr ? record->parent : record->owner;
}

HWND TopLevelOf(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  while (record != nullptr && record->parent != nullptr) record = FindWindowRecord(record->parent);
  return record != nullptr ? record->handle : nullptr;
}

HWND GetWindow(HWND window, UINT command) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return nullptr;
  if (command == GW_CHILD) return record->children.empty() ? nullptr : record->children.front();
  WindowRecord* parent = FindWindowRecord(record->parent);
  if (parent == nullptr) return nullptr;
  const auto& siblings = parent->children;
  auto at = std::find(siblings.begin(), siblings.end(), window);
  switch (command) {
    case GW_HWNDFIRST: return siblings.front();
    case GW_HWNDLAST: return siblings.back();
    case GW_HWNDNEXT: return at + 1 < siblings.end() ? *(at + 1) : nullptr;
    case GW_HWNDPREV: return at != siblings.begin() ? *(at - 1) : nullptr;
    default: return nullptr;
  }
}

int GetDlgCtrlID(HWND window) {
  WindowRecord* record = FindWindowRecord(window);
  return record != nullptr ? record->controlId : 0;
}

int GetClassNameA(HWND window, LPSTR className, int maxCount) {
  WindowRecord* record = FindWindowRecord(window);
  int copied = 0;
  if (record != nullptr) CopyOut(record->className, className, maxCount, &copied);
  return copied;
}

int GetWindowTextA(HWND window, LPSTR text, int maxCount) {
  WindowRecord* record = FindWindowRecord(window);
  int copied = 0;
  if (record != nullptr) {
    CopyOut(TextOf(*record), text, maxCount, &copied);
  } else if (text != nullptr && maxCount > 0) {
    text[0] = '\0';
  }
  return copied;
}

BOOL SetWindowTextA(HWND window, LPCSTR text) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return FALSE;
  SetTextOf(*record, text);
  return TRUE;
}

LONG GetWindowLongA(HWND window, int index) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return 0;
  switch (index) {
    case GWL_STYLE: return static_cast<LONG>(record->style);
    case GWL_EXSTYLE: return static_cast<LONG>(record->exStyle);
    case GWL_ID: return record->controlId;
    default: return 0;
  }
}
