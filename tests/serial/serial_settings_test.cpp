// The port's settings without a device: tables, converters, setter rules,
// the line record built from the properties.

#include "serial/serial_port.h"

#include <gtest/gtest.h>

#include <cerrno>

namespace {

// Counts what would reach the device.
class CountingPort : public TSerialPort {
public:
  int line = 0, timeouts = 0, buffers = 0;
  // Pretend to be open so the appliers run, without a device.
  bool pretendOpen = false;

protected:
  void ApplyLineSettings() override {
    if (pretendOpen && SettingsChangeCount() == 0) ++line;
  }
  void ApplyTimeoutSettings() override {
    if (pretendOpen && SettingsChangeCount() == 0) ++timeouts;
  }
  void ApplyBufferSizes() override {
    if (pretendOpen && SettingsChangeCount() == 0) ++buffers;
  }
};

TEST(SerialTexts, EveryValueRoundTripsThroughItsText) {
  for (int i = brCustom; i <= br256000; ++i) EXPECT_EQ(TextToBaudRate(BaudRateToText(static_cast<TBaudRate>(i))), i);
  for (int i = sbOneStopBit; i <= sbTwoStopBits; ++i)
    EXPECT_EQ(TextToStopBits(StopBitsToText(static_cast<TStopBits>(i))), i);
  for (int i = dbFive; i <= dbEight; ++i) EXPECT_EQ(TextToDataBits(DataBitsToText(static_cast<TDataBits>(i))), i);
  for (int i = prNone; i <= prSpace; ++i) EXPECT_EQ(TextToParity(ParityToText(static_cast<TParityBits>(i))), i);
  for (int i = fcHardware; i <= fcCustom; ++i)
    EXPECT_EQ(TextToFlowControl(FlowControlToText(static_cast<TFlowControl>(i))), i);
  for (int i = dtrDisable; i <= dtrHandshake; ++i) EXPECT_EQ(TextToDTR(DTRToText(static_cast<TDTRFlowControl>(i))), i);
  for (int i = rtsDisable; i <= rtsToggle; ++i) EXPECT_EQ(TextToRTS(RTSToText(static_cast<TRTSFlowControl>(i))), i);
}

TEST(SerialTexts, TextsAndDeviceValuesFollowTheTables) {
  EXPECT_EQ(BaudRateToText(brCustom), "Custom");
  EXPECT_EQ(BaudRateToText(br115200), "115200");
  EXPECT_EQ(BaudRateToDevice(br56000), 56000);
  EXPECT_EQ(BaudRateToDevice(br256000), 256000);
  EXPECT_EQ(StopBitsToText(sbOne5StopBits), "1.5");
  EXPECT_EQ(DataBitsToDevice(dbFive), 5);
  EXPECT_EQ(DataBitsToDevice(dbEight), 8);
  EXPECT_EQ(ParityToText(prSpace), "Space");
  EXPECT_EQ(RTSToDevice(rtsToggle), 3);
  EXPECT_EQ(DTRToText(dtrHandshake), "Handshake");
  EXPECT_EQ(TimeoutToDevice(-1), 0xFFFFFFFFu);
  EXPECT_EQ(TimeoutToDevice(1000), 1000u);
}

TEST(SerialTexts, ConversionIgnoresCaseAndFallsBack) {
  EXPECT_EQ(TextToBaudRate("custom"), brCustom);
  EXPECT_EQ(TextToBaudRate("115200"), br115200);
  EXPECT_EQ(TextToBaudRate("abc"), br9600);
  EXPECT_EQ(TextToDataBits("9"), dbEight);
  EXPECT_EQ(TextToFlowControl(""), fcCustom);
  EXPECT_EQ(TextToFlowControl("sOfTwArE"), fcSoftware);
  EXPECT_EQ(TextToParity("EVEN"), prEven);
  EXPECT_EQ(TextToParity("odd "), prNone);
  EXPECT_EQ(TextToStopBits("1,5"), sbOneStopBit);
  EXPECT_EQ(TextToRTS("toggle"), rtsToggle);
  EXPECT_EQ(TextToDTR("x"), dtrDisable);
}

TEST(SerialTexts, EventMaskBitsBothWays) {
  EXPECT_EQ(EventsToMask({evRxChar}), 0x0001u);
  EXPECT_EQ(EventsToMask(AllSerialEvents()), 0x05FFu);
  EXPECT_EQ(EventsToMask({evRLSD, evRing}), 0x0120u);
  EXPECT_EQ(MaskToEvents(0x05FF), AllSerialEvents());
  EXPECT_EQ(MaskToEvents(0x0004 | 0x8000), TSerialEvents({evTxEmpty}));  // unknown bits ignored
}

TEST(SerialTexts, ComNamesMapOntoTerminalDevices) {
  EXPECT_EQ(DevicePathOf("COM1"), "/dev/ttyS0");
  EXPECT_EQ(DevicePathOf("com12"), "/dev/ttyS11");
  EXPECT_EQ(DevicePathOf("/dev/ttyUSB0"), "/dev/ttyUSB0");
  EXPECT_EQ(DevicePathOf("COM0"), "COM0");
  EXPECT_EQ(DevicePathOf("COM"), "COM");
  EXPECT_EQ(DevicePathOf("COM1a"), "COM1a");
  EXPECT_EQ(DevicePathOf(""), "");
}

TEST(SerialErrors, MessageCarriesTheOsNumberOnlyWhenThereIsOne) {
  ESerialPort withOs(ecOpenFailed, 2);
  EXPECT_EQ(withOs.Message(), "Unable to open com port (win error code: 2)");
  EXPECT_EQ(withOs.Code(), 1);
  EXPECT_EQ(withOs.OsCode(), 2);
  ESerialPort plain(ecConnected);
  EXPECT_EQ(plain.Message(), "Cannot set property while connected");
  EXPECT_EQ(plain.OsCode(), -1);
  EXPECT_EQ(ESerialPort::TableMessage(23), "Registry error");
  EXPECT_EQ(ESerialPort::TableMessage(8), "SetCommTimeouts failed");
  EXPECT_EQ(ESerialPort::TableMessage(0), "");
  EXPECT_EQ(ESerialPort::TableMessage(24), "");
  // Catchable as the program's base exception.
  try {
    throw ESerialPort(ecWriteFailed, EBADF);
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "WriteFile function failed (win error code: 9)");
  }
}

TEST(SerialSettings, ConstructorValues) {
  TSerialPort port;
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.BaudRate(), br9600);
  EXPECT_EQ(port.Port(), "COM1");
  EXPECT_EQ(port.StopBits(), sbOneStopBit);
  EXPECT_EQ(port.DataBits(), dbEight);
  EXPECT_FALSE(port.DiscardNull());
  EXPECT_EQ(port.Events(), AllSerialEvents());
  EXPECT_EQ(port.SyncMethod(), smThreadSync);
  EXPECT_EQ(port.CustomBaudRate(), 9600);
  EXPECT_TRUE(port.RxCountMode());
  EXPECT_EQ(port.StoredGroups(), TStoredGroups({sgBasic}));
  EXPECT_EQ(port.Parity().Bits(), prNone);
  EXPECT_EQ(port.FlowControl().XonChar(), 17);
  EXPECT_EQ(port.FlowControl().XoffChar(), 19);
  EXPECT_EQ(port.FlowControl().FlowControl(), fcNone);
  EXPECT_EQ(port.Timeouts().ReadInterval(), -1);
  EXPECT_EQ(port.Timeouts().WriteTotalMultiplier(), 100);
  EXPECT_EQ(port.Timeouts().WriteTotalConstant(), 1000);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.Buffer().OutputSize(), 1024);
  EXPECT_EQ(port.Handle(), -1);
}

TEST(SerialSettings, OddBufferSizesAreStoredEvenAndSetTheXonLimits) {
  TSerialPort port;
  port.Buffer().SetInputSize(1025);
  EXPECT_EQ(port.Buffer().InputSize(), 1024);
  EXPECT_EQ(port.DeviceState().XonLim, 256);
  EXPECT_EQ(port.DeviceState().XoffLim, 256);
  port.Buffer().SetInputSize(1023);
  EXPECT_EQ(port.Buffer().InputSize(), 1022);
  EXPECT_EQ(port.DeviceState().XonLim, 255);
  EXPECT_EQ(port.DeviceState().XoffLim, 255);
  port.Buffer().SetOutputSize(7);
  EXPECT_EQ(port.Buffer().OutputSize(), 6);
  port.Buffer().SetOutputSize(-3);
  EXPECT_EQ(port.Buffer().OutputSize(), -3);
  port.Buffer().SetOutputSize(1);
  EXPECT_EQ(port.Buffer().OutputSize(), 0);
}

TEST(SerialSettings, LineRecordOfTheLoggerConfiguration) {
  TSerialPort port;
  port.SetBaudRate(br115200);
  port.SetDiscardNull(true);
  port.Timeouts().SetReadInterval(1);
  port.FlowControl().SetControlRTS(rtsEnable);
  TDeviceState s = port.DeviceState();
  EXPECT_EQ(s.Flags, 0x1801u);
  EXPECT_EQ(s.BaudRate, 115200u);
  EXPECT_EQ(s.ByteSize, 8);
  EXPECT_EQ(s.Parity, 0);
  EXPECT_EQ(s.StopBits, 0);
  EXPECT_EQ(s.XonLim, 256);
  EXPECT_EQ(s.XonChar, 17);
  EXPECT_EQ(s.XoffChar, 19);
  EXPECT_EQ(s.EvtChar, 0);
  port.FlowControl().SetControlRTS(rtsDisable);
  EXPECT_EQ(port.DeviceState().Flags, 0x0801u);

  TDeviceTimeouts t = port.DeviceTimeouts();
  EXPECT_EQ(t.ReadIntervalTimeout, 1u);
  EXPECT_EQ(t.ReadTotalTimeoutMultiplier, 0u);
  EXPECT_EQ(t.WriteTotalTimeoutMultiplier, 100u);
  EXPECT_EQ(t.WriteTotalTimeoutConstant, 1000u);
}

TEST(SerialSettings, LineRecordFlagsFollowEachField) {
  TSerialPort port;
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(250000);
  port.Parity().SetCheck(true);
  port.Parity().SetReplace(true);
  port.Parity().SetReplaceChar('?');
  port.Parity().SetBits(prMark);
  port.FlowControl().SetControlDTR(dtrHandshake);
  port.FlowControl().SetControlRTS(rtsToggle);
  port.FlowControl().SetOutDSRFlow(true);
  port.SetStopBits(sbTwoStopBits);
  port.SetDataBits(dbSeven);
  port.SetEventChar('\n');
  TDeviceState s = port.DeviceState();
  EXPECT_EQ(s.BaudRate, 250000u);
  EXPECT_EQ(s.Flags, 0x0001u | 0x0002u | 0x0008u | 0x0020u | 0x0400u | 0x3000u);
  EXPECT_EQ(s.DtrControl(), 2);
  EXPECT_EQ(s.RtsControl(), 3);
  EXPECT_EQ(s.ErrorChar, '?');
  EXPECT_EQ(s.Parity, 3);
  EXPECT_EQ(s.StopBits, 2);
  EXPECT_EQ(s.ByteSize, 7);
  EXPECT_EQ(s.EvtChar, '\n');
  // Replace without Check sets no error character.
  port.Parity().SetCheck(false);
  EXPECT_EQ(port.DeviceState().ErrorChar, 0);
  EXPECT_EQ(port.DeviceState().Flags & 0x0402u, 0u);
}

TEST(SerialSettings, FlowPresetReadsFromTheFields) {
  TSerialPort port;
  TSerialFlowControl &fc = port.FlowControl();
  EXPECT_EQ(fc.FlowControl(), fcNone);
  fc.SetControlRTS(rtsEnable);  // how the logger runs while connected
  EXPECT_EQ(fc.FlowControl(), fcCustom);
  fc.SetFlowControl(fcHardware);
  EXPECT_EQ(fc.ControlRTS(), rtsHandshake);
  EXPECT_TRUE(fc.OutCTSFlow());
  EXPECT_EQ(fc.FlowControl(), fcHardware);
  fc.SetOutDSRFlow(true);  // plays no part in the preset
  fc.SetControlDTR(dtrEnable);
  EXPECT_EQ(fc.FlowControl(), fcHardware);
  fc.SetFlowControl(fcSoftware);
  EXPECT_EQ(fc.ControlRTS(), rtsDisable);
  EXPECT_FALSE(fc.OutCTSFlow());
  EXPECT_TRUE(fc.XonXoffIn());
  EXPECT_TRUE(fc.XonXoffOut());
  EXPECT_EQ(fc.FlowControl(), fcSoftware);
  fc.SetXonXoffIn(false);
  EXPECT_EQ(fc.FlowControl(), fcCustom);
  fc.SetFlowControl(fcCustom);  // leaves the fields alone
  EXPECT_FALSE(fc.XonXoffIn());
  EXPECT_TRUE(fc.XonXoffOut());
  fc.SetFlowControl(fcNone);
  EXPECT_FALSE(fc.XonXoffOut());
  EXPECT_EQ(fc.FlowControl(), fcNone);
  EXPECT_TRUE(fc.OutDSRFlow());
}

TEST(SerialSettings, SettersIgnoreEqualValuesAndReapplyTheirGroup) {
  CountingPort port;
  port.pretendOpen = true;
  port.SetBaudRate(br9600);
  port.Parity().SetBits(prNone);
  port.FlowControl().SetXonChar(17);
  port.Timeouts().SetReadInterval(-1);
  port.Buffer().SetInputSize(1025);  // stored as 1024: unchanged
  EXPECT_EQ(port.line + port.timeouts + port.buffers, 0);

  port.SetBaudRate(br115200);
  port.Parity().SetCheck(true);
  port.FlowControl().SetControlRTS(rtsEnable);
  EXPECT_EQ(port.line, 3);
  port.Timeouts().SetReadInterval(1);
  EXPECT_EQ(port.timeouts, 1);
  port.Buffer().SetOutputSize(2048);
  EXPECT_EQ(port.buffers, 1);
  // The preset re-applies even when nothing changed.
  port.FlowControl().SetFlowControl(fcCustom);
  EXPECT_EQ(port.line, 4);
  EXPECT_EQ(port.timeouts, 1);
}

TEST(SerialSettings, AssigningAGroupCopiesEveryField) {
  TSerialPort a, b;
  a.FlowControl().SetFlowControl(fcHardware);
  a.FlowControl().SetXoffChar(1);
  a.Parity().SetBits(prOdd);
  a.Parity().SetReplaceChar('#');
  a.Timeouts().SetWriteTotalConstant(5);
  a.Buffer().SetInputSize(4096);
  b.SetFlowControl(a.FlowControl());
  b.SetParity(a.Parity());
  b.SetTimeouts(a.Timeouts());
  b.SetBuffer(a.Buffer());
  EXPECT_EQ(b.FlowControl().FlowControl(), fcHardware);
  EXPECT_EQ(b.FlowControl().XoffChar(), 1);
  EXPECT_EQ(b.Parity().Bits(), prOdd);
  EXPECT_EQ(b.Parity().ReplaceChar(), '#');
  EXPECT_EQ(b.Timeouts().WriteTotalConstant(), 5);
  EXPECT_EQ(b.Buffer().InputSize(), 4096);
  EXPECT_EQ(b.DeviceState().Flags, a.DeviceState().Flags);
}

TEST(SerialSettings, BracketHoldsChangesBackUntilTheOutermostEnd) {
  CountingPort port;
  port.pretendOpen = true;
  port.EndSettingsChange();  // at 0: nothing
  EXPECT_EQ(port.SettingsChangeCount(), 0);
  EXPECT_EQ(port.line, 0);

  port.BeginSettingsChange();
  port.BeginSettingsChange();
  port.SetBaudRate(br57600);
  port.SetDataBits(dbSeven);
  port.Timeouts().SetReadInterval(5);
  EXPECT_EQ(port.line, 0);
  port.EndSettingsChange();
  EXPECT_EQ(port.line, 0);
  port.EndSettingsChange();
  EXPECT_EQ(port.line, 1);
  EXPECT_EQ(port.timeouts, 1);
  EXPECT_EQ(port.buffers, 1);

  // A failing change still leaves the bracket, without applying.
  EXPECT_THROW(port.ChangeSettings([&] {
    port.SetStopBits(sbTwoStopBits);
    throw ESerialPort(ecOpenFailed, ENOENT);
  }),
               ESerialPort);
  EXPECT_EQ(port.SettingsChangeCount(), 0);
  EXPECT_EQ(port.line, 1);
  port.ChangeSettings([&] { port.SetStopBits(sbOneStopBit); });
  EXPECT_EQ(port.line, 2);
}

TEST(SerialSettings, WhileClosedSettersOnlyStore) {
  TSerialPort port;
  port.SetPort("/dev/does-not-exist");
  port.SetBaudRate(br115200);
  port.FlowControl().SetControlRTS(rtsEnable);
  port.SetSyncMethod(smNone);
  EXPECT_EQ(port.SyncMethod(), smNone);
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(port.FlowControl().ControlRTS(), rtsEnable);
}

TEST(SerialSettings, SetupHookIsCalledInsteadOfTheBuiltInDialog) {
  TSerialPort port;
  int calls = 0;
  TCustomSerialPort::SetupDialog = [&](TCustomSerialPort &p) {
    ++calls;
    p.ChangeSettings([&] {
      p.SetPort("/dev/ttyUSB7");
      p.SetBaudRate(br115200);
    });
    return true;
  };
  port.ShowSetup();
  TCustomSerialPort::SetupDialog = nullptr;
  EXPECT_EQ(calls, 1);
  EXPECT_EQ(port.Port(), "/dev/ttyUSB7");
  EXPECT_EQ(port.BaudRate(), br115200);
  EXPECT_EQ(port.SettingsChangeCount(), 0);
}

}  // namespace

#include <QApplication>
#include <QComboBox>
#include <QDialog>
#include <QTimer>

namespace {

// Answers the next modal dialog: types a device path, then OK or Cancel.
void AnswerSetup(const QString &path, bool ok) {
  QTimer::singleShot(0, [path, ok] {
    auto *dialog = qobject_cast<QDialog *>(QApplication::activeModalWidget());
    if (!dialog) return AnswerSetup(path, ok);  // not shown yet: try again
    if (auto *combo = dialog->findChild<QComboBox *>("Combo1")) combo->setCurrentText(path);
    ok ? dialog->accept() : dialog->reject();
  });
}

TEST(SerialSettings, BuiltInSetupStoresTheTypedPathOnOkOnly) {
  auto registered = TCustomSerialPort::SetupDialog;
  TCustomSerialPort::SetupDialog = nullptr;
  TSerialPort port;
  AnswerSetup("/dev/ttyUSB3", false);
  port.ShowSetup();
  EXPECT_EQ(port.Port(), "COM1");
  AnswerSetup("/dev/ttyUSB3", true);
  port.ShowSetup();
  EXPECT_EQ(port.Port(), "/dev/ttyUSB3");
  AnswerSetup("  ", true);  // nothing typed: the port keeps its name
  port.ShowSetup();
  EXPECT_EQ(port.Port(), "/dev/ttyUSB3");
  EXPECT_EQ(port.SettingsChangeCount(), 0);
  TCustomSerialPort::SetupDialog = registered;
}

}  // namespace
