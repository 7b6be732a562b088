#include "widgets/ins_meter.h"

#include "dial_test_util.h"
#include "widgets/flash_timer.h"

#include <gtest/gtest.h>
#include <QImage>

#include <cmath>
#include <memory>
#include <vector>

namespace {

using M = TInsRMeter;

// The battery meter as the main window has it.
void BatteryLook(TInsDB120Meter &m) {
  m.BeginLoading();
  m.SetAutoSize(false);
  m.SetOptions(M::AllOptions().Exclude(M::opName2));
  m.SignalSettings().SetName1("Nivel");
  m.SignalSettings().SetValueFrom(50);
  m.SignalSettings().SetValueTo(100);
  m.SignalSettings().SetValueUnit("%");
  m.SectorSettings().SetSector1Color(clRed);
  m.SectorSettings().SetSector2Color(clTeal);
  m.SectorSettings().SetSector3Color(clLime);
  m.BevelInner().SetSpacing(-3);
  m.BevelInner().SetBevelLine(blBoth);
  m.BevelInner().SetWidth(0);
  m.BevelInner().SurfaceGrad().SetVisible(true);
  m.BevelOuter().SetSpacing(3);
  m.BevelOuter().SetWidth(0);
  m.SetDigit(0);  // the stored value 50 sits at the scale start
  m.Loaded();
}

class Meter : public ::testing::Test {
protected:
  void SetUp() override {
    host = std::make_unique<QWidget>();
    host->resize(200, 160);
    m = new TInsDB120Meter(host.get());
    m->setGeometry(10, 10, 129, 105);
    BatteryLook(*m);
  }
  void TearDown() override { host.reset(); }
  // Drives the blink service by hand to the next phase change of rate 4.
  void TickToPhase(bool on) {
    TInsFlashTimer &svc = TInsFlashTimer::Instance();
    svc.SetCounter(on ? 15u : 31u);  // the next tick sets or clears bit 4
    svc.TickAt(0, 0);
  }

  std::unique_ptr<QWidget> host;
  TInsDB120Meter *m = nullptr;
};

TEST_F(Meter, NeedleAngleFollowsThePositionOverTheHundredAndTwentyDegrees) {
  EXPECT_EQ(m->StartAngle(), 300);
  EXPECT_EQ(m->SweepAngle(), 120);
  EXPECT_FLOAT_EQ(m->Value(), 50.0f);
  EXPECT_DOUBLE_EQ(m->NeedleAngle(), 300);  // 60 degrees left of up
  m->SetValue(75);
  EXPECT_DOUBLE_EQ(m->NeedleAngle(), 360);  // straight up
  const QPointF c = m->ArcCentre();
  EXPECT_NEAR(m->NeedleTip().x(), c.x(), 1e-9);
  EXPECT_LT(m->NeedleTip().y(), c.y());
  m->SetValue(100);
  EXPECT_DOUBLE_EQ(m->NeedleAngle(), 420);  // 60 degrees right of up
  const QPointF tip = m->NeedleTip() - c;
  EXPECT_NEAR(std::atan2(tip.x(), -tip.y()) * 180 / M_PI, 60, 1e-6);
  m->SetValue(120);  // beyond the scale the needle stays at the end
  EXPECT_DOUBLE_EQ(m->NeedleAngle(), 420);
}

TEST_F(Meter, ArcGeometryFitsTheWidget) {
  const QRect area = m->ScaleArea();
  const int gap = QFontMetrics(m->ScaleSettings().Font()).height() / 3;
  // Inside the inner bevel's lines (4..5 and 123..124 across, from 4..5
  // down), though its negative spacing would reach over them.
  EXPECT_EQ(area.left(), 6);
  EXPECT_EQ(area.right(), 122);
  EXPECT_EQ(area.top(), 6);
  const int half = area.width() / 2;
  EXPECT_NEAR(m->ArcCentre().x(), area.left() + half, 0.5);
  EXPECT_GT(m->ArcRadius(), 40);
  // The needle ends inside the widget at both ends of the scale.
  for (float v : {50.0f, 100.0f}) {
    m->SetValue(v);
    EXPECT_TRUE(QRectF(m->rect()).contains(m->NeedleTip())) << v;
  }
  EXPECT_GT(m->ArcRadius() - gap, 0);
}

// The scale labels of a meter: each inside the scale area and clear of its
// edge, off every tick and off its neighbours.
void ExpectLabelsClear(TInsRMeter &meter, const char *which) {
  SCOPED_TRACE(which);
  const QRect area = meter.ScaleArea();
  std::vector<QRectF> labels;
  for (const TCaptionBox &c : meter.Captions())
    if (c.Room == area) {
      // Two pixels clear of the frame beside the scale area ("100" touched it).
      EXPECT_TRUE(area.marginsRemoved(QMargins(2, 2, 2, 2)).contains(c.Drawn)) << c.Text.toStdString();
      labels.push_back(QRectF(c.Drawn));
    }
  ASSERT_EQ(labels.size(), meter.ScaleDiv().Labels.size());
  for (size_t i = 0; i + 1 < labels.size(); ++i) EXPECT_FALSE(labels[i].intersects(labels[i + 1])) << i;
  const auto &sig = meter.SignalSettings();
  const int gap = QFontMetrics(meter.ScaleSettings().Font()).height() / 3;
  const double outer = meter.ArcRadius() - gap;
  std::vector<double> ticks = meter.ScaleDiv().Major;
  ticks.insert(ticks.end(), meter.ScaleDiv().Minor.begin(), meter.ScaleDiv().Minor.end());
  for (double v : ticks) {
    const double angle =
        meter.AngleOf(int(std::lround((v - sig.ValueFrom()) / (sig.ValueTo() - sig.ValueFrom()) * 1000)));
    for (double r = outer - meter.ArcRadius() / 8.0; r <= outer + 0.5; r += 0.5)
      for (const QRectF &l : labels)
        EXPECT_FALSE(l.adjusted(-0.5, -0.5, 0.5, 0.5).contains(PointOnCircle(meter.ArcCentre(), r, angle)))
            << "tick at " << v;
  }
}

TEST(MeterScale, LabelsKeepClearOfTicksBevelsAndEachOther) {
  QWidget host;
  auto *battery = new TInsDB120Meter(&host);
  battery->setGeometry(0, 0, 129, 105);
  BatteryLook(*battery);
  auto *wide = new TIns120Meter(&host);  // its own size and look
  auto *round = new TInsRMeter(&host);
  round->SetAutoSize(false);
  round->resize(150, 150);
  auto *percent = new TInsRMeter(&host);
  percent->SetAutoSize(false);
  percent->resize(110, 110);
  percent->SignalSettings().SetValueTo(1000);
  ExpectLabelsClear(*battery, "battery meter");
  ExpectLabelsClear(*wide, "120-degree meter");
  ExpectLabelsClear(*round, "round meter");
  ExpectLabelsClear(*percent, "round meter, four-digit labels");
}

TEST_F(Meter, RenderedNeedleAndSectorBands) {
  m->SetValue(75);
  const QImage img = m->grab().toImage();
  const QPointF c = m->ArcCentre();
  const QPointF tip = m->NeedleTip();
  // Along the needle, between hub and tip: the needle's lime.
  const QPointF mid = c + (tip - c) * 0.4;
  EXPECT_TRUE(NearColour(img.pixel(mid.toPoint()), clLime, 60));
  // The bands: red at the start, lime at the end, just inside the ticks.
  const int gap = QFontMetrics(m->ScaleSettings().Font()).height() / 3;
  const int eighth = m->ArcRadius() / 8;  // whole pixels, as the meter measures
  const double outer = m->ArcRadius() - gap - eighth;
  const double band = outer - m->ScaleArea().width() / 20.0;
  EXPECT_TRUE(NearColour(img.pixel(PointOnCircle(c, band, 305).toPoint()), clRed, 30));
  EXPECT_TRUE(NearColour(img.pixel(PointOnCircle(c, band, 415).toPoint()), clLime, 30));
  EXPECT_TRUE(NearColour(img.pixel(PointOnCircle(c, band, 345).toPoint()), clTeal, 30));
}

TEST_F(Meter, NeedleBlinksBeyondTheLimitsAndOutOfRange) {
  TInsFlashTimer &svc = TInsFlashTimer::Instance();
  // Nothing measured yet: options set again must not start the blinking.
  EXPECT_FALSE(m->Blinking());
  m->SetOptions(M::AllOptions());
  m->SetOptions(M::AllOptions().Exclude(M::opName2));
  EXPECT_FALSE(m->Blinking());
  EXPECT_FALSE(svc.IsRegistered(m));
  m->SetValue(75);
  EXPECT_FALSE(m->Blinking());
  EXPECT_FALSE(svc.IsRegistered(m));
  EXPECT_EQ(m->NeedleFillColor(), clLime);

  m->SetValue(95);  // above the upper limit of 90
  EXPECT_TRUE(m->Blinking());
  EXPECT_TRUE(svc.IsRegistered(m));
  TickToPhase(true);
  EXPECT_EQ(m->NeedleFillColor(), clRed);
  TickToPhase(false);
  EXPECT_EQ(m->NeedleFillColor(), clYellow);

  m->SetValue(90);  // exactly on the limit is inside
  EXPECT_FALSE(m->Blinking());
  EXPECT_FALSE(svc.IsRegistered(m));
  EXPECT_EQ(m->NeedleFillColor(), clLime);

  m->SetValue(45);  // below the scale start: under range
  EXPECT_TRUE(m->Blinking());
  m->SetValue(60);
  EXPECT_FALSE(m->Blinking());
  m->SetValue(100);  // the battery's clamped top: beyond 90, blinks
  EXPECT_TRUE(m->Blinking());

  // Without the two options nothing blinks.
  m->SetOptions(M::TRMeterOptions{M::opName1, M::opSector, M::opUnit});
  EXPECT_FALSE(m->Blinking());
  EXPECT_FALSE(svc.IsRegistered(m));
}

TEST_F(Meter, UnregistersWhenDestroyedWhileBlinking) {
  m->SetValue(95);
  const void *was = m;
  ASSERT_TRUE(TInsFlashTimer::Instance().IsRegistered(was));
  delete m;
  m = nullptr;
  EXPECT_FALSE(TInsFlashTimer::Instance().IsRegistered(was));
  TickToPhase(true);  // and a tick finds nothing dangling
}

TEST_F(Meter, AValueChangeRepaintsOnlyTheNeedleArea) {
  ShowAndExpose(*host);
  m->SetValue(60);
  FlushPaints();
  m->ResetPaintStats();
  m->SetValue(80);
  FlushPaints();
  EXPECT_EQ(m->PaintCount(), 0);
  EXPECT_EQ(m->NeedlePaintCount(), 1);
  // The name changes of the main window redraw the whole meter.
  m->SignalSettings().SetName1("REEMPLAZAR PILAS");
  FlushPaints();
  EXPECT_GE(m->PaintCount(), 1);
}

}  // namespace
