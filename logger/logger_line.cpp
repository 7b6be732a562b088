#include "logger/logger_line.h"

#include "serial/serial_port.h"

void ConfigureLoggerLine(TCustomSerialPort &port) {
  port.SetBaudRate(br115200);
  port.SetDataBits(dbEight);
  port.SetStopBits(sbOneStopBit);
  port.Parity().SetBits(prNone);
  port.FlowControl().SetControlDTR(dtrDisable);
  port.FlowControl().SetControlRTS(rtsDisable);
  port.FlowControl().SetOutCTSFlow(false);
  port.FlowControl().SetOutDSRFlow(false);
  port.FlowControl().SetXonXoffOut(false);
  port.FlowControl().SetXonXoffIn(false);
  port.SetDiscardNull(true);
  port.Timeouts().SetReadInterval(1);
  port.SetEvents(AllSerialEvents());
}

void RaiseRtsAndOpen(TCustomSerialPort &port) {
  port.FlowControl().SetControlRTS(rtsEnable);
  try {
    port.Open();
  } catch (...) {
    port.FlowControl().SetControlRTS(rtsDisable);
    throw;
  }
}

void LowerRtsAndClose(TCustomSerialPort &port) {
  port.FlowControl().SetControlRTS(rtsDisable);
  port.Close();
}
