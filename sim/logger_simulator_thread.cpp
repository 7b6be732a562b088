// The simulated logger's life on the pty master: one thread waiting in poll()
// on the master, a stop pipe and the next thing due (a frame tick, a dump
// chunk, a timeout). Nothing here spins: every wait has a descriptor or a
// deadline.

#include "sim/logger_simulator_state.h"

#include <poll.h>
#include <sys/ioctl.h>
#include <termios.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <chrono>
#include <cmath>
#include <cstring>

using logger_sim::CloseFd;

namespace {

std::string SysError(const std::string &what) { return what + ": " + std::strerror(errno); }

// Bytes written by us and not yet read by whoever has the slave open.
int PendingOnSlave(int slave_fd) {
  int n = 0;
  if (slave_fd < 0 || ::ioctl(slave_fd, FIONREAD, &n) != 0) return 0;
  return n;
}

// While nobody reads the line, live frames are dropped once this much is
// waiting, the way a real line loses what nobody listens to; otherwise a
// program that connects late would first read minutes of stale frames.
constexpr int kLiveBacklogLimit = 4 * kLiveFrameLength;
// How often the end-mark wait looks whether the PC has read the dump.
constexpr int kDrainCheckMs = 10;
// After the master reports a hang-up, wait this long before looking again.
constexpr int kHangupBackoffMs = 100;

}  // namespace

// ---------------------------------------------------------------------------
// The thread. Everything below runs on it; state changes happen under the
// lock, the waits (poll) outside it.

void TLoggerSimulator::Run() {
  TImpl &m = *Impl_;
  const TSimConfig &cfg = Config_;
  // A clock that gains runs a little fast: everything the logger does by its
  // clock (records, battery) follows it.
  const double sim_ms_per_tick = cfg.FrameIntervalMs * cfg.TimeAcceleration * (1.0 + cfg.DriftSecondsPerDay / 86400.0);

  auto set_mode = [&](TSimMode mode, TTimePoint deadline) {
    m.Stats.Mode = mode;
    m.ModeDeadline = deadline;
  };

  // Moves the simulated clock to tick k: memory fills at the rate, the
  // battery drains with the time on.
  auto advance_to = [&](std::int64_t k) {
    m.LastTick = k;
    const std::int64_t elapsed = std::llround(static_cast<double>(k) * sim_ms_per_tick);
    m.SimNowMs = m.SimBaseMs + elapsed;
    m.ElapsedSimMs = elapsed;
    const std::int64_t step = m.StepMs();
    while (m.AnchorMs + step <= m.SimNowMs) {
      if (m.Count() >= cfg.Capacity) break;  // memory full: it stops recording
      m.AnchorMs += step;
      m.Records.push_back(ChannelReadings(m.AnchorMs, cfg.Seed));
    }
    const long drained = static_cast<long>(m.ElapsedSimMs / 1000 / cfg.BatteryDrainSeconds);
    m.Battery = static_cast<int>(std::max<long>(cfg.BatteryMin, cfg.BatteryStart - drained));
  };

  auto flush_output = [&](TTimePoint now) {
    // Written from an offset: a large dump leaves the pty in pieces of a few
    // kilobytes, and erasing from the front each time would copy it over and over.
    while (m.OutPos < m.Out.size() && m.Master >= 0) {
      const ssize_t n = ::write(m.Master, m.Out.data() + m.OutPos, m.Out.size() - m.OutPos);
      if (n > 0) {
        m.OutPos += static_cast<size_t>(n);
        m.LastProgress = now;
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      break;  // EAGAIN: the PC side is full; poll tells when there is room
    }
    if (m.OutPos >= m.Out.size()) {
      m.Out.clear();
      m.OutPos = 0;
    }
  };

  auto drop_unread = [&]() {
    m.Out.clear();
    m.OutPos = 0;
    if (m.Slave >= 0) ::tcflush(m.Slave, TCIFLUSH);
  };

  auto abort_download = [&](const std::string &why, TTimePoint now) {
    drop_unread();
    m.Dump.clear();
    m.DumpPos = 0;
    ++m.Stats.DownloadsAborted;
    set_mode(TSimMode::smLive, now);
    m.Events.push_back("descarga abandonada: " + why);
  };

  auto hang_up = [&]() {
    CloseFd(m.Master);
    CloseFd(m.Slave);
    m.Out.clear();
    m.OutPos = 0;
    m.Stats.HungUp = true;
    set_mode(TSimMode::smHungUp, TTimePoint{});
    m.Events.push_back("línea colgada tras " + std::to_string(m.Stats.DownloadBytesSent) + " bytes de la descarga");
  };

  auto send_frame = [&](TTimePoint now) {
    if (PendingOnSlave(m.Slave) >= kLiveBacklogLimit) drop_unread();
    TLoggerState st;
    st.Clock = TSimDateTime::FromMs(m.SimNowMs);
    st.Battery = m.Battery;
    st.RateCode = m.RateCode;
    st.Readings = ChannelReadings(m.SimNowMs, cfg.Seed);
    st.MemoryCount = m.Count();
    std::string frame = MakeLiveFrame(st);
    ++m.Stats.FramesSent;
    if (cfg.CorruptEvery > 0 && m.Stats.FramesSent % cfg.CorruptEvery == 0) {
      // Line noise: one digit turns into a letter, somewhere the program reads.
      std::uint64_t h = static_cast<std::uint64_t>(m.Stats.FramesSent) * 0x9E3779B97F4A7C15ull ^ cfg.Seed;
      h ^= h >> 29;
      h *= 0xBF58476D1CE4E5B9ull;
      h ^= h >> 32;
      frame[static_cast<size_t>(h % (kLiveFrameLength - 1))] = static_cast<char>('B' + (h >> 8) % 25);
      ++m.Stats.CorruptFramesSent;
    }
    m.Out += frame;
    flush_output(now);
  };

  auto apply_clock = [&](TTimePoint) {
    const std::string &d = m.ClockDigits;  // hh mm ss DD MM YY
    auto two = [&d](size_t i) { return (d[i] - '0') * 10 + (d[i + 1] - '0'); };
    TSimDateTime c{2000 + two(10), two(8), two(6), two(0), two(2), two(4)};
    if (!c.IsValid()) {
      ++m.Stats.RejectedCommands;
      m.Events.push_back("puesta en hora rechazada, fecha imposible: 3" + d);
      return;
    }
    // The clock takes the new time now; the memory starts over from it.
    m.SimBaseMs = c.ToMs() - std::llround(static_cast<double>(std::max<std::int64_t>(m.LastTick, 0)) * sim_ms_per_tick);
    m.SimNowMs = c.ToMs();
    m.AnchorMs = m.SimNowMs;
    m.Records.clear();
    ++m.Stats.ClockSets;
    m.Events.push_back("reloj puesto en " + c.Text() + ", memoria vacía");
  };

  auto handle_byte = [&](char ch, TTimePoint now) {
    m.Stats.Received += ch;
    if (m.CollectingClock) {
      if (ch >= '0' && ch <= '9') {
        m.ClockDigits += ch;
        if (m.ClockDigits.size() == 12) {
          m.CollectingClock = false;
          apply_clock(now);
        }
        return;
      }
      // Anything but a digit breaks the clock set; that byte is a command.
      m.CollectingClock = false;
      ++m.Stats.RejectedCommands;
      m.Events.push_back("puesta en hora incompleta: 3" + m.ClockDigits);
    }
    const TSimMode mode = m.Stats.Mode;
    switch (ch) {
      case '3':
        m.CollectingClock = true;
        m.ClockDigits.clear();
        m.ClockDeadline = now + milliseconds(cfg.CommandTimeoutMs);
        break;
      case '5':
      case '6':
      case '7': {
        const int code = ch - '5' + 4;
        if (code != m.RateCode) {
          // The stored records keep their places; the record in progress now
          // runs at the new rate.
          m.RateCode = code;
          m.Events.push_back("tasa " + std::to_string(RateStepMinutes(code)) + " minutos (código " +
                             std::to_string(code) + ")");
        }
        break;
      }
      case 'E':
      case '8':
        if (mode == TSimMode::smLive || mode == TSimMode::smArmed) {
          set_mode(TSimMode::smArmed, now + milliseconds(cfg.CommandTimeoutMs));
          // A frame half sent is not finished: the PC discards it anyway.
          m.Out.clear();
          m.OutPos = 0;
        } else {
          ++m.Stats.RejectedCommands;
        }
        break;
      case 'X':
        if (mode == TSimMode::smArmed) {
          set_mode(TSimMode::smDownloadWait, now + milliseconds(cfg.DownloadDelayMs));
        } else {
          ++m.Stats.RejectedCommands;
        }
        break;
      case 'x':
        if (mode == TSimMode::smAwaitAck) {
          ++m.Stats.AcksReceived;
          set_mode(TSimMode::smLive, now);
          m.Events.push_back("fin de descarga confirmado");
        } else {
          ++m.Stats.RejectedCommands;
        }
        break;
      default: ++m.Stats.RejectedCommands; break;
    }
  };

  auto start_download = [&](TTimePoint now) {
    m.Dump = MakeDump(m.Header(), m.Records, ChannelReadings(m.SimNowMs, cfg.Seed));
    m.DumpPos = 0;
    m.NextChunk = now;
    m.LastProgress = now;
    m.Stats.DownloadBytesSent = 0;
    ++m.Stats.DownloadsStarted;
    set_mode(TSimMode::smDownloading, now);
    m.Events.push_back("descarga de " + std::to_string(m.Count()) + " registros (" + std::to_string(m.Dump.size()) +
                       " bytes)");
  };

  // Advances the download: the next chunk when its time has come, the end
  // mark once the PC has read everything and the line has been quiet.
  auto step_download = [&](TTimePoint now) {
    if (m.Stats.Mode == TSimMode::smDownloading) {
      if (!m.Out.empty()) {
        if (now - m.LastProgress >= milliseconds(cfg.StallTimeoutMs)) abort_download("nadie lee la línea", now);
        return;
      }
      const long long limit = cfg.HangupAfter;
      if (limit >= 0 && m.Stats.DownloadBytesSent >= limit) {
        // The PC gets exactly the bytes before the hang-up: let it read them
        // first, since closing the master may throw away what is queued.
        if (PendingOnSlave(m.Slave) > 0 && now - m.LastProgress < milliseconds(cfg.StallTimeoutMs)) return;
        hang_up();
        return;
      }
      if (m.DumpPos >= m.Dump.size()) {
        m.Drained = false;
        m.LastPending = PendingOnSlave(m.Slave);
        m.LastProgress = now;
        set_mode(TSimMode::smEndMarkWait, now);
        return;
      }
      if (now < m.NextChunk) return;
      size_t n = cfg.DownloadChunkBytes > 0 ? static_cast<size_t>(cfg.DownloadChunkBytes) : m.Dump.size();
      n = std::min(n, m.Dump.size() - m.DumpPos);
      if (limit >= 0) n = std::min<size_t>(n, static_cast<size_t>(limit - m.Stats.DownloadBytesSent));
      m.Out.append(m.Dump, m.DumpPos, n);
      m.DumpPos += n;
      m.Stats.DownloadBytesSent += static_cast<long long>(n);
      m.NextChunk = now + milliseconds(cfg.DownloadChunkPauseMs);
      flush_output(now);
      return;
    }
    if (m.Stats.Mode == TSimMode::smEndMarkWait) {
      if (!m.Out.empty()) {
        if (now - m.LastProgress >= milliseconds(cfg.StallTimeoutMs)) abort_download("nadie lee la línea", now);
        return;
      }
      const int pending = PendingOnSlave(m.Slave);
      if (pending > 0) {
        m.Drained = false;
        if (pending != m.LastPending) m.LastProgress = now;
        m.LastPending = pending;
        if (now - m.LastProgress >= milliseconds(cfg.StallTimeoutMs)) abort_download("nadie lee la línea", now);
        return;
      }
      if (!m.Drained) {
        m.Drained = true;
        m.DrainedAt = now;
      }
      if (now - m.DrainedAt < milliseconds(cfg.EndMarkPauseMs)) return;
      m.Out += kEndMark;
      flush_output(now);
      m.Dump.clear();
      ++m.Stats.DownloadsCompleted;
      set_mode(TSimMode::smAwaitAck, now + milliseconds(cfg.AckTimeoutMs));
      m.Events.push_back("fin de descarga enviado");
    }
  };

  const milliseconds interval(cfg.FrameIntervalMs);
  for (;;) {
    std::vector<std::string> events;
    pollfd fds[2];
    int timeout_ms = 0;
    {
      std::unique_lock<std::mutex> lock(Mutex_);
      if (!m.Running) break;
      const TTimePoint now = TClock::now();
      const std::int64_t k = (now - m.T0) / interval;
      if (k > m.LastTick) {
        advance_to(k);
        if (m.Stats.Mode == TSimMode::smLive) send_frame(now);
      }
      if (m.CollectingClock && now >= m.ClockDeadline) {
        m.CollectingClock = false;
        ++m.Stats.RejectedCommands;
        m.Events.push_back("puesta en hora incompleta: 3" + m.ClockDigits);
      }
      switch (m.Stats.Mode) {
        case TSimMode::smArmed:
          if (now >= m.ModeDeadline) {
            set_mode(TSimMode::smLive, now);
            m.Events.push_back("petición de descarga sin \"X\": se vuelve a enviar tramas");
          }
          break;
        case TSimMode::smDownloadWait:
          if (now >= m.ModeDeadline) start_download(now);
          break;
        case TSimMode::smAwaitAck:
          if (now >= m.ModeDeadline) {
            set_mode(TSimMode::smLive, now);
            m.Events.push_back("sin confirmación \"x\" del fin de descarga");
          }
          break;
        default: break;
      }
      if (m.Stats.Mode == TSimMode::smDownloading || m.Stats.Mode == TSimMode::smEndMarkWait) step_download(now);
      if (m.Stats.Mode == TSimMode::smHungUp) {
        events.swap(m.Events);
        lock.unlock();
        Changed_.notify_all();
        for (const std::string &e : events)
          if (OnEvent) OnEvent(*this, e);
        return;
      }

      // What comes next decides how long poll may sleep.
      TTimePoint next = m.T0 + interval * (m.LastTick + 1);
      auto sooner = [&next](TTimePoint t) { next = std::min(next, t); };
      if (m.CollectingClock) sooner(m.ClockDeadline);
      switch (m.Stats.Mode) {
        case TSimMode::smArmed:
        case TSimMode::smDownloadWait:
        case TSimMode::smAwaitAck: sooner(m.ModeDeadline); break;
        case TSimMode::smDownloading:
          if (!m.Out.empty()) sooner(m.LastProgress + milliseconds(cfg.StallTimeoutMs));
          else if (cfg.HangupAfter >= 0 && m.Stats.DownloadBytesSent >= cfg.HangupAfter)
            sooner(now + milliseconds(kDrainCheckMs));
          else sooner(m.NextChunk);
          break;
        case TSimMode::smEndMarkWait:
          // Keep looking during the quiet time too: bytes still on their way
          // through the pty show up late and must restart it.
          sooner(now + milliseconds(kDrainCheckMs));
          break;
        default: break;
      }
      const auto wait = std::chrono::duration_cast<milliseconds>(next - now).count() + 1;
      timeout_ms = static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(wait, 60000)));

      fds[0] = {m.StopRead, POLLIN, 0};
      short want = 0;
      if (now >= m.HupUntil) want |= POLLIN;
      if (!m.Out.empty()) want |= POLLOUT;
      fds[1] = {m.Master, want, 0};
      if (want == 0) fds[1].fd = -1;
      else if (!(want & POLLIN)) timeout_ms = std::min(timeout_ms, kHangupBackoffMs);
      if (now < m.HupUntil)
        timeout_ms = std::min<int>(
            timeout_ms, static_cast<int>(std::chrono::duration_cast<milliseconds>(m.HupUntil - now).count()) + 1);
      events.swap(m.Events);
    }
    Changed_.notify_all();
    for (const std::string &e : events)
      if (OnEvent) OnEvent(*this, e);

    const int r = ::poll(fds, 2, timeout_ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      // poll itself failing is not something waiting can fix; stop cleanly.
      std::lock_guard<std::mutex> lock(Mutex_);
      m.Events.push_back(SysError("poll falló"));
      break;
    }
    if (fds[0].revents & POLLIN) break;

    std::lock_guard<std::mutex> lock(Mutex_);
    const TTimePoint now = TClock::now();
    if (fds[1].revents & POLLIN) {
      char buf[512];
      for (;;) {
        const ssize_t n = ::read(m.Master, buf, sizeof buf);
        if (n > 0) {
          for (ssize_t i = 0; i < n; ++i) handle_byte(buf[i], now);
          continue;
        }
        if (n < 0 && errno == EINTR) continue;
        if (n < 0 && errno == EIO) m.HupUntil = now + milliseconds(kHangupBackoffMs);
        break;
      }
    } else if (fds[1].revents & (POLLHUP | POLLERR)) {
      // Nobody on the slave (cannot happen while we hold it, but a pty that
      // reports a hang-up keeps reporting it: look again a little later).
      m.HupUntil = now + milliseconds(kHangupBackoffMs);
    }
    if (fds[1].revents & POLLOUT) flush_output(now);
  }
  Changed_.notify_all();
}
