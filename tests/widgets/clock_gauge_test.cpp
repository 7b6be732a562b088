#include "widgets/gauge.h"
#include "widgets/gradient.h"
#include "widgets/ins_clock.h"
#include "widgets/ins_gradient.h"

#include "dial_test_util.h"
#include "qstring_print.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "widgets/flash_timer.h"

#include <gtest/gtest.h>
#include <QDateTime>
#include <QImage>

namespace {

// ---------------------------------------------------------------- clock

TEST(Clock, TextUsesTheProgramFormats) {
  ApplyProgramFormats();
  TDateTimeParts t;
  t.Year = 2026, t.Month = 12, t.Day = 7, t.Hour = 14, t.Minute = 5, t.Second = 9;
  EXPECT_EQ(TInsClock::ClockTextAt(coTime, t), "14:05:09");
  EXPECT_EQ(TInsClock::ClockTextAt(coDate, t), "07/12/2026");
  EXPECT_EQ(TInsClock::ClockTextAt(coDateTime, t), "07/12/2026 14:05:09");
  const std::string saved = FormatSettings().LongTimeFormat;
  FormatSettings().LongTimeFormat = "hh:nn";
  EXPECT_EQ(TInsClock::ClockTextAt(coTime, t), "14:05");
  FormatSettings().LongTimeFormat = saved;
}

TEST(Clock, GrowsToFitItsTextAndBevels) {
  ApplyProgramFormats();
  TInsClock c;
  c.resize(20, 10);
  c.SetClockOption(coDateTime);
  const QSize need = c.MinimumContentSize();
  EXPECT_GE(c.width(), need.width());
  EXPECT_GE(c.height(), need.height());
  const QFontMetrics fm(c.Font());
  EXPECT_GE(need.width(), fm.horizontalAdvance(c.ClockText()) + 2 * (3 + 1));
  // A large clock keeps its size and centres the text.
  TInsClock big;
  big.resize(101, 28);
  EXPECT_EQ(big.size(), QSize(101, 28));
  EXPECT_NEAR(big.TextRect().center().x(), 50, 1);
}

TEST(Clock, RedrawsOnlyItsTextOncePerSecond) {
  ApplyProgramFormats();
  QWidget host;
  host.resize(150, 60);
  auto *c = new TInsClock(&host);
  c->setGeometry(10, 10, 101, 28);
  ShowAndExpose(host);
  TInsFlashTimer &svc = TInsFlashTimer::Instance();
  ASSERT_TRUE(svc.IsRegistered(c));

  // Bring the second mark to a known place, then tick around it.
  const int64_t now = QDateTime::currentMSecsSinceEpoch() + 100000;
  svc.TickAt(0, now);
  FlushPaints();
  c->ResetPaintStats();
  c->setToolTip(QString());

  svc.TickAt(16, now + 500);  // within the second: nothing
  FlushPaints();
  EXPECT_EQ(c->TextPaintCount(), 0);

  svc.TickAt(32, now + 1000);  // the next second
  FlushPaints();
  EXPECT_EQ(c->TextPaintCount(), 1);
  EXPECT_EQ(c->PaintCount(), 0);  // frame untouched
  EXPECT_EQ(c->toolTip().toStdString(), DateToStr(Now()));

  // The text is drawn lime on black inside the inner bevel.
  const QImage img = c->grab().toImage();
  const QRect r = c->TextRect();
  int lime = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) lime += NearColour(img.pixel(x, y), clLime, 60);
  EXPECT_GT(lime, 10);
  EXPECT_TRUE(NearColour(img.pixel(r.left(), r.top()), clBlack, 10));

  // Hidden clocks are not drawn.
  host.hide();
  c->ResetPaintStats();
  svc.TickAt(48, now + 2000);
  FlushPaints();
  EXPECT_EQ(c->TextPaintCount(), 0);
  delete c;
  EXPECT_FALSE(svc.IsRegistered(c));
}

// ---------------------------------------------------------------- gauge

class Gauge : public ::testing::Test {
protected:
  void SetUp() override {
    g.resize(31, 28);
    g.SetKind(gkPie);
    g.SetMaxValue(50);
    g.SetShowText(false);
    g.SetForeColor(ColorFromRGB(4227327));
    g.SetBackColor(clYellow);
    g.SetColor(clSkyBlue);
  }
  QRgb At(const QImage &img, double fx, double fy) { return img.pixel(int(fx * img.width()), int(fy * img.height())); }
  TGauge g;
  const QColor orange{255, 128, 64};
};

TEST_F(Gauge, PieFillsClockwiseFromTwelveOClock) {
  QImage img = g.RenderFigure();  // Progress 0: the circle only
  EXPECT_EQ(img.size(), QSize(29, 26));
  EXPECT_TRUE(NearColour(img.pixel(0, 0), clSkyBlue, 0));  // outside the circle
  EXPECT_TRUE(NearColour(At(img, 0.5, 0.5), clYellow, 0));
  EXPECT_TRUE(NearColour(At(img, 0.75, 0.5), clYellow, 0));

  g.SetProgress(25);  // half: the right half
  EXPECT_EQ(g.PercentDone(), 50);
  img = g.RenderFigure();
  EXPECT_TRUE(NearColour(At(img, 0.75, 0.5), orange, 0));
  EXPECT_TRUE(NearColour(At(img, 0.7, 0.25), orange, 0));
  EXPECT_TRUE(NearColour(At(img, 0.7, 0.75), orange, 0));
  EXPECT_TRUE(NearColour(At(img, 0.25, 0.5), clYellow, 0));

  g.SetProgress(12);  // 24 %: about the upper right quarter
  img = g.RenderFigure();
  EXPECT_TRUE(NearColour(At(img, 0.65, 0.25), orange, 0));
  EXPECT_TRUE(NearColour(At(img, 0.65, 0.75), clYellow, 0));
  EXPECT_TRUE(NearColour(At(img, 0.3, 0.3), clYellow, 0));

  g.SetProgress(50);  // full disc
  img = g.RenderFigure();
  for (double fx : {0.25, 0.5, 0.75}) EXPECT_TRUE(NearColour(At(img, fx, 0.5), orange, 0)) << fx;
  EXPECT_TRUE(NearColour(img.pixel(0, 0), clSkyBlue, 0));
}

TEST_F(Gauge, ProgressIsClampedAndTheTextShowsThePercent) {
  g.SetProgress(80);
  EXPECT_EQ(g.Progress(), 50);
  g.SetProgress(-5);
  EXPECT_EQ(g.Progress(), 0);
  g.SetProgress(1);
  EXPECT_EQ(g.PercentDone(), 2);
  g.SetShowText(true);
  g.SetKind(gkHorizontalBar);
  g.resize(200, 40);
  g.SetProgress(25);
  const QImage img = g.RenderFigure();
  int dark = 0;
  for (int x = 80; x < 120; ++x)
    for (int y = 10; y < 30; ++y) dark += qGray(img.pixel(x, y)) < 60;
  EXPECT_GT(dark, 10);  // "50%" in the middle
}

TEST_F(Gauge, MaxValueBelowMinValueIsRefusedWithItsMessage) {
  g.SetProgress(40);
  try {
    g.SetMaxValue(-1);
    FAIL() << "no error";
  } catch (const Exception &e) {
    EXPECT_EQ(e.Message(), "Value must be between 1 and 2147483647");
  }
  EXPECT_EQ(g.MaxValue(), 50);
  g.SetMaxValue(0);  // equal to MinValue is allowed: empty range, 0 %
  EXPECT_EQ(g.Progress(), 0);
  EXPECT_EQ(g.PercentDone(), 0);
  g.SetMaxValue(30);
  g.SetProgress(40);
  EXPECT_EQ(g.Progress(), 30);
  g.SetMaxValue(20);  // lowers the progress with it
  EXPECT_EQ(g.Progress(), 20);
}

TEST_F(Gauge, RepaintsOnlyWhenTheWholePercentChanges) {
  g.SetMaxValue(1000);
  const int before = g.RepaintRequests();
  g.SetProgress(4);  // 0.4 %: still 0
  EXPECT_EQ(g.RepaintRequests(), before);
  g.SetProgress(5);  // 0.5 % rounds to 1
  EXPECT_EQ(g.RepaintRequests(), before + 1);
  g.SetProgress(5);
  EXPECT_EQ(g.RepaintRequests(), before + 1);
}

// ---------------------------------------------------------------- gradient

TEST(GradientWidget, MainWindowBackgroundMiddleAndEdgeRows) {
  TInsGradient grad;
  grad.resize(560, 461);
  grad.GradSettings().SetColorFrom(clSilver);
  grad.GradSettings().SetColorTo(clTeal);
  grad.GradSettings().SetStyle(gsHorizontal2);
  ASSERT_FALSE(grad.GradSettings().Visible());  // always painted all the same
  const QImage img = grad.grab().toImage();
  EXPECT_TRUE(NearColour(img.pixel(280, 230), clSilver, 0));
  EXPECT_TRUE(NearColour(img.pixel(5, 0), clTeal, 0));
  EXPECT_TRUE(NearColour(img.pixel(555, 460), clTeal, 0));
  // Half way between middle and edge, half way between the colours.
  const QRgb q = img.pixel(280, 115);
  EXPECT_NEAR(qRed(q), (192 + 0) / 2.0, 2);  // half way from silver to its end colour
  EXPECT_NEAR(qGreen(q), (192 + 128) / 2.0, 2);
}

TEST(GradientWidget, StyleSetThroughGradSettingsRepaints) {
  TInsGradient grad;
  grad.resize(296, 100);
  const QImage vertical2 = (grad.GradSettings().SetStyle(gsVertical2), grad.grab().toImage());
  EXPECT_TRUE(NearColour(vertical2.pixel(148, 50), QColor(0xE2, 0xE2, 0xE2), 0));
  EXPECT_TRUE(NearColour(vertical2.pixel(0, 50), QColor(0x8F, 0x8F, 0x8F), 0));
  const int renders = grad.RenderCount();
  grad.GradSettings().SetStyle(gsHorizontal1);  // as the graph window sets it
  const QImage horizontal1 = grad.grab().toImage();
  EXPECT_EQ(grad.RenderCount(), renders + 1);
  EXPECT_TRUE(NearColour(horizontal1.pixel(0, 0), QColor(0xE2, 0xE2, 0xE2), 0));
  EXPECT_TRUE(NearColour(horizontal1.pixel(0, 99), QColor(0x8F, 0x8F, 0x8F), 3));
  grad.grab();  // unchanged settings: the kept picture serves
  EXPECT_EQ(grad.RenderCount(), renders + 1);
}

}  // namespace
