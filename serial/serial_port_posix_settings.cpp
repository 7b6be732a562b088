// The POSIX device's line settings: the record turned into termios (with
// the kernel's termios2 for rates that have no B constant) and read back to
// see that the driver took all of it, the modem lines as the record asks,
// and the queue sizes and timeouts it keeps for itself.

#include "serial/serial_port_posix_device.h"

#include <termios.h>

using namespace serial_posix;

namespace {

// The kernel's termios2, for rates that have no B constant (14400, 56000,
// 128000, 256000 and custom ones). Declared here under our own name because
// <asm/termbits.h> cannot be included next to <termios.h>.
struct KernelTermios2 {
  tcflag_t c_iflag;
  tcflag_t c_oflag;
  tcflag_t c_cflag;
  tcflag_t c_lflag;
  cc_t c_line;
  cc_t c_cc[19];
  speed_t c_ispeed;
  speed_t c_ospeed;
};
const unsigned long kGetTermios2 = _IOR('T', 0x2A, KernelTermios2);
const unsigned long kSetTermios2 = _IOW('T', 0x2B, KernelTermios2);
constexpr tcflag_t kOtherBaud = 0010000;  // BOTHER

speed_t StandardSpeed(std::uint32_t rate) {
  switch (rate) {
    case 50: return B50;
    case 75: return B75;
    case 110: return B110;
    case 134: return B134;
    case 150: return B150;
    case 200: return B200;
    case 300: return B300;
    case 600: return B600;
    case 1200: return B1200;
    case 1800: return B1800;
    case 2400: return B2400;
    case 4800: return B4800;
    case 9600: return B9600;
    case 19200: return B19200;
    case 38400: return B38400;
    case 57600: return B57600;
    case 115200: return B115200;
    case 230400: return B230400;
    case 460800: return B460800;
    case 500000: return B500000;
    case 576000: return B576000;
    case 921600: return B921600;
    case 1000000: return B1000000;
    default: return B0;
  }
}

// The line bits we set and expect to read back unchanged.
constexpr tcflag_t kCflagChecked = CSIZE | PARENB | PARODD | CMSPAR | CSTOPB | CRTSCTS;
constexpr tcflag_t kIflagChecked = IXON | IXOFF | INPCK;

}  // namespace

void TPosixSerialDevice::SetQueueSizes(std::int32_t input, std::int32_t output) {
  // The kernel's queues have a fixed size; the input size still sets when the
  // queue counts as 80 % full. A negative size is nonsense to any driver.
  if (input < 0 || output < 0) Raise(ecSetupFailed, EINVAL);
  CheckOpen(ecSetupFailed);
  std::lock_guard<std::mutex> lock(mutex_);
  inputSize_ = input;
}

void TPosixSerialDevice::SetState(const TDeviceState &s) {
  // A record the device does not take leaves the line as it was: the whole
  // termios, custom rates included, goes back before the failure is raised.
  KernelTermios2 before{};
  const bool restorable = ::ioctl(fd_, kGetTermios2, &before) == 0;
  auto refuse = [&](int err) {
    if (restorable) (void)Retry([&] { return ::ioctl(fd_, kSetTermios2, &before); });
    Raise(ecSetStateFailed, err);
  };
  termios t{};
  if (Retry([&] { return ::tcgetattr(fd_, &t); }) != 0) Raise(ecSetStateFailed, errno);
  ::cfmakeraw(&t);
  t.c_cflag |= CLOCAL | CREAD;
  t.c_cflag &= ~HUPCL;  // see Open
  t.c_cflag &= ~kCflagChecked;
  switch (s.ByteSize) {
    case 5: t.c_cflag |= CS5; break;
    case 6: t.c_cflag |= CS6; break;
    case 7: t.c_cflag |= CS7; break;
    case 8: t.c_cflag |= CS8; break;
    default: Raise(ecSetStateFailed, EINVAL);
  }
  switch (s.Parity) {
    case 0: break;
    case 1: t.c_cflag |= PARENB | PARODD; break;
    case 2: t.c_cflag |= PARENB; break;
    case 3: t.c_cflag |= PARENB | CMSPAR | PARODD; break;
    case 4: t.c_cflag |= PARENB | CMSPAR; break;
    default: Raise(ecSetStateFailed, EINVAL);
  }
  // There is no 1.5 on a POSIX line; a UART sends 1.5 stop bits for CSTOPB
  // with 5 data bits anyway, which is the only size where 1.5 exists.
  if (s.StopBits != 0) t.c_cflag |= CSTOPB;
  if ((s.Flags & TDeviceState::fOutxCtsFlow) || s.RtsControl() == 2) t.c_cflag |= CRTSCTS;
  t.c_iflag &= ~(IXON | IXOFF | IXANY | INPCK | IGNPAR | PARMRK | ISTRIP);
  if (s.Flags & TDeviceState::fParity) t.c_iflag |= INPCK;
  if (s.Flags & TDeviceState::fOutX) t.c_iflag |= IXON;
  if (s.Flags & TDeviceState::fInX) t.c_iflag |= IXOFF;
  t.c_cc[VSTART] = static_cast<cc_t>(s.XonChar);
  t.c_cc[VSTOP] = static_cast<cc_t>(s.XoffChar);
  // VMIN 1 makes an empty non-blocking read say EAGAIN; with 0 it would
  // return 0, which we must be able to take for end of file (hang-up).
  t.c_cc[VMIN] = 1;
  t.c_cc[VTIME] = 0;

  const speed_t standard = StandardSpeed(s.BaudRate);
  if (s.BaudRate == 0) Raise(ecSetStateFailed, EINVAL);
  if (standard != B0) {
    ::cfsetispeed(&t, standard);
    ::cfsetospeed(&t, standard);
  }
  if (Retry([&] { return ::tcsetattr(fd_, TCSANOW, &t); }) != 0) refuse(errno);
  if (standard == B0) {
    KernelTermios2 t2{};
    if (::ioctl(fd_, kGetTermios2, &t2) != 0) refuse(errno);
    t2.c_cflag &= ~static_cast<tcflag_t>(CBAUD | (CBAUD << 16));
    t2.c_cflag |= kOtherBaud | (kOtherBaud << 16);
    t2.c_ispeed = s.BaudRate;
    t2.c_ospeed = s.BaudRate;
    if (Retry([&] { return ::ioctl(fd_, kSetTermios2, &t2); }) != 0) refuse(errno);
  }

  // tcsetattr succeeds when any one of the changes took; read back to see
  // that all of them did.
  termios back{};
  if (Retry([&] { return ::tcgetattr(fd_, &back); }) != 0) refuse(errno);
  if ((back.c_cflag & kCflagChecked) != (t.c_cflag & kCflagChecked) ||
      (back.c_iflag & kIflagChecked) != (t.c_iflag & kIflagChecked))
    refuse(EINVAL);
  if (standard != B0) {
    if (::cfgetospeed(&back) != standard) refuse(EINVAL);
  } else {
    KernelTermios2 t2{};
    if (::ioctl(fd_, kGetTermios2, &t2) != 0) refuse(errno);
    // Drivers round odd rates to what their divisor can do; within 3 % the
    // line still works, further off it does not.
    const double ratio = static_cast<double>(t2.c_ospeed) / s.BaudRate;
    if (ratio < 0.97 || ratio > 1.03) refuse(EINVAL);
  }

  if (hasModemLines_) {
    if (!SetModemLine(fd_, TIOCM_DTR, DtrWantedHigh(s))) Raise(ecSetStateFailed, errno);
    if (!SetModemLine(fd_, TIOCM_RTS, RtsWantedHigh(s))) Raise(ecSetStateFailed, errno);
  }
  std::lock_guard<std::mutex> lock(mutex_);
  state_ = s;
}

void TPosixSerialDevice::SetTimeouts(const TDeviceTimeouts &timeouts) {
  CheckOpen(ecSetTimeoutsFailed);
  std::lock_guard<std::mutex> lock(mutex_);
  timeouts_ = timeouts;
}
