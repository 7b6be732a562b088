#include "widgets/flash_timer.h"

#include <gtest/gtest.h>
#include <QDateTime>

#include <stdexcept>
#include <vector>

namespace {

constexpr int64_t kT0 = 1'700'000'000'000;  // wall clock of the first tick

class FlashTimer : public ::testing::Test {
protected:
  void SetUp() override {
    svc = &TInsFlashTimer::Instance();
    svc->Stop();
    svc->SetCounter(0);
  }
  void TearDown() override {
    for (int i = 0; i < 40; ++i) svc->Unregister(clients + i);
  }
  // One tick at tick number n (16 ms apart) on both clocks.
  void Tick(int n) { svc->TickAt(int64_t(n) * 16, wallBase + int64_t(n) * 16); }

  TInsFlashTimer *svc = nullptr;
  int clients[40] = {};
  int64_t wallBase = kT0;
};

TEST_F(FlashTimer, OneHertzClientChangesPhaseEvery32Ticks) {
  std::vector<std::pair<int64_t, bool>> seen;
  svc->Register(&clients[0], 5, 0, [&](int64_t counter, bool phase) { seen.push_back({counter, phase}); });
  for (int n = 1; n <= 128; ++n) Tick(n);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0], std::make_pair(int64_t(32), true));
  EXPECT_EQ(seen[1], std::make_pair(int64_t(64), false));
  EXPECT_EQ(seen[2], std::make_pair(int64_t(96), true));
  EXPECT_EQ(seen[3], std::make_pair(int64_t(128), false));
}

TEST_F(FlashTimer, RateCodesHalveEachStep) {
  int changes[5] = {};
  for (int code = 2; code <= 6; ++code)
    svc->Register(&clients[code], code, 0, [&, code](int64_t, bool) { ++changes[code - 2]; });
  for (int n = 1; n <= 256; ++n) Tick(n);
  // 256 ticks: phase changes every 2^code ticks.
  EXPECT_EQ(changes[0], 64);
  EXPECT_EQ(changes[1], 32);
  EXPECT_EQ(changes[2], 16);
  EXPECT_EQ(changes[3], 8);
  EXPECT_EQ(changes[4], 4);
}

TEST_F(FlashTimer, SecondClientsHearEachWholeSecondOnce) {
  // Align the second mark with our clock: start one mark behind.
  int seconds = 0;
  svc->Register(&clients[1], TInsFlashTimer::kRateSecond, 0, [&](int64_t info, bool phase) {
    EXPECT_EQ(info, 0);
    EXPECT_FALSE(phase);
    ++seconds;
  });
  wallBase = QDateTime::currentMSecsSinceEpoch();
  for (int n = 0; n < 63 * 5; ++n) Tick(n);  // about 5 s of ticks
  EXPECT_GE(seconds, 4);
  EXPECT_LE(seconds, 6);

  // The PC clock set back an hour: the clock keeps ticking instead of freezing.
  const int before = seconds;
  wallBase -= 3600 * 1000;
  for (int n = 63 * 5; n < 63 * 7; ++n) Tick(n);
  EXPECT_GE(seconds - before, 1);
}

TEST_F(FlashTimer, TimedClientsCatchUpOnLateness) {
  std::vector<int64_t> calls;
  svc->Register(&clients[2], 7, 100, [&](int64_t lateness, bool) { calls.push_back(lateness); });
  for (int n = 0; n < 200 && calls.size() < 3; ++n) svc->TickAt(int64_t(1) << 40 | int64_t(n) * 16, 0);
  // First call: far beyond the due time counts as no lateness (over 1 s).
  ASSERT_FALSE(calls.empty());
  EXPECT_EQ(calls[0], 0);
  ASSERT_GE(calls.size(), 2u);
  // 100 ms at 16 ms ticks: due at +100, reached at +112, 12 ms late.
  EXPECT_EQ(calls[1], 12);
}

TEST_F(FlashTimer, ClientsMayLeaveWhileNotifiedAndErrorsStayInside) {
  int a = 0, b = 0;
  svc->Register(&clients[3], 2, 0, [&](int64_t, bool) {
    ++a;
    svc->Unregister(&clients[3]);
  });
  svc->Register(&clients[4], 2, 0, [&](int64_t, bool) {
    ++b;
    throw std::overflow_error("x");
  });
  for (int n = 1; n <= 16; ++n) Tick(n);
  EXPECT_EQ(a, 1);
  EXPECT_GE(b, 2);  // the overflow did not stop later ticks
  EXPECT_FALSE(svc->IsRegistered(&clients[3]));
}

TEST_F(FlashTimer, RegisterUpdatesTheEntryAndTheListGrowsInSteps) {
  const int base = svc->ClientCount();
  for (int i = 10; i < 40; ++i) svc->Register(&clients[i], 5, 0, nullptr);
  svc->Register(&clients[10], 3, 0, nullptr);  // update, not a second entry
  EXPECT_EQ(svc->ClientCount(), base + 30);
  EXPECT_EQ(svc->Capacity() % 10, 0);
  EXPECT_GE(svc->Capacity() - svc->ClientCount(), 2);
}

TEST_F(FlashTimer, SecondServiceRefusesToRun) {
  QString caption, text;
  TInsFlashTimer::WarningPresenter() = [&](const QString &c, const QString &t) {
    caption = c;
    text = t;
  };
  TInsFlashTimer second;
  TInsFlashTimer::WarningPresenter() = nullptr;
  EXPECT_FALSE(second.Active());
  EXPECT_EQ(caption, "Error Message");
  EXPECT_EQ(text, "Only one TInsFlashTimer per Application!\rRemove it...");
  int calls = 0;
  second.Register(&clients[5], 2, 0, [&](int64_t, bool) { ++calls; });
  EXPECT_EQ(second.ClientCount(), 0);
  EXPECT_EQ(TInsFlashTimer::Existing(), svc);
}

TEST_F(FlashTimer, CounterWrapsAfterTheLastValue) {
  std::vector<bool> phases;
  svc->Register(&clients[6], 2, 0, [&](int64_t, bool p) { phases.push_back(p); });
  svc->SetCounter(0xFFFFFFFFu);
  Tick(0);
  EXPECT_EQ(svc->Counter(), 0u);
}

}  // namespace
