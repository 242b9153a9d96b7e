// The millisecond clock of the multimedia timer, on the monotonic clock.
#include <windows.h>

#include <time.h>

DWORD timeGetTime(void) {
  timespec now;
  clock_gettime(CLOCK_MONOTONIC, &now);
  uint64_t milliseconds = static_cast<uint64_t>(now.tv_sec) * 1000u + static_cast<uint64_t>(now.tv_nsec) / 1000000u;
  return static_cast<DWORD>(milliseconds);  // wraps every 2^32 ms, as on Windows
}

// The monotonic clock already advances in whole milliseconds; there is no period to set.
MMRESULT timeBeginPeriod(UINT period) {
  (void)period;
  return TIMERR_NOERROR;
}

MMRESULT timeEndPeriod(UINT period) {
  (void)period;
  return TIMERR_NOERROR;
}
