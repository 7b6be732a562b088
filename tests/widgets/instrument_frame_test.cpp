// What the value indicator, the thermometer and the meter share round their
// value: their own settings wait for the end of a form's loading as their
// settings objects do, and a font given to the widget directly is measured
// as one given through SetFont.

#include "runtime/form_font.h"
#include "widgets/captions.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <gtest/gtest.h>
#include <QFontMetrics>

#include <functional>

namespace {

struct TInstrument {
  const char *Name;
  std::function<TInsAnalogGControl *(QWidget *host)> Make;
  std::function<void(TInsAnalogGControl &)> ShowOnlyName1;  // the widget's own options
};

const TInstrument kInstruments[] = {
    {"indicator", [](QWidget *h) { return new TInsValueInd(h); },
     [](TInsAnalogGControl &w) { static_cast<TInsValueInd &>(w).SetOptions({opName1}); }},
    {"thermometer", [](QWidget *h) { return new TInsThermometer(h); },
     [](TInsAnalogGControl &w) { static_cast<TInsThermometer &>(w).SetOptions({TInsThermometer::opName1}); }},
    {"meter", [](QWidget *h) { return new TInsDB120Meter(h); },
     [](TInsAnalogGControl &w) { static_cast<TInsRMeter &>(w).SetOptions({TInsRMeter::opName1}); }},
};

TEST(InstrumentFrame, OwnSettingsWaitForTheEndOfLoadingAndEqualOnesAreIgnored) {
  for (const TInstrument &kind : kInstruments) {
    SCOPED_TRACE(kind.Name);
    QWidget host;
    TInsAnalogGControl *w = kind.Make(&host);
    int notified = 0;
    w->OnSettingsChange = [&](QObject *) { ++notified; };
    const QSize before = w->size();

    w->BeginLoading();
    kind.ShowOnlyName1(*w);
    w->SetAutoSize(false);
    w->SetFontColor(clRed);
    w->SetFont(FormFont("Arial", 12, true));
    w->BevelInner().SetWidth(3);
    EXPECT_EQ(notified, 0) << "a loading form only stores";
    EXPECT_EQ(w->size(), before) << "nor measures";
    w->Loaded();
    EXPECT_EQ(notified, 1);

    w->SetFontColor(clBlue);
    EXPECT_EQ(notified, 2);
    w->SetFontColor(clBlue);
    w->SetAutoSize(false);
    w->SetFont(FormFont("Arial", 12, true));
    EXPECT_EQ(notified, 2) << "equal settings are ignored";
  }
}

TEST(InstrumentFrame, AFontGivenToTheWidgetDirectlyIsMeasured) {
  for (const TInstrument &kind : kInstruments) {
    SCOPED_TRACE(kind.Name);
    QWidget host;
    host.resize(400, 400);
    TInsAnalogGControl *w = kind.Make(&host);
    w->SetAutoSize(false);
    w->resize(200, 200);
    kind.ShowOnlyName1(*w);
    host.show();
    const QFont big = FormFont("Arial", 16);
    w->setFont(big);  // not through SetFont
    bool found = false;
    for (const TCaptionBox &c : OwnerDrawnCaptions(w))
      if (c.Text == w->SignalSettings().Name1()) {
        found = true;
        EXPECT_EQ(c.Room.height(), QFontMetrics(big).height()) << "the name's line is as high as the new font";
      }
    EXPECT_TRUE(found);
  }
}

}  // namespace
