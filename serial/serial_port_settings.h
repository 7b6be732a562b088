#pragma once

// The port's four owned groups of settings: parity, flow control, timeouts
// and queue sizes.

#include "serial/serial_port_types.h"

#include <cstdint>

// Each keeps a reference to its port; a setter stores only a changed value
// and then asks the port to re-apply its group (which does nothing while the
// port is closed).

class TCustomSerialPort;

class TSerialParity {
public:
  explicit TSerialParity(TCustomSerialPort &port) : port_(port) {}
  TSerialParity(const TSerialParity &) = delete;
  TSerialParity &operator=(const TSerialParity &other) {
    Assign(other);
    return *this;
  }
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
  TSerialFlowControl &operator=(const TSerialFlowControl &other) {
    Assign(other);
    return *this;
  }
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
  TSerialTimeouts &operator=(const TSerialTimeouts &other) {
    Assign(other);
    return *this;
  }
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
  TSerialBuffer &operator=(const TSerialBuffer &other) {
    Assign(other);
    return *this;
  }
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
