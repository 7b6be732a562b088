#include "serial/serial_device_base.h"

#include <algorithm>

namespace {
using Clock = std::chrono::steady_clock;

std::mutex g_lockFolderMutex;
std::string &LockFolderOverride() {
  static std::string folder;
  return folder;
}

std::mutex g_writeHookMutex;
std::atomic<bool> g_writeHookSet{false};
std::function<void()> &WriteEntryHook() {
  static std::function<void()> hook;
  return hook;
}

std::string InUseMessage(int holderPid, const std::string &lockFile) {
  const std::string base = ESerialPort(ecOpenFailed, SerialOsErrorNumber(TSerialOsError::Busy)).Message();
  if (holderPid <= 0) return base + " - en uso: no se puede leer el archivo de bloqueo " + lockFile;
  return base + " - en uso por el proceso " + std::to_string(holderPid) + " (" + lockFile + ")";
}
}  // namespace

ESerialPortInUse::ESerialPortInUse(int holderPid, const std::string &lockFile)
    : ESerialPort(ecOpenFailed, SerialOsErrorNumber(TSerialOsError::Busy)),
      holderPid_(holderPid),
      lockFile_(lockFile),
      message_(InUseMessage(holderPid, lockFile)) {}

TReadRules::TReadRules(const TDeviceTimeouts &t, int count) {
  constexpr std::uint32_t kAll = 0xFFFFFFFFu;
  const std::uint32_t gap = t.ReadIntervalTimeout;
  const std::uint32_t mult = t.ReadTotalTimeoutMultiplier;
  const std::uint32_t constant = t.ReadTotalTimeoutConstant;
  atOnce = gap == kAll && mult == 0 && constant == 0;
  firstByteEnds = gap == kAll && mult == kAll && constant != 0 && constant != kAll;
  totalLimit = firstByteEnds || mult != 0 || constant != 0;
  const unsigned long long ms =
      firstByteEnds ? constant
                    : std::min<unsigned long long>(
                          static_cast<unsigned long long>(mult) * static_cast<unsigned>(std::max(count, 0)) + constant,
                          1ull << 40);
  total = std::chrono::milliseconds(static_cast<long long>(ms));
  intervalLimit = !firstByteEnds && gap != 0 && gap != kAll;
  interval = std::chrono::milliseconds(gap);
}

int SerialMsLeft(Clock::time_point deadline) {
  const auto left = std::chrono::ceil<std::chrono::milliseconds>(deadline - Clock::now()).count();
  return left <= 0 ? 0 : static_cast<int>(std::min<long long>(left, 1 << 30));
}

void SetSerialLockFolder(const std::string &folder) {
  std::lock_guard<std::mutex> lock(g_lockFolderMutex);
  LockFolderOverride() = folder;
}

std::string ChosenSerialLockFolder() {
  std::lock_guard<std::mutex> lock(g_lockFolderMutex);
  return LockFolderOverride();
}

void SetSerialWriteEntryHook(std::function<void()> hook) {
  std::lock_guard<std::mutex> lock(g_writeHookMutex);
  g_writeHookSet = static_cast<bool>(hook);
  WriteEntryHook() = std::move(hook);
}

void RunSerialWriteEntryHook() {
  if (!g_writeHookSet.load()) return;
  std::function<void()> hook;
  {
    std::lock_guard<std::mutex> lock(g_writeHookMutex);
    hook = WriteEntryHook();
  }
  if (hook) hook();
}

std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path) { return OpenSystemSerialDevice(path, 0, -1); }

std::shared_ptr<TSerialDevice> OpenSerialDevice(const std::string &path, const TDeviceState &lines) {
  return OpenSystemSerialDevice(path, DtrWantedHigh(lines) ? 1 : 0, RtsWantedHigh(lines) ? 1 : 0);
}

int TSerialDeviceBase::PendingInput() {
  DrainOrRaise(ecClearErrorFailed);
  return QueuedInput();
}

int TSerialDeviceBase::Read(char *buffer, int count) {
  if (count <= 0) return 0;
  DrainOrRaise(ecReadFailed);
  int got = TakeQueued(buffer, count);
  if (got == count) return got;

  TDeviceTimeouts to;
  {
    std::lock_guard<std::mutex> lock(mutex_);
    to = timeouts_;
  }
  const TReadRules rules(to, count);
  if (rules.atOnce) return got;  // what is queued, at once
  if (rules.firstByteEnds && got > 0) return got;
  const Clock::time_point start = Clock::now();
  const Clock::time_point deadline = start + rules.total;
  Clock::time_point lastByte = start;

  for (;;) {
    int wait = 50;  // slices: the event thread may take the bytes from under us
    if (rules.totalLimit) {
      const int left = SerialMsLeft(deadline);
      if (left == 0) return got;
      wait = std::min(wait, left);
    }
    if (rules.intervalLimit && got > 0) {
      const int left = SerialMsLeft(lastByte + rules.interval);
      if (left == 0) return got;
      wait = std::min(wait, left);
    }
    WaitForInput(wait);
    DrainOrRaise(ecReadFailed);
    const int n = TakeQueued(buffer + got, count - got);
    if (n > 0) {
      got += n;
      lastByte = Clock::now();
      if (got == count || rules.firstByteEnds) return got;
    } else if (HungUp()) {
      if (got > 0) return got;
      throw ESerialPort(ecReadFailed, SerialOsErrorNumber(TSerialOsError::DeviceGone));
    }
  }
}

std::size_t TSerialDeviceBase::RoomLocked() const {
  return queue_.size() < kMaxQueued ? kMaxQueued - queue_.size() : 0;
}

void TSerialDeviceBase::AddLocked(const char *data, std::size_t n, TAdded &added) {
  const bool discardNull = (state_.Flags & TDeviceState::fNull) != 0;
  for (std::size_t i = 0; i < n; ++i) {
    const char c = data[i];
    if (discardNull && c == 0) continue;
    if (c == state_.EvtChar) added.eventChar = true;
    if (queue_.size() >= kMaxQueued) {
      overflow_ = true;
      continue;
    }
    queue_.push_back(c);
    ++totalIn_;
    ++added.bytes;
  }
}

void TSerialDeviceBase::HangUpLocked(int err) {
  if (hungUp_) return;
  hungUp_ = true;
  hangUpError_ = err;
}

void TSerialDeviceBase::ReportDrain(const TDrain &d, TSerialWatchResult &out) const {
  out.input = out.input || d.bytes > 0 || d.hungUp;
  if (d.bytes > 0) {
    out.events.Include(evRxChar);
    if (d.eventChar) out.events.Include(evRxFlag);
    if (QueueNearlyFull()) out.events.Include(evRx80Full);
  }
  if (d.hungUp) out.lost = true;
  out.full = d.full && d.bytes == 0;
}

int TSerialDeviceBase::QueuedInput() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return static_cast<int>(queue_.size());
}

void TSerialDeviceBase::MarkAnnounced() {
  std::lock_guard<std::mutex> lock(mutex_);
  announced_ = totalIn_;
}

bool TSerialDeviceBase::HasUnannounced() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return totalIn_ != announced_ && !queue_.empty();
}

bool TSerialDeviceBase::QueueNearlyFull() const {
  std::lock_guard<std::mutex> lock(mutex_);
  if (inputSize_ <= 0) return false;
  return queue_.size() * 5 >= static_cast<std::size_t>(inputSize_) * 4;
}

int TSerialDeviceBase::TakeQueued(char *buffer, int count) {
  std::lock_guard<std::mutex> lock(mutex_);
  const int n = std::min<int>(count, static_cast<int>(queue_.size()));
  std::copy(queue_.begin(), queue_.begin() + n, buffer);
  queue_.erase(queue_.begin(), queue_.begin() + n);
  return n;
}

void TSerialDeviceBase::TakeOwnErrorsLocked(TSerialErrors &errors) {
  if (overflow_) errors.Include(erRxOverflow);
  overflow_ = false;
  if (hungUp_ && !hangUpReported_) {
    errors.Include(erDeviceIO);
    hangUpReported_ = true;
  }
}

void TSerialDeviceBase::NoteHangUp() {
  std::lock_guard<std::mutex> lock(mutex_);
  HangUpLocked(SerialOsErrorNumber(TSerialOsError::DeviceGone));
}

bool TSerialDeviceBase::HungUp() const {
  std::lock_guard<std::mutex> lock(mutex_);
  return hungUp_;
}
