// The widgets from the keyboard: Space and Return click a control that takes
// clicks, once however long held; the focus shows only while it is there; the
// memory box keeps its start in view when Tab comes to it.

#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/start_edit.h"

#include "dial_test_util.h"

#include <QApplication>

#include <gtest/gtest.h>

namespace {

TEST(KeyboardClick, SpaceOrReturnClicksOnceHeldOrNot) {
  for (const bool rocker : {false, true})
    for (const Qt::Key key : {Qt::Key_Space, Qt::Key_Return}) {
      SCOPED_TRACE(std::string(rocker ? "switch " : "button ") + (key == Qt::Key_Space ? "Space" : "Return"));
      TInsBinGControl *control = rocker ? static_cast<TInsBinGControl *>(new TInsRockerSwitch) : new TInsColBitBtn;
      std::unique_ptr<TInsBinGControl> owner(control);
      control->SetMode(rocker ? mSwitch : mButton);
      ASSERT_TRUE(control->focusPolicy() & Qt::TabFocus);
      int clicks = 0;
      control->OnClick = [&](QObject *) { ++clicks; };
      for (int press = 1; press <= 2; ++press) {
        QTest::keyPress(control, key);
        for (int i = 0; i < 3; ++i) {  // held down: repeats
          QKeyEvent repeat(QEvent::KeyPress, key, Qt::NoModifier, QString(), true);
          QApplication::sendEvent(control, &repeat);
        }
        QTest::keyRelease(control, key);
        EXPECT_EQ(clicks, press);
        // A switch changes at every click; a button is down only while held.
        EXPECT_EQ(control->Checked(), rocker && press == 1);
      }
    }
  TInsColBitBtn indicator;
  indicator.SetMode(mIndicator);
  EXPECT_EQ(indicator.focusPolicy(), Qt::NoFocus);
}

TEST(KeyboardFocus, TheMarkShowsOnlyWhileTheFocusIsThere) {
  QWidget host;
  auto *button = new TInsColBitBtn(&host);
  button->SetMode(mButton);
  button->resize(166, 33);
  ShowAndExpose(host);
  QApplication::setActiveWindow(&host);
  button->clearFocus();  // a window's first control takes the focus as it shows
  FlushPaints();
  const QImage plain = button->grab().toImage();
  button->setFocus(Qt::TabFocusReason);
  FlushPaints();
  EXPECT_NE(button->grab().toImage(), plain);
  button->clearFocus();
  FlushPaints();
  EXPECT_EQ(button->grab().toImage(), plain);
}

TEST(MemoryBox, TabLeavesItsStartInView) {
  QWidget host;
  auto *box = new TStartEdit(&host);
  box->resize(37, 24);
  box->setText("7,03125");
  ShowAndExpose(host);
  QApplication::setActiveWindow(&host);
  box->clearFocus();
  box->setFocus(Qt::TabFocusReason);
  EXPECT_EQ(box->selectedText(), "7,03125");  // all chosen, as Tab does...
  EXPECT_EQ(box->cursorPosition(), 0);        // ... and the start in view
}

}  // namespace
