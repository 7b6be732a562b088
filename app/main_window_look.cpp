#include "app/main_window_look.h"

#include "app/main_window.h"
#include "runtime/form_font.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_led.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_value_ind.h"

namespace {

// The sixteen channel indicators: value box only, names under it, no bevels.
void IndicatorLook(TInsValueInd &ind, int component) {
  ind.BeginLoading();
  ind.SetAutoSize(true);
  ind.SetOptions({opName1, opUnit});
  auto &sig = ind.SignalSettings();
  sig.SetValueFormat("##0.0");
  sig.SetValueUnit(QString::fromUtf8("ºC"));
  sig.SetName2("SignalName2");
  sig.SetValueFrom(0);
  ind.SetLimitUpper(90);
  ind.SetLimitLower(10);
  ind.SetFont(FormFont("Arial", 8, true));
  ind.SetFontColor(clWhite);
  ind.SetFontValue(FormFont("System", 10, component >= 2 && component <= 4));
  ind.SetFontValueColor(clLime);
  ind.BevelValue().SetStyle(bsLowered);
  ind.BevelValue().SetWidth(2);
  ind.BevelValue().SetSpacing(0);
  ind.BevelValue().SetColor(clBlack);

  if (component <= 2) {
    sig.SetDigitalTo(5000);
    sig.SetValueTo(100);
    ind.SetHintOptions({hoAutoHint});
  } else if (component <= 7) {
    sig.SetDigitalTo(1000);
    sig.SetValueTo(100);
    ind.SetHintOptions({});
    if (component == 3) ind.SectorSettings().SetSector3Color(clWhite);
  } else {
    sig.SetDigitalTo(1000);
    sig.SetValueTo(2000);
    ind.SetHintOptions({});
  }
  ind.SetValue(50);
  ind.SetDigit(component <= 2 ? 2500 : component <= 7 ? 500 : 25);
  ind.Loaded();
}

struct TButtonLook {
  TMode mode;
  QColor textColOff, textColOn;
  bool text3D;
  QFont font;
  TPosH position;
  TFlashFreq frequency;
  bool flashTextOnly;
};

void ButtonLook(TInsColBitBtn &b, const TButtonLook &look) {
  b.GradBtnFace().SetColorFrom(ColorFromRGB(15790320));
  b.GradBtnFace().SetColorTo(ColorFromRGB(6908265));
  b.GradBtnFace().SetStyle(gsHorizontal1);
  b.GradBtnFace().SetVisible(true);
  b.ButtonBevel().SetWidth(4);
  b.SetCheckedOptions({coGlyph, coText, coTextCol, coBtnCol, coBevel});
  b.SetColorOn(clBtnFace());
  b.SetColorOff(clBtnFace());
  b.SetColorDisabled(ColorFromRGB(10526880));
  b.SetTextColDisabled(clBtnShadow());
  b.SetOffsetDown(1);
  b.SetSpacing(4);
  b.SetPosVertical(pvCenter);
  b.SetPosGlyph(pLeft);
  b.SetBeveled(true);
  b.SetFlat(false);
  b.SetTransparent(false);
  b.SetFlashing(false);
  b.SetGroupIndex(0);
  b.SetMode(look.mode);
  b.SetTextColOff(look.textColOff);
  b.SetTextColOn(look.textColOn);
  b.SetText3D(look.text3D);
  b.setFont(look.font);
  b.SetPosHorizontal(look.position);
  b.SetFrequency(look.frequency);
  if (look.flashTextOnly) b.SetFlashOptions({foText});
}

}  // namespace

void ApplyMainWindowLook(TForm1 &form) {
  for (int component = 1; component <= 16; ++component)
    if (TInsValueInd *ind = form.InsValueInd[component - 1]) IndicatorLook(*ind, component);

  if (TInsLED *led = form.InsLED1) {
    led->LED().SetShape(sRound);
    led->LED().SetHeight(20);
    led->LED().SetColorOn(clLime);
    led->LED().SetColorOff(clBtnFace());
    led->SetLED_Position(lpLeft);
    led->SetSpacing(5);
    led->SetCaption(QString());
    led->SetMode(mIndicator);
    led->SetFlashing(false);
  }

  if (TInsRockerSwitch *sw = form.InsRockerSwitch1) {
    sw->SetOrientation(boVertical);
    sw->SetMode(mSwitch);
    sw->setFont(FormFont("Arial", 8, true));
    sw->SetFontColor(clTeal);
    sw->SetLEDHeight(8);
    sw->SetLEDColorOn(clLime);
    sw->SetLEDColorOff(clGreen);
    sw->SetBtnBevelWidth(2);
    sw->SetBtnBevel2Width(3);
    sw->SetBtnColorFaceHi(ColorFromRGB(14540253));
    sw->SetBtnColorFaceSh(clBtnFace());
    sw->BevelOuter().SetStyle(bsLowered);
    sw->BevelOuter().SetWidth(1);
    sw->BevelOuter().SetSpacing(1);
    sw->BevelOuter().SetBevelLine(blInner);
    sw->BevelOuter().SetColor(clBtnShadow());
  }

  QFont italic12 = FormFont("Arial", 12, true, true);
  const TButtonLook looks[8] = {
      {mIndicator, clWhite, clWhite, false, FormFont("Arial", 8, true), phLeft, ff05Hz, false},
      {mButton, clLime, clLime, true, FormFont("Arial", 9, true), phLeft, ff1Hz, false},
      {mButton, clAqua, clLime, true, FormFont("Arial", 9, true), phLeft, ff1Hz, false},
      {mButton, clYellow, clLime, true, FormFont("Arial", 9, true), phLeft, ff1Hz, true},
      {mButton, clRed, clLime, true, italic12, phLeft, ff1Hz, false},
      {mButton, clSkyBlue, clLime, true, italic12, phLeft, ff1Hz, false},
      {mIndicator, clBlack, clLime, true, FormFont("Arial", 9, true), phLeft, ff1Hz, false},
      {mButton, clBlack, clLime, false, FormFont("Arial", 8, true), phCenter, ff1Hz, false},
  };
  TInsColBitBtn *buttons[8] = {form.InsColBitBtn1, form.InsColBitBtn2, form.InsColBitBtn3, form.InsColBitBtn4,
                               form.InsColBitBtn5, form.InsColBitBtn6, form.InsColBitBtn7, form.InsColBitBtn8};
  for (int i = 0; i < 8; ++i)
    if (buttons[i]) ButtonLook(*buttons[i], looks[i]);
  // The history's button looks like its neighbour, "Indicadores gráficos".
  if (form.InsColBitBtn9) ButtonLook(*form.InsColBitBtn9, looks[7]);
  // ALARMAS too: it opens a window as the history's button does.
  if (form.InsColBitBtn10) ButtonLook(*form.InsColBitBtn10, looks[7]);
  // The date-and-time button keeps its one caption while held down, as every
  // other button does: an empty pressed caption made it go blank under the
  // pointer, as if the click had broken it.
}
