#include "logger/live_recorder.h"

#include "archive/archive_writer.h"
#include "logger/live_frame.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <fstream>

namespace {

constexpr std::int64_t kNoonUtcMs = 1796731200000;  // 2026-12-08 12:00:00 UTC

TLiveFrame Frame(int second, double value = 21.5) {
  TLiveFrame f;
  f.Year = 26;
  f.Month = 12;
  f.Day = 8;
  f.Hours = 13;
  f.Minutes = second / 60;
  f.Seconds = second % 60;
  for (size_t k = 0; k < f.Channels.size(); ++k) f.Channels[k] = value + static_cast<double>(k) / 10;
  return f;
}

struct TSubmits {
  std::vector<TArchiveJob> Jobs;
  TLiveRecorder::TSubmit Submit(bool queueFull = false) {
    return [this, queueFull](TArchiveJob job) {
      Jobs.push_back(std::move(job));
      return queueFull ? std::string() : "job-" + std::to_string(Jobs.size());
    };
  }
};

}  // namespace

// Which frames become readings: one per interval of the PC's clock, whatever
// the frames' own pace, the first frame of each interval taken.
TEST(LiveRecorder, KeepsOneReadingPerIntervalOfThePcClock) {
  const struct {
    const char *Name;
    int Interval;
    std::vector<std::int64_t> FrameMs;   // after noon
    std::vector<int> Taken;              // indexes into FrameMs
    std::vector<int> LoggerSecond = {};  // of each frame; empty: its index
  } cases[] = {
      {"a frame a second, every 10 s", 10, {0, 1000, 2000, 9999, 10000, 10500, 19000, 20001}, {0, 4, 7}},
      {"a frame a second, every second", 1, {0, 999, 1000, 1999, 2500, 4000}, {0, 2, 4, 5}},
      {"frames that stop for a while", 60, {59000, 60000, 61000, 300000, 301000}, {0, 1, 3}},
      {"a clock set back on the PC", 10, {20000, 5000, 6000, 21000}, {0, 1, 3}},
      {"every five minutes", 300, {0, 299999, 300000, 599999, 600000}, {0, 2, 4}},
      {"one logger second in two intervals", 1, {900, 1100, 1400, 2100}, {0, 2, 3}, {5, 5, 6, 7}},
      {"a logger second repeated all interval long", 1, {900, 1100, 1900, 2100}, {0, 3}, {5, 5, 5, 6}},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Name);
    TSubmits submits;
    TLiveRecorder recorder({"", "sala", "/dev/ttyUSB0", c.Interval, 3600}, submits.Submit());
    std::vector<int> taken;
    for (size_t i = 0; i < c.FrameMs.size(); ++i) {
      const int second = c.LoggerSecond.empty() ? static_cast<int>(i) : c.LoggerSecond[i];
      if (recorder.Feed(Frame(second), kNoonUtcMs + c.FrameMs[i])) taken.push_back(static_cast<int>(i));
    }
    EXPECT_EQ(taken, c.Taken);
  }
}

TEST(LiveRecorder, AReadingIsTheFramesTimeAndTenthsWithThePcTime) {
  TLiveFrame frame = Frame(75, -12.35);
  const std::optional<TArchiveRecord> r = LiveReading(frame, 1796731205);
  ASSERT_TRUE(r);
  EXPECT_EQ(IsoText(r->Instant), "2026-12-08T13:01:15");
  EXPECT_EQ(r->Values[0], -124);  // -12.35 is not exact in binary: nearest tenth
  EXPECT_EQ(r->Values[15], -109);
  EXPECT_EQ(r->PcTimeUtc, 1796731205);
  frame.Month = 13;
  EXPECT_FALSE(LiveReading(frame, 1796731205));
  frame = Frame(0);
  frame.Day = 31;
  frame.Month = 2;
  EXPECT_FALSE(LiveReading(frame, 1796731205));
}

// Readings go in batches, and count as kept only when the archive says its
// job is committed: a failure keeps them waiting, a job of someone else's
// is passed over, a job the queue could not take is matched in order.
TEST(LiveRecorder, CountsReadingsOnlyOnceTheArchiveCommittedThem) {
  TSubmits submits;
  TLiveRecorder recorder({"", "sala", "/dev/ttyUSB0", 1, 3}, submits.Submit());
  int changes = 0;
  recorder.OnChange = [&] { ++changes; };
  for (int s = 0; s < 7; ++s) recorder.Feed(Frame(s, 20 + s), kNoonUtcMs + s * 1000);
  ASSERT_EQ(submits.Jobs.size(), 2u);
  EXPECT_EQ(submits.Jobs[0].Records.size(), 3u);
  EXPECT_EQ(submits.Jobs[0].Origin.Kind, TOriginKind::Live);
  EXPECT_EQ(submits.Jobs[0].Logger, "sala");
  EXPECT_EQ(recorder.Kept(), 0);
  EXPECT_EQ(recorder.Waiting(), 7);

  TArchiveJobResult failed;
  failed.Job = "job-1";
  failed.Message = "el disco está lleno";
  recorder.Reported(failed);
  EXPECT_EQ(recorder.Kept(), 0);
  EXPECT_EQ(recorder.Failure(), "el disco está lleno");

  TArchiveJobResult kept;
  kept.Kind = TArchiveJobResult::TKind::Kept;
  kept.Job = "job-of-the-window";
  recorder.Reported(kept);
  EXPECT_EQ(recorder.Kept(), 0);
  kept.Job = "job-2";
  recorder.Reported(kept);
  EXPECT_EQ(recorder.Kept(), 3);
  EXPECT_EQ(recorder.Last()->Values[0], 250);
  EXPECT_TRUE(recorder.Failure().empty());
  kept.Job = "job-1";
  recorder.Reported(kept);
  recorder.Reported(kept);  // told twice, counted once
  EXPECT_EQ(recorder.Kept(), 6);
  EXPECT_EQ(recorder.Last()->Values[0], 250);  // the latest stays the latest

  // The last reading alone goes when forced (the recording ends).
  recorder.Flush(kNoonUtcMs + 7000, true);
  ASSERT_EQ(submits.Jobs.size(), 3u);
  EXPECT_EQ(submits.Jobs[2].Records.size(), 1u);
  EXPECT_EQ(changes, 3);

  TSubmits full;
  TLiveRecorder inMemory({"", "sala", "/dev/ttyUSB0", 10, 10}, full.Submit(true));
  for (int s = 0; s < 4; ++s) inMemory.Feed(Frame(s * 10), kNoonUtcMs + s * 10000);
  ASSERT_EQ(full.Jobs.size(), 4u);
  TArchiveJobResult memory;
  memory.Kind = TArchiveJobResult::TKind::Kept;
  // A download the queue could not take either, kept the same way, is not
  // one of the recorder's readings.
  TArchiveJobResult download = memory;
  inMemory.Reported(download);
  EXPECT_EQ(inMemory.Kept(), 0);
  memory.Origin = TOriginKind::Live;
  inMemory.Reported(memory);
  inMemory.Reported(memory);
  EXPECT_EQ(inMemory.Kept(), 2);
  EXPECT_EQ(inMemory.Waiting(), 2);
}

// Through the real queue and archive: what the recorder reports kept is in
// the archive with its PC time, and jobs stored by another program count
// once their files are gone.
TEST(LiveRecorder, WhatIsReportedKeptIsInTheArchive) {
  QTemporaryDir dir;
  const std::string archive = dir.filePath("archivo.sqlite").toStdString();
  TArchiveQueue queue(dir.filePath("cola").toStdString());
  TLiveRecorder recorder({archive, "sala", "/dev/ttyUSB0", 10, 10}, [&](TArchiveJob job) { return queue.Put(job); });
  for (int s = 0; s < 30; ++s) recorder.Feed(Frame(s), kNoonUtcMs + s * 1000);
  EXPECT_EQ(queue.Pending().size(), 3u);
  {
    // Another program's pass takes them.
    TArchiveQueueFlush other(queue);
    other.Pass([](const TArchiveJobResult &) {});
  }
  EXPECT_EQ(recorder.Kept(), 0);
  recorder.SettleGone(queue);
  EXPECT_EQ(recorder.Kept(), 3);
  TArchive held(archive);
  const std::vector<TArchiveRecord> records =
      held.Records("sala", TStamp{2026, 12, 8, 13, 0, 0}, TStamp{2026, 12, 8, 13, 1, 0});
  ASSERT_EQ(records.size(), 3u);
  EXPECT_EQ(records[0].PcTimeUtc, kNoonUtcMs / 1000);
  EXPECT_EQ(records[2].PcTimeUtc, kNoonUtcMs / 1000 + 20);
}
