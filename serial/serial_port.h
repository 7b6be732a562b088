#pragma once

// The serial port object: one RS-232 device, its line settings, reading and
// writing, and the line events reported through an event thread.
//
// All operations are called on the user-interface thread, and with the
// default SyncMethod (smThreadSync) every event is delivered there too.
//
// Events are std::function members named like the event and called with the
// sender first; the sender is the port itself (TCustomSerialPort*).
//
// What the port is built from, file by file:
//   serial_port_types.h/.cpp       enumerations, texts, device values, ESerialPort
//   serial_port_settings.h/.cpp    the owned settings groups, property setters,
//                                  sending settings to the device
//   serial_port_lifecycle.cpp      construction, Open and Close, the device behind a name
//   serial_port_transfers.cpp      asynchronous transfers and the reads and writes on them
//   transfer_lane.h/.cpp           the background threads that carry pending transfers
//   serial_port_dispatch.cpp       the dispatch steps, line states, event hooks
//   serial_thread.h/.cpp           the event thread
//   port_registry.h/.cpp           port names the application adds (the demo port)

#include "serial/serial_port_settings.h"
#include "serial/serial_port_types.h"

#include <atomic>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <thread>
#include <utility>
#include <vector>

class TSerialDevice;
class TSerialThread;
class TTransferLanes;
struct TWindowTarget;

// ---------------------------------------------------------------------------
// One asynchronous transfer: a write or a read started on a port and waited
// for later. NewTransfer makes one (waiting on it returns 0 at once while
// nothing was started); FreeTransfer ends whatever it still has running,
// as AbortTransfers would end it (a write stops inside the device), and
// frees it. A transfer runs one write or read at a time and may be started
// again once that has been waited for.
struct PortTransfer;
PortTransfer *NewTransfer();
void FreeTransfer(PortTransfer *transfer);  // null does nothing

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

  // Device name: a full path (/dev/ttyUSB0), "COMn", or a name the
  // application registered (port_registry.h). Changing it while open
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
  // bytes actually sent. Built on StartWrite and WaitTransfer.
  int WriteText(const std::string &text);
  int WriteBuffer(const void *bytes, int count);
  // Takes at most count received bytes, following the read timeouts (with
  // this program's settings: at once, with what is queued). Built on
  // StartRead and WaitTransfer.
  int ReadText(std::string &text, int count);
  int ReadBuffer(void *buffer, int count);

  // Asynchronous transfers. A start returns at once with the bytes
  // transferred at once, 0 while the transfer is pending; a pending one goes
  // on in the background, in order with the others of its kind, and
  // WaitTransfer blocks until it has ended and returns its byte count.
  //
  // A write copies the bytes, so the caller's may go at once, and is always
  // pending here (0): the device's write sends and then waits for the bytes
  // to leave the line. It ends when every byte has left or when the write
  // limit for its length has run out (the count then says what left). A
  // read ends inside its start when the bytes it needs are queued already
  // (or the timeouts say "what is there"); otherwise it fills the caller's
  // buffer (or text) in the background, which must stay put until the
  // transfer has been waited for, aborted or freed. It follows the read
  // timeouts.
  //
  // Without a transfer record (or one still running) they raise code 4; a
  // write that fails raises code 2, a read code 3, with the system's number,
  // from the start or from WaitTransfer. A transfer ended by AbortTransfers
  // raises its code with ECANCELED from WaitTransfer.
  int StartWrite(const void *bytes, int count, PortTransfer *transfer);
  int StartWriteText(const std::string &text, PortTransfer *transfer);  // empty: starts nothing, 0
  int StartRead(void *buffer, int count, PortTransfer *transfer);
  int StartReadText(std::string &text, int count, PortTransfer *transfer);  // text gets count bytes of room
  int WaitTransfer(PortTransfer *transfer);
  // Ends every pending transfer of this port now (Close does it too). A write
  // whose bytes the line is still taking is cut off: its WaitTransfer
  // returns at once; what it had handed to the device may still go out, but
  // nothing later goes out before it. Raises code 5 when the device is gone.
  void AbortTransfers();

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

  // The open device's descriptor (a HANDLE on Windows), -1 while closed
  // (for diagnostics and tests; the port's own operations are the way to
  // use it).
  std::intptr_t Handle() const;

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
  // Close called from inside a delivery on the thread running it: the event
  // thread cannot be waited for there, it is left to end on its own.
  void RetireEventThread();
  // Lets the transfer lanes go at Close.
  void ReleaseLanes();
  // Counts a delivery running on this thread, so Close knows when it is
  // called from inside one.
  struct TDeliveryScope {
    explicit TDeliveryScope(TCustomSerialPort &port);
    ~TDeliveryScope();
    TCustomSerialPort &port;
  };
  friend struct TDeliveryScope;

  std::unique_ptr<TSerialParity> parity_;
  std::unique_ptr<TSerialFlowControl> flowControl_;
  std::unique_ptr<TSerialTimeouts> timeouts_;
  std::unique_ptr<TSerialBuffer> buffer_;

  std::atomic<bool> connected_{false};
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
  std::atomic<bool> closing_{false};
  // Dispatch steps running for the event thread, and the thread they run on
  // (the UI thread, or the event thread itself without synchronisation).
  std::atomic<int> deliveryDepth_{0};
  std::atomic<std::thread::id> deliveringThread_{};
  std::mutex deliveryMutex_;  // with deliveryEnded_: the destructor waits for such steps to end
  std::condition_variable deliveryEnded_;
  // Whatever serves a port name the application registered (the demo
  // port's simulator), held while the port is open.
  std::shared_ptr<void> servedBy_;
  // Shared with the threads that may still be using it after a close from
  // inside a delivery or behind a write the line never took.
  std::shared_ptr<TSerialDevice> device_;
  std::unique_ptr<TSerialThread> thread_;
  std::unique_ptr<TTransferLanes> lanes_;  // pending transfers, while open
  // Window delivery only: where the event thread's messages go. Close
  // empties it, so messages still on their way find no port.
  std::shared_ptr<TWindowTarget> windowTarget_;
};

// The published form: every property and event of TCustomSerialPort.
class TSerialPort : public TCustomSerialPort {
public:
  using TCustomSerialPort::TCustomSerialPort;
};
