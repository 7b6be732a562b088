// Event dispatch: the step the event thread's delivery runs for each line
// event, the line-state report around Open and Close, the modem lines and
// line errors those steps read, and the hooks that fire the events.

#include "serial/serial_port.h"

#include "serial/serial_device.h"
#include "serial/serial_thread.h"

#include <string>

// ---------------------------------------------------------------------------
// Dispatch steps

void TCustomSerialPort::HandleEvents(TSerialEvents events) {
  TDeliveryScope scope(*this);
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
  TDeliveryScope scope(*this);
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

// ---------------------------------------------------------------------------
// Event hooks

void TCustomSerialPort::FireAfterClose() {
  if (OnAfterClose) OnAfterClose(this);
}
void TCustomSerialPort::FireAfterOpen() {
  if (OnAfterOpen) OnAfterOpen(this);
}
void TCustomSerialPort::FireBeforeClose() {
  if (OnBeforeClose) OnBeforeClose(this);
}
void TCustomSerialPort::FireBeforeOpen() {
  if (OnBeforeOpen) OnBeforeOpen(this);
}
void TCustomSerialPort::FireRxChar(int count) {
  if (OnRxChar) OnRxChar(this, count);
}
void TCustomSerialPort::FireRxBuf(const char *buffer, int count) {
  if (OnRxBuf) OnRxBuf(this, buffer, count);
}
void TCustomSerialPort::FireTxEmpty() {
  if (OnTxEmpty) OnTxEmpty(this);
}
void TCustomSerialPort::FireBreak() {
  if (OnBreak) OnBreak(this);
}
void TCustomSerialPort::FireRing() {
  if (OnRing) OnRing(this);
}
void TCustomSerialPort::FireRxFlag() {
  if (OnRxFlag) OnRxFlag(this);
}
void TCustomSerialPort::FireCTSChange(bool onOff) {
  if (OnCTSChange) OnCTSChange(this, onOff);
}
void TCustomSerialPort::FireDSRChange(bool onOff) {
  if (OnDSRChange) OnDSRChange(this, onOff);
}
void TCustomSerialPort::FireError(TSerialErrors errors) {
  if (OnError) OnError(this, errors);
}
void TCustomSerialPort::FireRLSDChange(bool onOff) {
  if (OnRLSDChange) OnRLSDChange(this, onOff);
}
void TCustomSerialPort::FireRx80Full() {
  if (OnRx80Full) OnRx80Full(this);
}
void TCustomSerialPort::FireLineLost() {
  if (OnLineLost) OnLineLost(this);
}

// ---------------------------------------------------------------------------
// Modem lines and line errors

TLineSignals TCustomSerialPort::LineSignals() {
  if (!device_) throw ESerialPort(ecModemStatusFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  return device_->Signals();
}

TSerialErrors TCustomSerialPort::TakeLineErrors() {
  if (!device_) throw ESerialPort(ecClearErrorFailed, SerialOsErrorNumber(TSerialOsError::Closed));
  return device_->TakeErrors(parity_->Check());
}
