#pragma once

// Signals aimed at one thread at a steady pace, with a handler installed
// without SA_RESTART, so every blocking call of that thread keeps coming back
// with EINTR. The storm ends by itself after `maxMs`, so a wait that the
// signals stretch ends with it instead of hanging the test.

#include <atomic>
#include <chrono>
#include <thread>

#include <pthread.h>
#include <signal.h>

class SignalStorm {
public:
  SignalStorm(pthread_t target, int intervalMs, int maxMs = 5000) {
    struct sigaction sa {};
    sa.sa_handler = [](int) { Received().fetch_add(1, std::memory_order_relaxed); };
    sigemptyset(&sa.sa_mask);
    sa.sa_flags = 0;  // no SA_RESTART: interrupted calls fail with EINTR
    ::sigaction(SIGUSR2, &sa, &old_);
    Received() = 0;
    sender_ = std::thread([this, target, intervalMs, maxMs] {
      const auto end = std::chrono::steady_clock::now() + std::chrono::milliseconds(maxMs);
      while (!stop_ && std::chrono::steady_clock::now() < end) {
        std::this_thread::sleep_for(std::chrono::milliseconds(intervalMs));
        if (!stop_) ::pthread_kill(target, SIGUSR2);
      }
    });
  }
  ~SignalStorm() {
    stop_ = true;
    sender_.join();
    ::sigaction(SIGUSR2, &old_, nullptr);
  }
  SignalStorm(const SignalStorm &) = delete;
  SignalStorm &operator=(const SignalStorm &) = delete;

  static int Count() { return Received().load(); }

private:
  static std::atomic<int> &Received() {
    static std::atomic<int> count{0};
    return count;
  }

  std::atomic<bool> stop_{false};
  std::thread sender_;
  struct sigaction old_ {};
};
