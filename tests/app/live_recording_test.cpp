// GRABAR's recording thread: the window only hands frames over, the batches
// are submitted off its thread, and a reading counts as kept only once the
// archive committed its batch, however quick the writer is.

#include "app/live_recording.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <mutex>
#include <string>
#include <thread>
#include <vector>

namespace {

constexpr std::int64_t kPcStart = 1'765'000'000'000;  // ms, a whole minute

TLiveFrame FrameAt(int second) {
  TLiveFrame f;
  f.Year = 3, f.Month = 12, f.Day = 25, f.Hours = 14, f.Minutes = 30 + second / 60, f.Seconds = second % 60;
  f.Channels.fill(20.0);
  return f;
}

struct TSubmitted {
  std::mutex Mutex;
  std::vector<TArchiveJob> Jobs;
  std::vector<std::string> Ids;
  std::vector<std::thread::id> Threads;
  // Stands for a writer that stores the job before Submit has returned.
  std::function<void(const std::string &id)> BeforeReturn;
  TLiveRecording::TSubmit Submit() {
    return [this](TArchiveJob job) {
      std::string id;
      {
        const std::lock_guard<std::mutex> lock(Mutex);
        Jobs.push_back(std::move(job));
        id = "job" + std::to_string(Jobs.size());
        Ids.push_back(id);
        Threads.push_back(std::this_thread::get_id());
      }
      if (BeforeReturn) BeforeReturn(id);
      return id;
    };
  }
  std::int64_t Readings() {
    const std::lock_guard<std::mutex> lock(Mutex);
    std::int64_t n = 0;
    for (const auto &j : Jobs) n += static_cast<std::int64_t>(j.Records.size());
    return n;
  }
};

TArchiveJobResult ResultOf(const std::string &id, TArchiveJobResult::TKind kind) {
  TArchiveJobResult r;
  r.Job = id;
  r.Kind = kind;
  return r;
}

TEST(LiveRecording, CountsOnlyWhatTheArchiveCommittedAndSubmitsOffTheWindowsThread) {
  using K = TArchiveJobResult::TKind;
  TSubmitted submitted;
  TLiveRecording recording(submitted.Submit());
  recording.BatchSeconds = 2;
  recording.Start("/dev/ttyUSB0", 1);
  for (int i = 0; i < 5; ++i) recording.Frame(FrameAt(i), kPcStart + i * 1000);
  recording.Finish();
  ASSERT_EQ(submitted.Readings(), 5) << "the batch taken goes over at the end";
  EXPECT_EQ(submitted.Jobs.size(), 3u) << "two readings a batch, the last one short";
  for (const std::thread::id &t : submitted.Threads) EXPECT_NE(t, std::this_thread::get_id());
  EXPECT_EQ(submitted.Jobs[0].Port, "/dev/ttyUSB0");
  EXPECT_EQ(recording.Kept(), 0);
  EXPECT_EQ(recording.Waiting(), 5);

  const auto settle = [&](std::int64_t kept) {
    recording.Finish();
    EXPECT_TRUE(PumpUntil([&] { return recording.Kept() == kept; }, 2000)) << recording.Kept() << " not " << kept;
  };
  recording.Result(ResultOf(submitted.Ids[0], K::Failed));
  recording.Result(ResultOf("someone else's download", K::Kept));
  settle(0);
  recording.Result(ResultOf(submitted.Ids[0], K::Kept));
  recording.Result(ResultOf(submitted.Ids[0], K::Kept));  // told twice: counted once
  settle(2);
  recording.Result(ResultOf(submitted.Ids[1], K::Kept));
  recording.Result(ResultOf(submitted.Ids[2], K::Kept));
  settle(5);
  EXPECT_EQ(recording.Waiting(), 0);

  // A new start counts from nought; the last one's late results are not
  // this recording's.
  recording.Start("/dev/ttyUSB0", 1);
  EXPECT_EQ(recording.Kept(), 0);
  recording.Frame(FrameAt(30), kPcStart + 30'000);
  recording.Finish();
  recording.Result(ResultOf(submitted.Ids[0], K::Kept));
  recording.Result(ResultOf(submitted.Ids.back(), K::Kept));
  settle(1);
}

TEST(LiveRecording, AWriterQuickerThanSubmitsReturnIsStillCounted) {
  TSubmitted submitted;
  TLiveRecording *self = nullptr;
  submitted.BeforeReturn = [&](const std::string &id) { self->Result(ResultOf(id, TArchiveJobResult::TKind::Kept)); };
  TLiveRecording recording(submitted.Submit());
  self = &recording;
  recording.BatchSeconds = 1;
  int told = 0;
  recording.OnKept = [&] { ++told; };
  recording.Start("p", 1);
  for (int i = 0; i < 3; ++i) recording.Frame(FrameAt(i), kPcStart + i * 1000);
  recording.Finish();
  EXPECT_TRUE(PumpUntil([&] { return recording.Kept() == 3; }, 2000)) << recording.Kept();
  EXPECT_TRUE(PumpUntil([&] { return told >= 2; }, 2000)) << "the window hears of it on its own thread";
}

}  // namespace
