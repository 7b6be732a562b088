// Every widget of the folder drawn in a range of states (values, on and off,
// held, blinking, disabled, stale, sizes, options), each over a window
// background as the windows show them.
//
// Always checked: a widget brought to its state after it was first drawn
// draws what a widget given that state before it was drawn draws, so the
// pictures the widgets keep and repaint from never go stale.
//
// For a change meant to leave every picture as it was: run this program with
// TALVEX_GALLERY_OUT=DIR before the change to keep the pictures as PNG files,
// and with TALVEX_GALLERY_REF=DIR after it; every differing pixel is counted
// and reported. The time of day on the clocks is blanked; their date is not.
// With TALVEX_GALLERY_DIFFS=DIR the two pictures of every difference found
// are kept there to look at.

#include "dial_test_util.h"
#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "widgets/flash_timer.h"
#include "widgets/gauge.h"
#include "widgets/ins_clock.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_led.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QCursor>
#include <QDir>
#include <QEnterEvent>
#include <QMouseEvent>
#include <QPainter>

#include <cstdlib>
#include <functional>
#include <iostream>
#include <string>
#include <vector>

namespace {

struct TCase {
  std::string Name;
  std::function<QWidget *(QWidget *host)> Make;  // created and set up, not shown yet
  std::function<void(QWidget *)> Act;            // what then happens to it
  std::function<QRect(QWidget *)> Blank;         // a part that follows the clock
};

template <class W>
TCase Case(const std::string &name, std::function<W *(QWidget *)> make, std::function<void(W &)> act = {}) {
  TCase c;
  c.Name = name;
  c.Make = [make](QWidget *host) -> QWidget * { return make(host); };
  if (act) c.Act = [act](QWidget *w) { act(*static_cast<W *>(w)); };
  return c;
}

// The blink service to the next change of a rate's phase, by hand.
void TickToPhase(int rateCode, bool on) {
  TInsFlashTimer &s = TInsFlashTimer::Instance();
  s.Stop();
  const uint32_t bit = 1u << rateCode;
  s.SetCounter(on ? bit - 1 : 2 * bit - 1);
  s.TickAt(0, 0);
}

void LeftPress(QWidget &w, const QPoint &at) {
  QMouseEvent e(QEvent::MouseButtonPress, QPointF(at), w.mapToGlobal(QPointF(at)), Qt::LeftButton, Qt::LeftButton,
                Qt::NoModifier);
  QApplication::sendEvent(&w, &e);
}

void Hover(QWidget &w) {
  QEnterEvent e(QPointF(3, 3), QPointF(3, 3), w.mapToGlobal(QPointF(3, 3)));
  QApplication::sendEvent(&w, &e);
}

// ---------------------------------------------------------------- looks as the windows set them

TInsValueInd *MainIndicator(QWidget *host, int component) {
  auto *ind = new TInsValueInd(host);
  ind->BeginLoading();
  ind->SetAutoSize(true);
  ind->SetOptions({opName1, opUnit});
  auto &sig = ind->SignalSettings();
  sig.SetName1(QString("CANAL %1").arg(component));
  sig.SetValueFormat("##0.0");
  sig.SetValueUnit(QString::fromUtf8("ºC"));
  sig.SetValueFrom(0);
  sig.SetDigitalTo(component <= 2 ? 5000 : 1000);
  sig.SetValueTo(component <= 7 ? 100 : 2000);
  ind->SetFont(FormFont("Arial", 8, true));
  ind->SetFontColor(clWhite);
  ind->SetFontValue(FormFont("System", 10, component >= 2 && component <= 4));
  ind->SetFontValueColor(clLime);
  ind->SetValue(50);
  ind->SetDigit(component <= 2 ? 2500 : component <= 7 ? 500 : 25);
  ind->Loaded();
  return ind;
}

const QColor kBarColours[8] = {clBlue, clRed, clGreen, clLime, clYellow, clAqua, clMoneyGreen, clWhite};

TInsThermometer *WindowThermometer(QWidget *host, int channel) {
  using T = TInsThermometer;
  auto *t = new T(host);
  t->BeginLoading();
  t->setGeometry(6, 6, 65 + (channel % 3) * 6, 125);
  t->SetAutoSize(false);
  t->SetOptions({T::opValue, T::opName1, T::opUnit});
  auto &sig = t->SignalSettings();
  sig.SetName1(QString("Canal %1").arg(channel));
  sig.SetValueFrom(-10);
  sig.SetValueTo(45);
  sig.SetValueFormat("##0.0");
  t->SetFont(FormFont("Arial", 8, true));
  t->SetFontValue(FormFont("System", 8));
  auto &bar = t->BarSettings();
  bar.Bevel().SetStyle(bsLowered);
  bar.Bevel().SetWidth(3);
  bar.Bevel().SetSpacing(1);
  bar.SetColor(kBarColours[(channel - 1) % 8]);
  t->ScaleSettings().SetSteps(3);
  t->ScaleSettings().SetSubSteps(3);
  t->ScaleSettings().SetDrawLine(false);
  t->ScaleSettings().SetFont(FormFont("Arial", 8));
  t->SetScaleSpacing(3);
  t->SetValue(25);
  t->Loaded();
  return t;
}

TInsDB120Meter *BatteryMeter(QWidget *host) {
  auto *m = new TInsDB120Meter(host);
  m->setGeometry(6, 6, 129, 105);
  m->BeginLoading();
  m->SetAutoSize(false);
  m->SetOptions(TInsRMeter::AllOptions().Exclude(TInsRMeter::opName2));
  auto &sig = m->SignalSettings();
  sig.SetName1(QString::fromUtf8("Nivel de batería"));
  sig.SetValueFrom(50);
  sig.SetValueTo(100);
  sig.SetValueUnit("%");
  auto &sec = m->SectorSettings();
  sec.SetSector1Color(clRed);
  sec.SetSector2Color(clTeal);
  sec.SetSector3Color(clLime);
  m->SetFont(FormFont("Arial", 10, true));
  m->SetFontColor(clWhite);
  m->SetFontUnit(FormFont("System", 6, true));
  m->ScaleSettings().SetFont(FormFont("Arial", 8));
  auto &inner = m->BevelInner();
  inner.SetSpacing(-3);
  inner.SetBevelLine(blBoth);
  inner.SetWidth(0);
  inner.SurfaceGrad().SetVisible(true);
  inner.SurfaceGrad().SetStyle(gsHorizontal3);
  m->BevelOuter().SetSpacing(3);
  m->BevelOuter().SetWidth(0);
  m->BevelOuter().SetColor(clDesktop());
  m->SetValue(50);
  m->SetDigit(0);
  m->Loaded();
  return m;
}

TInsClock *Clock(QWidget *host, TClockOption option) {
  auto *c = new TInsClock(host);
  c->setGeometry(6, 6, 101, 28);
  c->SetClockOption(option);
  return c;
}

TInsLED *MainLed(QWidget *host) {
  auto *led = new TInsLED(host);
  led->setGeometry(6, 6, 28, 34);
  led->LED().SetHeight(20);
  return led;
}

TInsRockerSwitch *MainRocker(QWidget *host) {
  auto *sw = new TInsRockerSwitch(host);
  sw->setGeometry(6, 6, 91, 85);
  sw->setFont(FormFont("Arial", 8, true));
  sw->SetFontColor(clTeal);
  sw->SetText("CONECTAR");
  return sw;
}

struct TButtonLook {
  TMode mode;
  const char *off, *on;
  QColor colOff, colOn;
  bool text3D;
  QFont font;
  TPosH position;
  QSize size;
};

std::vector<TButtonLook> MainButtonLooks() {
  const QFont b8 = FormFont("Arial", 8, true), b9 = FormFont("Arial", 9, true), i12 = FormFont("Arial", 12, true, true);
  return {
      {mIndicator,
       " REPORTADO POR EL LOGGER",
       " REPORTADO POR EL LOGGER",
       clWhite,
       clWhite,
       false,
       b8,
       phLeft,
       {166, 33}},
      {mButton, "     FECHA Y HORA ACTUAL", "", clLime, clLime, true, b9, phLeft, {166, 33}},
      {mButton, "   CAMBIO DE TASA", "   CAMBIO DE TASA", clAqua, clLime, true, b9, phLeft, {130, 33}},
      {mButton, "       DESCARGAR DATOS", "       DESCARGAR DATOS", clYellow, clLime, true, b9, phLeft, {166, 33}},
      {mButton, "  www.talvex.example", "  www.talvex.example", clRed, clLime, true, i12, phLeft, {177, 33}},
      {mButton, "    TALVEX", "    TALVEX", clSkyBlue, clLime, true, i12, phLeft, {130, 33}},
      {mIndicator, "      CANALES EN LINEA", "      CANALES EN LINEA", clBlack, clLime, true, b9, phLeft, {151, 24}},
      {mButton, "Indicadores gráficos", "", clBlack, clLime, false, b8, phCenter, {133, 25}},
  };
}

TInsColBitBtn *MainButton(QWidget *host, int index) {
  static const std::vector<TButtonLook> looks = MainButtonLooks();
  const TButtonLook &l = looks[index];
  auto *b = new TInsColBitBtn(host);
  b->setGeometry(QRect(QPoint(6, 6), l.size));
  b->SetMode(l.mode);
  b->SetTextOff(QString::fromUtf8(l.off));
  b->SetTextOn(QString::fromUtf8(index == 7 ? l.off : l.on));
  b->SetTextColOff(l.colOff);
  b->SetTextColOn(l.colOn);
  b->SetText3D(l.text3D);
  b->setFont(l.font);
  b->SetPosHorizontal(l.position);
  if (index == 3) b->SetFlashOptions({foText});
  return b;
}

// Three glyph images side by side: normal, disabled, on.
QPixmap GlyphStrip() {
  QImage img(3 * 12, 12, QImage::Format_RGB32);
  img.fill(Qt::white);
  QPainter p(&img);
  const QColor colours[3] = {clNavy, clGray, clRed};
  for (int i = 0; i < 3; ++i) p.fillRect(i * 12 + 2, 2, 8, 8, colours[i]);
  return QPixmap::fromImage(img);
}

// ---------------------------------------------------------------- the cases

// A widget as it comes, at the margin of its picture.
template <class W>
W *Plain(QWidget *host) {
  auto *w = new W(host);
  w->move(6, 6);
  return w;
}

// What every widget with a value text goes through: stale, disabled, and a
// value made with the decimal point, shown as it is and after the program's
// decimal comma came.
template <class W>
void AddValueStates(std::vector<TCase> &cases, const std::string &name, std::function<W *(QWidget *)> make,
                    float staleValue) {
  cases.push_back(Case<W>(name + "-stale", make, [staleValue](W &w) {
    w.SetValue(staleValue);
    w.SetStale(true);
  }));
  cases.push_back(Case<W>(name + "-disabled", make, [](W &w) { w.setEnabled(false); }));
  cases.push_back(Case<W>(name + "-point", make, [](W &w) {
    FormatSettings().DecimalSeparator = '.';
    w.SetValue(12.25f);
  }));
  cases.push_back(Case<W>(name + "-point-then-comma", make, [](W &w) {
    FormatSettings().DecimalSeparator = '.';
    w.SetValue(12.25f);
    ApplyProgramFormats();
  }));
}

void AddIndicators(std::vector<TCase> &cases) {
  using W = TInsValueInd;
  const auto plain = Plain<W>;
  auto main = [](int component) { return [component](QWidget *h) { return MainIndicator(h, component); }; };
  auto value = [](float v) { return [v](W &w) { w.SetValue(v); }; };
  cases.push_back(Case<W>("ind-default", plain));
  cases.push_back(Case<W>("ind-default-23.45", plain, value(23.45f)));
  for (int c : {1, 3, 9}) cases.push_back(Case<W>("ind-main" + std::to_string(c), main(c)));
  cases.push_back(Case<W>("ind-main1-23.45", main(1), value(23.45f)));
  cases.push_back(Case<W>("ind-main3-minus", main(3), value(-5.25f)));
  cases.push_back(Case<W>("ind-main1-over", main(1), value(150)));
  cases.push_back(Case<W>("ind-main9-long", main(9), value(12345.6f)));
  AddValueStates<W>(cases, "ind-main1", main(1), 21.5f);
  cases.push_back(Case<W>("ind-main1-stale-cleared", main(1), [](W &w) {
    w.SetStale(true);
    w.SetValue(22.5f);
    w.SetStale(false);
  }));
  auto allOptions = [](QWidget *h) {
    auto *w = new W(h);
    w->move(6, 6);
    w->SetOptions({opBevelInner, opBevelOuter, opName1, opName2, opUnit});
    return w;
  };
  cases.push_back(Case<W>("ind-all-options", allOptions, value(12.3f)));
  cases.push_back(Case<W>("ind-all-options-fixed", allOptions, [](W &w) {
    w.SetAutoSize(false);
    w.resize(130, 100);
    w.SetValue(7.5f);
  }));
  cases.push_back(Case<W>("ind-fixed-grows", plain, [](W &w) {
    w.SetAutoSize(false);
    w.resize(20, 10);
  }));
  cases.push_back(Case<W>("ind-two-part-format", plain, [](W &w) {
    w.SignalSettings().SetValueFormat("##0.0;-##0.00");
    w.SetValue(-3.14159f);
  }));
  cases.push_back(Case<W>("ind-translucent-box", allOptions, [](W &w) {
    w.BevelValue().SetColor(QColor(0, 0, 255, 128));
    w.SetValue(33);
  }));
  cases.push_back(Case<W>("ind-renamed", main(3), [](W &w) {
    w.SignalSettings().SetName1("CANAL 16");
    w.SignalSettings().SetValueUnit("%");
    w.SetFontValue(FormFont("System", 12));
    w.SetFontColor(clYellow);
    w.SetFontValueColor(clAqua);
    w.SetValue(88.8f);
  }));
  cases.push_back(Case<W>("ind-font-set-directly", allOptions, [](W &w) { w.setFont(FormFont("Arial", 10)); }));
  cases.push_back(Case<W>("ind-bevel-looks", allOptions, [](W &w) {
    w.BevelOuter().SetBevelLine(blBoth);
    w.BevelOuter().SurfaceGrad().SetVisible(true);
    w.BevelInner().SetStyle(bsRaised);
    w.BevelInner().SetColor(clSilver);
    w.BevelValue().SetWidth(3);
    w.SetValue(-0.05f);
  }));
}

void AddThermometers(std::vector<TCase> &cases) {
  using W = TInsThermometer;
  const auto plain = Plain<W>;
  auto window = [](int channel) { return [channel](QWidget *h) { return WindowThermometer(h, channel); }; };
  auto value = [](float v) { return [v](W &w) { w.SetValue(v); }; };
  cases.push_back(Case<W>("th-default", plain));
  cases.push_back(Case<W>("th-default-12", plain, value(12)));
  for (int c = 1; c <= 8; ++c) cases.push_back(Case<W>("th-window" + std::to_string(c), window(c)));
  const std::pair<const char *, float> values[] = {
      {"under", -15}, {"zero", 0}, {"half", 17.5f}, {"top", 45}, {"over", 50}};
  for (const auto &[name, v] : values) cases.push_back(Case<W>(std::string("th-window2-") + name, window(2), value(v)));
  cases.push_back(Case<W>("th-window2-marks", window(2), [](W &w) {
    w.SetValue(30);
    w.SetValue(0);
    w.SetValue(20);
  }));
  cases.push_back(Case<W>("th-window2-marks-own-colour", window(2), [](W &w) {
    w.MinMax().SetUseSectorCol(false);
    w.SetValue(30);
    w.SetValue(20);
  }));
  cases.push_back(Case<W>("th-window2-max-only", window(2), [](W &w) {
    w.MinMax().SetMinVisible(false);
    w.SetValue(40);
    w.SetValue(-5);
    w.SetValue(10);
  }));
  AddValueStates<W>(cases, "th-window2", window(2), 21);
  auto styled = [](TBarStyle style, TBarSettings::TBarOptions options) {
    return [style, options](QWidget *h) {
      W *w = WindowThermometer(h, 3);
      w->resize(90, 160);
      w->BarSettings().SetMinWidth(14);
      w->BarSettings().SetStyle(style);
      w->BarSettings().SetOptions(options);
      return w;
    };
  };
  cases.push_back(Case<W>("th-led-bar", styled(bsLED_Bar, {}), value(30)));
  cases.push_back(Case<W>("th-point", styled(bsPoint, {}), value(30)));
  cases.push_back(Case<W>("th-bidir-up", styled(bsBar, {TBarSettings::opBidir}), value(30)));
  cases.push_back(Case<W>("th-bidir-down", styled(bsBar, {TBarSettings::opBidir}), value(2)));
  cases.push_back(Case<W>("th-bar-value", styled(bsBar, {TBarSettings::opValue, TBarSettings::opUnit}), value(33.3f)));
  cases.push_back(Case<W>("th-sector-colour", styled(bsBar, {TBarSettings::opUseSectorCol}), value(40)));
  auto allOptions = [](QWidget *h) {
    auto *w = new W(h);
    w->move(6, 6);
    w->SetOptions({W::opBevelInner, W::opBevelOuter, W::opValue, W::opName1, W::opName2, W::opUnit});
    return w;
  };
  cases.push_back(Case<W>("th-all-options-autosize", allOptions, value(-12.5f)));
  cases.push_back(Case<W>("th-all-options-fixed", allOptions, [](W &w) {
    w.SetAutoSize(false);
    w.resize(110, 230);
    w.SetValue(44);
  }));
  cases.push_back(Case<W>("th-name-only", window(4), [](W &w) { w.SetOptions({W::opName1}); }));
  cases.push_back(Case<W>("th-too-small", window(5), [](W &w) {
    w.resize(65, 40);
    w.SetValue(12);
  }));
  cases.push_back(Case<W>("th-wide", window(6), [](W &w) {
    w.resize(150, 220);
    w.SetValue(3);
  }));
  cases.push_back(Case<W>("th-translucent", window(7), [](W &w) {
    w.BarSettings().Bevel().SetColor(QColor(255, 0, 0, 100));
    w.BevelValue().SetColor(QColor(0, 0, 255, 100));
    w.SetValue(15);
  }));
  cases.push_back(Case<W>("th-renamed", window(8), [](W &w) {
    w.SignalSettings().SetName1("Canal 16");
    w.SignalSettings().SetValueTo(60);
    w.ScaleSettings().SetSteps(6);
    w.SetFontColor(clMaroon);
    w.SetFontValueColor(clRed);
    w.SetValue(55);
  }));
  cases.push_back(Case<W>("th-font-set-directly", window(1), [](W &w) { w.setFont(FormFont("Arial", 10)); }));
}

void AddMeters(std::vector<TCase> &cases) {
  using W = TInsRMeter;
  auto battery = [](QWidget *h) -> W * { return BatteryMeter(h); };
  auto value = [](float v) { return [v](W &w) { w.SetValue(v); }; };
  cases.push_back(Case<W>("meter-battery", battery));
  for (float v : {62.0f, 75.0f, 88.0f, 100.0f})
    cases.push_back(Case<W>("meter-battery-" + std::to_string(int(v)), battery, value(v)));
  for (bool on : {true, false}) {
    const std::string phase = on ? "on" : "off";
    cases.push_back(Case<W>("meter-battery-95-blink-" + phase, battery, [on](W &w) {
      w.SetValue(95);
      TickToPhase(W::kBlinkRate, on);
    }));
    cases.push_back(Case<W>("meter-battery-45-blink-" + phase, battery, [on](W &w) {
      w.SetValue(45);
      TickToPhase(W::kBlinkRate, on);
    }));
  }
  cases.push_back(Case<W>("meter-battery-renamed", battery, [](W &w) {
    w.SetValue(70);
    w.SignalSettings().SetName1("REEMPLAZAR PILAS");
  }));
  cases.push_back(Case<W>("meter-battery-marks", battery, [](W &w) {
    w.SetValue(60);
    w.SetValue(85);
    w.SetValue(70);
  }));
  cases.push_back(Case<W>("meter-battery-stale", battery, [](W &w) {
    w.SetValue(66);
    w.SetStale(true);
  }));
  cases.push_back(Case<W>("meter-battery-disabled", battery, [](W &w) { w.setEnabled(false); }));
  cases.push_back(Case<W>("meter-battery-unit-font", battery, [](W &w) {
    w.SetFontUnit(FormFont("Arial", 9));
    w.SetFontUnitColor(clNavy);
  }));
  const auto round = Plain<W>;
  cases.push_back(Case<W>("meter-round", round));
  cases.push_back(Case<W>("meter-round-fixed", round, [](W &w) {
    w.SetAutoSize(false);
    w.resize(230, 170);
    w.SetValue(30);
  }));
  cases.push_back(Case<W>("meter-round-line", round, [](W &w) {
    w.ArrowSettings().SetShape(asLine);
    w.SetValue(30);
  }));
  cases.push_back(Case<W>("meter-round-triangle", round, [](W &w) {
    w.ArrowSettings().SetShape(asTriangle);
    w.ArrowSettings().SetColorBrush(clFuchsia);
    w.SetValue(80);
  }));
  cases.push_back(Case<W>("meter-round-no-hub", round, [](W &w) {
    w.ArrowSettings().SetCP1Radius(0);
    w.ArrowSettings().SetCP2Radius(0);
    w.SetValue(10);
  }));
  cases.push_back(Case<W>("meter-round-wide-autosize", round, [](W &w) { w.resize(220, 100); }));
  cases.push_back(Case<W>("meter-120", [](QWidget *h) -> W * {
    auto *w = new TIns120Meter(h);
    w->move(6, 6);
    return w;
  }));
  auto db120 = [](QWidget *h) -> W * {
    auto *w = new TInsDB120Meter(h);
    w->move(6, 6);
    return w;
  };
  cases.push_back(Case<W>("meter-db120", db120));
  cases.push_back(Case<W>("meter-db120-no-options", db120, [](W &w) {
    w.SetOptions({});
    w.SetValue(40);
  }));
  cases.push_back(Case<W>("meter-db120-no-sectors", db120, [](W &w) {
    w.SetOptions(W::AllOptions().Exclude(W::opSector).Exclude(W::opBevelInner));
    w.SetValue(60);
  }));
  cases.push_back(Case<W>("meter-too-small", db120, [](W &w) {
    w.SetAutoSize(false);
    w.resize(40, 30);
    w.SetValue(20);
  }));
  cases.push_back(Case<W>("meter-font-set-directly", battery, [](W &w) { w.setFont(FormFont("Arial", 8)); }));
}

void AddLeds(std::vector<TCase> &cases) {
  using W = TInsLED;
  const auto plain = Plain<W>;
  auto on = [](W &w) { w.SetChecked(true); };
  cases.push_back(Case<W>("led-default", plain));
  cases.push_back(Case<W>("led-default-on", plain, on));
  cases.push_back(Case<W>("led-main", MainLed));
  cases.push_back(Case<W>("led-main-on", MainLed, on));
  cases.push_back(Case<W>("led-main-disabled", MainLed, [](W &w) { w.setEnabled(false); }));
  const TLEDShape shapes[] = {sArrowLeft, sArrowRight, sArrowUp, sArrowDown, sRectangle};
  for (TLEDShape s : shapes)
    cases.push_back(Case<W>("led-shape" + std::to_string(int(s)), plain, [s](W &w) {
      w.LED().SetShape(s);
      w.LED().SetWidth(16);
      w.LED().SetHeight(12);
      w.SetChecked(true);
    }));
  for (TLEDPos pos : {lpLeft, lpRight, lpTop, lpBottom})
    cases.push_back(Case<W>("led-caption" + std::to_string(int(pos)), plain, [pos](W &w) {
      w.resize(90, 60);
      w.SetLED_Position(pos);
      w.SetCaption("Luz|dos");
      w.SetFontColor(clNavy);
    }));
  for (bool phase : {true, false})
    cases.push_back(Case<W>(std::string("led-flash-") + (phase ? "on" : "off"), MainLed, [phase](W &w) {
      w.SetFlashing(true);
      w.SetChecked(true);
      TickToPhase(W::RateCode(w.Frequency()), phase);
    }));
  cases.push_back(Case<W>("led-colours", plain, [](W &w) {
    w.LED().SetColorOn(clRed);
    w.LED().SetColorOff(clMaroon);
  }));
}

void AddSwitches(std::vector<TCase> &cases) {
  using S = TInsSwitch;
  const auto plain = Plain<S>;
  cases.push_back(Case<S>("switch-plain", plain));
  cases.push_back(Case<S>("switch-plain-on", plain, [](S &w) { w.SetChecked(true); }));
  cases.push_back(Case<S>("switch-plain-horizontal-on", plain, [](S &w) {
    w.SetOrientation(boHorizontal);
    w.SetChecked(true);
  }));
  using W = TInsRockerSwitch;
  cases.push_back(Case<W>("rocker-main", MainRocker));
  cases.push_back(Case<W>("rocker-main-on", MainRocker, [](W &w) {
    w.SetChecked(true);
    w.SetText("DESCONECTAR");
  }));
  cases.push_back(Case<W>("rocker-pressed-upper-half", MainRocker, [](W &w) { LeftPress(w, QPoint(45, 20)); }));
  cases.push_back(Case<W>("rocker-horizontal", MainRocker, [](W &w) { w.SetOrientation(boHorizontal); }));
  cases.push_back(Case<W>("rocker-horizontal-on", MainRocker, [](W &w) {
    w.SetOrientation(boHorizontal);
    w.SetChecked(true);
  }));
  cases.push_back(Case<W>("rocker-swapped-on", MainRocker, [](W &w) {
    w.SetSwapGraphic(true);
    w.SetChecked(true);
  }));
  cases.push_back(Case<W>("rocker-no-lamp", MainRocker, [](W &w) { w.SetLEDHeight(0); }));
  cases.push_back(Case<W>("rocker-text-moved", MainRocker, [](W &w) {
    w.SetTextX(5);
    w.SetTextY(-6);
    w.SetText("UNO|DOS");
  }));
  cases.push_back(Case<W>("rocker-disabled", MainRocker, [](W &w) { w.setEnabled(false); }));
  cases.push_back(Case<W>("rocker-faces", MainRocker, [](W &w) {
    w.SetBtnColorFaceHi(clYellow);
    w.SetBtnColorFaceSh(clOlive);
    w.SetBtnBevelWidth(4);
    w.SetBtnBevel2Width(1);
    w.SetLEDColorOff(clMaroon);
  }));
}

void AddButtons(std::vector<TCase> &cases) {
  using W = TInsColBitBtn;
  auto main = [](int index) { return [index](QWidget *h) { return MainButton(h, index); }; };
  for (int i = 0; i < 8; ++i) cases.push_back(Case<W>("btn-main" + std::to_string(i + 1), main(i)));
  for (int i : {0, 6})
    cases.push_back(Case<W>("btn-main" + std::to_string(i + 1) + "-on", main(i), [](W &w) { w.SetChecked(true); }));
  for (int i : {1, 2, 3, 4, 5, 7})
    cases.push_back(
        Case<W>("btn-main" + std::to_string(i + 1) + "-held", main(i), [](W &w) { LeftPress(w, QPoint(10, 10)); }));
  for (bool phase : {true, false})
    cases.push_back(Case<W>(std::string("btn-main4-flash-") + (phase ? "on" : "off"), main(3), [phase](W &w) {
      w.SetFlashing(true);
      w.SetChecked(true);
      TickToPhase(W::RateCode(w.Frequency()), phase);
    }));
  cases.push_back(Case<W>("btn-main3-disabled", main(2), [](W &w) { w.setEnabled(false); }));
  for (int i = 0; i < 4; ++i)
    cases.push_back(Case<W>("btn-graph" + std::to_string(i), [i](QWidget *h) {
      auto *b = new W(h);
      ApplyGraphButtonLook(*b, i);
      b->move(6, 6);
      return b;
    }));
  auto plain = [](QWidget *h) {
    auto *b = new W(h);
    b->setGeometry(6, 6, 90, 40);
    b->SetTextOff("Uno|Dos");
    b->SetTextOn("Encendido");
    return b;
  };
  cases.push_back(Case<W>("btn-flat", plain, [](W &w) { w.SetFlat(true); }));
  cases.push_back(Case<W>("btn-flat-hovered", plain, [](W &w) {
    w.SetFlat(true);
    Hover(w);
  }));
  cases.push_back(Case<W>("btn-transparent", plain, [](W &w) { w.SetTransparent(true); }));
  cases.push_back(Case<W>("btn-not-beveled-no-gradient", plain, [](W &w) {
    w.SetBeveled(false);
    w.GradBtnFace().SetVisible(false);
    w.SetColorOff(clTeal);
  }));
  cases.push_back(Case<W>("btn-face-colours-on", plain, [](W &w) {
    w.GradBtnFace().SetVisible(false);
    w.SetColorOn(clYellow);
    w.SetMode(mIndicator);
    w.SetChecked(true);
  }));
  for (TPos pos : {pLeft, pRight, pTop, pBottom})
    cases.push_back(Case<W>("btn-glyph" + std::to_string(int(pos)), plain, [pos](W &w) {
      w.resize(120, 60);
      w.SetGlyph(GlyphStrip());
      w.SetNumGlyph(3);
      w.SetPosGlyph(pos);
    }));
  cases.push_back(Case<W>("btn-glyph-on", plain, [](W &w) {
    w.SetGlyph(GlyphStrip());
    w.SetNumGlyph(3);
    w.SetMode(mIndicator);
    w.SetChecked(true);
  }));
  cases.push_back(Case<W>("btn-glyph-disabled", plain, [](W &w) {
    w.SetGlyph(GlyphStrip());
    w.SetNumGlyph(3);
    w.setEnabled(false);
  }));
  cases.push_back(Case<W>("btn-placed", plain, [](W &w) {
    w.SetPosHorizontal(phRight);
    w.SetPosVertical(pvTop);
    w.SetOffsetX(-3);
    w.SetOffsetY(2);
  }));
}

void AddClocksGradientsGauges(std::vector<TCase> &cases) {
  // The time's digits differ in width: all inside the frames is blanked, on
  // a clock wide enough never to grow for a wider time.
  auto blankText = [](QWidget *w) {
    auto *c = static_cast<TInsClock *>(w);
    const int b = c->BevelOuter().BorderSize() + c->BevelInner().BorderSize();
    return c->geometry().adjusted(b, b, -b, -b);
  };
  for (TClockOption o : {coDate, coTime, coDateTime}) {
    TCase c = Case<TInsClock>("clock" + std::to_string(int(o)), [o](QWidget *h) {
      TInsClock *clock = Clock(h, o);
      if (o == coDateTime) clock->resize(190, 28);
      return clock;
    });
    if (o != coDate) c.Blank = blankText;
    cases.push_back(c);
  }
  TCase framed = Case<TInsClock>(
      "clock-framed", [](QWidget *h) { return Clock(h, coDate); },
      [](TInsClock &c) {
        c.BevelOuter().SetBevelLine(blBoth);
        c.BevelOuter().SetWidth(3);
        c.BevelInner().SetColor(clNavy);
        c.SetFontColor(clYellow);
      });
  cases.push_back(framed);
  TCase plainClock = Case<TInsClock>("clock-default", [](QWidget *h) {
    auto *c = new TInsClock(h);
    c->setGeometry(6, 6, 90, 24);
    return c;
  });
  plainClock.Blank = blankText;
  cases.push_back(plainClock);

  for (int style = gsHorizontal1; style <= gsTopRight; ++style)
    cases.push_back(Case<TInsGradient>("gradient" + std::to_string(style), [style](QWidget *h) {
      auto *g = new TInsGradient(h);
      g->setGeometry(6, 6, 90, 70);
      g->GradSettings().SetColorFrom(clSilver);
      g->GradSettings().SetColorTo(clTeal);
      g->GradSettings().SetStyle(TGradientStyle(style));
      return g;
    }));
  cases.push_back(Case<TInsGradient>("gradient-one-colour", [](QWidget *h) {
    auto *g = new TInsGradient(h);
    g->setGeometry(6, 6, 40, 30);
    g->GradSettings().SetColorTo(g->GradSettings().ColorFrom());
    return g;
  }));

  for (int kind = gkText; kind <= gkNeedle; ++kind)
    for (int progress : {0, 37, 100})
      cases.push_back(
          Case<TGauge>("gauge" + std::to_string(kind) + "-" + std::to_string(progress), [kind, progress](QWidget *h) {
            auto *g = new TGauge(h);
            g->move(6, 6);
            g->SetKind(TGaugeKind(kind));
            g->SetProgress(progress);
            return g;
          }));
  for (int progress : {0, 25, 50})
    cases.push_back(Case<TGauge>("gauge-main-" + std::to_string(progress), [progress](QWidget *h) {
      auto *g = new TGauge(h);
      g->setGeometry(6, 6, 31, 28);
      g->SetKind(gkPie);
      g->SetMaxValue(50);
      g->SetShowText(false);
      g->SetForeColor(ColorFromRGB(4227327));
      g->SetBackColor(clYellow);
      g->SetColor(clSkyBlue);
      g->SetProgress(progress);
      return g;
    }));
  cases.push_back(Case<TGauge>("gauge-borderless", [](QWidget *h) {
    auto *g = new TGauge(h);
    g->setGeometry(6, 6, 120, 30);
    g->SetBorderStyle(TGauge::bsNone);
    g->SetProgress(64);
    return g;
  }));
}

const std::vector<TCase> &Cases() {
  static const std::vector<TCase> cases = [] {
    std::vector<TCase> all;
    AddIndicators(all);
    AddThermometers(all);
    AddMeters(all);
    AddLeds(all);
    AddSwitches(all);
    AddButtons(all);
    AddClocksGradientsGauges(all);
    return all;
  }();
  return cases;
}

// ---------------------------------------------------------------- drawing and comparing

// The widget and a margin of the window background round it, with the state
// given before the window is shown or after it was drawn once.
QImage Render(const TCase &c, bool stateBeforeShown) {
  ApplyProgramFormats();
  TInsFlashTimer::Instance().Stop();
  // Far from every widget: the pointer would hover a flat button as it shows.
  QCursor::setPos(5000, 5000);
  QWidget host;
  host.resize(360, 280);
  auto *background = new TInsGradient(&host);
  background->setGeometry(host.rect());
  background->GradSettings().SetStyle(gsVertical2);
  QWidget *w = c.Make(&host);
  if (stateBeforeShown && c.Act) c.Act(w);
  ShowAndExpose(host);
  if (!stateBeforeShown && c.Act) {
    c.Act(w);
    FlushPaints();
  }
  const QRect shown = w->geometry().adjusted(-6, -6, 6, 6).intersected(host.rect());
  QImage img = host.grab(shown).toImage().convertToFormat(QImage::Format_ARGB32);
  if (c.Blank) {
    QPainter p(&img);
    p.fillRect(c.Blank(w).translated(-shown.topLeft()), Qt::magenta);
  }
  ApplyProgramFormats();
  return img;
}

qint64 DifferingPixels(const QImage &a, const QImage &b) {
  if (a.size() != b.size()) return std::max(qint64(a.width()) * a.height(), qint64(b.width()) * b.height());
  qint64 n = 0;
  for (int y = 0; y < a.height(); ++y)
    for (int x = 0; x < a.width(); ++x) n += a.pixel(x, y) != b.pixel(x, y);
  return n;
}

// Differing pixels of two pictures of a case; the pair is kept to look at
// when asked.
qint64 Compare(const std::string &name, const QImage &got, const char *gotLabel, const QImage &want,
               const char *wantLabel) {
  const qint64 n = DifferingPixels(got, want);
  if (const char *dir = std::getenv("TALVEX_GALLERY_DIFFS"); dir && n != 0 && QDir().mkpath(dir)) {
    got.save(QDir(dir).filePath(QString::fromStdString(name + "." + gotLabel + ".png")));
    want.save(QDir(dir).filePath(QString::fromStdString(name + "." + wantLabel + ".png")));
  }
  return n;
}

TEST(WidgetGallery, AStateDrawsTheSameReachedBeforeOrAfterTheFirstPaint) {
  for (const TCase &c : Cases()) {
    if (!c.Act) continue;
    SCOPED_TRACE(c.Name);
    const QImage after = Render(c, false);
    const QImage before = Render(c, true);
    EXPECT_EQ(after.size(), before.size());
    EXPECT_EQ(Compare(c.Name, after, "after", before, "before"), 0);
  }
}

TEST(WidgetGallery, PicturesKeptOrComparedWithAnEarlierSet) {
  const char *out = std::getenv("TALVEX_GALLERY_OUT");
  const char *ref = std::getenv("TALVEX_GALLERY_REF");
  if (!out && !ref) {
    GTEST_SKIP() << "set TALVEX_GALLERY_OUT or TALVEX_GALLERY_REF to a folder";
  }
  if (out) {
    ASSERT_TRUE(QDir().mkpath(out));
  }
  int pictures = 0, differingPictures = 0;
  qint64 differing = 0;
  for (const TCase &c : Cases()) {
    SCOPED_TRACE(c.Name);
    const QImage img = Render(c, false);
    ++pictures;
    const QString file = QString::fromStdString(c.Name) + ".png";
    if (out) {
      EXPECT_TRUE(img.save(QDir(out).filePath(file)));
    }
    if (ref) {
      const QImage want = QImage(QDir(ref).filePath(file)).convertToFormat(QImage::Format_ARGB32);
      EXPECT_FALSE(want.isNull()) << "no reference picture";
      const qint64 n = Compare(c.Name, img, "now", want, "reference");
      EXPECT_EQ(n, 0);
      differing += n;
      differingPictures += n != 0;
    }
  }
  std::cout << pictures << " pictures";
  if (out) std::cout << " kept in " << out;
  if (ref)
    std::cout << ", compared with " << ref << ": " << differingPictures << " differ, " << differing << " pixels in all";
  std::cout << std::endl;
}

}  // namespace
