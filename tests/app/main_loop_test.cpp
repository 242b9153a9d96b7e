// The loop's ticks and the "Single" benchmark with a clock the test controls.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/main_loop.h"
#include "panel/config_panel.h"
#include "tests/app/app_test_support.h"
#include "tests/app/render_standin.h"

// Clicks "Single" at startMs and takes a tick every stepMs until the run ends; the steps taken.
static int RunSingle(uint32_t startMs, uint32_t stepMs) {
  StartTickClock(startMs);
  PanelCommand(kControlSingle, BN_CLICKED);
  int steps = 0;
  uint32_t now = startMs;
  while (benchmarkState.mode == kBenchmarkSpinning && steps < 1000) {
    EXPECT_FALSE(IsWindowEnabled(panelWindow));
    EXPECT_FALSE(TakeTick(now + kTickIntervalMs - 1));  // not yet due
    now += stepMs;
    EXPECT_TRUE(TakeTick(now));
    ++steps;
  }
  return steps;
}

TEST(Benchmark, SingleRunOf1440MsReportsFifty) {
  ResetView();
  viewState.pitch = 33.0f;
  EXPECT_EQ(RunSingle(1000, 20), 72);
  EXPECT_EQ(renderStandIn.framesDrawn, 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 50.000000");
  EXPECT_EQ(benchmarkState.mode, kBenchmarkIdle);
  EXPECT_EQ(benchmarkState.accumulatedMs, 1440.0f);
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_TRUE(IsWindowEnabled(panelWindow));
}

TEST(Benchmark, FiveMsTicksReportTheHighestRate) {
  ResetView();
  EXPECT_EQ(RunSingle(500, 5), 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 200.000000");
  EXPECT_TRUE(IsWindowEnabled(panelWindow));
}

TEST(Benchmark, RunEndsAcrossTheCounterWrap) {
  ResetView();
  EXPECT_EQ(RunSingle(0xFFFFFE00u, 20), 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 50.000000");
  EXPECT_EQ(benchmarkState.mode, kBenchmarkIdle);
}

TEST(Benchmark, FirstStepReachesBackToTheLastTick) {
  ResetView();
  StartTickClock(100);
  EXPECT_TRUE(TakeTick(107));  // idle tick: the clock moves, nothing else
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
  EXPECT_EQ(viewState.yaw, 0.0f);
  PanelCommand(kControlSingle, BN_CLICKED);
  EXPECT_TRUE(TakeTick(150));
  EXPECT_EQ(benchmarkState.accumulatedMs, 43.0f);
  EXPECT_EQ(viewState.yaw, 5.0f);
  ResetView();
}

TEST(Benchmark, WaitLastsUntilTheNextTick) {
  StartTickClock(0xFFFFFFFEu);
  EXPECT_EQ(MsUntilNextTick(0xFFFFFFFEu), 5u);
  EXPECT_EQ(MsUntilNextTick(0xFFFFFFFFu), 4u);
  EXPECT_EQ(MsUntilNextTick(1u), 2u);
  EXPECT_EQ(MsUntilNextTick(3u), 0u);
  EXPECT_EQ(MsUntilNextTick(1000u), 0u);
}
