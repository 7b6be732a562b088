// The port's life: construction and destruction, Open and Close with their
// events, the device behind a port name, and who is told when the port goes.

#include "serial/serial_port.h"

#include "serial/port_registry.h"
#include "serial/serial_device.h"
#include "serial/serial_thread.h"
#include "serial/transfer_lane.h"

#include "runtime/sync_call.h"

#include <algorithm>
#include <chrono>
#include <thread>

std::function<bool(TCustomSerialPort &)> TCustomSerialPort::SetupDialog;

TCustomSerialPort::TCustomSerialPort()
    : parity_(std::make_unique<TSerialParity>(*this)),
      flowControl_(std::make_unique<TSerialFlowControl>(*this)),
      timeouts_(std::make_unique<TSerialTimeouts>(*this)),
      buffer_(std::make_unique<TSerialBuffer>(*this)) {}

TCustomSerialPort::~TCustomSerialPort() {
  // Whoever still points at us forgets us first.
  auto notifications = std::move(freeNotifications_);
  freeNotifications_.clear();
  for (auto &entry : notifications)
    if (entry.second) entry.second(this);
  // Without synchronisation an event thread runs its dispatch steps, and the
  // handlers, itself; one may be inside them now (even one whose handler
  // closed the port). It starts no further delivery, and the one under way
  // ends before anything it may be using goes.
  if (thread_) thread_->SignalStop();
  if (deliveringThread_.load() != std::this_thread::get_id()) {
    // On the UI thread the calls queued for it keep running meanwhile: such
    // a handler may be waiting for one.
    const bool ui = IsUiThread();
    std::unique_lock<std::mutex> lock(deliveryMutex_);
    while (deliveryDepth_.load() != 0) {
      if (!ui) {
        deliveryEnded_.wait(lock);
        continue;
      }
      lock.unlock();
      RunQueuedSyncCalls();
      lock.lock();
      deliveryEnded_.wait_for(lock, std::chrono::milliseconds(5));
    }
  }
  // Handlers may belong to an owner that is half gone already: they are not
  // called any more, the device is simply released.
  OnAfterOpen = nullptr;
  OnAfterClose = nullptr;
  OnBeforeOpen = nullptr;
  OnBeforeClose = nullptr;
  OnRxChar = nullptr;
  OnRxBuf = nullptr;
  OnTxEmpty = nullptr;
  OnBreak = nullptr;
  OnRing = nullptr;
  OnCTSChange = nullptr;
  OnDSRChange = nullptr;
  OnRLSDChange = nullptr;
  OnRxFlag = nullptr;
  OnError = nullptr;
  OnRx80Full = nullptr;
  OnLineLost = nullptr;
  try {
    Close();
  } catch (...) {
    // A destructor cannot report; the descriptor is released below anyway.
  }
  if (lanes_) lanes_->SetWriteDone(nullptr);
  thread_.reset();
  if (windowTarget_) windowTarget_->port = nullptr;
  ReleaseLanes();
  CloseDevice();
}

// --- open and close ----------------------------------------------------------

void TCustomSerialPort::Open() {
  if (connected_ || closing_) return;
  FireBeforeOpen();
  OpenDevice();
  connected_ = true;
  try {
    ApplySettings();
    lanes_ = std::make_unique<TTransferLanes>(device_);
    if (!events_.Empty()) {
      if (syncMethod_ == smWindowSync) windowTarget_ = std::make_shared<TWindowTarget>(this);
      thread_ = std::make_unique<TSerialThread>(*this, device_, events_, syncMethod_, windowTarget_, eventPriority_,
                                                lanes_->InputArrivedHook());
      TSerialThread *thread = thread_.get();
      lanes_->SetWriteDone([thread] { thread->TxFinished(); });
    }
  } catch (...) {
    if (windowTarget_) windowTarget_->port = nullptr;
    windowTarget_.reset();
    lanes_.reset();
    CloseDevice();
    connected_ = false;
    throw;
  }
  FireAfterOpen();
  ReportLineStates(true);
}

void TCustomSerialPort::Close() {
  if (!connected_ || closing_) return;
  closing_ = true;
  struct Reset {
    std::atomic<bool> &flag;
    ~Reset() { flag = false; }
  } reset{closing_};

  ReportLineStates(false);
  FireBeforeClose();
  AbortTransfers();
  if (thread_) {
    // Writes that end from here on are no news for a thread on its way out.
    if (lanes_) lanes_->SetWriteDone(nullptr);
    if (deliveryDepth_ > 0 && deliveringThread_.load() == std::this_thread::get_id()) RetireEventThread();
    else thread_.reset();  // a delivery it has queued for the UI thread runs meanwhile
  }
  if (windowTarget_) windowTarget_->port = nullptr;
  windowTarget_.reset();
  ReleaseLanes();  // ends whatever a handler started during the wait above
  CloseDevice();
  connected_ = false;
  closing_ = false;  // the port is closed: an after-close handler may open it again
  FireAfterClose();
}

void TCustomSerialPort::RetireEventThread() {
  // Closed from a handler the event thread is waiting for (or, without
  // synchronisation, running on the event thread itself): waiting for the
  // thread here would wait for ourselves. It is told to stop, the device is
  // let go by CloseDevice as on any close, and a thread of its own waits for
  // the event thread to end and then frees it. Nothing waits on the UI
  // thread, so the handler may go on into a modal window.
  thread_->SignalStop();
  std::thread([thread = std::move(thread_)]() mutable { thread.reset(); }).detach();
}

void TCustomSerialPort::ReleaseLanes() {
  if (!lanes_) return;
  if (lanes_->Retire()) {
    // A write the line has not taken is still inside the device, using its
    // descriptor: closing that under it would race with it (and a descriptor
    // number opened again meanwhile could take its bytes). The write's
    // thread holds the device and closes it when the write ends: the line
    // takes the bytes, its limit runs out, or the far end goes. Until then
    // the device stays taken.
    device_.reset();
  }
  lanes_.reset();
}

void TCustomSerialPort::OpenDevice() {
  // A name the application registered (the demo port) stands for a terminal
  // its provider makes; it is opened like any other device so everything
  // downstream runs on the real path.
  std::string path = DevicePathOf(port_);
  std::shared_ptr<void> servedBy;
  if (const TPortProvider provider = RegisteredPortProvider(port_)) {
    TProvidedDevice provided = provider();
    path = std::move(provided.Path);
    servedBy = std::move(provided.ServedBy);
  }
  // DTR and RTS as configured right after the device opens, before the
  // other settings: the kernel raised both inside open().
  device_ = OpenSerialDevice(path, DeviceState());
  servedBy_ = std::move(servedBy);
}

void TCustomSerialPort::CloseDevice() {
  // Other holders (a thread still on its way out, a write the line never
  // took) keep the object, not the descriptor.
  if (device_) device_->Shutdown();
  device_.reset();
  servedBy_.reset();
}

TCustomSerialPort::TDeliveryScope::TDeliveryScope(TCustomSerialPort &p) : port(p) {
  if (port.deliveryDepth_++ == 0) port.deliveringThread_ = std::this_thread::get_id();
}

TCustomSerialPort::TDeliveryScope::~TDeliveryScope() {
  if (port.deliveryDepth_ == 1) port.deliveringThread_ = std::thread::id();
  std::lock_guard<std::mutex> lock(port.deliveryMutex_);
  if (--port.deliveryDepth_ == 0) port.deliveryEnded_.notify_all();
}

// --- odds and ends -------------------------------------------------------------

std::intptr_t TCustomSerialPort::Handle() const { return device_ ? device_->Handle() : -1; }

bool TCustomSerialPort::HasModemLines() const { return device_ && device_->HasModemLines(); }

int TCustomSerialPort::AddFreeNotification(TFreeNotify notify) {
  const int id = nextFreeNotification_++;
  freeNotifications_.emplace_back(id, std::move(notify));
  return id;
}

void TCustomSerialPort::RemoveFreeNotification(int id) {
  freeNotifications_.erase(std::remove_if(freeNotifications_.begin(), freeNotifications_.end(),
                                          [id](const auto &entry) { return entry.first == id; }),
                           freeNotifications_.end());
}

void TCustomSerialPort::ShowSetup() {
  if (SetupDialog) {
    SetupDialog(*this);
    return;
  }
  ShowDefaultSetup();
}
