// GRABAR: which live readings are kept, and that a reading counts as kept
// only once the archive has committed its batch.

#include "app/live_recording.h"
#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <vector>

namespace {

TLiveFrame FrameAt(std::int64_t secondsFrom2000, double channel1 = 21.5) {
  const TStamp s = StampFromSeconds(StampSeconds(TStamp{2000, 1, 1, 0, 0, 0}) + secondsFrom2000);
  TLiveFrame f;
  f.Year = s.Year - 2000, f.Month = s.Month, f.Day = s.Day;
  f.Hours = s.Hour, f.Minutes = s.Minute, f.Seconds = s.Second;
  f.Channels.fill(20.0);
  f.Channels[0] = channel1;
  return f;
}

// 25/12/2003 14:30:07, from 1 January 2000.
constexpr std::int64_t kStart = 14 * 3600 + 30 * 60 + 7 + (365 * 3 + 1 + 358) * 86400LL;

struct TSubmitted {
  std::mutex Mutex;
  std::vector<TArchiveJob> Jobs;
  std::vector<std::string> Ids;
  std::function<void(const std::string &id)> BeforeReturn;
  TLiveRecording::TSubmit Submit() {
    return [this](TArchiveJob job) {
      std::string id;
      {
        const std::lock_guard<std::mutex> lock(Mutex);
        Jobs.push_back(std::move(job));
        id = "job" + std::to_string(Jobs.size());
        Ids.push_back(id);
      }
      if (BeforeReturn) BeforeReturn(id);
      return id;
    };
  }
  std::size_t Readings() {
    const std::lock_guard<std::mutex> lock(Mutex);
    std::size_t n = 0;
    for (const auto &j : Jobs) n += j.Records.size();
    return n;
  }
};

TArchiveJobResult ResultOf(const std::string &id, TArchiveJobResult::TKind kind) {
  TArchiveJobResult r;
  r.Job = id;
  r.Kind = kind;
  return r;
}

TEST(LiveRecording, KeepsOneReadingPerIntervalOfTheLoggersClock) {
  const struct {
    int Interval;
    std::size_t Kept;  // of 125 frames a second from 14:30:07
  } cases[] = {{1, 125}, {10, 14}, {60, 3}, {300, 1}, {7, 14} /* not offered: the default */};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Interval);
    TSubmitted submitted;
    {
      TLiveRecording recording(submitted.Submit());
      recording.Start("/dev/ttyUSB0", c.Interval);
      for (int i = 0; i < 125; ++i) recording.Frame(FrameAt(kStart + i), 1'700'000'000'000 + i * 1000LL);
      // A frame repeated, and one from before the recording ended, add nothing.
      EXPECT_FALSE(recording.Frame(FrameAt(kStart + 124), 0));
      recording.Finish();
      EXPECT_FALSE(recording.Frame(FrameAt(kStart + 1000), 0));
    }
    EXPECT_EQ(submitted.Readings(), c.Kept);
    for (const TArchiveJob &job : submitted.Jobs) {
      EXPECT_EQ(job.Port, "/dev/ttyUSB0");
      EXPECT_TRUE(job.Logger.empty()) << "the archive names it from the port";
      EXPECT_EQ(job.Origin.Kind, TOriginKind::Live);
      EXPECT_GE(job.Origin.PcTimeUtc, 1'700'000'000);
    }
    ASSERT_FALSE(submitted.Jobs.empty());
    const TArchiveRecord &first = submitted.Jobs[0].Records[0];
    EXPECT_EQ(first.Instant, (TStamp{2003, 12, 25, 14, 30, 7}));
    EXPECT_EQ(first.Values[0], 215);
    EXPECT_EQ(first.Values[15], 200);
  }
}

TEST(LiveRecording, AFrameWithoutARealDateIsNotKeptAndSpoilsNoBatch) {
  TSubmitted submitted;
  TLiveRecording recording(submitted.Submit());
  recording.Start("p", 1);
  TLiveFrame never = FrameAt(kStart);
  never.Month = 0;  // a logger whose clock was never set
  EXPECT_FALSE(recording.Frame(never, 0));
  EXPECT_TRUE(recording.Frame(FrameAt(kStart + 1), 0));
  recording.Finish();
  EXPECT_EQ(submitted.Readings(), 1u);
}

TEST(LiveRecording, CountsOnlyWhatTheArchiveCommitted) {
  using K = TArchiveJobResult::TKind;
  TSubmitted submitted;
  TLiveRecording recording(submitted.Submit());
  int told = 0;
  recording.OnKept = [&] { ++told; };
  recording.Start("p", 1);
  recording.Frame(FrameAt(kStart), 0);
  recording.Frame(FrameAt(kStart + 1), 0);
  recording.Finish();
  ASSERT_FALSE(submitted.Ids.empty());
  EXPECT_EQ(recording.Kept(), 0);
  EXPECT_EQ(recording.Waiting(), 2);

  const std::string &id = submitted.Ids[0];
  const std::size_t inFirst = submitted.Jobs[0].Records.size();
  recording.Result(ResultOf(id, K::Failed));
  recording.Result(ResultOf("someone else's download", K::Kept));
  EXPECT_EQ(recording.Kept(), 0) << "a failed batch waits in the queue; another job is not ours";
  recording.Result(ResultOf(id, K::Kept));
  recording.Result(ResultOf(id, K::Kept));  // told twice: counted once
  EXPECT_EQ(recording.Kept(), static_cast<std::int64_t>(inFirst));
  for (std::size_t i = 1; i < submitted.Ids.size(); ++i) recording.Result(ResultOf(submitted.Ids[i], K::Kept));
  EXPECT_EQ(recording.Kept(), 2);
  EXPECT_EQ(recording.Waiting(), 0);
  EXPECT_GE(told, 2);

  // A new start counts from nought; a late result of the last one is not
  // this recording's.
  recording.Start("p", 1);
  EXPECT_EQ(recording.Kept(), 0);
  recording.Frame(FrameAt(kStart + 5), 0);
  recording.Finish();
  recording.Result(ResultOf(submitted.Ids.back(), K::Kept));
  EXPECT_EQ(recording.Kept(), 1);
}

TEST(LiveRecording, AResultThatComesBeforeItsJobIsKnownStillCounts) {
  TSubmitted submitted;
  TLiveRecording *self = nullptr;
  // The writer may store the batch before Submit has returned its id.
  submitted.BeforeReturn = [&](const std::string &id) { self->Result(ResultOf(id, TArchiveJobResult::TKind::Kept)); };
  TLiveRecording recording(submitted.Submit());
  self = &recording;
  int told = 0;
  recording.OnKept = [&] { ++told; };
  recording.Start("p", 1);
  for (int i = 0; i < 3; ++i) recording.Frame(FrameAt(kStart + i), 0);
  recording.Finish();
  EXPECT_EQ(recording.Kept(), 3);
  EXPECT_EQ(recording.Waiting(), 0);
  const int before = told;
  EXPECT_TRUE(PumpUntil([&] { return told > before; }, 2000)) << "the window hears of it on its own thread";
}

}  // namespace
