#include "app/thermometer_window.h"
#include "runtime/form_font.h"
#include "widgets/gradient.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_thermometer.h"

namespace {

// Bar colours of channels 1..8; channels 9..16 repeat them.
const QColor &BarColourOfChannel(int channel) {
  static const QColor colours[8] = {clBlue, clRed, clGreen, clLime, clYellow, clAqua, clMoneyGreen, clWhite};
  return colours[(channel - 1) % 8];
}

void ThermometerLook(TInsThermometer &t, int channel) {
  using T = TInsThermometer;
  t.BeginLoading();
  t.SetAutoSize(false);
  t.SetOptions({T::opValue, T::opName1, T::opUnit});
  auto &sig = t.SignalSettings();
  sig.SetName1(QString("Canal %1").arg(channel));
  sig.SetValueFrom(-10);
  sig.SetValueTo(45);
  sig.SetValueUnit(QString::fromUtf8("°C"));
  sig.SetValueFormat("##0.0");
  t.SetLimitUpper(90);
  t.SetLimitLower(10);
  t.SetFont(FormFont("Arial", 8, true));
  t.SetFontColor(clBlack);
  t.SetFontValue(FormFont("System", 8, false));
  t.SetFontValueColor(clBlue);

  auto &bar = t.BarSettings();
  bar.SetStyle(bsBar);
  bar.SetOptions({});
  bar.SetBkColor(clBtnFace());
  bar.Bevel().SetStyle(bsLowered);
  bar.Bevel().SetWidth(3);
  bar.Bevel().SetSpacing(1);
  bar.SetMinWidth(3);
  bar.SetMinHeight(100);
  bar.SetColor(BarColourOfChannel(channel));

  auto &scale = t.ScaleSettings();
  scale.SetSteps(3);
  scale.SetSubSteps(3);
  scale.SetValueFormat("##0");
  scale.SetDrawLine(false);
  scale.SetFont(FormFont("Arial", 8, false));
  scale.SetColor(clBlack);
  t.SetScaleSpacing(3);

  // Both frames are set up but not drawn (no opBevelInner / opBevelOuter).
  t.BevelInner().SetStyle(bsLowered);
  t.BevelInner().SetSpacing(5);
  t.BevelInner().SetWidth(2);
  t.BevelInner().SetBevelLine(blInner);
  t.BevelOuter().SetStyle(bsRaised);
  t.BevelOuter().SetSpacing(5);
  t.BevelOuter().SetWidth(2);
  t.BevelOuter().SetBevelLine(blOuter);
  t.BevelValue().SetStyle(bsLowered);
  t.BevelValue().SetWidth(2);
  t.BevelValue().SetSpacing(0);
  // The first reading shown, set while loading so that it is not taken for
  // an extreme the logger measured.
  t.SetValue(25);
  t.Loaded();
}

}  // namespace

void ApplyThermometerWindowLook(TForm4 &form) {
  if (form.InsGradient1) {
    // Default greys, lightest down the middle column.
    form.InsGradient1->setGeometry(form.rect());
    form.InsGradient1->GradSettings().SetStyle(gsVertical2);
  }
  for (int channel = 1; channel <= 16; ++channel)
    if (TInsThermometer *t = form.ChannelThermometer(channel)) ThermometerLook(*t, channel);
}
