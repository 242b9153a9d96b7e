// The message and tick loop, and the "Single" benchmark steps its ticks drive.
#pragma once

#include <windows.h>

#include <cstdint>

// Ticks fall due 5 ms apart; a "Single" run is 72 steps of 5 degrees.
constexpr uint32_t kTickIntervalMs = 5;
constexpr float kBenchmarkStepDegrees = 5.0f;

// The millisecond reading of the last tick, kept as the unsigned counter itself
// so that differences stay exact across its wrap every 2^32 ms.
struct TickClock {
  uint32_t lastTickMs;
};

extern TickClock tickClock;

void StartTickClock(uint32_t nowMs);

// Takes a tick when 5 ms or more have passed since the last one: moves the clock
// to nowMs and, while a benchmark runs, takes a benchmark step with the elapsed
// time. Returns whether a tick was taken.
bool TakeTick(uint32_t nowMs);

// Milliseconds from nowMs until the next tick falls due; 0 when it is due already.
uint32_t MsUntilNextTick(uint32_t nowMs);

// Adds tickMs to the run, turns by 5 degrees and draws; the step that reaches 360
// degrees writes "Fps: ..." into the panel and enables the panel again.
void BenchmarkStep(float tickMs);

// Translates and dispatches every queued message; the last one taken stays in message.
void DrainMessages(MSG* message);

// Runs until the quit message has been seen and returns its wParam.
int RunMainLoop();
