// The Windows device's line settings: the record as a DCB, set and read back
// to see that the driver kept what makes the line work; the queue sizes; the
// driver's timeouts, which leave reads to our own queue.

#include "serial/serial_port_win32_device.h"

using namespace serial_win32;

namespace {

// The DCB of the line settings record; every field not named stays zero.
DCB ToDcb(const TDeviceState &s) {
  DCB d{};
  d.DCBlength = sizeof d;
  d.BaudRate = s.BaudRate;
  d.fBinary = (s.Flags & TDeviceState::fBinary) != 0;
  d.fParity = (s.Flags & TDeviceState::fParity) != 0;
  d.fOutxCtsFlow = (s.Flags & TDeviceState::fOutxCtsFlow) != 0;
  d.fOutxDsrFlow = (s.Flags & TDeviceState::fOutxDsrFlow) != 0;
  d.fDtrControl = static_cast<DWORD>(s.DtrControl());
  d.fDsrSensitivity = (s.Flags & TDeviceState::fDsrSensitivity) != 0;
  d.fTXContinueOnXoff = (s.Flags & TDeviceState::fTXContinueOnXoff) != 0;
  d.fOutX = (s.Flags & TDeviceState::fOutX) != 0;
  d.fInX = (s.Flags & TDeviceState::fInX) != 0;
  d.fErrorChar = (s.Flags & TDeviceState::fErrorChar) != 0;
  d.fNull = (s.Flags & TDeviceState::fNull) != 0;
  d.fRtsControl = static_cast<DWORD>(s.RtsControl());
  d.fAbortOnError = (s.Flags & TDeviceState::fAbortOnError) != 0;
  d.XonLim = s.XonLim;
  d.XoffLim = s.XoffLim;
  d.ByteSize = s.ByteSize;
  d.Parity = s.Parity;
  d.StopBits = s.StopBits;
  d.XonChar = s.XonChar;
  d.XoffChar = s.XoffChar;
  d.ErrorChar = s.ErrorChar;
  d.EofChar = s.EofChar;
  d.EvtChar = s.EvtChar;
  return d;
}

// True when the driver kept what decides whether the line works at all:
// the rate (drivers round odd rates to what their divisor can do; within
// 3 % the line still works, further off it does not), the character format
// and the handshakes. A driver that cannot do a size, a parity or 1.5 stop
// bits may take the record and keep its own.
bool LineTaken(const DCB &wanted, const DCB &back) {
  const double ratio = static_cast<double>(back.BaudRate) / wanted.BaudRate;
  return ratio >= 0.97 && ratio <= 1.03 && back.ByteSize == wanted.ByteSize && back.Parity == wanted.Parity &&
         back.StopBits == wanted.StopBits && back.fOutxCtsFlow == wanted.fOutxCtsFlow &&
         back.fOutxDsrFlow == wanted.fOutxDsrFlow && back.fOutX == wanted.fOutX && back.fInX == wanted.fInX;
}

}  // namespace

void TWin32SerialDevice::SetQueueSizes(std::int32_t input, std::int32_t output) {
  if (input < 0 || output < 0) Raise(ecSetupFailed, ERROR_INVALID_PARAMETER);
  const HANDLE h = Live(ecSetupFailed);
  if (!::SetupComm(h, static_cast<DWORD>(input), static_cast<DWORD>(output))) Raise(ecSetupFailed, ::GetLastError());
  std::lock_guard<std::mutex> lock(mutex_);
  inputSize_ = input;
}

void TWin32SerialDevice::SetState(const TDeviceState &s) {
  const HANDLE h = Live(ecSetStateFailed);
  if (s.BaudRate == 0) Raise(ecSetStateFailed, ERROR_INVALID_PARAMETER);
  // A record the device does not take leaves the line as it was.
  DCB before{};
  before.DCBlength = sizeof before;
  const bool restorable = ::GetCommState(h, &before) != 0;
  auto refuse = [&](DWORD err) {
    if (restorable) (void)::SetCommState(h, &before);
    Raise(ecSetStateFailed, err);
  };
  DCB wanted = ToDcb(s);
  if (!::SetCommState(h, &wanted)) refuse(::GetLastError());
  // SetCommState succeeds with drivers that quietly keep part of their own
  // settings; read back to see that the line is the one asked for.
  DCB back{};
  back.DCBlength = sizeof back;
  if (!::GetCommState(h, &back)) refuse(::GetLastError());
  if (!LineTaken(wanted, back)) refuse(ERROR_INVALID_PARAMETER);
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = s;
}

void TWin32SerialDevice::SetTimeouts(const TDeviceTimeouts &t) {
  const HANDLE h = Live(ecSetTimeoutsFailed);
  COMMTIMEOUTS c{};
  c.ReadIntervalTimeout = MAXDWORD;  // see serial_port_win32_device.h
  c.ReadTotalTimeoutMultiplier = 0;
  c.ReadTotalTimeoutConstant = 0;
  c.WriteTotalTimeoutMultiplier = t.WriteTotalTimeoutMultiplier;
  c.WriteTotalTimeoutConstant = t.WriteTotalTimeoutConstant;
  if (!::SetCommTimeouts(h, &c)) Raise(ecSetTimeoutsFailed, ::GetLastError());
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = t;
}
