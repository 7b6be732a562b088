// A stale value is drawn greyed, repainting only what shows the value, and
// changes nothing else of the widget.

#include "runtime/format_settings.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QImage>

#include <cstdlib>

namespace {

int Near(const QImage &img, const QRect &r, const QColor &c) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QColor p = img.pixelColor(x, y);
      n += std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) <= 40;
    }
  return n;
}

}  // namespace

TEST(StaleValue, IndicatorAndThermometerGreyTheirValueTextAndNothingElse) {
  ApplyProgramFormats();
  QWidget host;
  host.resize(200, 200);
  auto *ind = new TInsValueInd(&host);
  ind->SetFontValueColor(clLime);
  ind->BevelValue().SetColor(clBlack);
  auto *th = new TInsThermometer(&host);
  th->setGeometry(100, 10, 65, 125);
  th->SetFontValueColor(clBlue);
  host.show();
  QApplication::processEvents();

  const struct {
    TInsAnalogGControl *widget;
    QColor ink;
    std::function<QRect()> valueRect;
    std::function<int()> valuePaints;
  } cases[] = {
      {ind, clLime, [&] { return ind->ValueInsideRect(); }, [&] { return ind->ValuePaintCount(); }},
      {th, clBlue, [&] { return th->ValueTextRect(); }, [&] { return th->ValuePaintCount(); }},
  };
  for (const auto &c : cases) {
    c.widget->SetValue(25.0f);
    QApplication::processEvents();
    auto ink = [&](const QColor &colour) { return Near(c.widget->grab().toImage(), c.valueRect(), colour); };
    EXPECT_GT(ink(c.ink), 5);
    EXPECT_EQ(ink(kStaleValueColor), 0);

    ind->ResetPaintStats();
    const int paints = c.valuePaints();
    c.widget->SetStale(true);
    c.widget->SetStale(true);  // equal: nothing more to do
    QApplication::processEvents();
    EXPECT_EQ(c.valuePaints(), paints + 1) << "the value alone is painted again, once";
    EXPECT_EQ(ind->BodyPaintCount(), 0);
    EXPECT_EQ(ink(c.ink), 0);
    EXPECT_GT(ink(kStaleValueColor), 5);
    EXPECT_EQ(c.widget->ValueText(), "25,0") << "the value stays what it was";
    c.widget->SetStale(false);
    EXPECT_GT(ink(c.ink), 5);
  }
}
