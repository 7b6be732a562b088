#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_led.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_value_ind.h"
#include "widgets/qstring_print.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QEnterEvent>
#include <QImage>
#include <QPainter>
#include <QTest>

namespace {

QImage Shot(QWidget &w) { return w.grab().toImage(); }

// Pixels in a rectangle whose colour is close to c.
int CountNear(const QImage &img, const QRect &r, const QColor &c, int tolerance = 40) {
  int n = 0;
  for (int y = r.top(); y <= r.bottom(); ++y)
    for (int x = r.left(); x <= r.right(); ++x) {
      const QColor p = img.pixelColor(x, y);
      if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) <= tolerance)
        ++n;
    }
  return n;
}

// Leftmost column holding a pixel close to c.
int LeftmostNear(const QImage &img, const QColor &c, int tolerance = 60) {
  for (int x = 0; x < img.width(); ++x)
    for (int y = 0; y < img.height(); ++y) {
      const QColor p = img.pixelColor(x, y);
      if (std::abs(p.red() - c.red()) + std::abs(p.green() - c.green()) + std::abs(p.blue() - c.blue()) <= tolerance)
        return x;
    }
  return -1;
}

TInsValueInd *MainWindowIndicator(QWidget *parent) {
  auto *ind = new TInsValueInd(parent);
  ind->BeginLoading();
  ind->SetOptions({opName1, opUnit});
  ind->SignalSettings().SetName1("CANAL 1");
  ind->SignalSettings().SetValueUnit("ºC");
  QFont f("Arial");
  f.setPointSize(8);
  f.setBold(true);
  ind->SetFont(f);
  ind->SetFontColor(clWhite);
  ind->SetFontValue(FormFont("System", 10));
  ind->Loaded();
  return ind;
}

class Widgets : public ::testing::Test {
protected:
  void SetUp() override { ApplyProgramFormats(); }
};

TEST_F(Widgets, IndicatorSizesItselfFromTheFormatSample) {
  QWidget host;
  TInsValueInd *ind = MainWindowIndicator(&host);
  const QSize before = ind->size();
  EXPECT_EQ(before, ind->MinimumContentSize());
  // The box is as wide as "##0.0" in the value font, whatever the value.
  ind->SetValue(-12345.6f);
  EXPECT_EQ(ind->size(), before);
  ind->SignalSettings().SetName1("UN NOMBRE MUY LARGO");
  EXPECT_GT(ind->width(), before.width());
  ind->SetAutoSize(false);
  ind->resize(300, 100);  // without auto-size it only grows
  ind->SignalSettings().SetName1("X");
  EXPECT_EQ(ind->size(), QSize(300, 100));
}

TEST_F(Widgets, IndicatorShowsTheStoredValueAndCutsLongTextOnTheLeft) {
  QWidget host;
  host.resize(200, 100);
  host.setStyleSheet("background: #404040");
  TInsValueInd *ind = MainWindowIndicator(&host);
  host.show();
  QImage img = Shot(*ind);
  const QRect inside = ind->ValueInsideRect();
  EXPECT_EQ(ind->ValueText(), "50,0");
  // Black box with lime digits inside, the unit in white to its right.
  EXPECT_GT(CountNear(img, inside, clLime), 10);
  EXPECT_GT(CountNear(img, inside, clBlack), inside.width() * inside.height() / 2);
  const QRect unitArea(ind->ValueBoxRect().right() + 1, inside.top(), ind->width() - ind->ValueBoxRect().right() - 1,
                       inside.height());
  EXPECT_GT(CountNear(img, unitArea, clWhite, 250), 10);

  // Right-aligned: the last digit touches the right end of the box.
  ind->SetValue(1.5f);
  img = Shot(*ind);
  const QRect rightEnd(inside.right() - 8, inside.top(), 8, inside.height());
  EXPECT_GT(CountNear(img, rightEnd, clLime), 3);
  const QRect leftEnd(inside.left(), inside.top(), 8, inside.height());
  EXPECT_EQ(CountNear(img, leftEnd, clLime), 0);

  // Too long: the text still ends at the right and fills the left end.
  ind->SetValue(-123456.7f);
  img = Shot(*ind);
  EXPECT_GT(CountNear(img, leftEnd, clLime), 3);
  EXPECT_GT(CountNear(img, rightEnd, clLime), 3);
  EXPECT_EQ(ind->ValueText(), "-123456,7");
}

TEST_F(Widgets, IndicatorValueChangeRepaintsOnlyTheValueBox) {
  QWidget host;
  host.resize(200, 100);
  TInsValueInd *ind = MainWindowIndicator(&host);
  host.show();
  QApplication::processEvents();
  QApplication::processEvents();
  ind->ResetPaintStats();
  ind->SetValue(23.45f);
  QApplication::processEvents();
  // One paint, and it was the value box's.
  EXPECT_EQ(ind->ValuePaintCount(), 1);
  EXPECT_EQ(ind->BodyPaintCount(), 0);
  EXPECT_EQ(ind->BodyPaintedArea(), 0);
  ind->SetValue(23.45f);  // equal: no paint at all
  QApplication::processEvents();
  EXPECT_EQ(ind->ValuePaintCount(), 1);
}

TEST_F(Widgets, RoundLedTakesTheLargerSideAndLightsUp) {
  QWidget host;
  TInsLED led(&host);
  led.setGeometry(0, 0, 28, 34);
  led.LED().SetHeight(20);
  led.LED().SetWidth(50);  // outside 4 .. 40: ignored
  EXPECT_EQ(led.LED().LampSize(), QSize(20, 20));
  EXPECT_EQ(led.LampRect(), QRect(0, 7, 20, 20));
  host.show();
  QImage img = Shot(led);
  const QRect core(6, 15, 8, 8);  // lower-right of the centre, away from the highlight arc
  EXPECT_EQ(CountNear(img, core, clLime), 0);
  led.SetChecked(true);
  img = Shot(led);
  EXPECT_EQ(CountNear(img, core, clLime, 10), 64);
  // The highlight arc sits on the upper-left quarter.
  EXPECT_GT(CountNear(img, QRect(4, 11, 6, 6), clBtnHighlight(), 30), 0);
  led.LED().SetShape(sRectangle);
  EXPECT_EQ(led.LED().LampSize(), QSize(13, 20));
}

TEST_F(Widgets, RockerPressZonesFollowTheState) {
  QWidget host;
  TInsRockerSwitch sw(&host);
  sw.setGeometry(0, 0, 91, 85);
  int clicks = 0;
  sw.OnClick = [&](QObject *) { ++clicks; };
  auto click = [&](int y) {
    QTest::mousePress(&sw, Qt::LeftButton, {}, QPoint(45, y));
    QTest::mouseRelease(&sw, Qt::LeftButton, {}, QPoint(45, y));
  };
  click(60);  // off, lower half: nothing
  EXPECT_FALSE(sw.Checked());
  // 85 is odd: row 42 is the dead middle, 42 rows above it and 42 below.
  click(42);
  EXPECT_FALSE(sw.Checked());
  click(41);
  EXPECT_TRUE(sw.Checked());
  click(42);
  EXPECT_TRUE(sw.Checked());
  click(20);  // on, upper half: nothing
  EXPECT_TRUE(sw.Checked());
  click(43);
  EXPECT_FALSE(sw.Checked());
  EXPECT_EQ(clicks, 6);

  // Exactly on the middle line of an even height nothing happens, but the
  // click still counts.
  sw.resize(91, 80);
  click(40);
  EXPECT_FALSE(sw.Checked());
  sw.SetChecked(true);
  click(40);
  EXPECT_TRUE(sw.Checked());
  EXPECT_EQ(clicks, 8);

  // SwapGraphic turns the halves round.
  sw.SetChecked(false);
  sw.SetSwapGraphic(true);
  click(20);
  EXPECT_FALSE(sw.Checked());
  click(60);
  EXPECT_TRUE(sw.Checked());

  // Horizontal: the left half switches on.
  sw.SetSwapGraphic(false);
  sw.SetChecked(false);
  sw.SetOrientation(boHorizontal);
  EXPECT_GT(sw.width(), sw.height());
  QTest::mousePress(&sw, Qt::LeftButton, {}, QPoint(10, 20));
  EXPECT_TRUE(sw.Checked());
  QTest::mouseRelease(&sw, Qt::LeftButton, {}, QPoint(10, 20));
  // A right press never toggles.
  QTest::mousePress(&sw, Qt::RightButton, {}, QPoint(sw.width() - 5, 20));
  EXPECT_TRUE(sw.Checked());
  QTest::mouseRelease(&sw, Qt::RightButton, {}, QPoint(sw.width() - 5, 20));
}

TEST_F(Widgets, RockerLampStripShowsTheState) {
  QWidget host;
  TInsRockerSwitch sw(&host);
  sw.setGeometry(0, 0, 91, 85);
  sw.SetText("CONECTAR");
  host.show();
  const QRect face = sw.FaceRect();
  const QRect strip = sw.LampStripRect(QRect(QPoint(0, 0), face.size())).translated(face.topLeft());
  EXPECT_EQ(strip.height(), 8);
  const QRect core = strip.adjusted(2, 2, -2, -2);
  QImage img = Shot(sw);
  EXPECT_EQ(CountNear(img, core, clGreen, 10), core.width() * core.height());
  sw.SetChecked(true);
  const int paints = sw.FacePaintCount();
  img = Shot(sw);
  EXPECT_GT(sw.FacePaintCount(), paints);
  EXPECT_EQ(CountNear(img, core, clLime, 10), core.width() * core.height());
  sw.SetLEDHeight(-1);  // refused
  EXPECT_EQ(sw.LEDHeight(), 8);
}

class ColBitBtn : public Widgets {
protected:
  void SetUp() override {
    Widgets::SetUp();
    host.resize(200, 60);
    btn = new TInsColBitBtn(&host);
    btn->setGeometry(0, 0, 166, 33);
    btn->SetTextOff("ABRIR");
    btn->SetTextOn("ABRIR");
    btn->SetTextColOff(clYellow);
    btn->SetTextColOn(clLime);
    btn->SetText3D(false);
    btn->SetPosHorizontal(phCenter);
    host.show();
  }
  QWidget host;
  TInsColBitBtn *btn = nullptr;
};

TEST_F(ColBitBtn, PressedButtonShowsTextOnSunkAndShiftedByOnePixel) {
  const TInsColBitBtn::TLook up = btn->CurrentLook();
  EXPECT_FALSE(up.sunken);
  const QImage released = Shot(*btn);
  EXPECT_GT(CountNear(released, btn->rect(), clYellow, 30), 10);
  EXPECT_EQ(CountNear(released, btn->rect(), clLime, 30), 0);

  QTest::mousePress(btn, Qt::LeftButton, {}, QPoint(20, 10));
  const TInsColBitBtn::TLook down = btn->CurrentLook();
  EXPECT_TRUE(down.sunken);
  EXPECT_EQ(down.textOrigin, up.textOrigin + QPoint(1, 1));
  const QImage pressed = Shot(*btn);
  EXPECT_EQ(CountNear(pressed, btn->rect(), clYellow, 30), 0);
  EXPECT_EQ(LeftmostNear(pressed, clLime), LeftmostNear(released, clYellow) + 1);
  // Sunken frame: the outer top line is dark, not light.
  EXPECT_LT(pressed.pixelColor(80, 0).red(), 128);
  EXPECT_GT(released.pixelColor(80, 0).red(), 128);

  QTest::mouseRelease(btn, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_FALSE(btn->Checked());
  EXPECT_EQ(btn->CurrentLook().textOrigin, up.textOrigin);

  // The right button changes nothing.
  QTest::mousePress(btn, Qt::RightButton, {}, QPoint(20, 10));
  EXPECT_FALSE(btn->CurrentLook().sunken);
  QTest::mouseRelease(btn, Qt::RightButton, {}, QPoint(20, 10));
}

TEST_F(ColBitBtn, CaptionChoiceWithEmptyTexts) {
  btn->SetTextOn("");
  btn->SetChecked(true);
  EXPECT_EQ(btn->CurrentLook().caption, "");  // held with no TextOn: no caption
  btn->SetChecked(false);
  btn->SetTextOn("ON");
  btn->SetTextOff("");
  EXPECT_EQ(btn->CurrentLook().caption, "ON");  // released with no TextOff: TextOn
}

TEST_F(ColBitBtn, CheckedAndFlashOptionsDecideEachAspect) {
  btn->SetMode(mIndicator);
  btn->SetTextOn("SI");
  btn->SetTextOff("NO");
  btn->SetChecked(true);
  TInsColBitBtn::TLook l = btn->CurrentLook();
  EXPECT_EQ(l.caption, "SI");
  EXPECT_EQ(l.textColor, clLime);
  EXPECT_TRUE(l.sunken);
  btn->SetCheckedOptions({coText});
  l = btn->CurrentLook();
  EXPECT_EQ(l.caption, "SI");
  EXPECT_EQ(l.textColor, clYellow);
  EXPECT_FALSE(l.sunken);
  // Blinking with only the text flashing: the caption follows the phase
  // (off until the first phase change).
  btn->SetFlashOptions({foText});
  btn->SetFlashing(true);
  EXPECT_EQ(btn->CurrentLook().caption, "NO");
  btn->setEnabled(false);
  EXPECT_EQ(btn->CurrentLook().textColor, btn->TextColDisabled());
  EXPECT_EQ(btn->CurrentLook().faceColor, btn->ColorDisabled());
  btn->SetFlashing(false);
}

TEST_F(ColBitBtn, GradientFaceStaysVisibleUnderTheBevel) {
  EXPECT_TRUE(btn->Opaque());
  EXPECT_TRUE(btn->testAttribute(Qt::WA_OpaquePaintEvent));
  btn->SetFlat(true);  // the gradient alone leaves the frame band to the parent
  EXPECT_FALSE(btn->testAttribute(Qt::WA_OpaquePaintEvent));
  btn->SetFlat(false);
  btn->SetTransparent(true);
  EXPECT_FALSE(btn->Opaque());
  btn->SetTransparent(false);
  const QImage img = Shot(*btn);
  // Inside the 4-pixel frame the gradient runs from F0 at the top towards 69.
  const QColor top = img.pixelColor(10, 4);
  const QColor bottom = img.pixelColor(10, 28);
  EXPECT_GT(top.red(), 0xE0);
  EXPECT_LT(bottom.red(), 0x90);
}

TEST_F(ColBitBtn, GraphButtonLook) {
  ApplyGraphButtonLook(*btn, 3);
  EXPECT_EQ(btn->size(), QSize(60, 23));
  EXPECT_EQ(btn->TextOff(), "Imprimir");
  EXPECT_EQ(btn->Mode(), mButton);
  EXPECT_FALSE(btn->Text3D());
  EXPECT_EQ(btn->TextColOn(), clLime);
}

}  // namespace

#include "widgets/flash_timer.h"

namespace {

// Drives the blink service to the next phase change of a rate code.
void TickToPhase(int rateCode, bool on) {
  TInsFlashTimer &svc = TInsFlashTimer::Instance();
  svc.Stop();
  const uint32_t period = 1u << rateCode;
  svc.SetCounter(on ? period - 1 : 2 * period - 1);  // the next tick sets or clears the bit
  svc.TickAt(0, 0);
}

TEST_F(Widgets, BlinkingLedFollowsThePhase) {
  QWidget host;
  TInsLED led(&host);
  led.setGeometry(0, 0, 28, 34);
  led.LED().SetHeight(20);
  host.show();
  led.SetFrequency(ff4Hz);
  led.SetFlashing(true);
  led.SetChecked(true);
  const QRect core(6, 15, 8, 8);
  TickToPhase(3, true);
  EXPECT_EQ(CountNear(Shot(led), core, clLime, 10), 64);
  TickToPhase(3, false);
  EXPECT_EQ(CountNear(Shot(led), core, clLime, 10), 0);
  EXPECT_EQ(CountNear(Shot(led), core, led.LED().ColorOff(), 10), 64);
  led.SetChecked(false);
  EXPECT_FALSE(TInsFlashTimer::Instance().IsRegistered(&led));
}

TEST_F(Widgets, IndicatorValueBoxGeometry) {
  QWidget host;
  TInsValueInd *ind = MainWindowIndicator(&host);
  const QFontMetrics fv(ind->FontValue());
  const int f = fv.height() / 3;
  const int sampleW = fv.horizontalAdvance("##0.0");
  // Frame 2 on each side, f of black margin each side, the sample between.
  EXPECT_EQ(ind->ValueBoxRect().width(), sampleW + 4 + 2 * f);
  EXPECT_EQ(ind->ValueBoxRect().height(), fv.height() + 4);
  EXPECT_EQ(ind->ValueInsideRect().width(), sampleW);
  EXPECT_EQ(ind->ValueBoxRect().top(), 0);
  // Name1 under the box, nothing of Name2.
  ind->SignalSettings().SetName2("OCULTO");
  const QSize withoutName2 = ind->size();
  ind->SetOptions({opName1, opName2, opUnit});
  EXPECT_EQ(ind->height(), withoutName2.height() + QFontMetrics(ind->font()).height());
  // Bevels add twice their border size.
  ind->SetOptions({opName1, opName2, opUnit, opBevelOuter});
  EXPECT_EQ(ind->BevelOuter().BorderSize(), 8);  // spacing 5, width 2, one outline
  EXPECT_EQ(ind->height(), withoutName2.height() + QFontMetrics(ind->font()).height() + 2 * 8);
}

TEST_F(Widgets, ButtonBevelColoursRampPerFrame) {
  TInsBtnBevel b;
  b.SetWidth(4);
  b.SetHighlightColFrom(QColor(0xD2, 0xD2, 0xD2));
  b.SetHighlightColTo(clWhite);
  b.SetShadowColFrom(clBlack);
  b.SetShadowColTo(QColor(0xA0, 0xA0, 0xA0));
  QImage img(20, 20, QImage::Format_RGB32);
  img.fill(clRed);
  {
    QPainter p(&img);
    b.Paint(p, img.rect(), false, true, clBlue);
  }
  // Frame i of 4: D2 + round((FF - D2) / 4 * i); shadow 0 + round(A0 / 4 * i).
  EXPECT_EQ(img.pixelColor(10, 0), QColor(0xDD, 0xDD, 0xDD));
  EXPECT_EQ(img.pixelColor(10, 3), clWhite);
  EXPECT_EQ(img.pixelColor(10, 19), QColor(0x28, 0x28, 0x28));
  EXPECT_EQ(img.pixelColor(16, 10), QColor(0xA0, 0xA0, 0xA0));
  EXPECT_EQ(img.pixelColor(10, 10), clBlue);  // filled when asked
  // Sunken: shadow To -> From on the upper-left.
  img.fill(clRed);
  {
    QPainter p(&img);
    b.Paint(p, img.rect(), true, false, clBlue);
  }
  EXPECT_EQ(img.pixelColor(10, 0), QColor(0x78, 0x78, 0x78));
  EXPECT_EQ(img.pixelColor(10, 3), clBlack);
  EXPECT_EQ(img.pixelColor(10, 19), QColor(0xF4, 0xF4, 0xF4));
  EXPECT_EQ(img.pixelColor(10, 10), clRed);  // not filled
}

TEST_F(ColBitBtn, FlashingCaptionFollowsThePhase) {
  btn->SetMode(mIndicator);
  btn->SetTextOn("SI");
  btn->SetTextOff("NO");
  btn->SetFlashOptions({foText});
  btn->SetFrequency(ff8Hz);
  btn->SetFlashing(true);
  btn->SetChecked(true);
  TickToPhase(2, true);
  EXPECT_EQ(btn->CurrentLook().caption, "SI");
  TickToPhase(2, false);
  EXPECT_EQ(btn->CurrentLook().caption, "NO");
  // Colour is not flashing: it follows Checked.
  EXPECT_EQ(btn->CurrentLook().textColor, clLime);
  btn->SetChecked(false);
  EXPECT_EQ(btn->CurrentLook().caption, "NO");
  EXPECT_EQ(btn->CurrentLook().textColor, clYellow);
}

}  // namespace

namespace {

TEST_F(ColBitBtn, GlyphSlotsForNormalOnAndDisabled) {
  // Three 8 x 8 images side by side: red normal, green disabled, blue "on";
  // the white lower-left pixel of each is the transparent colour.
  QImage strip(24, 8, QImage::Format_RGB32);
  const QColor images[3] = {clRed, clGreen, clBlue};
  for (int i = 0; i < 3; ++i)
    for (int y = 0; y < 8; ++y)
      for (int x = 0; x < 8; ++x) strip.setPixelColor(i * 8 + x, y, images[i]);
  strip.setPixelColor(0, 7, clWhite);
  btn->SetGlyph(QPixmap::fromImage(strip));
  btn->SetNumGlyph(3);
  btn->SetMode(mIndicator);
  auto glyphHas = [&](const QColor &c) { return CountNear(Shot(*btn), btn->rect(), c, 10) >= 40; };
  EXPECT_TRUE(glyphHas(clRed));
  btn->SetChecked(true);
  EXPECT_TRUE(glyphHas(clBlue));
  EXPECT_FALSE(glyphHas(clRed));
  btn->setEnabled(false);
  EXPECT_TRUE(glyphHas(clGreen));
  // The glyph sits left of the caption, Spacing pixels away.
  btn->setEnabled(true);
  const TInsColBitBtn::TLook look = btn->CurrentLook();
  const QImage img = Shot(*btn);
  int glyphRight = -1;
  for (int x = 0; x < img.width(); ++x)
    if (img.pixelColor(x, look.textOrigin.y() + 4) == clBlue) glyphRight = x;
  EXPECT_EQ(glyphRight, look.textOrigin.x() - btn->Spacing() - 1);
  btn->SetNumGlyph(4);  // refused
  EXPECT_EQ(btn->NumGlyph(), 3);
}

}  // namespace

namespace {

TEST_F(ColBitBtn, FlatButtonShowsItsFrameOnlyWhileHovered) {
  btn->SetFlat(true);
  btn->GradBtnFace().SetVisible(false);
  btn->SetColorOff(clBlue);
  auto enter = [&] {
    QEnterEvent ev(QPointF(5, 5), QPointF(5, 5), QPointF(5, 5));
    QCoreApplication::sendEvent(btn, &ev);
  };
  auto leave = [&] {
    QEvent ev(QEvent::Leave);
    QCoreApplication::sendEvent(btn, &ev);
  };
  // Flat and not hovered: face filled, no frame.
  EXPECT_EQ(Shot(*btn).pixelColor(80, 0), clBlue);
  EXPECT_TRUE(btn->Opaque());  // the face fill covers everything
  enter();
  EXPECT_TRUE(btn->Hovered());
  EXPECT_NE(Shot(*btn).pixelColor(80, 0), clBlue);   // the raised frame's top line
  EXPECT_EQ(Shot(*btn).pixelColor(10, 15), clBlue);  // face filled inside the frame
  leave();
  EXPECT_FALSE(btn->Hovered());
  EXPECT_EQ(Shot(*btn).pixelColor(80, 0), clBlue);
  // Not flat: entering changes nothing.
  btn->SetFlat(false);
  enter();
  EXPECT_FALSE(btn->Hovered());
}

}  // namespace
