// The serial receive path end to end: bytes written on the far end of a
// pseudo-terminal, taken by the event thread, handed to the UI thread, read
// by the receive handler. Also the wake-up latency of one byte, the CPU an
// idle open port costs, the send path through StartWrite and WaitTransfer,
// and how long a caller is held by a large StartWrite to a slow far end.
#include "serial/serial_port.h"

#include <benchmark/benchmark.h>

#include <QCoreApplication>
#include <QEventLoop>
#include <QTimer>

#include <algorithm>
#include <atomic>
#include <chrono>
#include <cstdlib>
#include <string>
#include <thread>
#include <vector>

#include <fcntl.h>
#include <poll.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

using Clock = std::chrono::steady_clock;

struct Pty {
  int master = -1;
  std::string path;
  Pty() {
    master = ::posix_openpt(O_RDWR | O_NOCTTY | O_CLOEXEC);
    ::grantpt(master);
    ::unlockpt(master);
    char name[128] = {};
    ::ptsname_r(master, name, sizeof name);
    path = name;
  }
  ~Pty() { ::close(master); }
  void Write(const char *p, std::size_t n) const {
    while (n > 0) {
      const ssize_t w = ::write(master, p, n);
      if (w > 0) {
        p += w;
        n -= static_cast<std::size_t>(w);
      } else {
        pollfd f{master, POLLOUT, 0};
        ::poll(&f, 1, 100);
      }
    }
  }
};

// The logger's configuration.
void Configure(TSerialPort &port, const std::string &path) {
  port.SetPort(path);
  port.SetBaudRate(br115200);
  port.SetDiscardNull(true);
  port.Timeouts().SetReadInterval(1);
}

double CpuSeconds() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_utime.tv_sec + u.ru_stime.tv_sec + (u.ru_utime.tv_usec + u.ru_stime.tv_usec) / 1e6;
}

long VoluntarySwitches() {
  rusage u{};
  ::getrusage(RUSAGE_SELF, &u);
  return u.ru_nvcsw;
}

void BM_SerialReceiveThroughput(benchmark::State &state) {
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  const std::size_t perIteration = 256 * 1024;
  Pty pty;
  TSerialPort port;
  Configure(port, pty.path);
  QEventLoop loop;
  std::size_t got = 0, target = 0;
  std::string text;
  port.OnRxChar = [&](TCustomSerialPort *p, int count) {
    got += static_cast<std::size_t>(p->ReadText(text, count));
    if (got >= target) loop.quit();
  };
  port.Open();
  const std::string block(chunk, '7');
  for (auto _ : state) {
    target = got + perIteration;
    std::thread writer([&] {
      for (std::size_t sent = 0; sent < perIteration; sent += chunk)
        pty.Write(block.data(), std::min(chunk, perIteration - sent));
    });
    if (got < target) loop.exec();
    writer.join();
  }
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perIteration));
  state.counters["x_115200_line"] =
      benchmark::Counter(static_cast<double>(state.iterations() * perIteration) / 11520.0, benchmark::Counter::kIsRate);
  port.Close();
}
BENCHMARK(BM_SerialReceiveThroughput)->Arg(104)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

void BM_SerialByteLatency(benchmark::State &state) {
  Pty pty;
  TSerialPort port;
  Configure(port, pty.path);
  QEventLoop loop;
  Clock::time_point sent, handled;
  std::string text;
  port.OnRxChar = [&](TCustomSerialPort *p, int count) {
    handled = Clock::now();
    p->ReadText(text, count);
    loop.quit();
  };
  port.Open();
  std::vector<double> micros;
  for (auto _ : state) {
    sent = Clock::now();
    pty.Write("x", 1);
    loop.exec();
    micros.push_back(std::chrono::duration<double, std::micro>(handled - sent).count());
  }
  port.Close();
  std::sort(micros.begin(), micros.end());
  if (!micros.empty()) {
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["p99_us"] = micros[std::min(micros.size() - 1, micros.size() * 99 / 100)];
  }
}
BENCHMARK(BM_SerialByteLatency)->Iterations(2000)->UseRealTime()->Unit(benchmark::kMicrosecond);

void BM_SerialIdleCpu(benchmark::State &state) {
  Pty pty;
  TSerialPort port;
  Configure(port, pty.path);
  port.OnRxChar = [](TCustomSerialPort *, int) {};
  port.Open();
  double used = 0;
  long wakeups = 0;
  for (auto _ : state) {
    const double before = CpuSeconds();
    const long switchesBefore = VoluntarySwitches();
    QEventLoop loop;
    QTimer::singleShot(3000, &loop, &QEventLoop::quit);
    loop.exec();
    used += CpuSeconds() - before;
    wakeups += VoluntarySwitches() - switchesBefore;
  }
  port.Close();
  state.counters["cpu_ms_per_3s"] = used * 1000.0 / static_cast<double>(state.iterations());
  // Every thread of the process that went to sleep and woke again: the UI
  // thread's one timer accounts for a couple; a polling thread would show
  // hundreds.
  state.counters["sleeps_per_3s"] = static_cast<double>(wakeups) / static_cast<double>(state.iterations());
}
BENCHMARK(BM_SerialIdleCpu)->Iterations(1)->UseRealTime()->Unit(benchmark::kMillisecond);

// Reads the far end in a thread of its own: everything as it comes, or at
// most `slice` bytes every `pauseMs` (a slow peer).
class FarEndReader {
public:
  FarEndReader(const Pty &pty, std::size_t slice, int pauseMs) {
    thread_ = std::thread([this, &pty, slice, pauseMs] {
      std::vector<char> buffer(slice);
      while (!stop_) {
        if (pauseMs > 0) std::this_thread::sleep_for(std::chrono::milliseconds(pauseMs));
        pollfd p{pty.master, POLLIN, 0};
        if (::poll(&p, 1, 20) <= 0) continue;
        const ssize_t n = ::read(pty.master, buffer.data(), buffer.size());
        if (n > 0) received_ += static_cast<std::size_t>(n);
      }
    });
  }
  ~FarEndReader() {
    stop_ = true;
    thread_.join();
  }
  std::size_t Received() const { return received_; }

private:
  std::atomic<bool> stop_{false};
  std::atomic<std::size_t> received_{0};
  std::thread thread_;
};

// Commands and blocks going out: WriteText is StartWrite and WaitTransfer,
// the write itself on the port's write lane.
void BM_SerialSendThroughput(benchmark::State &state) {
  const std::size_t chunk = static_cast<std::size_t>(state.range(0));
  const std::size_t perIteration = 256 * 1024;
  Pty pty;
  TSerialPort port;
  Configure(port, pty.path);
  port.Open();
  FarEndReader reader(pty, 65536, 0);
  const std::string block(chunk, '3');
  for (auto _ : state)
    for (std::size_t sent = 0; sent < perIteration; sent += chunk) port.WriteText(block);
  state.SetBytesProcessed(static_cast<int64_t>(state.iterations() * perIteration));
  state.counters["x_115200_line"] =
      benchmark::Counter(static_cast<double>(state.iterations() * perIteration) / 11520.0, benchmark::Counter::kIsRate);
  port.Close();
}
BENCHMARK(BM_SerialSendThroughput)->Arg(104)->Arg(4096)->Unit(benchmark::kMillisecond)->UseRealTime();

// 64 kB handed to StartWrite while the far end takes 1 kB every 2 ms: the
// time measured is only the caller's, inside StartWrite; the write then
// goes on for about 130 ms in the background and is waited for untimed.
void BM_SerialStartWrite64kToASlowPeer(benchmark::State &state) {
  Pty pty;
  TSerialPort port;
  Configure(port, pty.path);
  port.Open();
  FarEndReader reader(pty, 1024, 2);
  const std::string block(64 * 1024, '5');
  PortTransfer *transfer = NewTransfer();
  std::vector<double> micros;
  double backgroundMs = 0;
  for (auto _ : state) {
    const Clock::time_point start = Clock::now();
    port.StartWrite(block.data(), static_cast<int>(block.size()), transfer);
    const Clock::time_point returned = Clock::now();
    port.WaitTransfer(transfer);
    backgroundMs += std::chrono::duration<double, std::milli>(Clock::now() - returned).count();
    state.SetIterationTime(std::chrono::duration<double>(returned - start).count());
    micros.push_back(std::chrono::duration<double, std::micro>(returned - start).count());
  }
  FreeTransfer(transfer);
  port.Close();
  std::sort(micros.begin(), micros.end());
  if (!micros.empty()) {
    state.counters["median_us"] = micros[micros.size() / 2];
    state.counters["max_us"] = micros.back();
    state.counters["write_ms"] = backgroundMs / static_cast<double>(micros.size());
  }
}
BENCHMARK(BM_SerialStartWrite64kToASlowPeer)->Iterations(20)->UseManualTime()->Unit(benchmark::kMicrosecond);

}  // namespace
