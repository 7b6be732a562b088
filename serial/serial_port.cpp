#include "serial/serial_port.h"

#include "serial/demo_port.h"
#include "serial/serial_device.h"
#include "serial/serial_thread.h"

#include <QCoreApplication>
#include <QObject>

#include <algorithm>
#include <atomic>
#include <cctype>
#include <cerrno>
#include <cstdio>
#include <iterator>

// ---------------------------------------------------------------------------
// Tables

namespace {

const char *const kBaudTexts[] = {"Custom", "110",   "300",   "600",   "1200",   "2400",   "4800",   "9600",
                                  "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
const int kBaudRates[] = {0, 110, 300, 600, 1200, 2400, 4800, 9600, 14400, 19200, 38400, 56000, 57600, 115200, 128000, 256000};
const char *const kStopTexts[] = {"1", "1.5", "2"};
const char *const kDataTexts[] = {"5", "6", "7", "8"};
const char *const kParityTexts[] = {"None", "Odd", "Even", "Mark", "Space"};
const char *const kFlowTexts[] = {"Hardware", "Software", "None", "Custom"};
const char *const kDTRTexts[] = {"Disable", "Enable", "Handshake"};
const char *const kRTSTexts[] = {"Disable", "Enable", "Handshake", "Toggle"};

const char *const kMessages[] = {
    "Unable to open com port",
    "WriteFile function failed",
    "ReadFile function failed",
    "Invalid Async parameter",
    "PurgeComm function failed",
    "Unable to get async status",
    "SetCommState function failed",
    "SetCommTimeouts failed",
    "SetupComm function failed",
    "ClearCommError function failed",
    "GetCommModemStatus function failed",
    "EscapeCommFunction function failed",
    "TransmitCommChar function failed",
    "Cannot set property while connected",
    "EnumPorts function failed",
    "Failed to store settings",
    "Failed to load settings",
    "Link (un)registration failed",
    "Cannot change led state if SerialPort is selected",
    "Cannot wait for event if event thread is created",
    "WaitForEvent method failed",
    "A component is linked to OnRxBuf event",
    "Registry error",
};

// Device event-mask bits, in TSerialEvent ordinal order.
const std::uint32_t kEventBits[] = {0x0001, 0x0004, 0x0002, 0x0100, 0x0040, 0x0008, 0x0010, 0x0080, 0x0020, 0x0400};

template <std::size_t N>
std::string TextAt(const char *const (&table)[N], int ordinal) {
  if (ordinal < 0 || ordinal >= static_cast<int>(N)) return {};
  return table[ordinal];
}

std::string Upper(std::string s) {
  for (char &c : s) c = static_cast<char>(std::toupper(static_cast<unsigned char>(c)));
  return s;
}

template <std::size_t N>
int FindText(const char *const (&table)[N], const std::string &text, int fallback) {
  const std::string wanted = Upper(text);
  for (std::size_t i = 0; i < N; ++i)
    if (Upper(table[i]) == wanted) return static_cast<int>(i);
  return fallback;
}

// Counts how deep the UI thread is inside dispatch steps run for the event
// thread, so Close knows it must not wait for a thread that waits for it.
struct DeliveryScope {
  std::atomic<int> &depth;
  explicit DeliveryScope(std::atomic<int> &d) : depth(d) { ++depth; }
  ~DeliveryScope() { --depth; }
};

}  // namespace

int BaudRateToDevice(TBaudRate rate) { return (rate >= brCustom && rate <= br256000) ? kBaudRates[rate] : 0; }
int StopBitsToDevice(TStopBits bits) { return static_cast<int>(bits); }
int DataBitsToDevice(TDataBits bits) { return 5 + static_cast<int>(bits); }
int ParityToDevice(TParityBits bits) { return static_cast<int>(bits); }
int DTRToDevice(TDTRFlowControl c) { return static_cast<int>(c); }
int RTSToDevice(TRTSFlowControl c) { return static_cast<int>(c); }
std::uint32_t TimeoutToDevice(std::int32_t ms) { return ms == -1 ? 0xFFFFFFFFu : static_cast<std::uint32_t>(ms); }

std::uint32_t EventsToMask(TSerialEvents events) {
  std::uint32_t mask = 0;
  for (int e = evRxChar; e <= evRx80Full; ++e)
    if (events.Contains(static_cast<TSerialEvent>(e))) mask |= kEventBits[e];
  return mask;
}

TSerialEvents MaskToEvents(std::uint32_t mask) {
  TSerialEvents events;
  for (int e = evRxChar; e <= evRx80Full; ++e)
    if (mask & kEventBits[e]) events.Include(static_cast<TSerialEvent>(e));
  return events;
}

std::string BaudRateToText(TBaudRate v) { return TextAt(kBaudTexts, v); }
std::string StopBitsToText(TStopBits v) { return TextAt(kStopTexts, v); }
std::string DataBitsToText(TDataBits v) { return TextAt(kDataTexts, v); }
std::string ParityToText(TParityBits v) { return TextAt(kParityTexts, v); }
std::string FlowControlToText(TFlowControl v) { return TextAt(kFlowTexts, v); }
std::string DTRToText(TDTRFlowControl v) { return TextAt(kDTRTexts, v); }
std::string RTSToText(TRTSFlowControl v) { return TextAt(kRTSTexts, v); }
TBaudRate TextToBaudRate(const std::string &t) { return static_cast<TBaudRate>(FindText(kBaudTexts, t, br9600)); }
TStopBits TextToStopBits(const std::string &t) { return static_cast<TStopBits>(FindText(kStopTexts, t, sbOneStopBit)); }
TDataBits TextToDataBits(const std::string &t) { return static_cast<TDataBits>(FindText(kDataTexts, t, dbEight)); }
TParityBits TextToParity(const std::string &t) { return static_cast<TParityBits>(FindText(kParityTexts, t, prNone)); }
TFlowControl TextToFlowControl(const std::string &t) { return static_cast<TFlowControl>(FindText(kFlowTexts, t, fcCustom)); }
TDTRFlowControl TextToDTR(const std::string &t) { return static_cast<TDTRFlowControl>(FindText(kDTRTexts, t, dtrDisable)); }
TRTSFlowControl TextToRTS(const std::string &t) { return static_cast<TRTSFlowControl>(FindText(kRTSTexts, t, rtsDisable)); }

std::string DevicePathOf(const std::string &port) {
  if (port.size() > 3 && Upper(port.substr(0, 3)) == "COM" &&
      std::all_of(port.begin() + 3, port.end(), [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }) &&
      port.size() <= 8) {
    const long n = std::stol(port.substr(3));
    if (n >= 1) return "/dev/ttyS" + std::to_string(n - 1);
  }
  return port;
}

// ---------------------------------------------------------------------------

namespace {
std::string MessageFor(int code, int osCode) {
  std::string text = ESerialPort::TableMessage(code);
  if (osCode != -1) {
    char tail[48];
    std::snprintf(tail, sizeof tail, " (win error code: %d)", osCode);
    text += tail;
  }
  return text;
}
}  // namespace

ESerialPort::ESerialPort(int code, int osCode) : Exception(MessageFor(code, osCode)), code_(code), osCode_(osCode) {}

std::string ESerialPort::TableMessage(int code) {
  if (code < 1 || code > static_cast<int>(std::size(kMessages))) return {};
  return kMessages[code - 1];
}

// ---------------------------------------------------------------------------
// Settings groups

#define SERIAL_SETTER(Class, Name, Type, field, apply) \
  void Class::Set##Name(Type v) {                      \
    if (field == v) return;                            \
    field = v;                                         \
    port_.apply();                                     \
  }

SERIAL_SETTER(TSerialParity, Bits, TParityBits, bits_, ApplyLineSettings)
SERIAL_SETTER(TSerialParity, Check, bool, check_, ApplyLineSettings)
SERIAL_SETTER(TSerialParity, Replace, bool, replace_, ApplyLineSettings)
SERIAL_SETTER(TSerialParity, ReplaceChar, char, replaceChar_, ApplyLineSettings)

void TSerialParity::Assign(const TSerialParity &o) {
  if (&o == this) return;
  bits_ = o.bits_;
  check_ = o.check_;
  replace_ = o.replace_;
  replaceChar_ = o.replaceChar_;
  port_.ApplyLineSettings();
}

SERIAL_SETTER(TSerialFlowControl, OutCTSFlow, bool, outCTSFlow_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, OutDSRFlow, bool, outDSRFlow_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, ControlDTR, TDTRFlowControl, controlDTR_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, ControlRTS, TRTSFlowControl, controlRTS_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, XonXoffOut, bool, xonXoffOut_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, XonXoffIn, bool, xonXoffIn_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, DSRSensitivity, bool, dsrSensitivity_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, TxContinueOnXoff, bool, txContinueOnXoff_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, XonChar, char, xonChar_, ApplyLineSettings)
SERIAL_SETTER(TSerialFlowControl, XoffChar, char, xoffChar_, ApplyLineSettings)

void TSerialFlowControl::Assign(const TSerialFlowControl &o) {
  if (&o == this) return;
  outCTSFlow_ = o.outCTSFlow_;
  outDSRFlow_ = o.outDSRFlow_;
  controlDTR_ = o.controlDTR_;
  controlRTS_ = o.controlRTS_;
  xonXoffOut_ = o.xonXoffOut_;
  xonXoffIn_ = o.xonXoffIn_;
  dsrSensitivity_ = o.dsrSensitivity_;
  txContinueOnXoff_ = o.txContinueOnXoff_;
  xonChar_ = o.xonChar_;
  xoffChar_ = o.xoffChar_;
  port_.ApplyLineSettings();
}

TFlowControl TSerialFlowControl::FlowControl() const {
  if (controlRTS_ == rtsHandshake && outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcHardware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && xonXoffIn_ && xonXoffOut_) return fcSoftware;
  if (controlRTS_ == rtsDisable && !outCTSFlow_ && !xonXoffIn_ && !xonXoffOut_) return fcNone;
  return fcCustom;
}

void TSerialFlowControl::SetFlowControl(TFlowControl v) {
  // Fields are written directly so the device sees one change, at the end.
  if (v != fcCustom) {
    controlRTS_ = rtsDisable;
    outCTSFlow_ = false;
    xonXoffIn_ = false;
    xonXoffOut_ = false;
    if (v == fcHardware) {
      controlRTS_ = rtsHandshake;
      outCTSFlow_ = true;
    } else if (v == fcSoftware) {
      xonXoffIn_ = true;
      xonXoffOut_ = true;
    }
  }
  port_.ApplyLineSettings();
}

SERIAL_SETTER(TSerialTimeouts, ReadInterval, std::int32_t, readInterval_, ApplyTimeoutSettings)
SERIAL_SETTER(TSerialTimeouts, ReadTotalMultiplier, std::int32_t, readTotalMultiplier_, ApplyTimeoutSettings)
SERIAL_SETTER(TSerialTimeouts, ReadTotalConstant, std::int32_t, readTotalConstant_, ApplyTimeoutSettings)
SERIAL_SETTER(TSerialTimeouts, WriteTotalMultiplier, std::int32_t, writeTotalMultiplier_, ApplyTimeoutSettings)
SERIAL_SETTER(TSerialTimeouts, WriteTotalConstant, std::int32_t, writeTotalConstant_, ApplyTimeoutSettings)

void TSerialTimeouts::Assign(const TSerialTimeouts &o) {
  if (&o == this) return;
  readInterval_ = o.readInterval_;
  readTotalMultiplier_ = o.readTotalMultiplier_;
  readTotalConstant_ = o.readTotalConstant_;
  writeTotalMultiplier_ = o.writeTotalMultiplier_;
  writeTotalConstant_ = o.writeTotalConstant_;
  port_.ApplyTimeoutSettings();
}

namespace {
// Device queues come in even sizes.
std::int32_t EvenSize(std::int32_t v) { return (v > 0 && (v % 2) == 1) ? v - 1 : v; }
}  // namespace

void TSerialBuffer::SetInputSize(std::int32_t v) {
  v = EvenSize(v);
  if (inputSize_ == v) return;
  inputSize_ = v;
  port_.ApplyBufferSizes();
}

void TSerialBuffer::SetOutputSize(std::int32_t v) {
  v = EvenSize(v);
  if (outputSize_ == v) return;
  outputSize_ = v;
  port_.ApplyBufferSizes();
}

void TSerialBuffer::Assign(const TSerialBuffer &o) {
  if (&o == this) return;
  inputSize_ = o.inputSize_;
  outputSize_ = o.outputSize_;
  port_.ApplyBufferSizes();
}

#undef SERIAL_SETTER

// ---------------------------------------------------------------------------
// The port

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
  thread_.reset();
  delete hiddenWindow_;
  device_.reset();
}

void TCustomSerialPort::SetConnected(bool v) {
  if (v)
    Open();
  else
    Close();
}

void TCustomSerialPort::SetBaudRate(TBaudRate v) {
  if (baudRate_ == v) return;
  baudRate_ = v;
  ApplyLineSettings();
}

void TCustomSerialPort::SetCustomBaudRate(std::int32_t v) {
  if (customBaudRate_ == v) return;
  customBaudRate_ = v;
  ApplyLineSettings();
}

void TCustomSerialPort::SetPort(const std::string &v) {
  if (port_ == v) return;
  port_ = v;
  if (connected_) {
    Close();
    Open();
  }
}

void TCustomSerialPort::SetStopBits(TStopBits v) {
  if (stopBits_ == v) return;
  stopBits_ = v;
  ApplyLineSettings();
}

void TCustomSerialPort::SetDataBits(TDataBits v) {
  if (dataBits_ == v) return;
  dataBits_ = v;
  ApplyLineSettings();
}

void TCustomSerialPort::SetDiscardNull(bool v) {
  if (discardNull_ == v) return;
  discardNull_ = v;
  ApplyLineSettings();
}

void TCustomSerialPort::SetEventChar(char v) {
  if (eventChar_ == v) return;
  eventChar_ = v;
  ApplyLineSettings();
}

void TCustomSerialPort::SetSyncMethod(TSyncMethod v) {
  if (syncMethod_ == v) return;
  if (connected_) throw ESerialPort(ecConnected);
  syncMethod_ = v;
}

// --- open and close ----------------------------------------------------------

void TCustomSerialPort::Open() {
  if (connected_ || closing_) return;
  FireBeforeOpen();
  OpenDevice();
  connected_ = true;
  try {
    ApplySettings();
    if (!events_.Empty()) {
      if (syncMethod_ == smWindowSync) hiddenWindow_ = new QObject;
      thread_ =
          std::make_unique<TSerialThread>(*this, *device_, events_, syncMethod_, hiddenWindow_, eventPriority_);
    }
  } catch (...) {
    delete hiddenWindow_;
    hiddenWindow_ = nullptr;
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
    bool &flag;
    ~Reset() { flag = false; }
  } reset{closing_};

  ReportLineStates(false);
  FireBeforeClose();
  AbortTransfers();
  if (thread_) {
    if (deliveryDepth_ > 0) {
      // Closed from a handler the event thread is waiting for: waiting for
      // the thread here would wait for ourselves. Stop it, let go of the
      // device now, and finish both off once this handler has returned.
      thread_->SignalStop();
      device_->Shutdown();
      TSerialThread *thread = thread_.release();
      TSerialDevice *device = device_.release();
      QObject *context = QCoreApplication::instance();
      auto reap = [thread, device] {
        delete thread;
        delete device;
      };
      if (context)
        QMetaObject::invokeMethod(context, reap, Qt::QueuedConnection);
      else
        reap();
    } else {
      thread_.reset();
    }
  }
  delete hiddenWindow_;
  hiddenWindow_ = nullptr;
  CloseDevice();
  connected_ = false;
  closing_ = false;  // the port is closed: an after-close handler may open it again
  FireAfterClose();
}

void TCustomSerialPort::OpenDevice() {
  // The demo port is the logger simulator on a fresh pseudo-terminal, opened
  // like any other device so everything downstream runs on the real path.
  std::unique_ptr<TDemoPort> demo;
  if (IsDemoPortName(port_)) demo = std::make_unique<TDemoPort>();
  device_ = std::make_unique<TSerialDevice>(demo ? demo->DevicePath() : DevicePathOf(port_));
  demo_ = std::move(demo);
}

void TCustomSerialPort::CloseDevice() {
  device_.reset();
  demo_.reset();
}

void TCustomSerialPort::AbortTransfers() {
  // Transfers here are synchronous on the calling thread, so nothing can be
  // pending; what remains is checking that the handle is still ours.
  if (!device_) throw ESerialPort(ecPurgeFailed, EBADF);
  device_->CheckOpen(ecPurgeFailed);
}

// --- settings ------------------------------------------------------------------

bool TCustomSerialPort::MayApply() const {
  // A device that has gone away takes no settings; its loss was reported
  // through OnLineLost, and the owner's way out (drop RTS, close) must not
  // fail on it.
  return connected_ && device_ && settingsChangeCount_ == 0 && !device_->HungUp();
}

void TCustomSerialPort::ApplySettings() {
  ApplyBufferSizes();
  ApplyLineSettings();
  ApplyTimeoutSettings();
}

void TCustomSerialPort::ApplyBufferSizes() {
  if (!MayApply()) return;
  device_->SetQueueSizes(buffer_->InputSize(), buffer_->OutputSize());
}

void TCustomSerialPort::ApplyLineSettings() {
  if (!MayApply()) return;
  device_->SetState(DeviceState());
}

void TCustomSerialPort::ApplyTimeoutSettings() {
  if (!MayApply()) return;
  device_->SetTimeouts(DeviceTimeouts());
}

TDeviceState TCustomSerialPort::DeviceState() const {
  TDeviceState s;
  s.BaudRate = static_cast<std::uint32_t>(baudRate_ == brCustom ? customBaudRate_ : BaudRateToDevice(baudRate_));
  std::uint32_t f = TDeviceState::fBinary;
  const TSerialParity &p = *parity_;
  const TSerialFlowControl &fc = *flowControl_;
  if (p.Check()) f |= TDeviceState::fParity;
  if (fc.OutCTSFlow()) f |= TDeviceState::fOutxCtsFlow;
  if (fc.OutDSRFlow()) f |= TDeviceState::fOutxDsrFlow;
  f |= static_cast<std::uint32_t>(DTRToDevice(fc.ControlDTR())) << 4;
  if (fc.DSRSensitivity()) f |= TDeviceState::fDsrSensitivity;
  if (fc.TxContinueOnXoff()) f |= TDeviceState::fTXContinueOnXoff;
  if (fc.XonXoffOut()) f |= TDeviceState::fOutX;
  if (fc.XonXoffIn()) f |= TDeviceState::fInX;
  const bool errorChar = p.Check() && p.Replace();
  if (errorChar) f |= TDeviceState::fErrorChar;
  if (discardNull_) f |= TDeviceState::fNull;
  f |= static_cast<std::uint32_t>(RTSToDevice(fc.ControlRTS())) << 12;
  s.Flags = f;
  s.XonLim = static_cast<std::uint16_t>(buffer_->InputSize() / 4);
  s.XoffLim = s.XonLim;
  s.ByteSize = static_cast<std::uint8_t>(DataBitsToDevice(dataBits_));
  s.Parity = static_cast<std::uint8_t>(ParityToDevice(p.Bits()));
  s.StopBits = static_cast<std::uint8_t>(StopBitsToDevice(stopBits_));
  s.XonChar = fc.XonChar();
  s.XoffChar = fc.XoffChar();
  s.ErrorChar = errorChar ? p.ReplaceChar() : 0;
  s.EofChar = 0;
  s.EvtChar = eventChar_;
  return s;
}

TDeviceTimeouts TCustomSerialPort::DeviceTimeouts() const {
  TDeviceTimeouts t;
  t.ReadIntervalTimeout = TimeoutToDevice(timeouts_->ReadInterval());
  t.ReadTotalTimeoutMultiplier = TimeoutToDevice(timeouts_->ReadTotalMultiplier());
  t.ReadTotalTimeoutConstant = TimeoutToDevice(timeouts_->ReadTotalConstant());
  t.WriteTotalTimeoutMultiplier = TimeoutToDevice(timeouts_->WriteTotalMultiplier());
  t.WriteTotalTimeoutConstant = TimeoutToDevice(timeouts_->WriteTotalConstant());
  return t;
}

int TCustomSerialPort::Handle() const { return device_ ? device_->Handle() : -1; }

bool TCustomSerialPort::HasModemLines() const { return device_ && device_->HasModemLines(); }

void TCustomSerialPort::BeginSettingsChange() { ++settingsChangeCount_; }

void TCustomSerialPort::EndSettingsChange() {
  if (settingsChangeCount_ == 0) return;
  if (--settingsChangeCount_ == 0) ApplySettings();
}

void TCustomSerialPort::ChangeSettings(const std::function<void()> &change) {
  BeginSettingsChange();
  try {
    if (change) change();
  } catch (...) {
    // Leave the bracket without sending anything: the failure is what the
    // caller hears about, not a second one from half-made settings.
    if (settingsChangeCount_ > 0) --settingsChangeCount_;
    throw;
  }
  EndSettingsChange();
}

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

// --- transfers -----------------------------------------------------------------

int TCustomSerialPort::WriteText(const std::string &text) {
  if (text.empty()) return 0;
  return WriteBuffer(text.data(), static_cast<int>(text.size()));
}

int TCustomSerialPort::WriteBuffer(const void *bytes, int count) {
  if (count <= 0) return 0;
  if (!bytes) throw ESerialPort(ecBadTransfer);
  if (!device_) throw ESerialPort(ecWriteFailed, EBADF);
  const int written = device_->Write(static_cast<const char *>(bytes), count);
  if (thread_ && written == count) thread_->TxFinished();
  return written;
}

int TCustomSerialPort::ReadText(std::string &text, int count) {
  if (count <= 0) {
    text.clear();
    return 0;
  }
  text.resize(static_cast<std::size_t>(count));
  int n = 0;
  try {
    n = ReadBuffer(&text[0], count);
  } catch (...) {
    text.clear();
    throw;
  }
  text.resize(static_cast<std::size_t>(n));
  return n;
}

int TCustomSerialPort::ReadBuffer(void *buffer, int count) {
  if (count <= 0) return 0;
  if (!buffer) throw ESerialPort(ecBadTransfer);
  if (!device_) throw ESerialPort(ecReadFailed, EBADF);
  return device_->Read(static_cast<char *>(buffer), count);
}

void TCustomSerialPort::ClearBuffers(bool input, bool output) {
  if (!device_) throw ESerialPort(ecPurgeFailed, EBADF);
  device_->Purge(input, output);
}

int TCustomSerialPort::PendingInput() {
  if (!device_) throw ESerialPort(ecClearErrorFailed, EBADF);
  return device_->PendingInput();
}

TLineSignals TCustomSerialPort::LineSignals() {
  if (!device_) throw ESerialPort(ecModemStatusFailed, EBADF);
  return device_->Signals();
}

TSerialErrors TCustomSerialPort::TakeLineErrors() {
  if (!device_) throw ESerialPort(ecClearErrorFailed, EBADF);
  return device_->TakeErrors(parity_->Check());
}

// --- dispatch ------------------------------------------------------------------

void TCustomSerialPort::HandleEvents(TSerialEvents events) {
  DeliveryScope scope(deliveryDepth_);
  for (TSerialEvent e : kSerialDispatchOrder) {
    if (!events.Contains(e)) continue;
    // A handler may have closed the port; the rest of the batch is moot.
    if (!connected_ || !device_) return;
    switch (e) {
      case evError: DispatchError(); break;
      case evRxChar: DispatchRxChar(); break;
      case evTxEmpty: DispatchTxEmpty(); break;
      case evBreak: DispatchBreak(); break;
      case evRing: DispatchRing(); break;
      case evCTS: DispatchCTSChange(); break;
      case evDSR: DispatchDSRChange(); break;
      case evRxFlag: DispatchRxFlag(); break;
      case evRLSD: DispatchRLSDChange(); break;
      case evRx80Full: DispatchRx80Full(); break;
    }
  }
}

void TCustomSerialPort::DispatchRxChar() {
  int count = PendingInput();
  device_->MarkAnnounced();
  if (!rxCountMode_ && count > 0) {
    std::string bytes(static_cast<std::size_t>(count), '\0');
    const int n = ReadBuffer(&bytes[0], count);
    FireRxBuf(bytes.data(), n);
    count = 0;
  }
  if (count > 0) FireRxChar(count);
}

void TCustomSerialPort::DispatchTxEmpty() { FireTxEmpty(); }
void TCustomSerialPort::DispatchRxFlag() { FireRxFlag(); }
void TCustomSerialPort::DispatchRing() { FireRing(); }
void TCustomSerialPort::DispatchBreak() { FireBreak(); }
void TCustomSerialPort::DispatchCTSChange() { FireCTSChange(LineSignals().Contains(lsCTS)); }
void TCustomSerialPort::DispatchDSRChange() { FireDSRChange(LineSignals().Contains(lsDSR)); }
void TCustomSerialPort::DispatchRLSDChange() { FireRLSDChange(LineSignals().Contains(lsRLSD)); }
void TCustomSerialPort::DispatchRx80Full() { FireRx80Full(); }

void TCustomSerialPort::DispatchError() {
  const TSerialErrors errors = TakeLineErrors();
  if (!errors.Empty()) FireError(errors);
}

void TCustomSerialPort::DispatchLineLost() {
  DeliveryScope scope(deliveryDepth_);
  if (!connected_) return;
  FireLineLost();
}

void TCustomSerialPort::ReportLineStates(bool afterOpen) {
  if (afterOpen) {
    DispatchCTSChange();
    DispatchDSRChange();
    DispatchRLSDChange();
  } else {
    FireCTSChange(false);
    FireDSRChange(false);
    FireRLSDChange(false);
  }
}

// --- event hooks ---------------------------------------------------------------

void TCustomSerialPort::FireAfterClose() { if (OnAfterClose) OnAfterClose(this); }
void TCustomSerialPort::FireAfterOpen() { if (OnAfterOpen) OnAfterOpen(this); }
void TCustomSerialPort::FireBeforeClose() { if (OnBeforeClose) OnBeforeClose(this); }
void TCustomSerialPort::FireBeforeOpen() { if (OnBeforeOpen) OnBeforeOpen(this); }
void TCustomSerialPort::FireRxChar(int count) { if (OnRxChar) OnRxChar(this, count); }
void TCustomSerialPort::FireRxBuf(const char *buffer, int count) { if (OnRxBuf) OnRxBuf(this, buffer, count); }
void TCustomSerialPort::FireTxEmpty() { if (OnTxEmpty) OnTxEmpty(this); }
void TCustomSerialPort::FireBreak() { if (OnBreak) OnBreak(this); }
void TCustomSerialPort::FireRing() { if (OnRing) OnRing(this); }
void TCustomSerialPort::FireRxFlag() { if (OnRxFlag) OnRxFlag(this); }
void TCustomSerialPort::FireCTSChange(bool onOff) { if (OnCTSChange) OnCTSChange(this, onOff); }
void TCustomSerialPort::FireDSRChange(bool onOff) { if (OnDSRChange) OnDSRChange(this, onOff); }
void TCustomSerialPort::FireError(TSerialErrors errors) { if (OnError) OnError(this, errors); }
void TCustomSerialPort::FireRLSDChange(bool onOff) { if (OnRLSDChange) OnRLSDChange(this, onOff); }
void TCustomSerialPort::FireRx80Full() { if (OnRx80Full) OnRx80Full(this); }
void TCustomSerialPort::FireLineLost() { if (OnLineLost) OnLineLost(this); }
