#include "app/main_window.h"
#include "app/main_window_look.h"
#include "runtime/form_font.h"
#include "widgets/gauge.h"
#include "widgets/gradient.h"
#include "widgets/ins_clock.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_meter.h"

namespace {

// The battery meter: 50 to 100 %, red, teal and lime thirds, the needle
// blinking beyond 90 % and below the scale.
void BatteryMeterLook(TInsDB120Meter &m) {
  m.BeginLoading();
  m.SetAutoSize(false);
  m.SetOptions(TInsRMeter::AllOptions().Exclude(TInsRMeter::opName2));
  auto &sig = m.SignalSettings();
  sig.SetName1(QString::fromUtf8("Nivel de batería"));
  sig.SetValueFrom(50);
  sig.SetValueTo(100);
  sig.SetValueUnit("%");
  m.SetLimitUpper(90);
  m.SetLimitLower(10);
  auto &sec = m.SectorSettings();
  sec.SetSector1Color(clRed);
  sec.SetSector1From(0);
  sec.SetSector1To(333);
  sec.SetSector2Color(clTeal);
  sec.SetSector2From(334);
  sec.SetSector2To(666);
  sec.SetSector3Color(clLime);
  sec.SetSector3From(667);
  sec.SetSector3To(1000);
  m.SetFont(FormFont("Arial", 10, true));
  m.SetFontColor(clWhite);
  m.SetFontUnit(FormFont("System", 6, true));
  m.SetFontUnitColor(clBlack);
  auto &scale = m.ScaleSettings();
  scale.SetSteps(5);
  scale.SetSubSteps(2);
  scale.SetValueFormat("##0");
  scale.SetDrawLine(true);
  scale.SetFont(FormFont("Arial", 8, false));
  scale.SetColor(clBlack);
  scale.SetPointerColor(clLime);
  auto &inner = m.BevelInner();
  inner.SetStyle(bsLowered);
  inner.SetSpacing(-3);
  inner.SetBevelLine(blBoth);
  inner.SetWidth(0);
  inner.SurfaceGrad().SetVisible(true);
  inner.SurfaceGrad().SetStyle(gsHorizontal3);
  auto &outer = m.BevelOuter();
  outer.SetStyle(bsRaised);
  outer.SetSpacing(3);
  outer.SetBevelLine(blOuter);
  outer.SetWidth(0);
  outer.SetColor(clDesktop());
  // Value 50 with its raw value 0, so the needle starts at the scale start
  // rather than where the default raw value would put it.
  m.SetValue(50);
  m.SetDigit(0);
  m.Loaded();
}

void ClockLook(TInsClock &c, TClockOption option) {
  c.BeginUpdate();
  c.SetClockOption(option);
  c.SetFont(FormFont("System", 10));
  c.SetFontColor(clLime);
  c.BevelInner().SetStyle(bsLowered);
  c.BevelInner().SetSpacing(0);
  c.BevelInner().SetWidth(1);
  c.BevelInner().SetColor(clBlack);
  c.BevelOuter().SetStyle(bsRaised);
  c.BevelOuter().SetSpacing(2);
  c.BevelOuter().SetWidth(1);
  c.EndUpdate();
}

}  // namespace

void ApplyMainWindowDialsLook(TForm1 &form) {
  if (form.InsDB120Meter1) BatteryMeterLook(*form.InsDB120Meter1);
  if (form.InsClock1) ClockLook(*form.InsClock1, coTime);
  if (form.InsClock2) ClockLook(*form.InsClock2, coDate);

  if (TInsGradient *g = form.InsGradient1) {
    // Silver in the middle row, teal at the top and bottom edges.
    g->setGeometry(form.rect());
    g->GradSettings().SetColorFrom(clSilver);
    g->GradSettings().SetColorTo(clTeal);
    g->GradSettings().SetStyle(gsHorizontal2);
  }

  if (TGauge *gauge = form.Gauge1) {
    gauge->SetKind(gkPie);
    gauge->SetMaxValue(50);
    gauge->SetProgress(0);
    gauge->SetShowText(false);
    gauge->SetForeColor(ColorFromRGB(4227327));  // orange FF 80 40
    gauge->SetBackColor(clYellow);
    gauge->SetColor(clSkyBlue);
  }
}
