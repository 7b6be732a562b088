// The simulated logger's life on the pty master: one thread waiting in poll()
// on the master, a stop pipe and the next thing due (a frame tick, a dump
// chunk, a timeout). Nothing here spins: every wait has a descriptor or a
// deadline.
//
// What the logger does is the session's; the thread's loop only takes the
// lock, lets the session act on the time and on what the line brought, and
// sleeps until the session's next deadline.

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
// One run of the logger, from Start to Stop or the hang-up: everything it
// does on its own (the clock, the live frames, the dump) and everything it
// does when the PC speaks. Each method runs on the thread under the
// simulator's lock; the session itself never waits.

class TLoggerSimulator::TImpl::TSession {
public:
  TSession(TImpl &state, const TSimConfig &config)
      : m_(state),
        cfg_(config),
        // A clock that gains runs a little fast: everything the logger does
        // by its clock (records, battery) follows it.
        simMsPerTick_(config.FrameIntervalMs * config.TimeAcceleration * (1.0 + config.DriftSecondsPerDay / 86400.0)),
        interval_(config.FrameIntervalMs) {}

  // Whatever the time asks for: the clock's tick with its live frame, the
  // clock set and mode timeouts, the dump's next step.
  void Act(TTimePoint now);
  bool HungUp() const { return m_.Stats.Mode == TSimMode::smHungUp; }

  // What to wait on until the next thing is due (fds[0] the stop pipe,
  // fds[1] the master); returns poll's timeout.
  int PlanWait(TTimePoint now, pollfd (&fds)[2]) const;
  // What poll reported of the master: commands to take, room to write, a
  // hang-up to wait out.
  void TakeLine(short revents, TTimePoint now);

private:
  void SetMode(TSimMode mode, TTimePoint deadline) {
    m_.Stats.Mode = mode;
    m_.ModeDeadline = deadline;
  }

  void AdvanceTo(std::int64_t tick);
  void SendLiveFrame(TTimePoint now);
  void TakeCommand(char ch, TTimePoint now);
  void SetClock();
  void AbandonClockSet();
  void StartDump(TTimePoint now);
  void SendDump(TTimePoint now);
  void SendEndMark(TTimePoint now);
  void AbortDownload(const std::string &why, TTimePoint now);
  void HangUp();
  void Flush(TTimePoint now);
  void DropUnread();
  bool Stalled(TTimePoint now) const { return now - m_.LastProgress >= milliseconds(cfg_.StallTimeoutMs); }

  TImpl &m_;
  const TSimConfig &cfg_;
  const double simMsPerTick_;
  const milliseconds interval_;
};

void TLoggerSimulator::TImpl::TSession::Act(TTimePoint now) {
  const std::int64_t k = (now - m_.T0) / interval_;
  if (k > m_.LastTick) {
    AdvanceTo(k);
    if (m_.Stats.Mode == TSimMode::smLive) SendLiveFrame(now);
  }
  if (m_.CollectingClock && now >= m_.ClockDeadline) AbandonClockSet();
  switch (m_.Stats.Mode) {
    case TSimMode::smArmed:
      if (now >= m_.ModeDeadline) {
        SetMode(TSimMode::smLive, now);
        m_.Events.push_back("petición de descarga sin \"X\": se vuelve a enviar tramas");
      }
      break;
    case TSimMode::smDownloadWait:
      if (now >= m_.ModeDeadline) StartDump(now);
      break;
    case TSimMode::smAwaitAck:
      if (now >= m_.ModeDeadline) {
        SetMode(TSimMode::smLive, now);
        m_.Events.push_back("sin confirmación \"x\" del fin de descarga");
      }
      break;
    default: break;
  }
  if (m_.Stats.Mode == TSimMode::smDownloading) SendDump(now);
  else if (m_.Stats.Mode == TSimMode::smEndMarkWait) SendEndMark(now);
}

// Moves the simulated clock to tick k: memory fills at the rate, the battery
// drains with the time on.
void TLoggerSimulator::TImpl::TSession::AdvanceTo(std::int64_t tick) {
  m_.LastTick = tick;
  const std::int64_t elapsed = std::llround(static_cast<double>(tick) * simMsPerTick_);
  m_.SimNowMs = m_.SimBaseMs + elapsed;
  m_.ElapsedSimMs = elapsed;
  const std::int64_t step = m_.StepMs();
  while (m_.AnchorMs + step <= m_.SimNowMs) {
    if (m_.Count() >= cfg_.Capacity) break;  // memory full: it stops recording
    m_.AnchorMs += step;
    m_.Records.push_back(ChannelReadings(m_.AnchorMs, cfg_.Seed));
  }
  const long drained = static_cast<long>(m_.ElapsedSimMs / 1000 / cfg_.BatteryDrainSeconds);
  m_.Battery = static_cast<int>(std::max<long>(cfg_.BatteryMin, cfg_.BatteryStart - drained));
}

void TLoggerSimulator::TImpl::TSession::SendLiveFrame(TTimePoint now) {
  if (PendingOnSlave(m_.Slave) >= kLiveBacklogLimit) DropUnread();
  TLoggerState st;
  st.Clock = TSimDateTime::FromMs(m_.SimNowMs);
  st.Battery = m_.Battery;
  st.RateCode = m_.RateCode;
  st.Readings = ChannelReadings(m_.SimNowMs, cfg_.Seed);
  st.MemoryCount = m_.Count();
  std::string frame = MakeLiveFrame(st);
  ++m_.Stats.FramesSent;
  if (cfg_.CorruptEvery > 0 && m_.Stats.FramesSent % cfg_.CorruptEvery == 0) {
    // Line noise: one digit turns into a letter, somewhere the program reads.
    std::uint64_t h = static_cast<std::uint64_t>(m_.Stats.FramesSent) * 0x9E3779B97F4A7C15ull ^ cfg_.Seed;
    h ^= h >> 29;
    h *= 0xBF58476D1CE4E5B9ull;
    h ^= h >> 32;
    frame[static_cast<size_t>(h % (kLiveFrameLength - 1))] = static_cast<char>('B' + (h >> 8) % 25);
    ++m_.Stats.CorruptFramesSent;
  }
  m_.Out += frame;
  Flush(now);
}

void TLoggerSimulator::TImpl::TSession::TakeCommand(char ch, TTimePoint now) {
  m_.Stats.Received += ch;
  if (m_.CollectingClock) {
    if (ch >= '0' && ch <= '9') {
      m_.ClockDigits += ch;
      if (m_.ClockDigits.size() == 12) {
        m_.CollectingClock = false;
        SetClock();
      }
      return;
    }
    // Anything but a digit breaks the clock set; that byte is a command.
    AbandonClockSet();
  }
  const TSimMode mode = m_.Stats.Mode;
  switch (ch) {
    case '3':
      m_.CollectingClock = true;
      m_.ClockDigits.clear();
      m_.ClockDeadline = now + milliseconds(cfg_.CommandTimeoutMs);
      break;
    case '5':
    case '6':
    case '7': {
      const int code = ch - '5' + 4;
      if (code != m_.RateCode) {
        // The stored records keep their places; the record in progress now
        // runs at the new rate.
        m_.RateCode = code;
        m_.Events.push_back("tasa " + std::to_string(RateStepMinutes(code)) + " minutos (código " +
                            std::to_string(code) + ")");
      }
      break;
    }
    case 'E':
    case '8':
      if (mode == TSimMode::smLive || mode == TSimMode::smArmed) {
        SetMode(TSimMode::smArmed, now + milliseconds(cfg_.CommandTimeoutMs));
        // A frame half sent is not finished: the PC discards it anyway.
        m_.Out.clear();
        m_.OutPos = 0;
      } else {
        ++m_.Stats.RejectedCommands;
      }
      break;
    case 'X':
      if (mode == TSimMode::smArmed) {
        SetMode(TSimMode::smDownloadWait, now + milliseconds(cfg_.DownloadDelayMs));
      } else {
        ++m_.Stats.RejectedCommands;
      }
      break;
    case 'x':
      if (mode == TSimMode::smAwaitAck) {
        ++m_.Stats.AcksReceived;
        SetMode(TSimMode::smLive, now);
        m_.Events.push_back("fin de descarga confirmado");
      } else {
        ++m_.Stats.RejectedCommands;
      }
      break;
    default: ++m_.Stats.RejectedCommands; break;
  }
}

void TLoggerSimulator::TImpl::TSession::SetClock() {
  const std::string &d = m_.ClockDigits;  // hh mm ss DD MM YY
  auto two = [&d](size_t i) { return (d[i] - '0') * 10 + (d[i + 1] - '0'); };
  TSimDateTime c{2000 + two(10), two(8), two(6), two(0), two(2), two(4)};
  if (!c.IsValid()) {
    ++m_.Stats.RejectedCommands;
    m_.Events.push_back("puesta en hora rechazada, fecha imposible: 3" + d);
    return;
  }
  // The clock takes the new time now; the memory starts over from it.
  m_.SimBaseMs = c.ToMs() - std::llround(static_cast<double>(std::max<std::int64_t>(m_.LastTick, 0)) * simMsPerTick_);
  m_.SimNowMs = c.ToMs();
  m_.AnchorMs = m_.SimNowMs;
  m_.Records.clear();
  ++m_.Stats.ClockSets;
  m_.Events.push_back("reloj puesto en " + c.Text() + ", memoria vacía");
}

// A clock set cut short, by a byte that is no digit or by the time.
void TLoggerSimulator::TImpl::TSession::AbandonClockSet() {
  m_.CollectingClock = false;
  ++m_.Stats.RejectedCommands;
  m_.Events.push_back("puesta en hora incompleta: 3" + m_.ClockDigits);
}

void TLoggerSimulator::TImpl::TSession::StartDump(TTimePoint now) {
  m_.Dump = MakeDump(m_.Header(), m_.Records, ChannelReadings(m_.SimNowMs, cfg_.Seed));
  m_.DumpPos = 0;
  m_.NextChunk = now;
  m_.LastProgress = now;
  m_.Stats.DownloadBytesSent = 0;
  ++m_.Stats.DownloadsStarted;
  SetMode(TSimMode::smDownloading, now);
  m_.Events.push_back("descarga de " + std::to_string(m_.Count()) + " registros (" + std::to_string(m_.Dump.size()) +
                      " bytes)");
}

// The next chunk of the dump when its time has come; the wait for the end
// mark once all of it is out.
void TLoggerSimulator::TImpl::TSession::SendDump(TTimePoint now) {
  if (!m_.Out.empty()) {
    if (Stalled(now)) AbortDownload("nadie lee la línea", now);
    return;
  }
  const long long limit = cfg_.HangupAfter;
  if (limit >= 0 && m_.Stats.DownloadBytesSent >= limit) {
    // The PC gets exactly the bytes before the hang-up: let it read them
    // first, since closing the master may throw away what is queued.
    if (PendingOnSlave(m_.Slave) > 0 && !Stalled(now)) return;
    HangUp();
    return;
  }
  if (m_.DumpPos >= m_.Dump.size()) {
    m_.Drained = false;
    m_.LastPending = PendingOnSlave(m_.Slave);
    m_.LastProgress = now;
    SetMode(TSimMode::smEndMarkWait, now);
    return;
  }
  if (now < m_.NextChunk) return;
  size_t n = cfg_.DownloadChunkBytes > 0 ? static_cast<size_t>(cfg_.DownloadChunkBytes) : m_.Dump.size();
  n = std::min(n, m_.Dump.size() - m_.DumpPos);
  if (limit >= 0) n = std::min<size_t>(n, static_cast<size_t>(limit - m_.Stats.DownloadBytesSent));
  m_.Out.append(m_.Dump, m_.DumpPos, n);
  m_.DumpPos += n;
  m_.Stats.DownloadBytesSent += static_cast<long long>(n);
  m_.NextChunk = now + milliseconds(cfg_.DownloadChunkPauseMs);
  Flush(now);
}

// The lone end mark, once the PC has read the whole dump and the line has
// stayed quiet for the logger's pause.
void TLoggerSimulator::TImpl::TSession::SendEndMark(TTimePoint now) {
  if (!m_.Out.empty()) {
    if (Stalled(now)) AbortDownload("nadie lee la línea", now);
    return;
  }
  const int pending = PendingOnSlave(m_.Slave);
  if (pending > 0) {
    m_.Drained = false;
    if (pending != m_.LastPending) m_.LastProgress = now;
    m_.LastPending = pending;
    if (Stalled(now)) AbortDownload("nadie lee la línea", now);
    return;
  }
  if (!m_.Drained) {
    m_.Drained = true;
    m_.DrainedAt = now;
  }
  if (now - m_.DrainedAt < milliseconds(cfg_.EndMarkPauseMs)) return;
  m_.Out += kEndMark;
  Flush(now);
  m_.Dump.clear();
  ++m_.Stats.DownloadsCompleted;
  SetMode(TSimMode::smAwaitAck, now + milliseconds(cfg_.AckTimeoutMs));
  m_.Events.push_back("fin de descarga enviado");
}

void TLoggerSimulator::TImpl::TSession::AbortDownload(const std::string &why, TTimePoint now) {
  DropUnread();
  m_.Dump.clear();
  m_.DumpPos = 0;
  ++m_.Stats.DownloadsAborted;
  SetMode(TSimMode::smLive, now);
  m_.Events.push_back("descarga abandonada: " + why);
}

void TLoggerSimulator::TImpl::TSession::HangUp() {
  CloseFd(m_.Master);
  CloseFd(m_.Slave);
  m_.Out.clear();
  m_.OutPos = 0;
  m_.Stats.HungUp = true;
  SetMode(TSimMode::smHungUp, TTimePoint{});
  m_.Events.push_back("línea colgada tras " + std::to_string(m_.Stats.DownloadBytesSent) + " bytes de la descarga");
}

void TLoggerSimulator::TImpl::TSession::Flush(TTimePoint now) {
  // Written from an offset: a large dump leaves the pty in pieces of a few
  // kilobytes, and erasing from the front each time would copy it over and over.
  while (m_.OutPos < m_.Out.size() && m_.Master >= 0) {
    const ssize_t n = ::write(m_.Master, m_.Out.data() + m_.OutPos, m_.Out.size() - m_.OutPos);
    if (n > 0) {
      m_.OutPos += static_cast<size_t>(n);
      m_.LastProgress = now;
      continue;
    }
    if (n < 0 && errno == EINTR) continue;
    break;  // EAGAIN: the PC side is full; poll tells when there is room
  }
  if (m_.OutPos >= m_.Out.size()) {
    m_.Out.clear();
    m_.OutPos = 0;
  }
}

void TLoggerSimulator::TImpl::TSession::DropUnread() {
  m_.Out.clear();
  m_.OutPos = 0;
  if (m_.Slave >= 0) ::tcflush(m_.Slave, TCIFLUSH);
}

int TLoggerSimulator::TImpl::TSession::PlanWait(TTimePoint now, pollfd (&fds)[2]) const {
  // What comes next decides how long poll may sleep.
  TTimePoint next = m_.T0 + interval_ * (m_.LastTick + 1);
  auto sooner = [&next](TTimePoint t) { next = std::min(next, t); };
  if (m_.CollectingClock) sooner(m_.ClockDeadline);
  switch (m_.Stats.Mode) {
    case TSimMode::smArmed:
    case TSimMode::smDownloadWait:
    case TSimMode::smAwaitAck: sooner(m_.ModeDeadline); break;
    case TSimMode::smDownloading:
      if (!m_.Out.empty()) sooner(m_.LastProgress + milliseconds(cfg_.StallTimeoutMs));
      else if (cfg_.HangupAfter >= 0 && m_.Stats.DownloadBytesSent >= cfg_.HangupAfter)
        sooner(now + milliseconds(kDrainCheckMs));
      else sooner(m_.NextChunk);
      break;
    case TSimMode::smEndMarkWait:
      // Keep looking during the quiet time too: bytes still on their way
      // through the pty show up late and must restart it.
      sooner(now + milliseconds(kDrainCheckMs));
      break;
    default: break;
  }
  const auto wait = std::chrono::duration_cast<milliseconds>(next - now).count() + 1;
  int timeout_ms = static_cast<int>(std::max<std::int64_t>(0, std::min<std::int64_t>(wait, 60000)));

  fds[0] = {m_.StopRead, POLLIN, 0};
  short want = 0;
  if (now >= m_.HupUntil) want |= POLLIN;
  if (!m_.Out.empty()) want |= POLLOUT;
  fds[1] = {m_.Master, want, 0};
  if (want == 0) fds[1].fd = -1;
  else if (!(want & POLLIN)) timeout_ms = std::min(timeout_ms, kHangupBackoffMs);
  if (now < m_.HupUntil)
    timeout_ms = std::min<int>(
        timeout_ms, static_cast<int>(std::chrono::duration_cast<milliseconds>(m_.HupUntil - now).count()) + 1);
  return timeout_ms;
}

void TLoggerSimulator::TImpl::TSession::TakeLine(short revents, TTimePoint now) {
  if (revents & POLLIN) {
    char buf[512];
    for (;;) {
      const ssize_t n = ::read(m_.Master, buf, sizeof buf);
      if (n > 0) {
        for (ssize_t i = 0; i < n; ++i) TakeCommand(buf[i], now);
        continue;
      }
      if (n < 0 && errno == EINTR) continue;
      if (n < 0 && errno == EIO) m_.HupUntil = now + milliseconds(kHangupBackoffMs);
      break;
    }
  } else if (revents & (POLLHUP | POLLERR)) {
    // Nobody on the slave (cannot happen while we hold it, but a pty that
    // reports a hang-up keeps reporting it: look again a little later).
    m_.HupUntil = now + milliseconds(kHangupBackoffMs);
  }
  if (revents & POLLOUT) Flush(now);
}

// ---------------------------------------------------------------------------
// The thread. The session acts under the lock; what it has to tell goes to
// OnEvent outside it, and poll waits outside it too.

void TLoggerSimulator::Run() {
  TImpl::TSession session(*Impl_, Config_);
  for (;;) {
    std::vector<std::string> events;
    pollfd fds[2];
    int timeout_ms = 0;
    bool hung_up = false;
    {
      std::unique_lock<std::mutex> lock(Mutex_);
      if (!Impl_->Running) break;
      const TTimePoint now = TClock::now();
      session.Act(now);
      hung_up = session.HungUp();
      if (!hung_up) timeout_ms = session.PlanWait(now, fds);
      events.swap(Impl_->Events);
    }
    Changed_.notify_all();
    for (const std::string &e : events)
      if (OnEvent) OnEvent(*this, e);
    if (hung_up) return;

    const int r = ::poll(fds, 2, timeout_ms);
    if (r < 0) {
      if (errno == EINTR) continue;
      // poll itself failing is not something waiting can fix; stop cleanly.
      std::lock_guard<std::mutex> lock(Mutex_);
      Impl_->Events.push_back(SysError("poll falló"));
      break;
    }
    if (fds[0].revents & POLLIN) break;

    std::lock_guard<std::mutex> lock(Mutex_);
    session.TakeLine(fds[1].revents, TClock::now());
  }
  Changed_.notify_all();
}
