// The layer's process-wide records: window classes, windows by handle, the message queue.
#pragma once

#include <windows.h>

#include <deque>
#include <functional>
#include <memory>
#include <string>
#include <unordered_map>
#include <vector>

class Fl_Widget;
class Fl_Window;

// What stands behind a window handle.
enum class WindowKind {
  TopLevel,  // a window of a registered class without a parent
  Child,     // a child of a registered class, or a "static" created with CreateWindowExA
  Dialog,    // a dialog built from a template
  PushButton,
  CheckBox,
  RadioButton,
  GroupBox,
  Edit,
  Label,  // a "static" control of a dialog template
  Progress,  // "msctls_progress32"
};

// The FLTK font standing in for a dialog font.
struct DialogFont {
  int face = 0;
  int size = 12;
};

struct WindowClass {
  std::string name;
  WNDPROC windowProc = nullptr;
  HINSTANCE instance = nullptr;
  HBRUSH background = nullptr;  // a system colour index + 1, as the program gives it
  HICON icon = nullptr;         // what its top-level windows show in the title bar and task switcher
  std::string menuName;         // the menu its top-level windows get, when the resources hold one
};

struct WindowRecord {
  HWND handle = nullptr;
  WindowKind kind = WindowKind::Child;
  std::string className;
  WNDPROC windowProc = nullptr;  // registered classes
  DLGPROC dialogProc = nullptr;  // dialogs
  DWORD style = 0;
  DWORD exStyle = 0;
  int controlId = 0;
  HWND parent = nullptr;
  std::vector<HWND> children;  // creation order, which is also the z-order (first on top)
  Fl_Widget* widget = nullptr;
  Fl_Window* client = nullptr;  // windows with WS_BORDER: the client area inside the frame `widget` draws
  std::string text;
  bool sizeSent = false;   // a WM_SIZE has been sent since creation
  bool minimised = false;  // iconified by the window manager: the last WM_SIZE was SIZE_MINIMIZED
  bool destroying = false;
  int pixelFormat = 0;     // set by SetPixelFormat; the window then gets the GL visual
  POINT baseUnits = {0, 0};  // dialogs: the base units of their font
  HWND owner = nullptr;      // top-level windows: the window they stay above and are destroyed with
  HMENU menu = nullptr;      // top-level windows: the menu shown in their menu bar
  Fl_Widget* menuBar = nullptr;  // the bar above the client area, which is then `client`
  int progressMin = 0;       // progress controls: the range and the position
  int progressMax = 100;
  int progressPos = 0;
};

// A queued message and the state of the modifier keys when it was queued (key messages).
struct QueuedMessage : MSG {
  int keyState = 0;  // FL_SHIFT, FL_CTRL and FL_ALT as they were held
};

// A timer set with SetTimer: it posts WM_TIMER to its window every `seconds`.
struct TimerRecord {
  HWND window = nullptr;
  UINT_PTR id = 0;
  double seconds = 0.0;
};


struct PlatformState {
  std::vector<WindowClass> classes;
  std::unordered_map<uintptr_t, std::unique_ptr<WindowRecord>> windows;
  uintptr_t nextHandle = 0x10000;  // above the integer-resource range
  std::deque<QueuedMessage> queue;
  int messageKeyState = 0;  // the keyState of the message last taken from the queue
  bool quitPosted = false;
  int quitCode = 0;
  HWND focus = nullptr;
  std::vector<std::unique_ptr<TimerRecord>> timers;
  int nestedLoops = 0;  // modal loops of FLTK's (a menu, a file chooser) running inside the program's
};

PlatformState& Platform();

// The record of a live window, or null for a handle that is not one.
WindowRecord* FindWindowRecord(HWND window);
HWND NewWindowHandle();

// Lets the program's loop see the keys of its accelerator tables and of dialog navigation.
void WatchKeys();
// Notes the thread that opens the display as the layer's: the one whose queue the windows' messages go to.
void MarkLayerThread();
// Moves the messages other threads have posted into the queue; the layer's thread only.
void TakeMessagesFromOtherThreads();
// Takes the first queued message and dispatches it; false when there is none.
bool DispatchQueuedMessage();
// Runs `loop` (a modal loop of FLTK's own, such as a menu's or a file chooser's) while still
// delivering the program's queued messages, as Windows' modal loops do.
void RunNestedLoop(const std::function<void()>& loop);
// Stops the timers of a window that is going away.
void KillTimersOf(HWND window);
// The menu bar of a top-level window with a menu, `width` wide; its items post WM_COMMAND to the window.
Fl_Widget* CreateMenuBar(WindowRecord& record, int width);
constexpr int kMenuBarHeight = 20;
// Gives a top-level X window the class "koravel", which the desktop entry names (StartupWMClass).
void SetWindowClass(Fl_Window* window);

// Messages the built-in controls post to themselves; dispatching one notifies the parent.
constexpr UINT kNotifyParentMessage = WM_USER + 0x2A0;  // private to the layer's control classes

// The position of a window relative to its parent's client area, and its size.
RECT WindowBounds(const WindowRecord& record);
// The FLTK window of a window's client area: where its children, its drawing and its OpenGL go.
Fl_Window* ClientWindow(const WindowRecord& record);
// Where the client area lies inside the window (1 pixel in for WS_BORDER), and its size.
RECT ClientBounds(const WindowRecord& record);
// False when the window or one of its ancestors is disabled: it then takes no mouse or keyboard input.
bool TakesInput(const WindowRecord& record);
// Moves and sizes the widget behind a window; sends WM_SIZE when the size changed.
void PlaceWindow(WindowRecord& record, int x, int y, int width, int height);
// Sends WM_SIZE with the client area's size (or 0 x 0 when minimised).
void SendSizeMessage(WindowRecord& record);
// Creates the FLTK side of a window and attaches it to its parent's widget (hidden until shown).
bool AttachWidget(WindowRecord& record, int x, int y, int width, int height, DialogFont font);
// Makes a new record for a window; FindWindowRecord finds it from then on.
WindowRecord& AddWindowRecord(WindowKind kind, const std::string& className, HWND parent);
// Posts a mouse message for an FLTK mouse event seen by a window of the layer.
void RouteMouseEvent(Fl_Window* window, int event);
// Called when a window's GL drawable appears or is about to disappear.
void DrawableCreated(HWND window);
void DrawableDestroying(HWND window);
// Shows an OpenGL window's last frame again where the X server has lost it (a window over it went away and
// the server does not keep pictures); its WM_PAINT's default handling.
void ShowLastFrameAgain(HWND window);
// Queues WM_PAINT for a window whose picture needs painting, unless one is queued already.
void PostPaint(HWND window);

bool IsWindowKind(WindowKind kind);
// The top-level window a window belongs to (itself for a top-level one); null for none.
HWND TopLevelOf(HWND window);
// The built-in control a predefined class name ("button", "edit", "static") and style make.
bool PredefinedKind(LPCSTR className, DWORD style, WindowKind* kind, const char** canonicalName);

// Opens the X display for FLTK once; false (after one message on stderr) when there is none.
bool EnsureDisplay();

// The window behind an FLTK widget of the layer (kept in the widget's user data).
HWND HandleOfWidget(const Fl_Widget* widget);

// The FLTK side of windows and controls (layer_window.cpp, controls.cpp).
// A window has one FLTK window, or two with WS_BORDER (a frame and the client area inside it).
enum class LayerWindowRole { Whole, Frame, Client };
Fl_Window* CreateLayerWindow(HWND handle, int x, int y, int width, int height, bool topLevel,
                             LayerWindowRole role = LayerWindowRole::Whole);
// Shows or hides a top-level window without taking it for a minimise or restore.
void ShowLayerWindow(Fl_Window* window, bool show);
Fl_Widget* CreateControlWidget(WindowRecord& record, int x, int y, int width, int height, DialogFont font);
LRESULT ControlProc(WindowRecord& record, UINT message, WPARAM wParam, LPARAM lParam);
// Changes a window's text; an edit control then notifies its parent as on Windows.
void SetTextOf(WindowRecord& record, const char* text, bool notify = true);
std::string TextOf(const WindowRecord& record);
bool IsButtonKind(WindowKind kind);
// The classic scheme's colour for a class brush given as a system colour index + 1; false for others.
bool SystemBrushColour(HBRUSH brush, unsigned* rgb);
void SetButtonChecked(WindowRecord& record, bool checked);
bool ButtonChecked(const WindowRecord& record);

// Hooks for unattended runs, null in the program as shipped: a test build links
// unattended_logs.cpp, which sets them. A message box the hook answers (filling
// *answer) is not shown; every text set into a dialog control is told to the other.
extern bool (*unattendedMessageBox)(const char* caption, const char* text, UINT type, int* answer);
extern void (*unattendedControlText)(int id, const char* text);
