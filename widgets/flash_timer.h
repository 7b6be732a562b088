#pragma once

#include <QElapsedTimer>
#include <QObject>
#include <QTimer>

#include <cstdint>
#include <functional>
#include <vector>

// The one blink service of the program. Every 16 ms a tick runs on the
// user-interface thread; flashing widgets get their phase changes, clocks a
// notification once per second, timed clients a call when their interval is
// due. When nothing blinks a tick is a counter increment, a clock read and a
// walk over a short list.
class TInsFlashTimer : public QObject {
public:
  static constexpr int kTickMs = 16;
  static constexpr int kRateSecond = 32;  // once-per-second notification

  // Notification: rate codes 2 .. 6 pass the tick counter and the phase; the
  // second notification passes 0 and false; timed clients their lateness in
  // milliseconds and false.
  using Notify = std::function<void(int64_t Info, bool Phase)>;

  // The service, created on first use and owned by the application object.
  static TInsFlashTimer &Instance();
  static TInsFlashTimer *Existing();  // null until a client registered

  // A second service refuses to work and says so.
  explicit TInsFlashTimer(QObject *parent = nullptr);
  ~TInsFlashTimer() override;
  bool Active() const { return active_; }

  // Adds the client or updates its entry.
  void Register(const void *client, int rateCode, int intervalMs, Notify notify);
  void Unregister(const void *client);
  // For widgets being destroyed: unregisters only if the service exists.
  static void Forget(const void *client);
  bool IsRegistered(const void *client) const;
  int ClientCount() const { return int(clients_.size()); }
  int Capacity() const { return int(clients_.capacity()); }

  // One tick with the given clocks: a monotonic millisecond count and the
  // wall clock in milliseconds since the epoch. Tick() reads the real ones.
  void Tick();
  void TickAt(int64_t monotonicMs, int64_t wallMs);
  uint32_t Counter() const { return counter_; }
  void SetCounter(uint32_t c) { counter_ = c; }
  bool Running() const { return timer_.isActive(); }
  void Stop();  // tests and benchmarks tick by hand
  void Start();

  // How the refusal of a second service is shown (message box by default).
  static std::function<void(const QString &caption, const QString &text)> &WarningPresenter();

private:
  struct TClient {
    const void *client;
    int rateCode;
    int intervalMs;
    int64_t nextDue;
    bool lastPhase;
    Notify notify;
  };
  void RunClient(TClient &c, int64_t nowMs, bool secondTick);

  QTimer timer_;
  QElapsedTimer clock_;
  std::vector<TClient> clients_;
  uint32_t counter_ = 0;
  int64_t nextSecond_ = 0;
  bool active_ = true;
};
