// The message and tick loop, and the "Single" benchmark steps its ticks drive.
#pragma once

#include <windows.h>

#include <cstdint>

// Ticks fall due 5 ms apart; a "Single" run is 72 steps of 5 degrees.
constexpr uint32_t kTickIntervalMs = 5;
constexpr float kBenchmarkStepDegrees = 5.0f;

// Takes a tick when 5 ms or more have passed since the last one: moves the clock
// to nowMs and, while a benchmark runs, takes a benchmark step with the elapsed
// time. Returns whether a tick was taken.
bool TakeTick(uint32_t nowMs);

// Adds tickMs to the run, turns by 5 degrees and draws; the step that reaches 360
// degrees writes "Fps: ..." into the panel and enables the panel again.
void BenchmarkStep(float tickMs);

// Translates and dispatches every queued message; the last one taken stays in message.
void DrainMessages(MSG* message);

typedef DWORD(WINAPI* MessageWaitFunction)(DWORD count, const HANDLE* handles, BOOL waitAll, DWORD milliseconds,
                                           DWORD wakeMask);

// How the loop sleeps until the next message while no benchmark runs:
// MsgWaitForMultipleObjects unless a test has put a recorder in its place.
extern MessageWaitFunction waitForMessages;

// Runs until the quit message has been seen and returns its wParam. While no
// benchmark runs it sleeps until a message arrives, without a timeout: ticks
// matter only during a run, and "Single" starts the tick clock afresh.
int RunMainLoop();
