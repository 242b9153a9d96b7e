// The message queue: posting (from any thread), peeking, dispatching and sending messages, and waiting for input.
#include "platform_state.h"

#include <FL/Fl.H>

#include <mutex>
#include <thread>

namespace {

// Messages posted by threads other than the layer's, until the layer's thread takes them.
struct PostedFromOtherThreads {
  std::mutex lock;
  std::deque<MSG> messages;
};

PostedFromOtherThreads& OtherThreads() {
  static PostedFromOtherThreads posted;
  return posted;
}

std::thread::id& LayerThread() {
  static std::thread::id id = std::this_thread::get_id();  // the first caller: the one that opens the display
  return id;
}

bool OnLayerThread() { return std::this_thread::get_id() == LayerThread(); }

bool IsSelfOrDescendant(HWND window, HWND ancestor) {
  for (WindowRecord* record = FindWindowRecord(window); record != nullptr; record = FindWindowRecord(record->parent)) {
    if (record->handle == ancestor) return true;
  }
  return false;
}

bool MatchesFilter(const MSG& message, HWND window, UINT filterMin, UINT filterMax) {
  if (window == reinterpret_cast<HWND>(-1)) {
    if (message.hwnd != nullptr) return false;
  } else if (window != nullptr && !IsSelfOrDescendant(message.hwnd, window)) {
    return false;
  }
  if (filterMin == 0 && filterMax == 0) return true;
  return message.message >= filterMin && message.message <= filterMax;
}

// Lets FLTK handle whatever X has delivered, without waiting.
void PumpEvents() {
  if (EnsureDisplay()) Fl::check();
  TakeMessagesFromOtherThreads();
}

// Takes the first queued message matching the filter, or the quit message when nothing else is queued.
bool TakeMessage(LPMSG message, HWND window, UINT filterMin, UINT filterMax, bool remove) {
  PlatformState& state = Platform();
  for (auto it = state.queue.begin(); it != state.queue.end(); ++it) {
    if (MatchesFilter(*it, window, filterMin, filterMax)) {
      *message = *it;
      state.messageKeyState = it->keyState;
      if (remove) state.queue.erase(it);
      return true;
    }
  }
  if (state.quitPosted) {
    *message = MSG();
    message->message = WM_QUIT;
    message->wParam = static_cast<WPARAM>(state.quitCode);
    message->time = timeGetTime();
    if (remove) state.quitPosted = false;
    return true;
  }
  return false;
}

bool AnythingQueued() {
  TakeMessagesFromOtherThreads();
  const PlatformState& state = Platform();
  return !state.queue.empty() || state.quitPosted;
}

// Delivers the queued messages while one of FLTK's own modal loops runs inside the program's.
void DeliverDuringNestedLoop(void*) {
  static bool delivering = false;
  if (Platform().nestedLoops == 0 || delivering) return;
  delivering = true;
  TakeMessagesFromOtherThreads();
  while (DispatchQueuedMessage()) {
  }
  delivering = false;
}

constexpr double kNestedLoopTickSeconds = 0.05;

void NestedLoopTick(void*) { Fl::repeat_timeout(kNestedLoopTickSeconds, NestedLoopTick); }

}  // namespace

void MarkLayerThread() { (void)LayerThread(); }

void TakeMessagesFromOtherThreads() {
  PostedFromOtherThreads& posted = OtherThreads();
  std::deque<MSG> taken;
  {
    std::lock_guard<std::mutex> hold(posted.lock);
    taken.swap(posted.messages);
  }
  for (const MSG& message : taken) {
    // A window destroyed since loses what was posted to it, as on Windows.
    if (message.hwnd != nullptr && FindWindowRecord(message.hwnd) == nullptr) continue;
    QueuedMessage queued;
    static_cast<MSG&>(queued) = message;
    Platform().queue.push_back(queued);
  }
}

bool DispatchQueuedMessage() {
  PlatformState& state = Platform();
  if (state.queue.empty()) return false;
  QueuedMessage message = state.queue.front();
  state.queue.pop_front();
  state.messageKeyState = message.keyState;
  DispatchMessageA(&message);
  return true;
}

void RunNestedLoop(const std::function<void()>& loop) {
  static bool checking = false;
  if (!checking) {
    Fl::add_check(DeliverDuringNestedLoop);
    checking = true;
  }
  // GTK's loop (a native file chooser) lets FLTK check only when FLTK has something due: a
  // timeout keeps something due while the loop runs, and only then.
  if (Platform().nestedLoops++ == 0) Fl::add_timeout(kNestedLoopTickSeconds, NestedLoopTick);
  loop();
  if (--Platform().nestedLoops == 0) Fl::remove_timeout(NestedLoopTick);
}

BOOL PeekMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax, UINT removeMessage) {
  if (message == nullptr) return FALSE;
  PumpEvents();
  return TakeMessage(message, window, filterMin, filterMax, (removeMessage & PM_REMOVE) != 0) ? TRUE : FALSE;
}

BOOL GetMessageA(LPMSG message, HWND window, UINT filterMin, UINT filterMax) {
  if (message == nullptr) return -1;
  PumpEvents();
  while (!TakeMessage(message, window, filterMin, filterMax, true)) {
    if (!EnsureDisplay()) return -1;  // nothing could ever arrive
    Fl::wait();  // until input arrives; no timeout
  }
  return message->message == WM_QUIT ? FALSE : TRUE;
}

BOOL TranslateMessage(const MSG* message) {
  (void)message;  // key messages are not produced; controls get their characters from FLTK
  return FALSE;
}

LRESULT DispatchMessageA(const MSG* message) {
  if (message == nullptr || message->hwnd == nullptr) return 0;
  return SendMessageA(message->hwnd, message->message, message->wParam, message->lParam);
}

LRESULT SendMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  WindowRecord* record = FindWindowRecord(window);
  if (record == nullptr) return 0;
  switch (record->kind) {
    case WindowKind::TopLevel:
    case WindowKind::Child:
      if (record->windowProc != nullptr) return record->windowProc(window, message, wParam, lParam);
      return DefWindowProcA(window, message, wParam, lParam);
    case WindowKind::Dialog: {
      const INT_PTR handled = record->dialogProc != nullptr ? record->dialogProc(window, message, wParam, lParam) : FALSE;
      // What the dialog procedure leaves, the default one does: closing a dialog is its "Cancel".
      if (!handled && message == WM_CLOSE && IsWindow(window)) {
        PostMessageA(window, WM_COMMAND, MAKEWPARAM(IDCANCEL, BN_CLICKED),
                     reinterpret_cast<LPARAM>(GetDlgItem(window, IDCANCEL)));
      }
      return handled;
    }
    default:
      return ControlProc(*record, message, wParam, lParam);
  }
}

BOOL PostMessageA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  MSG posted = MSG();
  posted.hwnd = window;
  posted.message = message;
  posted.wParam = wParam;
  posted.lParam = lParam;
  posted.time = timeGetTime();
  if (!OnLayerThread()) {
    // The windows are the layer thread's: whether this one still exists is seen when it takes the message.
    PostedFromOtherThreads& other = OtherThreads();
    {
      std::lock_guard<std::mutex> hold(other.lock);
      other.messages.push_back(posted);
    }
    Fl::awake();  // wakes the layer thread's Fl::wait
    return TRUE;
  }
  if (window != nullptr && FindWindowRecord(window) == nullptr) return FALSE;
  QueuedMessage queued;
  static_cast<MSG&>(queued) = posted;
  Platform().queue.push_back(queued);
  return TRUE;
}

void PostPaint(HWND window) {
  for (const MSG& queued : Platform().queue) {
    if (queued.hwnd == window && queued.message == WM_PAINT) return;
  }
  PostMessageA(window, WM_PAINT, 0, 0);
}

void PostQuitMessage(int exitCode) {
  PlatformState& state = Platform();
  state.quitPosted = true;
  state.quitCode = exitCode;
}

LRESULT DefWindowProcA(HWND window, UINT message, WPARAM wParam, LPARAM lParam) {
  (void)wParam;
  (void)lParam;
  if (message == WM_CLOSE) DestroyWindow(window);
  if (message == WM_PAINT) ShowLastFrameAgain(window);
  return 0;
}

DWORD MsgWaitForMultipleObjects(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                DWORD wakeMask) {
  (void)handles;
  (void)waitAll;
  (void)wakeMask;
  if (AnythingQueued()) return WAIT_OBJECT_0 + count;
  if (!EnsureDisplay()) return WAIT_TIMEOUT;
  double seconds = milliseconds == INFINITE ? 1e9 : milliseconds / 1000.0;
  // Fl::wait returns when it has handled an X event or a timeout has passed.
  double handled = Fl::wait(seconds);
  if (AnythingQueued() || handled > 0) return WAIT_OBJECT_0 + count;
  return WAIT_TIMEOUT;
}
