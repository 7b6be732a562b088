// The simulated logger as its callers see it: Start opens the pty and
// starts the thread that plays the logger (logger_simulator_thread.cpp),
// Stop ends it and lets everything go, and the rest reads consistent copies
// of its state under its lock.

#include "sim/logger_simulator_state.h"

#include <fcntl.h>
#include <grp.h>
#include <sys/stat.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <cstring>
#include <vector>

using logger_sim::CloseFd;

namespace {

// The group's number, or -1 when there is no such group.
long GroupId(const std::string &group) {
  struct group entry {};
  struct group *found = nullptr;
  // A group of many members needs more room than the usual.
  int failed = ERANGE;
  for (std::size_t room = 16384; failed == ERANGE && room <= (std::size_t{1} << 24); room *= 4) {
    std::vector<char> buf(room);
    failed = ::getgrnam_r(group.c_str(), &entry, buf.data(), buf.size(), &found);
    if (failed == 0 && found) return found->gr_gid;
  }
  // A number names a group even when the group database does not list it.
  if (group.empty() || group.find_first_not_of("0123456789") != std::string::npos || group.size() > 9) return -1;
  return std::stol(group);
}

std::string ReadLink(const std::string &path) {
  char buf[4096];
  const ssize_t n = ::readlink(path.c_str(), buf, sizeof buf - 1);
  if (n < 0) return std::string();
  return std::string(buf, static_cast<size_t>(n));
}

}  // namespace

TLoggerSimulator::TLoggerSimulator(const TSimConfig &config) : Config_(config), Impl_(new TImpl) {}

TLoggerSimulator::~TLoggerSimulator() { Stop(); }

void TLoggerSimulator::Start() {
  std::lock_guard<std::mutex> lock(Mutex_);
  if (Impl_->Running) return;
  Config_.Validate();
  TImpl &m = *Impl_;
  m = TImpl();
  // `os_code` is taken before the closes below can change errno.
  auto fail = [&m](const std::string &message, int os_code = 0) {
    CloseFd(m.Master);
    CloseFd(m.Slave);
    CloseFd(m.StopRead);
    CloseFd(m.StopWrite);
    throw ESimulator(message, os_code);
  };
  auto fail_sys = [&fail](const std::string &what) {
    const int e = errno;
    fail(what + ": " + std::strerror(e), e);
  };

  m.Master = ::posix_openpt(O_RDWR | O_NOCTTY);
  if (m.Master < 0) fail_sys("No se pudo abrir un pseudo-terminal");
  ::fcntl(m.Master, F_SETFD, FD_CLOEXEC);
  if (::grantpt(m.Master) != 0 || ::unlockpt(m.Master) != 0) fail_sys("No se pudo preparar el pseudo-terminal");
  char name[256];
  if (::ptsname_r(m.Master, name, sizeof name) != 0) fail_sys("No se pudo obtener el nombre del pseudo-terminal");
  m.SlavePath = name;
  if (::fcntl(m.Master, F_SETFL, ::fcntl(m.Master, F_GETFL) | O_NONBLOCK) != 0)
    fail_sys("No se pudo preparar el pseudo-terminal");

  // Raw, no echo: the commands the PC writes must not come back to it, and
  // the frames must reach it byte for byte. The settings stay on the slave
  // because we keep it open.
  m.Slave = ::open(name, O_RDWR | O_NOCTTY | O_CLOEXEC | O_NONBLOCK);
  if (m.Slave < 0) fail_sys(std::string("No se pudo abrir ") + name);
  termios tio{};
  if (::tcgetattr(m.Slave, &tio) != 0) fail_sys("No se pudo leer la configuración de la línea");
  ::cfmakeraw(&tio);
  ::cfsetispeed(&tio, B115200);
  ::cfsetospeed(&tio, B115200);
  tio.c_cflag |= CLOCAL | CREAD;
  if (::tcsetattr(m.Slave, TCSANOW, &tio) != 0) fail_sys("No se pudo configurar la línea");

  if (!Config_.DeviceGroup.empty()) {
    const long gid = GroupId(Config_.DeviceGroup);
    if (gid < 0) fail("No existe el grupo " + Config_.DeviceGroup, EINVAL);
    // Through the descriptor: the path could be another device by now.
    if (::fchown(m.Slave, static_cast<uid_t>(-1), static_cast<gid_t>(gid)) != 0 || ::fchmod(m.Slave, 0660) != 0)
      fail_sys(std::string("No se pudo dar ") + name + " al grupo " + Config_.DeviceGroup);
  }

  int p[2];
  if (::pipe2(p, O_CLOEXEC | O_NONBLOCK) != 0) fail_sys("No se pudo crear el aviso de parada");
  m.StopRead = p[0];
  m.StopWrite = p[1];

  if (!Config_.LinkPath.empty()) {
    struct stat st {};
    if (::lstat(Config_.LinkPath.c_str(), &st) == 0) {
      // A link left by an earlier run that was killed hard points at a pty
      // that no longer exists: replacing it is safe. Anything else is not ours.
      if (!S_ISLNK(st.st_mode) || ReadLink(Config_.LinkPath).rfind("/dev/pts/", 0) != 0)
        fail("No se crea el enlace " + Config_.LinkPath + ": ya existe y no es un enlace a un pseudo-terminal", EEXIST);
      if (::unlink(Config_.LinkPath.c_str()) != 0) fail_sys("No se pudo quitar el enlace viejo " + Config_.LinkPath);
    }
    if (::symlink(name, Config_.LinkPath.c_str()) != 0) fail_sys("No se pudo crear el enlace " + Config_.LinkPath);
    m.LinkMade = true;
  }

  // The memory as it stands at start: StoredRecords samples, the last one
  // completed right now, so the record in progress begins at the clock.
  m.RateCode = Config_.RateCode;
  m.SimBaseMs = Config_.Start.ToMs();
  m.SimNowMs = m.SimBaseMs;
  m.AnchorMs = m.SimBaseMs;
  m.Records.reserve(static_cast<size_t>(Config_.StoredRecords));
  for (long i = Config_.StoredRecords - 1; i >= 0; --i)
    m.Records.push_back(ChannelReadings(m.AnchorMs - i * m.StepMs(), Config_.Seed));
  m.Battery = Config_.BatteryStart;
  m.Stats = TSimSnapshot();
  m.Stats.Mode = TSimMode::smLive;
  m.T0 = TClock::now();
  m.LastProgress = m.T0;
  m.Running = true;
  try {
    Thread_ = std::thread(&TLoggerSimulator::Run, this);
  } catch (const std::system_error &e) {
    m.Running = false;
    if (m.LinkMade) ::unlink(Config_.LinkPath.c_str());
    m.LinkMade = false;
    fail(std::string("No se pudo arrancar el simulador: ") + e.what(), e.code().value());
  }
}

void TLoggerSimulator::Stop() {
  {
    std::lock_guard<std::mutex> lock(Mutex_);
    if (!Impl_->Running) return;
    const char c = 's';
    if (::write(Impl_->StopWrite, &c, 1) < 0) {
      // The pipe is ours and empty; a failed write leaves the thread to
      // notice Running below on its next wake.
    }
    Impl_->Running = false;
  }
  if (Thread_.joinable()) Thread_.join();
  std::lock_guard<std::mutex> lock(Mutex_);
  TImpl &m = *Impl_;
  CloseFd(m.Master);
  CloseFd(m.Slave);
  CloseFd(m.StopRead);
  CloseFd(m.StopWrite);
  // Only our own link goes: someone may have replaced it meanwhile.
  if (m.LinkMade && ReadLink(Config_.LinkPath) == m.SlavePath) ::unlink(Config_.LinkPath.c_str());
  m.LinkMade = false;
  Changed_.notify_all();
}

bool TLoggerSimulator::Running() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->Running;
}

std::string TLoggerSimulator::SlavePath() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->SlavePath;
}

TSimSnapshot TLoggerSimulator::Snapshot() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return SnapshotLocked();
}

TSimSnapshot TLoggerSimulator::SnapshotLocked() const {
  TSimSnapshot s = Impl_->Stats;
  s.Clock = TSimDateTime::FromMs(Impl_->SimNowMs);
  s.RateCode = Impl_->RateCode;
  s.Battery = Impl_->Battery;
  s.MemoryCount = Impl_->Count();
  s.NextHeader = Impl_->Header();
  return s;
}

std::vector<TReadings> TLoggerSimulator::Records() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->Records;
}

TSimDumpHeader TLoggerSimulator::NextDumpHeader() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->Header();
}

std::string TLoggerSimulator::ReceivedBytes() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->Stats.Received;
}

TSimDateTime TLoggerSimulator::Clock() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return TSimDateTime::FromMs(Impl_->SimNowMs);
}

int TLoggerSimulator::RateCode() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->RateCode;
}

long TLoggerSimulator::MemoryCount() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->Count();
}

bool TLoggerSimulator::HungUp() const {
  std::lock_guard<std::mutex> lock(Mutex_);
  return Impl_->Stats.HungUp;
}

bool TLoggerSimulator::WaitFor(const std::function<bool(const TSimSnapshot &)> &pred, int timeout_ms) const {
  std::unique_lock<std::mutex> lock(Mutex_);
  return Changed_.wait_for(lock, milliseconds(timeout_ms), [&] { return pred(SnapshotLocked()); });
}
