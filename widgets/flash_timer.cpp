#include "widgets/flash_timer.h"

#include "runtime/application.h"

#include <QCoreApplication>
#include <QDateTime>
#include <QMessageBox>

#include <cstdlib>
#include <stdexcept>

namespace {

TInsFlashTimer *g_service = nullptr;

constexpr int kGrowStep = 10;

}  // namespace

std::function<void(const QString &, const QString &)> &TInsFlashTimer::WarningPresenter() {
  static std::function<void(const QString &, const QString &)> presenter;
  return presenter;
}

TInsFlashTimer &TInsFlashTimer::Instance() {
  if (!g_service) new TInsFlashTimer(QCoreApplication::instance());
  return *g_service;
}

TInsFlashTimer *TInsFlashTimer::Existing() { return g_service; }

TInsFlashTimer::TInsFlashTimer(QObject *parent) : QObject(parent) {
  if (g_service) {
    // Two services would blink everything twice as often.
    active_ = false;
    const QString caption = "Error Message";
    const QString text = "Only one TInsFlashTimer per Application!\rRemove it...";
    if (WarningPresenter()) WarningPresenter()(caption, text);
    else QMessageBox::critical(nullptr, caption, text, QMessageBox::Ok);
    return;
  }
  g_service = this;
  clients_.reserve(kGrowStep);
  clock_.start();
  nextSecond_ = QDateTime::currentMSecsSinceEpoch() + 1000;
  timer_.setTimerType(Qt::PreciseTimer);
  timer_.setInterval(kTickMs);
  QObject::connect(&timer_, &QTimer::timeout, this, [this] { Tick(); });
  timer_.start();
}

TInsFlashTimer::~TInsFlashTimer() {
  timer_.stop();
  if (g_service == this) g_service = nullptr;
}

void TInsFlashTimer::Stop() { timer_.stop(); }

void TInsFlashTimer::Start() {
  if (active_) timer_.start();
}

void TInsFlashTimer::Register(const void *client, int rateCode, int intervalMs, Notify notify) {
  if (!active_ || !client) return;
  for (TClient &c : clients_) {
    if (c.client == client) {
      c.rateCode = rateCode;
      c.intervalMs = intervalMs;
      c.nextDue = clock_.elapsed() + intervalMs;
      c.notify = std::move(notify);
      return;
    }
  }
  if (clients_.capacity() - clients_.size() < 2) clients_.reserve(clients_.capacity() + kGrowStep);
  clients_.push_back(TClient{client, rateCode, intervalMs, clock_.elapsed() + intervalMs, false, std::move(notify)});
}

void TInsFlashTimer::Unregister(const void *client) {
  for (auto it = clients_.begin(); it != clients_.end(); ++it) {
    if (it->client == client) {
      clients_.erase(it);
      return;
    }
  }
}

void TInsFlashTimer::Forget(const void *client) {
  if (g_service) g_service->Unregister(client);
}

bool TInsFlashTimer::IsRegistered(const void *client) const {
  for (const TClient &c : clients_)
    if (c.client == client) return true;
  return false;
}

void TInsFlashTimer::Tick() { TickAt(clock_.elapsed(), QDateTime::currentMSecsSinceEpoch()); }

void TInsFlashTimer::TickAt(int64_t monotonicMs, int64_t wallMs) {
  if (!active_) return;
  ++counter_;  // unsigned: wraps to 0 after the last value

  bool secondTick = false;
  if (wallMs >= nextSecond_) {
    secondTick = true;
    nextSecond_ += 1000;
    // A PC clock set forward by more than a few seconds would otherwise take
    // one tick per skipped second to catch up.
    if (wallMs >= nextSecond_ + 2000) nextSecond_ = wallMs + 1000;
  } else if (nextSecond_ - wallMs > 2000) {
    // The PC clock went back: without this the clocks would freeze until the
    // old mark came round again.
    nextSecond_ = wallMs + 1000;
  }

  const size_t count = clients_.size();
  for (size_t i = 0; i < clients_.size() && clients_.size() == count; ++i) {
    if (QCoreApplication::closingDown()) break;
    RunClient(clients_[i], monotonicMs, secondTick);
  }
}

void TInsFlashTimer::RunClient(TClient &c, int64_t nowMs, bool secondTick) {
  Notify notify;
  int64_t info = 0;
  bool phase = false;
  if (c.rateCode >= 2 && c.rateCode <= 6) {
    phase = ((counter_ >> c.rateCode) & 1u) != 0;
    if (phase == c.lastPhase) return;
    c.lastPhase = phase;
    info = counter_;
  } else if (c.rateCode == kRateSecond) {
    if (!secondTick) return;
  } else {
    if (nowMs < c.nextDue) return;
    int64_t lateness = std::llabs(nowMs - c.nextDue);
    if (lateness > 1000) lateness = 0;
    c.nextDue = nowMs + c.intervalMs - lateness;
    info = lateness;
  }
  notify = c.notify;  // the client may unregister itself while notified
  if (!notify) return;
  RunHandler([&] {
    try {
      notify(info, phase);
    } catch (const std::overflow_error &) {
    } catch (const std::range_error &) {
    } catch (const std::out_of_range &) {
    }
  });
}
