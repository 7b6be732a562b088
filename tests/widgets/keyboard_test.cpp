// The widgets from the keyboard: Tab reaches the controls that take clicks,
// Space and Return click them, the focus shows, and the memory box keeps
// its start in view.

#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_led.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/start_edit.h"

#include "dial_test_util.h"

#include <QApplication>
#include <QLineEdit>
#include <QtTest>

#include <gtest/gtest.h>

namespace {

struct TKeyCase {
  const char *name;
  bool rocker;  // else a colour button
  Qt::Key key;
};

class KeyboardClick : public ::testing::TestWithParam<TKeyCase> {};

TEST_P(KeyboardClick, OneClickPerPressHeldOrNot) {
  const TKeyCase &c = GetParam();
  QWidget host;
  auto *before = new QLineEdit(&host);  // where the focus starts
  TInsBinGControl *control = nullptr;
  if (c.rocker) {
    auto *s = new TInsRockerSwitch(&host);
    s->SetMode(mSwitch);
    s->SetOrientation(boVertical);
    s->resize(91, 85);
    control = s;
  } else {
    auto *b = new TInsColBitBtn(&host);
    b->SetMode(mButton);
    control = b;
  }
  control->move(0, 30);
  int clicks = 0, ups = 0;
  bool checkedAtClick = false;
  control->OnClick = [&](QObject *) {
    ++clicks;
    checkedAtClick = control->Checked();
  };
  control->OnMouseUp = [&](QObject *, Qt::MouseButton, int, int) { ++ups; };
  ShowAndExpose(host);
  QApplication::setActiveWindow(&host);
  before->setFocus();
  QTest::keyClick(&host, Qt::Key_Tab);
  ASSERT_TRUE(control->hasFocus());

  for (int press = 1; press <= 2; ++press) {
    QTest::keyPress(control, c.key);
    // Held down: repeats that must not click again.
    for (int i = 0; i < 3; ++i) {
      QKeyEvent repeat(QEvent::KeyPress, c.key, Qt::NoModifier, QString(), true);
      QApplication::sendEvent(control, &repeat);
    }
    QTest::keyRelease(control, c.key);
    EXPECT_EQ(clicks, press);
    EXPECT_EQ(ups, press);
    // A switch changes at every click, a button is held only while down.
    if (c.rocker) {
      EXPECT_EQ(control->Checked(), press % 2 == 1);
    } else {
      EXPECT_FALSE(control->Checked());
    }
    if (!c.rocker) {
      EXPECT_TRUE(checkedAtClick);
    }
  }
}

INSTANTIATE_TEST_SUITE_P(Controls, KeyboardClick,
                         ::testing::Values(TKeyCase{"ButtonSpace", false, Qt::Key_Space},
                                           TKeyCase{"ButtonReturn", false, Qt::Key_Return},
                                           TKeyCase{"SwitchSpace", true, Qt::Key_Space},
                                           TKeyCase{"SwitchEnter", true, Qt::Key_Enter}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(KeyboardFocus, IndicatorsAreLeftOutAndTheMarkShowsOnlyWithTheFocus) {
  QWidget host;
  auto *button = new TInsColBitBtn(&host);
  button->SetMode(mButton);
  button->SetTextOff("DESCARGAR");
  button->resize(166, 33);
  auto *indicator = new TInsColBitBtn(&host);
  indicator->SetMode(mIndicator);
  auto *led = new TInsLED(&host);
  led->SetMode(mIndicator);
  EXPECT_TRUE(button->focusPolicy() & Qt::TabFocus);
  EXPECT_EQ(indicator->focusPolicy(), Qt::NoFocus);
  EXPECT_EQ(led->focusPolicy(), Qt::NoFocus);

  ShowAndExpose(host);
  QApplication::setActiveWindow(&host);
  button->clearFocus();  // the first control of a window takes the focus when it shows
  FlushPaints();
  const QImage plain = button->grab().toImage();
  button->setFocus(Qt::TabFocusReason);
  FlushPaints();
  const QImage focused = button->grab().toImage();
  button->clearFocus();
  FlushPaints();
  EXPECT_NE(focused, plain);
  EXPECT_EQ(button->grab().toImage(), plain);
  // The mark lies inside the face: the bevel looks as it did.
  const QRect face = button->CaptionRect();
  for (int y = 0; y < plain.height(); ++y)
    for (int x = 0; x < plain.width(); ++x)
      if (!face.contains(x, y)) {
        ASSERT_EQ(focused.pixel(x, y), plain.pixel(x, y)) << x << "," << y;
      }
}

TEST(MemoryBox, TheKeyboardComingToItLeavesItsStartInView) {
  QWidget host;
  auto *before = new QLineEdit(&host);
  auto *box = new TStartEdit(&host);
  box->setGeometry(0, 30, 37, 24);
  box->setText("7,03125");
  box->setCursorPosition(0);
  ShowAndExpose(host);
  QApplication::setActiveWindow(&host);
  before->setFocus();
  QTest::keyClick(&host, Qt::Key_Tab);
  ASSERT_TRUE(box->hasFocus());
  // All of it chosen, as for any box Tab comes to, with the cursor (and so
  // what shows) at its start.
  EXPECT_EQ(box->selectedText(), "7,03125");
  EXPECT_EQ(box->cursorPosition(), 0);
  // Clicked into instead, the cursor goes where the click was.
  box->clearFocus();
  box->setCursorPosition(3);
  box->setFocus(Qt::MouseFocusReason);
  EXPECT_EQ(box->cursorPosition(), 3);
}

}  // namespace
