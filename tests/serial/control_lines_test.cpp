// Control lines at open and close, as far as a pseudo-terminal shows them:
// it has no modem lines (every line call fails there), which must read as
// "no lines" whatever DTR and RTS are set to, and the termios the port
// leaves behind must not ask the kernel to drop the lines at close.

#include "serial/serial_device.h"
#include "serial/serial_port.h"

#include "pty_peer.h"

#include <gtest/gtest.h>

#include <termios.h>

namespace {

// The slave's termios, read and set through the master as the kernel allows.
bool HangUpOnClose(int masterFd) {
  termios t{};
  return ::tcgetattr(masterFd, &t) == 0 && (t.c_cflag & HUPCL) != 0;
}

// A serial driver starts its ports with HUPCL; a pseudo-terminal does not.
bool StartLikeASerialPort(int masterFd) {
  termios t{};
  if (::tcgetattr(masterFd, &t) != 0) return false;
  t.c_cflag |= HUPCL;
  return ::tcsetattr(masterFd, TCSANOW, &t) == 0 && HangUpOnClose(masterFd);
}

}  // namespace

TEST(SerialControlLines, APseudoTerminalOpensWithAnyLinesAndKeepsThemAtClose) {
  const struct {
    TDTRFlowControl dtr;
    TRTSFlowControl rts;
  } cases[] = {
      {dtrDisable, rtsDisable}, {dtrDisable, rtsEnable},      {dtrEnable, rtsEnable},
      {dtrEnable, rtsToggle},   {dtrHandshake, rtsHandshake},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(DTRToText(c.dtr) + "/" + RTSToText(c.rts));
    PtyPeer peer;
    ASSERT_TRUE(peer.Ok());
    ASSERT_TRUE(StartLikeASerialPort(peer.Fd()));

    TSerialPort port;
    port.SetPort(peer.Path());
    port.FlowControl().SetControlDTR(c.dtr);
    port.FlowControl().SetControlRTS(c.rts);
    port.Open();
    ASSERT_TRUE(port.Connected());
    EXPECT_TRUE(port.LineSignals().Empty());
    port.FlowControl().SetControlRTS(c.rts == rtsEnable ? rtsDisable : rtsEnable);  // while open
    port.WriteText("5");
    EXPECT_EQ(peer.Read(1), "5");
    port.Close();
    EXPECT_FALSE(HangUpOnClose(peer.Fd()));
  }
}

// The device told the lines it should open with: on a pseudo-terminal the
// calls fail, and that is not a failed open.
TEST(SerialControlLines, TheDeviceOpensWithItsLinesWhereThereAreNone) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  ASSERT_TRUE(StartLikeASerialPort(peer.Fd()));
  TDeviceState lines;
  lines.Flags = (1u << 4) | (1u << 12);  // DTR and RTS on
  const std::shared_ptr<TSerialDevice> device = OpenSerialDevice(peer.Path(), lines);
  EXPECT_FALSE(device->HasModemLines());
  EXPECT_TRUE(device->Signals().Empty());
  EXPECT_FALSE(HangUpOnClose(peer.Fd())) << "HUPCL is cleared as the device opens, before any setting";
}
