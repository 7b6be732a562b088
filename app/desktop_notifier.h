#pragma once

// Desktop notifications through the freedesktop notification service
// (org.freedesktop.Notifications on the user's session bus). The window's
// thread only puts a notification in a list: connecting to the bus and
// sending happen on a thread of the notifier's own, and nothing waits for
// the service's answer. Where no session bus or no such service runs, a
// notification is silently dropped: an alarm must never bring up a dialog
// nor hold the window up.

#include <QString>

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <mutex>
#include <string>
#include <thread>

// The user's session bus as the environment names it
// (DBUS_SESSION_BUS_ADDRESS, else the socket $XDG_RUNTIME_DIR/bus); empty
// where there is none. Never a bus started for the purpose: that would
// stall.
std::string SessionBusAddress();

class TDesktopNotifier {
public:
  enum class TUrgency { Low = 0, Normal = 1, Critical = 2 };

  // `busAddress`: a D-Bus address; empty for no bus (every notification
  // dropped).
  explicit TDesktopNotifier(std::string busAddress = SessionBusAddress());
  ~TDesktopNotifier();
  TDesktopNotifier(const TDesktopNotifier &) = delete;
  TDesktopNotifier &operator=(const TDesktopNotifier &) = delete;

  // Returns at once, from any thread.
  void Notify(const QString &summary, const QString &body, TUrgency urgency = TUrgency::Normal);

  // What became of the notifications so far (tests): handed to the bus, and
  // dropped for want of one.
  std::int64_t Sent() const;
  std::int64_t Dropped() const;
  // True once nothing waits to be sent.
  bool Idle() const;

private:
  struct TNote {
    QString Summary, Body;
    TUrgency Urgency;
  };
  void Run();

  const std::string address_;
  mutable std::mutex mutex_;
  std::condition_variable wake_;
  std::deque<TNote> notes_;
  bool stop_ = false, busy_ = false;
  std::int64_t sent_ = 0, dropped_ = 0;
  std::thread thread_;
};
