#pragma once

// The window program told to end by the system or a shell (SIGTERM at
// shutdown, SIGHUP when its session goes, SIGINT from a terminal) ends as at
// a normal close, so the logger sees its lines dropped and the port's lock
// file goes. Nothing is done in the handler itself: it writes the signal's
// number into a pipe, and the Qt loop, watching the pipe, does the work.

#include <QObject>

#include <functional>

class QSocketNotifier;

class TEndingSignals : public QObject {
public:
  // Installs the handlers; onSignal runs on the loop of the thread that
  // made this, once per signal received.
  explicit TEndingSignals(std::function<void(int signal)> onSignal, QObject *parent = nullptr);
  // The signals' default actions come back.
  ~TEndingSignals() override;
  TEndingSignals(const TEndingSignals &) = delete;
  TEndingSignals &operator=(const TEndingSignals &) = delete;

  // The signals it takes over.
  static const int kSignals[3];

private:
  void Arrived();

  std::function<void(int)> onSignal_;
  QSocketNotifier *notifier_ = nullptr;
};
