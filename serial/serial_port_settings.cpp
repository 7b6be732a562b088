// Settings: the owned groups' setters, the port's property setters, and
// sending the settings to an open device (at once, or at the end of a
// settings-change bracket).

#include "serial/serial_port.h"

#include "serial/serial_device.h"

// ---------------------------------------------------------------------------
// Settings groups

#define SERIAL_SETTER(Class, Name, Type, field, apply) \
  void Class::Set##Name(Type v) {                      \
    if ((field) == v) return;                          \
    (field) = v;                                       \
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
// The port's own properties

void TCustomSerialPort::SetConnected(bool v) {
  if (v) Open();
  else Close();
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

// ---------------------------------------------------------------------------
// Sending the settings to the device

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
