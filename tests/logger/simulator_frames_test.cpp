#include "logger/live_frame.h"
#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

namespace {

// The simulated logger and the program must agree on every field of a frame:
// what the simulator means is what the main window shows.
TEST(SimulatorFrames, DecodeToTheValuesTheSimulatorMeant) {
  for (std::uint64_t seed : {1u, 7u, 12345u}) {
    for (std::int64_t minute = 0; minute < 24 * 60; minute += 97) {
      TLoggerState state;
      state.Clock = TSimDateTime::FromMs(TSimDateTime{2004, 2, 28, 23, 0, 0}.ToMs() + minute * 60000);
      state.Battery = 120 + static_cast<int>(minute % 80);
      state.RateCode = 4 + static_cast<int>(minute % 3);
      state.Readings = ChannelReadings(minute * 60000, seed);
      state.MemoryCount = minute % 2001;

      const std::string text = MakeLiveFrame(state);
      const auto frame = DecodeLiveFrame(text);
      ASSERT_TRUE(frame) << text;
      EXPECT_EQ(frame->Minutes, state.Clock.Minute);
      EXPECT_EQ(frame->Hours, state.Clock.Hour);
      EXPECT_EQ(frame->Day, state.Clock.Day);
      EXPECT_EQ(frame->Month, state.Clock.Month);
      EXPECT_EQ(2000 + frame->Year, state.Clock.Year);
      EXPECT_EQ(frame->Seconds, state.Clock.Second);
      EXPECT_DOUBLE_EQ(frame->BatteryLevel(), state.Battery / 2.0);
      EXPECT_EQ(frame->RateCode, state.RateCode);
      EXPECT_DOUBLE_EQ(frame->MemoryCount, static_cast<double>(state.MemoryCount));
      for (int k = 0; k < 16; ++k)
        EXPECT_DOUBLE_EQ(frame->Channels[k], ReadingToCelsius(state.Readings[k])) << "channel " << k + 1;
    }
  }
}

TEST(SimulatorFrames, FramesSplitAnywhereStillDecodeOnce) {
  TLoggerState state;
  state.Readings = ChannelReadings(0, 3);
  const std::string frame = MakeLiveFrame(state);
  const std::string stream = frame + frame + frame;
  for (std::size_t cut = 1; cut < frame.size(); cut += 7) {
    TFrameAccumulator acc;
    int decoded = 0;
    // Each frame arrives in two pieces split at `cut`.
    for (int f = 0; f < 3; ++f) {
      if (auto out = acc.Feed(std::string_view(stream).substr(f * frame.size(), cut)))
        decoded += DecodeLiveFrame(*out).has_value();
      if (auto out = acc.Feed(std::string_view(stream).substr(f * frame.size() + cut, frame.size() - cut)))
        decoded += DecodeLiveFrame(*out).has_value();
    }
    EXPECT_EQ(decoded, 3) << "cut at " << cut;
  }
}

}  // namespace
