#pragma once

// The serial port object: one RS-232 device, its line settings, reading and
// writing, and the line events reported through an event thread.
//
// All operations are called on the user-interface thread, and with the
// default SyncMethod (smThreadSync) every event is delivered there too.
//
// Events are std::function members named like the event and called with the
// sender first; the sender is the port itself (TCustomSerialPort*).

#include "runtime/exceptions.h"

#include <atomic>
#include <cstdint>
#include <functional>
#include <initializer_list>
#include <memory>
#include <mutex>
#include <string>
#include <utility>
#include <vector>

// ---------------------------------------------------------------------------
// Small sets of enumeration values, bit n for ordinal n.

template <typename E, typename Store>
class TSmallSet {
public:
  constexpr TSmallSet() = default;
  constexpr TSmallSet(std::initializer_list<E> items) {
    for (E e : items) bits_ = static_cast<Store>(bits_ | Bit(e));
  }
  static constexpr TSmallSet FromBits(Store bits) {
    TSmallSet s;
    s.bits_ = bits;
    return s;
  }
  constexpr Store Bits() const { return bits_; }
  constexpr bool Contains(E e) const { return (bits_ & Bit(e)) != 0; }
  constexpr bool Empty() const { return bits_ == 0; }
  void Include(E e) { bits_ = static_cast<Store>(bits_ | Bit(e)); }
  void Exclude(E e) { bits_ = static_cast<Store>(bits_ & ~Bit(e)); }
  constexpr TSmallSet operator|(TSmallSet o) const { return FromBits(static_cast<Store>(bits_ | o.bits_)); }
  constexpr TSmallSet operator&(TSmallSet o) const { return FromBits(static_cast<Store>(bits_ & o.bits_)); }
  TSmallSet &operator|=(TSmallSet o) {
    bits_ = static_cast<Store>(bits_ | o.bits_);
    return *this;
  }
  constexpr bool operator==(TSmallSet o) const { return bits_ == o.bits_; }
  constexpr bool operator!=(TSmallSet o) const { return bits_ != o.bits_; }

private:
  static constexpr Store Bit(E e) { return static_cast<Store>(Store(1) << static_cast<int>(e)); }
  Store bits_ = 0;
};

// ---------------------------------------------------------------------------
// Enumerations. The ordinal is what the property holds; the device value and
// the text come from the functions below.

enum TBaudRate : int {
  brCustom = 0, br110, br300, br600, br1200, br2400, br4800, br9600, br14400,
  br19200, br38400, br56000, br57600, br115200, br128000, br256000
};
enum TStopBits : int { sbOneStopBit = 0, sbOne5StopBits, sbTwoStopBits };
enum TDataBits : int { dbFive = 0, dbSix, dbSeven, dbEight };
enum TParityBits : int { prNone = 0, prOdd, prEven, prMark, prSpace };
enum TDTRFlowControl : int { dtrDisable = 0, dtrEnable, dtrHandshake };
enum TRTSFlowControl : int { rtsDisable = 0, rtsEnable, rtsHandshake, rtsToggle };
enum TFlowControl : int { fcHardware = 0, fcSoftware, fcNone, fcCustom };
enum TSyncMethod : int { smThreadSync = 0, smWindowSync, smNone };
enum TSerialEvent : int {
  evRxChar = 0, evTxEmpty, evRxFlag, evRing, evBreak, evCTS, evDSR, evError, evRLSD, evRx80Full
};
using TSerialEvents = TSmallSet<TSerialEvent, std::uint16_t>;

enum TSerialError : int {
  erFraming = 0, erParity, erOverrun, erBreak, erDeviceIO, erMode, erRxOverflow, erTxFull
};
using TSerialErrors = TSmallSet<TSerialError, std::uint8_t>;

enum TLineSignal : int { lsCTS = 0, lsDSR, lsRing, lsRLSD };
using TLineSignals = TSmallSet<TLineSignal, std::uint8_t>;

// Priority given to the event thread.
enum TThreadPriority : int { tpIdle = 0, tpLowest, tpLower, tpNormal, tpHigher, tpHighest, tpTimeCritical };

// Groups of settings the settings store writes and reads.
enum TStoredGroup : int { sgBasic = 0, sgOther, sgParity, sgBuffer, sgTimeouts, sgFlow };
using TStoredGroups = TSmallSet<TStoredGroup, std::uint8_t>;

// Every one of the ten line events.
constexpr TSerialEvents AllSerialEvents() { return TSerialEvents::FromBits(0x03FF); }

// Device values.
int BaudRateToDevice(TBaudRate rate);  // brCustom gives 0: the caller uses CustomBaudRate
int StopBitsToDevice(TStopBits bits);  // 0, 1, 2
int DataBitsToDevice(TDataBits bits);  // 5 .. 8
int ParityToDevice(TParityBits bits);  // 0 .. 4
int DTRToDevice(TDTRFlowControl c);    // 0, 1, 2
int RTSToDevice(TRTSFlowControl c);    // 0 .. 3
std::uint32_t TimeoutToDevice(std::int32_t ms);  // -1 becomes all ones

// Event-mask bits of the device interface, and back (unknown bits ignored).
std::uint32_t EventsToMask(TSerialEvents events);
TSerialEvents MaskToEvents(std::uint32_t mask);

// Text forms (setup dialog, settings store). The TextTo... functions compare
// ignoring case, first match in ordinal order; no match gives the documented
// fallback (br9600, sbOneStopBit, dbEight, prNone, fcCustom, dtrDisable,
// rtsDisable).
std::string BaudRateToText(TBaudRate v);
std::string StopBitsToText(TStopBits v);
std::string DataBitsToText(TDataBits v);
std::string ParityToText(TParityBits v);
std::string FlowControlToText(TFlowControl v);
std::string DTRToText(TDTRFlowControl v);
std::string RTSToText(TRTSFlowControl v);
TBaudRate TextToBaudRate(const std::string &text);
TStopBits TextToStopBits(const std::string &text);
TDataBits TextToDataBits(const std::string &text);
TParityBits TextToParity(const std::string &text);
TFlowControl TextToFlowControl(const std::string &text);
TDTRFlowControl TextToDTR(const std::string &text);
TRTSFlowControl TextToRTS(const std::string &text);

// The device a port name stands for: "COM1" is /dev/ttyS0 (COMn is
// ttyS(n-1), any letter case); every other name is used as it stands.
std::string DevicePathOf(const std::string &port);

// ---------------------------------------------------------------------------
// Failures of the port.

enum TSerialErrorCode : int {
  ecOpenFailed = 1, ecWriteFailed, ecReadFailed, ecBadTransfer, ecPurgeFailed,
  ecTransferStatus, ecSetStateFailed, ecSetTimeoutsFailed, ecSetupFailed,
  ecClearErrorFailed, ecModemStatusFailed, ecEscapeFailed, ecTransmitCharFailed,
  ecConnected, ecEnumPortsFailed, ecStoreFailed, ecLoadFailed, ecLinkFailed,
  ecLedState, ecThreadActive, ecWaitFailed, ecRxBufLinked, ecRegistry
};

class ESerialPort : public Exception {
public:
  // The message is the table text of code, followed by
  // " (win error code: <osCode>)" when there is an operating-system number.
  explicit ESerialPort(int code, int osCode = -1);

  int Code() const { return code_; }
  int OsCode() const { return osCode_; }  // errno, or -1 when there is none

  // The table text of a code 1 .. 23 (empty for anything else).
  static std::string TableMessage(int code);

private:
  int code_;
  int osCode_;
};

// ---------------------------------------------------------------------------
// The owned groups of settings. Each keeps a reference to its port; a setter
// stores only a changed value and then asks the port to re-apply its group
// (which does nothing while the port is closed).

class TCustomSerialPort;

class TSerialParity {
public:
  explicit TSerialParity(TCustomSerialPort &port) : port_(port) {}
  TSerialParity(const TSerialParity &) = delete;
  TSerialParity &operator=(const TSerialParity &other) { Assign(other); return *this; }
  void Assign(const TSerialParity &other);  // copies every field, re-applies once

  TParityBits Bits() const { return bits_; }
  void SetBits(TParityBits v);
  bool Check() const { return check_; }
  void SetCheck(bool v);
  bool Replace() const { return replace_; }
  void SetReplace(bool v);
  char ReplaceChar() const { return replaceChar_; }
  void SetReplaceChar(char v);

private:
  TCustomSerialPort &port_;
  TParityBits bits_ = prNone;
  bool check_ = false;
  bool replace_ = false;
  char replaceChar_ = 0;
};

class TSerialFlowControl {
public:
  explicit TSerialFlowControl(TCustomSerialPort &port) : port_(port) {}
  TSerialFlowControl(const TSerialFlowControl &) = delete;
  TSerialFlowControl &operator=(const TSerialFlowControl &other) { Assign(other); return *this; }
  void Assign(const TSerialFlowControl &other);

  bool OutCTSFlow() const { return outCTSFlow_; }
  void SetOutCTSFlow(bool v);
  bool OutDSRFlow() const { return outDSRFlow_; }
  void SetOutDSRFlow(bool v);
  TDTRFlowControl ControlDTR() const { return controlDTR_; }
  void SetControlDTR(TDTRFlowControl v);
  TRTSFlowControl ControlRTS() const { return controlRTS_; }
  void SetControlRTS(TRTSFlowControl v);
  bool XonXoffOut() const { return xonXoffOut_; }
  void SetXonXoffOut(bool v);
  bool XonXoffIn() const { return xonXoffIn_; }
  void SetXonXoffIn(bool v);
  bool DSRSensitivity() const { return dsrSensitivity_; }
  void SetDSRSensitivity(bool v);
  bool TxContinueOnXoff() const { return txContinueOnXoff_; }
  void SetTxContinueOnXoff(bool v);
  char XonChar() const { return xonChar_; }
  void SetXonChar(char v);
  char XoffChar() const { return xoffChar_; }
  void SetXoffChar(char v);

  // The preset the fields amount to (fcCustom when they match none). Writing
  // a preset other than fcCustom rewrites RTS control, CTS flow and both
  // XON/XOFF flags; every write re-applies the line settings, even an
  // unchanged one.
  TFlowControl FlowControl() const;
  void SetFlowControl(TFlowControl v);

private:
  void Changed();
  TCustomSerialPort &port_;
  bool outCTSFlow_ = false;
  bool outDSRFlow_ = false;
  TDTRFlowControl controlDTR_ = dtrDisable;
  TRTSFlowControl controlRTS_ = rtsDisable;
  bool xonXoffOut_ = false;
  bool xonXoffIn_ = false;
  bool dsrSensitivity_ = false;
  bool txContinueOnXoff_ = false;
  char xonChar_ = 17;
  char xoffChar_ = 19;
};

class TSerialTimeouts {
public:
  explicit TSerialTimeouts(TCustomSerialPort &port) : port_(port) {}
  TSerialTimeouts(const TSerialTimeouts &) = delete;
  TSerialTimeouts &operator=(const TSerialTimeouts &other) { Assign(other); return *this; }
  void Assign(const TSerialTimeouts &other);

  // Milliseconds; ReadInterval -1 with both read totals 0 means "return at
  // once with what is queued".
  std::int32_t ReadInterval() const { return readInterval_; }
  void SetReadInterval(std::int32_t v);
  std::int32_t ReadTotalMultiplier() const { return readTotalMultiplier_; }
  void SetReadTotalMultiplier(std::int32_t v);
  std::int32_t ReadTotalConstant() const { return readTotalConstant_; }
  void SetReadTotalConstant(std::int32_t v);
  std::int32_t WriteTotalMultiplier() const { return writeTotalMultiplier_; }
  void SetWriteTotalMultiplier(std::int32_t v);
  std::int32_t WriteTotalConstant() const { return writeTotalConstant_; }
  void SetWriteTotalConstant(std::int32_t v);

private:
  TCustomSerialPort &port_;
  std::int32_t readInterval_ = -1;
  std::int32_t readTotalMultiplier_ = 0;
  std::int32_t readTotalConstant_ = 0;
  std::int32_t writeTotalMultiplier_ = 100;
  std::int32_t writeTotalConstant_ = 1000;
};

class TSerialBuffer {
public:
  explicit TSerialBuffer(TCustomSerialPort &port) : port_(port) {}
  TSerialBuffer(const TSerialBuffer &) = delete;
  TSerialBuffer &operator=(const TSerialBuffer &other) { Assign(other); return *this; }
  void Assign(const TSerialBuffer &other);

  // Queue sizes in bytes. A positive odd size is stored one less (1025 reads
  // back as 1024); other values are stored as given.
  std::int32_t InputSize() const { return inputSize_; }
  void SetInputSize(std::int32_t v);
  std::int32_t OutputSize() const { return outputSize_; }
  void SetOutputSize(std::int32_t v);

private:
  TCustomSerialPort &port_;
  std::int32_t inputSize_ = 1024;
  std::int32_t outputSize_ = 1024;
};

// ---------------------------------------------------------------------------
// The line settings record the port hands to the device layer: built from the
// properties alone, never read back from the device first.

struct TDeviceState {
  // Flag bits.
  static constexpr std::uint32_t fBinary = 0x0001, fParity = 0x0002, fOutxCtsFlow = 0x0004,
                                 fOutxDsrFlow = 0x0008, fDtrControlMask = 0x0030, fDsrSensitivity = 0x0040,
                                 fTXContinueOnXoff = 0x0080, fOutX = 0x0100, fInX = 0x0200,
                                 fErrorChar = 0x0400, fNull = 0x0800, fRtsControlMask = 0x3000,
                                 fAbortOnError = 0x4000;
  std::uint32_t BaudRate = 0;
  std::uint32_t Flags = 0;
  std::uint16_t XonLim = 0;
  std::uint16_t XoffLim = 0;
  std::uint8_t ByteSize = 8;
  std::uint8_t Parity = 0;
  std::uint8_t StopBits = 0;
  char XonChar = 0;
  char XoffChar = 0;
  char ErrorChar = 0;
  char EofChar = 0;
  char EvtChar = 0;

  int DtrControl() const { return static_cast<int>((Flags & fDtrControlMask) >> 4); }
  int RtsControl() const { return static_cast<int>((Flags & fRtsControlMask) >> 12); }
};

struct TDeviceTimeouts {
  std::uint32_t ReadIntervalTimeout = 0;
  std::uint32_t ReadTotalTimeoutMultiplier = 0;
  std::uint32_t ReadTotalTimeoutConstant = 0;
  std::uint32_t WriteTotalTimeoutMultiplier = 0;
  std::uint32_t WriteTotalTimeoutConstant = 0;
};

class TSerialDevice;
class TSerialThread;
class TDemoPort;
class QObject;

// ---------------------------------------------------------------------------

class TCustomSerialPort {
public:
  using Sender = TCustomSerialPort *;
  using TNotifyEvent = std::function<void(Sender)>;
  using TRxCharEvent = std::function<void(Sender, int Count)>;
  using TRxBufEvent = std::function<void(Sender, const char *Buffer, int Count)>;
  using TSerialSignalEvent = std::function<void(Sender, bool OnOff)>;
  using TSerialErrorEvent = std::function<void(Sender, TSerialErrors Errors)>;

  // Constructible on the UI thread without any device: nothing is opened
  // until Open.
  TCustomSerialPort();
  virtual ~TCustomSerialPort();  // closes the port first
  TCustomSerialPort(const TCustomSerialPort &) = delete;
  TCustomSerialPort &operator=(const TCustomSerialPort &) = delete;

  // --- properties ---------------------------------------------------------
  bool Connected() const { return connected_; }
  void SetConnected(bool v);  // true opens, false closes

  TBaudRate BaudRate() const { return baudRate_; }
  void SetBaudRate(TBaudRate v);
  std::int32_t CustomBaudRate() const { return customBaudRate_; }
  void SetCustomBaudRate(std::int32_t v);

  // Device name: a full path (/dev/ttyUSB0) or "COMn". Changing it while open
  // closes the port and opens the new device (the bracket does not hold this
  // back).
  const std::string &Port() const { return port_; }
  void SetPort(const std::string &v);

  TSerialParity &Parity() { return *parity_; }
  const TSerialParity &Parity() const { return *parity_; }
  void SetParity(const TSerialParity &v) { parity_->Assign(v); }

  TStopBits StopBits() const { return stopBits_; }
  void SetStopBits(TStopBits v);
  TDataBits DataBits() const { return dataBits_; }
  void SetDataBits(TDataBits v);
  bool DiscardNull() const { return discardNull_; }
  void SetDiscardNull(bool v);
  char EventChar() const { return eventChar_; }
  void SetEventChar(char v);

  // Which line events the event thread watches; read at Open only. With an
  // empty set no event thread runs.
  TSerialEvents Events() const { return events_; }
  void SetEvents(TSerialEvents v) { events_ = v; }

  TSerialBuffer &Buffer() { return *buffer_; }
  const TSerialBuffer &Buffer() const { return *buffer_; }
  void SetBuffer(const TSerialBuffer &v) { buffer_->Assign(v); }

  TSerialFlowControl &FlowControl() { return *flowControl_; }
  const TSerialFlowControl &FlowControl() const { return *flowControl_; }
  void SetFlowControl(const TSerialFlowControl &v) { flowControl_->Assign(v); }

  TSerialTimeouts &Timeouts() { return *timeouts_; }
  const TSerialTimeouts &Timeouts() const { return *timeouts_; }
  void SetTimeouts(const TSerialTimeouts &v) { timeouts_->Assign(v); }

  // How events reach the UI thread. Changing it while open raises
  // ESerialPort code 14 and keeps the old value.
  TSyncMethod SyncMethod() const { return syncMethod_; }
  void SetSyncMethod(TSyncMethod v);

  TThreadPriority EventPriority() const { return eventPriority_; }
  void SetEventPriority(TThreadPriority v) { eventPriority_ = v; }
  // true: received bytes are announced by count (OnRxChar); false: they are
  // read by the port and handed over whole (OnRxBuf).
  bool RxCountMode() const { return rxCountMode_; }
  void SetRxCountMode(bool v) { rxCountMode_ = v; }
  TStoredGroups StoredGroups() const { return storedGroups_; }
  void SetStoredGroups(TStoredGroups v) { storedGroups_ = v; }

  // --- operations ----------------------------------------------------------
  void Open();   // nothing when already open; failure leaves the port closed
  void Close();  // nothing when closed; waits for the event thread

  // Blocks until every byte was sent or the write limit
  // (WriteTotalMultiplier x n + WriteTotalConstant ms) ran out; returns the
  // bytes actually sent.
  int WriteText(const std::string &text);
  int WriteBuffer(const void *bytes, int count);
  // Takes at most count received bytes, following the read timeouts (with
  // this program's settings: at once, with what is queued).
  int ReadText(std::string &text, int count);
  int ReadBuffer(void *buffer, int count);

  void ClearBuffers(bool input, bool output);
  int PendingInput();  // bytes received and not yet read
  TLineSignals LineSignals();
  TSerialErrors TakeLineErrors();  // and forgets them

  // While the counter is above 0 the settings are not sent to the device;
  // the outermost end sends them all at once.
  void BeginSettingsChange();
  void EndSettingsChange();
  int SettingsChangeCount() const { return settingsChangeCount_; }

  // Shows the port setup dialog modally; OK applies the choice inside the
  // settings-change bracket, Cancel changes nothing. The dialog registers
  // itself in SetupDialog; with none registered a minimal dialog asking for
  // the device path is shown. The hook returns true when the user pressed OK.
  void ShowSetup();
  static std::function<bool(TCustomSerialPort &)> SetupDialog;

  // Objects that keep a pointer to this port (the setup dialog's lists) ask
  // to be told when it is destroyed; each is called once, from the
  // destructor. The number returned takes the request back.
  using TFreeNotify = std::function<void(TCustomSerialPort *)>;
  int AddFreeNotification(TFreeNotify notify);
  void RemoveFreeNotification(int id);

  // Runs change inside the settings-change bracket; the bracket is closed on
  // every path (a failing change still ends it).
  void ChangeSettings(const std::function<void()> &change);

  // The record ApplyLineSettings sends and the timeouts ApplyTimeoutSettings
  // sends, built from the current properties.
  TDeviceState DeviceState() const;
  TDeviceTimeouts DeviceTimeouts() const;

  // The open device's descriptor, -1 while closed (for diagnostics and
  // tests; the port's own operations are the way to use it).
  int Handle() const;

  // True while open on a device that has modem-control lines (a
  // pseudo-terminal has none: its signals read as off).
  bool HasModemLines() const;

  // --- dispatch steps (run by the event thread's delivery) ---------------
  void DispatchRxChar();
  void DispatchTxEmpty();
  void DispatchRxFlag();
  void DispatchRing();
  void DispatchBreak();
  void DispatchCTSChange();
  void DispatchDSRChange();
  void DispatchError();
  void DispatchRLSDChange();
  void DispatchRx80Full();
  void DispatchLineLost();
  // Runs the step of every event in the set, in the fixed order error,
  // received, sent, break, ring, CTS, DSR, event char, carrier, 80 % full.
  void HandleEvents(TSerialEvents events);
  // After Open: CTS, DSR, RLSD steps with the current states. Before Close:
  // the three events with OnOff false, without reading the device.
  void ReportLineStates(bool afterOpen);

  // --- events -------------------------------------------------------------
  TNotifyEvent OnAfterOpen;
  TNotifyEvent OnAfterClose;
  TNotifyEvent OnBeforeOpen;
  TNotifyEvent OnBeforeClose;
  TRxCharEvent OnRxChar;
  TRxBufEvent OnRxBuf;
  TNotifyEvent OnTxEmpty;
  TNotifyEvent OnBreak;
  TNotifyEvent OnRing;
  TSerialSignalEvent OnCTSChange;
  TSerialSignalEvent OnDSRChange;
  TSerialSignalEvent OnRLSDChange;
  TNotifyEvent OnRxFlag;
  TSerialErrorEvent OnError;
  TNotifyEvent OnRx80Full;
  // The device went away under an open port (USB adapter pulled, the other
  // end of a pseudo-terminal closed). Delivered once, on the UI thread with
  // smThreadSync, after every byte received before the hang-up was reported
  // through OnRxChar; OnError with erDeviceIO fires just before it when
  // evError is watched. The event thread has then ended: the port still reads
  // Connected until the owner closes it, which it should do now.
  TNotifyEvent OnLineLost;

protected:
  // Device layer; overridable.
  virtual void OpenDevice();
  virtual void CloseDevice();
  virtual void ApplySettings();
  virtual void ApplyLineSettings();
  virtual void ApplyTimeoutSettings();
  virtual void ApplyBufferSizes();
  void AbortTransfers();

  // Each calls its handler when one is assigned.
  virtual void FireAfterClose();
  virtual void FireAfterOpen();
  virtual void FireBeforeClose();
  virtual void FireBeforeOpen();
  virtual void FireRxChar(int count);
  virtual void FireRxBuf(const char *buffer, int count);
  virtual void FireTxEmpty();
  virtual void FireBreak();
  virtual void FireRing();
  virtual void FireRxFlag();
  virtual void FireCTSChange(bool onOff);
  virtual void FireDSRChange(bool onOff);
  virtual void FireError(TSerialErrors errors);
  virtual void FireRLSDChange(bool onOff);
  virtual void FireRx80Full();
  virtual void FireLineLost();

private:
  friend class TSerialParity;
  friend class TSerialFlowControl;
  friend class TSerialTimeouts;
  friend class TSerialBuffer;
  friend class TSerialThread;

  bool MayApply() const;
  void ShowDefaultSetup();

  std::unique_ptr<TSerialParity> parity_;
  std::unique_ptr<TSerialFlowControl> flowControl_;
  std::unique_ptr<TSerialTimeouts> timeouts_;
  std::unique_ptr<TSerialBuffer> buffer_;

  bool connected_ = false;
  TBaudRate baudRate_ = br9600;
  std::int32_t customBaudRate_ = 9600;
  std::string port_ = "COM1";
  TStopBits stopBits_ = sbOneStopBit;
  TDataBits dataBits_ = dbEight;
  bool discardNull_ = false;
  char eventChar_ = 0;
  TSerialEvents events_ = AllSerialEvents();
  TSyncMethod syncMethod_ = smThreadSync;
  TThreadPriority eventPriority_ = tpNormal;
  bool rxCountMode_ = true;
  TStoredGroups storedGroups_ = {sgBasic};

  int settingsChangeCount_ = 0;
  std::vector<std::pair<int, TFreeNotify>> freeNotifications_;
  int nextFreeNotification_ = 0;
  bool closing_ = false;
  std::atomic<int> deliveryDepth_{0};  // dispatch steps running for the event thread
  std::unique_ptr<TDemoPort> demo_;  // the simulator behind the port named "DEMO", while open
  std::unique_ptr<TSerialDevice> device_;
  std::unique_ptr<TSerialThread> thread_;
  QObject *hiddenWindow_ = nullptr;  // window delivery only
};

// The published form: every property and event of TCustomSerialPort.
class TSerialPort : public TCustomSerialPort {
public:
  using TCustomSerialPort::TCustomSerialPort;
};
