// A stale value is drawn greyed, repainting only what shows the value, and
// changes nothing else of the widget.

#include "runtime/format_settings.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <QApplication>
#include <QImage>
#include <gtest/gtest.h>

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

// Pixels of the value text in its normal colour and greyed, as the widget shows them now.
struct TValueInk {
  int Normal = 0, Grey = 0;
};

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

  struct Case {
    TInsAnalogGControl *widget;
    QColor normal;
    std::function<QRect()> valueRect;
    std::function<int()> valuePaints;
  };
  const Case cases[] = {
      {ind, clLime, [&] { return ind->ValueInsideRect(); }, [&] { return ind->ValuePaintCount(); }},
      {th, clBlue, [&] { return th->ValueTextRect(); }, [&] { return th->ValuePaintCount(); }},
  };
  for (const Case &c : cases) {
    c.widget->SetValue(25.0f);
    QApplication::processEvents();
    auto ink = [&] {
      const QImage img = c.widget->grab().toImage();
      return TValueInk{Near(img, c.valueRect(), c.normal), Near(img, c.valueRect(), kStaleValueColor)};
    };
    const TValueInk fresh = ink();
    EXPECT_GT(fresh.Normal, 5);
    EXPECT_EQ(fresh.Grey, 0);

    ind->ResetPaintStats();
    th->ResetPaintStats();
    const int paintsBefore = c.valuePaints();
    c.widget->SetStale(true);
    QApplication::processEvents();
    EXPECT_EQ(c.valuePaints(), paintsBefore + 1) << "only the value is painted again";
    EXPECT_EQ(ind->BodyPaintCount(), 0);
    const TValueInk stale = ink();
    EXPECT_EQ(stale.Normal, 0);
    EXPECT_GT(stale.Grey, 5);
    // The value and what it means stay as they were.
    EXPECT_FLOAT_EQ(c.widget->Value(), 25.0f);
    EXPECT_EQ(c.widget->ValueText(), "25,0");

    const int paintsStale = c.valuePaints();  // the grab painted too
    c.widget->SetStale(true);                  // equal: nothing to do
    QApplication::processEvents();
    EXPECT_EQ(c.valuePaints(), paintsStale);
    c.widget->SetStale(false);
    EXPECT_EQ(ink().Normal, fresh.Normal);
  }
}
