// The loop's ticks and a whole "Single" run with a clock the test controls.
#include <windows.h>

#include <gtest/gtest.h>

#include "app/app_state.h"
#include "app/main_loop.h"
#include "panel/config_panel.h"
#include "tests/app/app_test_support.h"

// Clicks "Single" at startMs, then ticks every stepMs until the run ends; the steps taken.
static int RunSingle(uint32_t startMs, uint32_t stepMs) {
  StartTickClock(startMs);
  EXPECT_EQ(PanelCommand(kControlSingle, BN_CLICKED), TRUE);
  EXPECT_FALSE(IsWindowEnabled(panelWindow));
  int steps = 0;
  for (uint32_t now = startMs; benchmarkState.mode == kBenchmarkSpinning && steps < 100; ++steps) {
    EXPECT_FALSE(TakeTick(now + kTickIntervalMs - 1));
    now += stepMs;
    EXPECT_TRUE(TakeTick(now));
  }
  return steps;
}

TEST(Benchmark, SingleRunsSeventyTwoStepsAndReportsTheRate) {
  ResetProgram();
  viewState.pitch = 33.0f;
  viewState.yaw = 90.0f;
  EXPECT_EQ(RunSingle(1000, 20), 72);
  EXPECT_EQ(renderStandIn.framesDrawn, 72);
  EXPECT_EQ(ControlText(kControlFps), "Fps: 50.000000");
  EXPECT_EQ(benchmarkState.mode, kBenchmarkIdle);
  EXPECT_EQ(viewState.yaw, 0.0f);
  EXPECT_EQ(viewState.pitch, 0.0f);
  EXPECT_TRUE(IsWindowEnabled(panelWindow));

  EXPECT_EQ(RunSingle(0xFFFFFF00u, 5), 72);  // across the counter's wrap, at the highest rate
  EXPECT_EQ(ControlText(kControlFps), "Fps: 200.000000");
}

TEST(Benchmark, IdleTicksOnlyMoveTheClockAndTheFirstStepReachesBack) {
  ResetProgram();
  StartTickClock(0xFFFFFFFEu);
  EXPECT_EQ(MsUntilNextTick(0xFFFFFFFFu), 4u);
  EXPECT_EQ(MsUntilNextTick(3u), 0u);
  EXPECT_TRUE(TakeTick(5u));
  EXPECT_EQ(renderStandIn.framesDrawn, 0);
  PanelCommand(kControlSingle, BN_CLICKED);
  EXPECT_TRUE(TakeTick(48u));
  EXPECT_EQ(benchmarkState.accumulatedMs, 43.0f);
  EXPECT_EQ(viewState.yaw, 5.0f);
}
