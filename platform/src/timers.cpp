// Timers: SetTimer and KillTimer, whose WM_TIMER messages FLTK's timeouts post.
#include "platform_state.h"

#include <FL/Fl.H>

#include <algorithm>

namespace {

// Windows never sets a timer shorter than this.
constexpr UINT kShortestTimerMs = 10;

bool TimerMessageQueued(const TimerRecord& timer) {
  for (const QueuedMessage& message : Platform().queue) {
    if (message.message == WM_TIMER && message.hwnd == timer.window && message.wParam == timer.id) return true;
  }
  return false;
}

// Like Windows', a timer's WM_TIMER is queued once however often it falls due while the program is busy.
void TimerDue(void* data) {
  TimerRecord* timer = static_cast<TimerRecord*>(data);
  if (!TimerMessageQueued(*timer)) PostMessageA(timer->window, WM_TIMER, timer->id, 0);
  Fl::repeat_timeout(timer->seconds, TimerDue, data);
}

void Stop(std::vector<std::unique_ptr<TimerRecord>>::iterator at) {
  Fl::remove_timeout(TimerDue, at->get());
  PlatformState& state = Platform();
  auto& queue = state.queue;
  TimerRecord* timer = at->get();
  queue.erase(std::remove_if(queue.begin(), queue.end(),
                             [timer](const MSG& m) {
                               return m.message == WM_TIMER && m.hwnd == timer->window && m.wParam == timer->id;
                             }),
              queue.end());
  state.timers.erase(at);
}

std::vector<std::unique_ptr<TimerRecord>>::iterator Find(HWND window, UINT_PTR id) {
  auto& timers = Platform().timers;
  return std::find_if(timers.begin(), timers.end(), [&](const std::unique_ptr<TimerRecord>& timer) {
    return timer->window == window && timer->id == id;
  });
}

}  // namespace

// Timers of a window only; a timer procedure is not called (the program gives none).
UINT_PTR SetTimer(HWND window, UINT_PTR id, UINT elapseMs, TIMERPROC timerProc) {
  if (window == nullptr || timerProc != nullptr || FindWindowRecord(window) == nullptr || !EnsureDisplay()) return 0;
  auto& timers = Platform().timers;
  auto existing = Find(window, id);
  if (existing != timers.end()) Stop(existing);  // set again: it starts afresh
  auto timer = std::make_unique<TimerRecord>();
  timer->window = window;
  timer->id = id;
  timer->seconds = std::max(elapseMs, kShortestTimerMs) / 1000.0;
  Fl::add_timeout(timer->seconds, TimerDue, timer.get());
  timers.push_back(std::move(timer));
  return id;
}

BOOL KillTimer(HWND window, UINT_PTR id) {
  auto found = Find(window, id);
  if (found == Platform().timers.end()) return FALSE;
  Stop(found);
  return TRUE;
}

void KillTimersOf(HWND window) {
  auto& timers = Platform().timers;
  while (true) {
    auto found = std::find_if(timers.begin(), timers.end(),
                              [window](const std::unique_ptr<TimerRecord>& timer) { return timer->window == window; });
    if (found == timers.end()) return;
    Stop(found);
  }
}
