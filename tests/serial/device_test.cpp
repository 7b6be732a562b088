// The device layer on its own, on a pseudo-terminal: what a record the line
// cannot carry does to the line.

#include "pty_peer.h"
#include "serial/serial_device.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace {

TDeviceState Line(std::uint32_t rate, int size, int parity, int stopBits) {
  TDeviceState s;
  s.BaudRate = rate;
  s.ByteSize = static_cast<std::uint8_t>(size);
  s.Parity = static_cast<std::uint8_t>(parity);
  s.StopBits = static_cast<std::uint8_t>(stopBits);
  s.Flags = TDeviceState::fBinary;
  return s;
}

}  // namespace

// A pseudo-terminal carries 8 bits without parity whatever it is told; the
// rest of such a record (here the rate and stop bits) must not stay behind
// on the line when the record is refused.
TEST(SerialDevice, ARefusedRecordLeavesTheLineAsItWas) {
  const struct {
    const char *what;
    TDeviceState state;
  } refused[] = {
      {"even parity", Line(9600, 8, 2, 2)},
      {"seven bits", Line(19200, 7, 0, 2)},
      {"mark parity", Line(38400, 8, 3, 2)},
      {"seven bits at a rate without a constant", Line(14400, 7, 0, 2)},
  };
  for (const auto &row : refused) {
    SCOPED_TRACE(row.what);
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    const std::shared_ptr<TSerialDevice> device = OpenSerialDevice(peer.Path());
    device->SetState(Line(115200, 8, 0, 0));
    try {
      device->SetState(row.state);
      FAIL() << "taken";
    } catch (const ESerialPort &e) {
      EXPECT_EQ(e.Code(), ecSetStateFailed);
      EXPECT_EQ(e.OsCode(), EINVAL);
    }
    termios t{};
    ASSERT_EQ(::tcgetattr(static_cast<int>(device->Handle()), &t), 0);
    EXPECT_EQ(::cfgetospeed(&t), static_cast<speed_t>(B115200));
    EXPECT_FALSE(t.c_cflag & CSTOPB);
    // And the line still works as set before.
    EXPECT_EQ(device->Write("ok", 2), 2);
    EXPECT_EQ(peer.Read(2), "ok");
  }
}
