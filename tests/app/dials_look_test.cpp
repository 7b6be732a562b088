#include "app/main_window.h"
#include "app/program.h"
#include "app/thermometer_window.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"
#include "widgets/gauge.h"
#include "widgets/ins_clock.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_thermometer.h"

#include <gtest/gtest.h>
#include <QImage>

#include <cstdlib>
#include <memory>

namespace {

bool Near(QRgb got, const QColor &want, int tolerance = 0) {
  return std::abs(qRed(got) - want.red()) <= tolerance && std::abs(qGreen(got) - want.green()) <= tolerance &&
         std::abs(qBlue(got) - want.blue()) <= tolerance;
}

class DialsLook : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
    program = std::make_unique<TProgram>();
  }
  void TearDown() override {
    program.reset();
    TCustomSerialPort::SetupDialog = nullptr;
  }
  std::unique_ptr<TProgram> program;
};

TEST_F(DialsLook, SixteenThermometersWithTheirColoursScalesAndPlaces) {
  TForm4 &f = program->Form4();
  const QColor bars[8] = {clBlue, clRed, clGreen, clLime, clYellow, clAqua, clMoneyGreen, clWhite};
  const int xs[4] = {4, 73, 138, 212};
  const int ys[4] = {24, 152, 280, 408};
  for (int channel = 1; channel <= 16; ++channel) {
    SCOPED_TRACE(channel);
    TInsThermometer &t = *f.ChannelThermometer(channel);
    EXPECT_EQ(t.BarSettings().Color(), bars[(channel - 1) % 8]);
    EXPECT_EQ(t.SignalSettings().Name1(), QString("Canal %1").arg(channel));
    EXPECT_EQ(t.ScaleDiv().Labels, (std::vector<std::string>{"45", "27", "8", "-10"}));
    EXPECT_FALSE(t.AutoSize());
    const int row = (channel - 1) / 4, col = (channel - 1) % 4;
    const int w = col < 2 ? 65 : (row % 2 == 0 ? 77 : 73);
    EXPECT_EQ(t.geometry(), QRect(xs[col], ys[row], w, 125));
    EXPECT_FLOAT_EQ(t.Value(), 25.0f);
    EXPECT_EQ(t.ValueText(), "25,0");
    EXPECT_FALSE(t.TooSmall());
  }
  // The last row runs 16, 15, 14, 13 in component numbers.
  EXPECT_EQ(f.InsThermometer[12]->SignalSettings().Name1(), "Canal 16");
  EXPECT_EQ(f.InsThermometer[15]->SignalSettings().Name1(), "Canal 13");
}

TEST_F(DialsLook, ThermometerWindowRendersColumnsOverItsGradient) {
  TForm4 &f = program->Form4();
  f.ChannelThermometer(7)->SetValue(40);
  const QImage img = f.grab().toImage();
  // Channel 7's money-green column, from the bottom of its channel.
  TInsThermometer &t = *f.ChannelThermometer(7);
  const QPoint bottom = t.geometry().topLeft() + QPoint(t.ChannelRect().center().x(), t.ChannelRect().bottom());
  EXPECT_TRUE(Near(img.pixel(bottom), clMoneyGreen));
  // The background: lightest down the middle column, darkest at the edges.
  EXPECT_TRUE(Near(img.pixel(148, 534), QColor(0xE2, 0xE2, 0xE2)));
  EXPECT_TRUE(Near(img.pixel(0, 534), QColor(0x8F, 0x8F, 0x8F)));
}

TEST_F(DialsLook, BatteryMeterClocksGaugeAndBackgroundOfTheMainWindow) {
  TForm1 &f = program->Form1();
  TInsDB120Meter &m = *f.InsDB120Meter1;
  EXPECT_EQ(m.geometry(), QRect(160, 292, 129, 105));
  EXPECT_FALSE(m.Options().Has(TInsRMeter::opName2));
  EXPECT_TRUE(m.Options().Has(TInsRMeter::opLimit));
  EXPECT_TRUE(m.Options().Has(TInsRMeter::opOverflow));
  EXPECT_FLOAT_EQ(m.SignalSettings().ValueFrom(), 50.0f);
  EXPECT_FLOAT_EQ(m.SignalSettings().ValueTo(), 100.0f);
  EXPECT_EQ(m.SignalSettings().ValueUnit(), "%");
  EXPECT_EQ(m.SignalSettings().Name1(), QString::fromUtf8("Nivel de batería"));
  EXPECT_EQ(m.SectorSettings().Sector2Color(), clTeal);
  EXPECT_EQ(m.SectorSettings().Sector3From(), 667);
  EXPECT_FLOAT_EQ(m.Value(), 50.0f);
  EXPECT_DOUBLE_EQ(m.NeedleAngle(), 300);  // the stored 50 sits at the start
  EXPECT_EQ(m.ScaleDiv().Labels.front(), "100");

  EXPECT_EQ(f.InsClock1->ClockOption(), coTime);
  EXPECT_EQ(f.InsClock2->ClockOption(), coDate);
  EXPECT_EQ(f.InsClock1->size(), QSize(101, 28));

  TGauge &g = *f.Gauge1;
  EXPECT_EQ(g.Kind(), gkPie);
  EXPECT_EQ(g.MaxValue(), 50);
  EXPECT_FALSE(g.ShowText());
  EXPECT_EQ(g.ForeColor(), QColor(255, 128, 64));
  EXPECT_EQ(g.BackColor(), clYellow);
  EXPECT_EQ(g.Color(), clSkyBlue);

  EXPECT_EQ(f.InsGradient1->GradSettings().Style(), gsHorizontal2);
  const QImage img = f.grab().toImage();
  EXPECT_TRUE(Near(img.pixel(530, 230), clSilver));
  EXPECT_TRUE(Near(img.pixel(140, 0), clTeal));
  EXPECT_TRUE(Near(img.pixel(530, 460), clTeal));
}

}  // namespace
