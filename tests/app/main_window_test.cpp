#include "app/main_window.h"
#include "app/clock_set_window.h"
#include "app/program.h"
#include "app/rate_window.h"
#include "app/thermometer_window.h"
#include "runtime/application.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"
#include "widgets/gauge.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_led.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include "common/pty_pair.h"
#include "program_on_pty.h"

#include <QApplication>
#include <QDialog>

#include <gtest/gtest.h>

#include <algorithm>
#include <string>
#include <vector>

namespace {

std::string Frame(const std::string &channel1 = "02238", char rate = '5', const std::string &battery = "180",
                  const std::string &memory = "000095") {
  std::string f = "301425120307" + battery + "0" + rate + channel1;
  for (int k = 2; k <= 16; ++k) f += "00500";
  return f + memory + "\n";
}

TEST_F(ProgramOnPty, ConnectShowsLiveFramesAndDisconnectLowersEverything) {
  ApplyProgramFormats();
  Connect();
  EXPECT_EQ(form().InsRockerSwitch1->Text(), "DESCONECTAR");
  EXPECT_TRUE(form().InsColBitBtn1->Checked());
  EXPECT_TRUE(form().InsColBitBtn7->Checked());
  EXPECT_EQ(form().SerialPort1->FlowControl().ControlRTS(), rtsEnable);

  const std::string frame = Frame();
  pty.Write(frame.substr(0, 60));
  pty.Write(frame.substr(60));
  ASSERT_TRUE(PumpUntil([&] { return form().Edit3->text() == "14:30:07"; }, 3000));
  EXPECT_EQ(form().Edit4->text(), "25/12/2003");
  EXPECT_FLOAT_EQ(Channel(1), 25.0f);
  EXPECT_FLOAT_EQ(Channel(2), 0.0f);
  EXPECT_FLOAT_EQ(form().ChannelThermometers[0]->Value(), 25.0f);
  EXPECT_EQ(form().Edit1->text(), "2");
  EXPECT_EQ(form().RadioGroup1->ItemIndex(), 1);
  EXPECT_FLOAT_EQ(form().InsDB120Meter1->Value(), 90.0f);
  EXPECT_EQ(form().InsDB120Meter1->SignalSettings().Name1(), QString::fromUtf8("Nivel de Batería"));
  EXPECT_FALSE(form().InsLED1->Checked());

  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_FALSE(form().SerialPort1->Connected());
  EXPECT_EQ(form().InsRockerSwitch1->Text(), "CONECTAR");
  EXPECT_FALSE(form().InsRockerSwitch1->Checked());
  EXPECT_EQ(form().SerialPort1->FlowControl().ControlRTS(), rtsDisable);
  EXPECT_TRUE(form().Edit3->text().isEmpty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProgramOnPty, AWideMemoryCountShowsItsStartAndExtremesAreOnlyWhatWasMeasured) {
  ApplyProgramFormats();
  Connect();
  pty.Write(Frame("02238", '5', "180", "001000"));
  ASSERT_TRUE(PumpUntil([&] { return form().Edit1->text() == "7,03125"; }, 3000));
  EXPECT_EQ(form().Edit1->cursorPosition(), 0);  // the box shows "7,03..."
  // The thermometers' first reading (25) was no measurement: channel 2 has
  // only ever measured 0.
  const TInsThermometer &t2 = *form().ChannelThermometers[1];
  EXPECT_FLOAT_EQ(t2.MinMax().Max(), 0.0f);
  EXPECT_FLOAT_EQ(t2.MinMax().Min(), 0.0f);
}

TEST_F(ProgramOnPty, NoisyFrameChangesNothingAndTheNextGoodFrameShows) {
  Connect();
  pty.Write(Frame("02238"));
  ASSERT_TRUE(PumpUntil([&] { return Channel(1) == 25.0f; }, 3000));
  std::string noisy = Frame("03238");
  noisy[40] = '#';
  pty.Write(noisy);
  PumpUntil([] { return false; }, 150);
  EXPECT_FLOAT_EQ(Channel(1), 25.0f);
  EXPECT_EQ(form().Edit3->text(), "14:30:07");
  pty.Write(Frame("03238"));  // 3*256+238-500 = 506 -> 50.6
  ASSERT_TRUE(PumpUntil([&] { return Channel(1) > 50.0f; }, 3000));
  EXPECT_FLOAT_EQ(Channel(1), 50.6f);
  EXPECT_TRUE(messages.empty());
}

TEST_F(ProgramOnPty, BatteryNameFollowsTheThresholds) {
  Connect();
  auto level = [&](const std::string &b) {
    pty.Write(Frame("02238", '5', b));
    // The meter stops at 100: a level above 200 is waited for as 100.
    PumpUntil([&] { return form().InsDB120Meter1->Value() == std::min(std::stoi(b) / 2.0f, 100.0f); }, 2000);
    PumpUntil([] { return false; }, 30);
  };
  level("151");
  EXPECT_EQ(form().InsDB120Meter1->SignalSettings().Name1(), "REEMPLAZAR PILAS");
  level("152");  // exactly 76 leaves the name as it was
  EXPECT_EQ(form().InsDB120Meter1->SignalSettings().Name1(), "REEMPLAZAR PILAS");
  level("153");
  EXPECT_EQ(form().InsDB120Meter1->SignalSettings().Name1(), QString::fromUtf8("Nivel de Batería"));
  level("250");
  EXPECT_FLOAT_EQ(form().InsDB120Meter1->Value(), 100.0f);
}

TEST_F(ProgramOnPty, FailedOpenLeavesTheSwitchOffAndSaysWhy) {
  form().SerialPort1->SetPort("/dev/talvex-no-such-port");
  RunHandler([this] { form().InsRockerSwitch1Click(); });
  EXPECT_FALSE(form().SerialPort1->Connected());
  EXPECT_FALSE(form().InsRockerSwitch1->Checked());
  EXPECT_EQ(form().InsRockerSwitch1->Text(), "CONECTAR");
  EXPECT_FALSE(form().InsColBitBtn7->Checked());
  ASSERT_EQ(messages.size(), 1u);
}

TEST_F(ProgramOnPty, ActivationShowsSetupUntilThePortIsFixed) {
  form().DESCARGANDO = true;
  form().FormActivate();
  EXPECT_EQ(setupShown, 1);
  EXPECT_FALSE(form().DESCARGANDO);
  EXPECT_FALSE(form().Gauge1->isVisible());
  // The activation that follows the dialog's own close does not reopen it,
  // however late it comes; a later one does.
  PumpUntil([] { return false; }, 400);
  form().FormActivate();
  EXPECT_EQ(setupShown, 1);
  form().FormActivate();
  EXPECT_EQ(setupShown, 2);
  // The thermometer window fixes the port.
  program->Form4().FormActivate();
  EXPECT_TRUE(form().PUERTOFIJADO);
  EXPECT_FALSE(form().InsColBitBtn8->isVisibleTo(&form()));
  form().FormActivate();  // the return from the dialog
  form().FormActivate();
  EXPECT_EQ(setupShown, 2);
  program->Form4().close();
}

TEST_F(ProgramOnPty, SetupDialogWaitsWhileAnotherModalWindowIsUp) {
  QDialog other(&form());
  other.setModal(true);
  other.show();
  ASSERT_EQ(QApplication::activeModalWidget(), &other);
  form().FormActivate();
  PumpUntil([] { return false; }, 50);
  EXPECT_EQ(setupShown, 0);
  other.hide();
  form().FormActivate();  // back from that window
  EXPECT_EQ(setupShown, 1);
}

TEST_F(ProgramOnPty, ClockSetGoesOutAfterTheLoggerSpeaks) {
  Connect();
  form().ClockText = [] { return std::string("09-07-0301.02.2004"); };  // any separators
  program->Form8().Button1Click();
  EXPECT_TRUE(form().HORAPENDIENTE);
  EXPECT_TRUE(form().PUERTOFIJADO);
  EXPECT_EQ(pty.ReadFor(200), "");  // nothing until the logger sends
  pty.Write("12345");               // part of a frame: dropped by the clock set
  const std::string sent = pty.ReadCount(13, 3000);
  EXPECT_EQ(sent, "3090703010204");
  EXPECT_FALSE(form().HORAPENDIENTE);
  EXPECT_TRUE(form().Edit2.Text().empty());
  EXPECT_TRUE(form().Edit5.empty());
}

TEST_F(ProgramOnPty, ClockSetWhileDisconnectedIsDropped) {
  program->Form8().Button1Click();
  EXPECT_FALSE(form().HORAPENDIENTE);
  EXPECT_TRUE(form().PUERTOFIJADO);
}

TEST_F(ProgramOnPty, RateWindowSendsACommandPerSelection) {
  Connect();
  TForm7 &rate = program->Form7();
  rate.FormActivate();
  EXPECT_EQ(rate.RadioGroup1->ItemIndex(), -1);
  rate.RadioGroup1->SetItemIndex(1);
  rate.RadioGroup1->SetItemIndex(0);
  rate.RadioGroup1->SetItemIndex(2);
  EXPECT_EQ(pty.ReadCount(3, 2000), "657");
  rate.FormActivate();
  rate.RadioGroup1->SetItemIndex(1);
  EXPECT_EQ(pty.ReadCount(1, 2000), "6");
}

TEST_F(ProgramOnPty, DownloadCollectsTheDumpUntilTheLoneEndMark) {
  Connect();
  form().CheckBox1->setChecked(true);
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(pty.ReadCount(2, 2000), "EX");
  EXPECT_TRUE(form().DESCARGANDO);
  ASSERT_TRUE(PumpUntil([&] { return !form().Timer2->Enabled(); }, 2000));

  const std::string header = "X04X03X15X00X30X10XX2\r\n";
  const std::string rec = std::string(96, '1') + "\r\n";
  pty.Write(header);
  ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == header.size(); }, 2000));
  pty.Write(rec + rec);
  ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == header.size() + 2 * rec.size(); }, 2000));
  pty.Write("AA");  // not the end mark: appended
  ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == header.size() + 2 * rec.size() + 2; }, 2000));
  EXPECT_EQ(dataWindowShown, 0);
  pty.Write("A");
  ASSERT_TRUE(PumpUntil([&] { return dataWindowShown == 1; }, 2000));
  EXPECT_EQ(form().RichEdit1, header + rec + rec + "AA" + "A");
  EXPECT_EQ(pty.ReadCount(1, 2000), "x");
  EXPECT_FALSE(form().DESCARGANDO);
  EXPECT_TRUE(form().DATOSLISTOS);
  EXPECT_EQ(form().InsColBitBtn4->TextOff(), "              VER DATOS");
  EXPECT_EQ(form().InsColBitBtn4->TextOn(), "                VER DATOS");

  // From now on the button only opens the data window.
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(dataWindowShown, 2);
  EXPECT_EQ(pty.ReadFor(200), "");
  // Received text is live data again.
  pty.Write(Frame("03238"));
  ASSERT_TRUE(PumpUntil([&] { return Channel(1) > 50.0f; }, 3000));
}

TEST_F(ProgramOnPty, DownloadRequestWhileDisconnectedSendsNothing) {
  form().RichEdit1 = "old";
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_TRUE(form().RichEdit1.empty());
  EXPECT_FALSE(form().DESCARGANDO);
  EXPECT_TRUE(form().Gauge1->isVisibleTo(&form()));
}

TEST_F(ProgramOnPty, WithoutALoggerTheDownloadButtonOpensSavedData) {
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(savedDataShown, 1);
  EXPECT_EQ(dataWindowShown, 0);
  EXPECT_NE(form().InsColBitBtn4->toolTip().indexOf("abre datos guardados"), -1) << "the hint says so";
  // Once a download is held the button shows it, logger or not.
  form().DATOSLISTOS = true;
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(savedDataShown, 1);
  EXPECT_EQ(dataWindowShown, 1);
}

TEST_F(ProgramOnPty, CloseQueryCanKeepTheProgramOpen) {
  Connect();
  int asked = 0;
  form().OnCloseQuery = [&] {
    ++asked;
    return false;
  };
  form().show();
  form().close();
  EXPECT_EQ(asked, 1);
  EXPECT_TRUE(form().isVisible());
  EXPECT_TRUE(form().SerialPort1->Connected()) << "nothing of the close was done";
  form().OnCloseQuery = nullptr;
}

TEST_F(ProgramOnPty, GaugeCountsPiecesModuloFifty) {
  Connect();
  form().DESCARGANDO = true;
  for (int i = 0; i < 51; ++i) {
    pty.Write("0");
    ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == static_cast<std::size_t>(i + 1); }, 2000));
  }
  EXPECT_EQ(form().Gauge1->Progress(), 1);
}

TEST_F(ProgramOnPty, LostLineIsReportedOnceAndTheDumpKept) {
  Connect();
  form().DESCARGANDO = true;
  pty.Write("0123456789");
  ASSERT_TRUE(PumpUntil([&] { return form().RichEdit1.size() == 10; }, 2000));
  pty.CloseMaster();
  ASSERT_TRUE(PumpUntil([&] { return !messages.empty(); }, 3000));
  PumpUntil([] { return false; }, 200);
  EXPECT_EQ(messages, std::vector<std::string>{"Se perdió la conexión con el puerto serie."});
  EXPECT_FALSE(form().SerialPort1->Connected());
  EXPECT_FALSE(form().InsRockerSwitch1->Checked());
  EXPECT_EQ(form().InsRockerSwitch1->Text(), "CONECTAR");
  EXPECT_EQ(form().RichEdit1, "0123456789");
}

}  // namespace

namespace {

TEST_F(ProgramOnPty, FailedDownloadRequestLeavesNothingWaiting) {
  Connect();
  // The switch reads connected but the port is gone: the request's first
  // write fails.
  form().SerialPort1->Close();
  RunHandler([this] { form().InsColBitBtn4Click(); });
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_FALSE(form().Timer2->Enabled());
  EXPECT_FALSE(form().DESCARGANDO);
  EXPECT_EQ(form().cursor().shape(), Qt::ArrowCursor);
}

}  // namespace
