#include "widgets/ins_thermometer.h"

#include "dial_test_util.h"
#include "qstring_print.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>
#include <QImage>

#include <memory>

namespace {

using T = TInsThermometer;

// A thermometer as the on-line window has it: 65 x 125, -10 .. 45 in three
// steps, value box, name and unit, no bevels drawn.
void WindowLook(T &t, const QColor &bar) {
  t.BeginLoading();
  t.SetAutoSize(false);
  t.SetOptions({T::opValue, T::opName1, T::opUnit});
  t.SignalSettings().SetName1("Canal 1");
  t.SignalSettings().SetValueFrom(-10);
  t.SignalSettings().SetValueTo(45);
  t.SignalSettings().SetValueFormat("##0.0");
  QFont f("Arial");
  f.setPointSize(8);
  f.setBold(true);
  t.SetFont(f);
  QFont fv("System");
  fv.setPointSize(8);
  t.SetFontValue(fv);
  t.BarSettings().Bevel().SetStyle(bsLowered);
  t.BarSettings().Bevel().SetWidth(3);
  t.BarSettings().Bevel().SetSpacing(1);
  t.BarSettings().SetColor(bar);
  t.ScaleSettings().SetSteps(3);
  t.ScaleSettings().SetSubSteps(3);
  QFont sf("Arial");
  sf.setPointSize(8);
  t.ScaleSettings().SetFont(sf);
  t.SetScaleSpacing(3);
  t.Loaded();
}

class Thermometer : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    host = std::make_unique<QWidget>();
    host->resize(120, 160);
    t = new T(host.get());
    t->setGeometry(10, 10, 65, 125);
    WindowLook(*t, clRed);
  }
  QImage Grab() { return t->grab().toImage(); }
  // Pixel in the middle of the channel, `up` rows above its bottom row.
  QRgb ChannelPixel(const QImage &img, int up) {
    const QRect ch = t->ChannelRect();
    return img.pixel(ch.center().x(), ch.bottom() - up);
  }

  std::unique_ptr<QWidget> host;
  T *t = nullptr;
};

TEST_F(Thermometer, ScaleLabelsAndLayoutOfTheWindowThermometer) {
  const TScaleDiv &d = t->ScaleDiv();
  EXPECT_EQ(d.Labels, (std::vector<std::string>{"45", "27", "8", "-10"}));
  ASSERT_FALSE(t->TooSmall());
  const QRect column = t->ColumnRect();
  // Centred, channel 3 wide inside a bevel of 4 on each side.
  EXPECT_EQ(column.width(), 3 + 2 * 4);
  EXPECT_EQ(t->ChannelRect().width(), 3);
  EXPECT_LE(std::abs(column.center().x() - t->width() / 2), 1);
  // Column below the value box, above the name.
  EXPECT_GT(column.top(), t->ValueBoxRect().bottom());
  EXPECT_LT(column.bottom(), 125 - QFontMetrics(t->Font()).height());
  EXPECT_EQ(t->ScaleY(45), t->ChannelRect().top());
  EXPECT_EQ(t->ScaleY(-10), t->ChannelRect().bottom());
}

TEST_F(Thermometer, ColumnFillsToThePositionAndClampsAtTheEnds) {
  int overflowReports = 0;
  t->OnOverflow = [&](QObject *, int) { ++overflowReports; };
  const int h = t->ChannelRect().height();

  t->SetValue(17.5f);  // half way
  EXPECT_EQ(t->Position(), 500);
  EXPECT_EQ(t->FillHeight(), int(std::lround(h / 2.0)));
  QImage img = Grab();
  EXPECT_TRUE(NearColour(ChannelPixel(img, 0), clRed, 0));
  EXPECT_TRUE(NearColour(ChannelPixel(img, t->FillHeight() - 1), clRed, 0));
  EXPECT_TRUE(NearColour(ChannelPixel(img, t->FillHeight()), clBtnFace(), 0));

  t->SetValue(-15);  // below the scale: empty column, one report
  EXPECT_EQ(t->Position(), 0);
  EXPECT_TRUE(t->UnderRange());
  EXPECT_EQ(t->FillHeight(), 0);
  EXPECT_TRUE(NearColour(ChannelPixel(Grab(), 0), clBtnFace(), 0));
  t->SetValue(-20);
  EXPECT_EQ(overflowReports, 1);

  t->SetValue(45);                // the top of the scale fills the whole channel
  EXPECT_EQ(overflowReports, 2);  // leaving the under-range is reported too
  EXPECT_EQ(t->FillHeight(), h);
  img = Grab();
  EXPECT_TRUE(NearColour(ChannelPixel(img, h - 1), clRed, 0));
  EXPECT_FALSE(t->OverRange());
}

TEST_F(Thermometer, ValueBoxShowsTheValueWithTheDecimalComma) {
  t->SetValue(23.45f);
  EXPECT_EQ(t->ValueText(), "23,5");
  const QImage img = Grab();
  const QRect r = t->ValueTextRect();
  int blue = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) blue += NearColour(img.pixel(x, y), clBlue, 60);
  EXPECT_GT(blue, 5);
  // Right-aligned: the left quarter of the box stays empty for a short text.
  for (int y = r.top(); y <= r.bottom(); ++y) EXPECT_TRUE(NearColour(img.pixel(r.left(), y), clBtnFace(), 10));
}

TEST_F(Thermometer, ValueSetBeforeTheWindowSetsTheCommaIsShownWithTheComma) {
  FormatSettings().DecimalSeparator = '.';
  t->SetValue(12.25f);
  EXPECT_EQ(t->ValueText(), "12.3");
  ApplyProgramFormats();  // as the main window's activation does
  (void)Grab();
  EXPECT_EQ(t->ValueText(), "12,3");
}

TEST_F(Thermometer, AValueChangeRepaintsOnlyColumnAndValueBox) {
  ShowAndExpose(*host);
  t->SetValue(10);
  FlushPaints();
  t->ResetPaintStats();

  t->SetValue(30);
  FlushPaints();
  EXPECT_EQ(t->PaintCount(), 0);
  EXPECT_EQ(t->ColumnPaintCount(), 1);
  EXPECT_EQ(t->ValuePaintCount(), 1);

  t->SetValue(30);  // the same value draws nothing
  FlushPaints();
  EXPECT_EQ(t->ColumnPaintCount(), 1);
  EXPECT_EQ(t->ValuePaintCount(), 1);

  // A settings change draws the whole widget again.
  t->SignalSettings().SetName1("Canal 9");
  FlushPaints();
  EXPECT_GE(t->PaintCount(), 1);
}

TEST_F(Thermometer, MinAndMaxMarksAppearOnceTwoValuesWereSeen) {
  const QRect ch = t->ChannelRect();
  const int x = ch.right() + 1;  // just right of the channel
  t->SetValue(0);
  QImage img = Grab();
  for (int y = ch.top(); y <= ch.bottom(); ++y) EXPECT_FALSE(NearColour(img.pixel(x, y), clAqua, 0)) << y;

  t->SetValue(30);
  t->SetValue(20);
  img = Grab();
  const int h = ch.height();
  const int maxEdge = ch.bottom() + 1 - int(std::lround(t->MinMax().MaxPosition() * double(h) / 1000));
  const int minEdge = ch.bottom() + 1 - int(std::lround(t->MinMax().MinPosition() * double(h) / 1000));
  // By default a mark takes the colour of the sector it lies in.
  const QColor maxColour = t->SectorSettings().SectorColorAt(t->MinMax().MaxPosition()).value();
  const QColor minColour = t->SectorSettings().SectorColorAt(t->MinMax().MinPosition()).value();
  EXPECT_TRUE(NearColour(img.pixel(x, maxEdge - 2), maxColour, 0));  // above its edge
  EXPECT_TRUE(NearColour(img.pixel(x, minEdge + 1), minColour, 0));  // below its edge
  EXPECT_FALSE(NearColour(img.pixel(x, (maxEdge + minEdge) / 2), maxColour, 0));
  // Without it, the marks' own colour.
  t->MinMax().SetUseSectorCol(false);
  img = Grab();
  EXPECT_TRUE(NearColour(img.pixel(x, maxEdge - 2), clAqua, 0));
  EXPECT_TRUE(NearColour(img.pixel(x, minEdge + 1), clAqua, 0));
  EXPECT_FALSE(NearColour(img.pixel(x, (maxEdge + minEdge) / 2), clAqua, 0));
}

TEST_F(Thermometer, SectorColourReplacesTheBarColourWhenAsked) {
  t->SetValue(40);  // position 909: third sector
  EXPECT_EQ(t->FillColor(), clRed);
  t->BarSettings().SetColor(clBlue);
  t->BarSettings().SetOptions({TBarSettings::opUseSectorCol});
  t->SectorSettings().SetSector3Color(clFuchsia);
  t->SetValue(41);
  EXPECT_EQ(t->FillColor(), clFuchsia);
  EXPECT_TRUE(NearColour(ChannelPixel(Grab(), 0), clFuchsia, 0));
}

TEST_F(Thermometer, TooSmallDrawsNeitherScaleNorValue) {
  ShowAndExpose(*host);
  t->resize(65, 40);  // value box and name leave no room for a column
  FlushPaints();
  EXPECT_TRUE(t->TooSmall());
  t->ResetPaintStats();
  t->SetValue(12);
  FlushPaints();
  EXPECT_EQ(t->ColumnPaintCount(), 0);
  EXPECT_FLOAT_EQ(t->Value(), 12.0f);  // the value itself is still taken
}

TEST(ThermometerDefaults, AutoSizeTakesTheMeasuredSizeWhenShown) {
  QWidget host;
  host.resize(300, 300);
  auto *t = new T(&host);
  EXPECT_EQ(t->size(), QSize(82, 172));  // nothing measured before showing
  ShowAndExpose(host);
  EXPECT_EQ(t->size(), t->MinimumContentSize());
  EXPECT_GE(t->height(), 100 + 2 * t->BarSettings().Bevel().BorderSize());
  EXPECT_EQ(t->SignalSettings().ValueUnit(), QString::fromUtf8("°C"));
  EXPECT_FLOAT_EQ(t->SignalSettings().ValueFrom(), -40.0f);
  EXPECT_FLOAT_EQ(t->SignalSettings().ValueTo(), 60.0f);
}

TEST(ThermometerDefaults, AutoSizeWithTheInnerFrameDoesNotGrowAtEveryMeasure) {
  QWidget host;
  host.resize(300, 400);
  auto *t = new T(&host);
  t->SetOptions({T::opBevelInner, T::opValue, T::opName1, T::opUnit});
  ShowAndExpose(host);
  const QSize first = t->size();
  EXPECT_EQ(first, t->MinimumContentSize());
  // Changes that do not touch any size measure the widget again.
  for (const QColor &c : {clRed, clGreen, clBlue}) t->ScaleSettings().SetColor(c);
  FlushPaints();
  EXPECT_EQ(t->size(), first);
  // The frame's allowance is there: the column and both scales fit inside it.
  const int inner = t->BevelInner().BorderSize();
  EXPECT_GE(first.width(), t->BarSettings().MinWidth() + 2 * t->ScaleMetrics().ScaleWidth + 2 * inner);
}

}  // namespace
