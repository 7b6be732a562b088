#include "logger/live_frame.h"

#include <gtest/gtest.h>

#include <string>

namespace {

// Builds a frame field by field, in the logger's order.
struct FrameBuilder {
  std::string clock = "301425120307";  // mm hh dd MM yy ss
  std::string battery = "180";
  char spare = '0';
  char rate = '4';
  std::string channels[16];
  std::string memory = "000031";
  char end = '\r';

  FrameBuilder() {
    for (auto &c : channels) c = "02238";
  }
  std::string Text() const {
    std::string f = clock + battery + spare + rate;
    for (const auto &c : channels) f += c;
    return f + memory + end;
  }
};

TEST(LiveFrame, FieldsInTheLoggersOrder) {
  FrameBuilder b;
  const std::string text = b.Text();
  ASSERT_EQ(text.size(), kFrameSize);
  const auto f = DecodeLiveFrame(text);
  ASSERT_TRUE(f);
  EXPECT_EQ(f->TimeText(), "14:30:07");
  EXPECT_EQ(f->DateText(), "25/12/2003");
  EXPECT_EQ(f->RateCode, 4);
  EXPECT_DOUBLE_EQ(f->BatteryLevel(), 90.0);
  EXPECT_DOUBLE_EQ(f->MemoryCount, 0.0);
  for (double v : f->Channels) EXPECT_DOUBLE_EQ(v, 25.0);
}

TEST(LiveFrame, ChannelValuesLandOnTheirOwnChannel) {
  FrameBuilder b;
  b.channels[0] = "00500";
  b.channels[1] = "00000";
  b.channels[7] = "15255";
  b.channels[15] = "99999";
  b.clock = "050923110302";  // single-digit fields come out padded
  const auto f = DecodeLiveFrame(b.Text());
  ASSERT_TRUE(f);
  EXPECT_DOUBLE_EQ(f->Channels[0], 0.0);
  EXPECT_DOUBLE_EQ(f->Channels[1], -50.0);
  EXPECT_DOUBLE_EQ(f->Channels[7], 359.5);
  EXPECT_NEAR(f->Channels[15], 2584.3, 1e-9);
  EXPECT_DOUBLE_EQ(f->Channels[2], 25.0);
  EXPECT_EQ(f->TimeText(), "09:05:02");
  EXPECT_EQ(f->DateText(), "23/11/2003");
}

TEST(LiveFrame, MemoryCountAndBattery) {
  FrameBuilder b;
  b.memory = "000000";
  EXPECT_DOUBLE_EQ(DecodeLiveFrame(b.Text())->MemoryCount, -0.96875);
  b.memory = "001000";
  EXPECT_DOUBLE_EQ(DecodeLiveFrame(b.Text())->MemoryCount, 7.03125);
  b.memory = "000096";
  EXPECT_DOUBLE_EQ(DecodeLiveFrame(b.Text())->MemoryCount, 2.03125);
  b.battery = "152";
  EXPECT_DOUBLE_EQ(DecodeLiveFrame(b.Text())->BatteryLevel(), 76.0);
  b.battery = "250";
  EXPECT_DOUBLE_EQ(DecodeLiveFrame(b.Text())->BatteryLevel(), 125.0);
  b.rate = '7';
  EXPECT_EQ(DecodeLiveFrame(b.Text())->RateCode, 7);
}

TEST(LiveFrame, WholeFrameIsCheckedBeforeAnythingIsDecoded) {
  FrameBuilder b;
  b.end = 'Z';  // position 104 is never read
  EXPECT_TRUE(DecodeLiveFrame(b.Text()));
  const std::string good = b.Text();
  for (std::size_t pos : {0u, 16u, 50u, 97u, 102u}) {
    std::string bad = good;
    bad[pos] = 'A';
    EXPECT_FALSE(DecodeLiveFrame(bad)) << "letter at " << pos + 1;
  }
  EXPECT_FALSE(DecodeLiveFrame(good.substr(0, 103)));
  EXPECT_FALSE(DecodeLiveFrame(good + "0"));
}

TEST(FrameAccumulator, SplitFramesAreJoined) {
  const std::string frame = FrameBuilder().Text();
  TFrameAccumulator acc;
  EXPECT_FALSE(acc.Feed(frame.substr(0, 60)));
  auto out = acc.Feed(frame.substr(60));
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, frame);
  EXPECT_TRUE(acc.Text().empty());
  // One character at a time works as well.
  int frames = 0;
  for (char c : frame)
    if (acc.Feed(std::string(1, c))) ++frames;
  EXPECT_EQ(frames, 1);
}

TEST(FrameAccumulator, OverlongTextIsDroppedAtTheNextPiece) {
  const std::string frame = FrameBuilder().Text();
  TFrameAccumulator acc;
  EXPECT_FALSE(acc.Feed(frame.substr(0, 60)));
  EXPECT_FALSE(acc.Feed(std::string(50, '1')));  // 110: not a frame
  EXPECT_EQ(acc.Text().size(), 110u);
  // Above 105 at the start of a piece: emptied, then the piece counts alone.
  auto out = acc.Feed(frame);
  ASSERT_TRUE(out);
  EXPECT_EQ(*out, frame);
}

TEST(FrameAccumulator, ExactlyOneHundredFiveIsKept) {
  const std::string frame = FrameBuilder().Text();
  TFrameAccumulator acc;
  EXPECT_FALSE(acc.Feed(frame + "9"));  // 105 characters
  EXPECT_EQ(acc.Text().size(), 105u);
  EXPECT_FALSE(acc.Feed("1"));  // kept, appended: 106
  EXPECT_EQ(acc.Text().size(), 106u);
  EXPECT_TRUE(acc.Feed(frame));  // 106 dropped first
}

TEST(FrameAccumulator, GluedFramesAndGarbageNeverFreeze) {
  const std::string frame = FrameBuilder().Text();
  TFrameAccumulator acc;
  // Two frames glued in one piece are too long; reception goes on and the
  // next frame on its own is taken.
  EXPECT_FALSE(acc.Feed(frame + frame));
  EXPECT_TRUE(acc.Feed(frame));
  // A 103-character fragment followed by a frame: 207, dropped at the next.
  EXPECT_FALSE(acc.Feed(frame.substr(0, 103)));
  EXPECT_FALSE(acc.Feed(frame));
  EXPECT_TRUE(acc.Feed(frame));
}

}  // namespace
