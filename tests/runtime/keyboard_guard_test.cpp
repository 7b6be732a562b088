// The keyboard guard on the X path: keys as the X server reports them, fed
// through the application's native event filters before Qt sees them.

#include "runtime/application.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <gtest/gtest.h>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>

namespace {

constexpr quint8 kEscapeCode = 9;  // the Escape key's code on a PC keyboard

// True when the filters dropped the event.
bool XKey(bool press, const QWidget &window, quint32 time, bool sent = false) {
  xcb_key_press_event_t e{};
  e.response_type = static_cast<uint8_t>((press ? XCB_KEY_PRESS : XCB_KEY_RELEASE) | (sent ? 0x80 : 0));
  e.detail = kEscapeCode;
  e.time = time;
  e.event = static_cast<xcb_window_t>(window.winId());
  qintptr result = 0;
  return QAbstractEventDispatcher::instance()->filterNativeEvent("xcb_generic_event_t", &e, &result);
}

// The Qt key event the press becomes, Qt taking it for a fresh press.
void QtEscape(QWidget &window, quint32 time) {
  QKeyEvent e(QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, kEscapeCode, 0, 0);
  e.setTimestamp(time);
  QApplication::sendEvent(&window, &e);
}

class KeyboardGuard : public ::testing::Test {
protected:
  void SetUp() override { InstallKeyboardGuard(); }
};

TEST_F(KeyboardGuard, AKeyForAWindowBeneathTheModalOneIsDropped) {
  QWidget below;
  below.show();
  QDialog modal;
  bool ran = false;
  QTimer::singleShot(0, &modal, [&] {
    EXPECT_TRUE(XKey(true, below, 100));
    EXPECT_TRUE(XKey(true, below, 101, true));
    EXPECT_FALSE(XKey(true, modal, 102));
    EXPECT_FALSE(XKey(false, modal, 103));
    ran = true;
    modal.reject();
  });
  modal.exec();
  EXPECT_TRUE(ran);
  // Nothing modal: every window takes its keys.
  EXPECT_FALSE(XKey(true, below, 200));
  EXPECT_FALSE(XKey(false, below, 201));
}

TEST_F(KeyboardGuard, AnEscapeTheServerRepeatsDoesNotCloseTheWindowEvenWhenQtMissesTheRepeat) {
  QDialog dialog;
  bool repeatIgnored = false, pressClosed = false;
  QTimer::singleShot(0, &dialog, [&] {
    // A held key: a release and a press with the same time.
    XKey(false, dialog, 5000);
    XKey(true, dialog, 5000);
    QtEscape(dialog, 5000);
    repeatIgnored = dialog.isVisible();
    // Released, then pressed again later: a press of its own. A sent pair
    // never counts as a repeat, whatever time its sender put in.
    XKey(false, dialog, 5600, true);
    XKey(true, dialog, 5600, true);
    QtEscape(dialog, 5600);
    pressClosed = !dialog.isVisible();
    if (dialog.isVisible()) dialog.reject();
  });
  dialog.exec();
  EXPECT_TRUE(repeatIgnored);
  EXPECT_TRUE(pressClosed);
}

}  // namespace

#endif

// Keys as the window system hands them to Qt, with or without the repeat
// flag, outside the X path: every platform goes through these.
namespace {

void SystemKey(QWidget &window, Qt::Key key, bool repeat, QEvent::Type type = QEvent::KeyPress) {
  const QString text = key == Qt::Key_N ? "n" : key == Qt::Key_A ? "a" : key == Qt::Key_Space ? " " : QString();
  qt_handleKeyEvent(window.windowHandle(), type, key, Qt::NoModifier, text, repeat);
}

// A key left down after it did its work keeps repeating; no window that
// comes up afterwards may take those repeats for presses of its own, while
// the window it went down in still gets them.
TEST(HeldKey, RepeatsOfAKeyPressedElsewhereLeaveALaterMessageBoxUp) {
  InstallKeyboardGuard();
  for (const Qt::Key key : {Qt::Key_Return, Qt::Key_Enter, Qt::Key_Escape, Qt::Key_Space, Qt::Key_N}) {
    SCOPED_TRACE(key);
    QLineEdit below;
    below.show();
    (void)QTest::qWaitForWindowExposed(&below);
    QApplication::setActiveWindow(&below);
    SystemKey(below, Qt::Key_A, false);
    SystemKey(below, Qt::Key_A, true);
    SystemKey(below, key, false);  // the press, in the window beneath
    QMessageBox box(QMessageBox::Question, "TALVEX CANALES", "El archivo existe, sobreescribo?",
                    QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
    box.button(QMessageBox::No)->setText("&No");  // "n" answers it
    bool stayed = false;
    QTimer::singleShot(20, &box, [&] {
      for (int i = 0; i < 5; ++i) SystemKey(box, key, true);
      QTest::qWait(150);  // a mnemonic clicks its button after a short show of it
      stayed = box.isVisible();
      box.reject();
    });
    box.exec();
    EXPECT_TRUE(stayed);
    EXPECT_EQ(below.text().count('a'), 2) << "a repeat in its own window was lost";
  }
}

TEST(KeyboardCommands, ReturnRunsTheToolButtonThatHasTheFocus) {
  InstallKeyboardGuard();
  QToolButton button;
  int clicks = 0;
  QObject::connect(&button, &QToolButton::clicked, [&] { ++clicks; });
  button.show();
  (void)QTest::qWaitForWindowExposed(&button);
  QApplication::setActiveWindow(&button);
  button.setFocus(Qt::TabFocusReason);
  SystemKey(button, Qt::Key_Return, false);
  SystemKey(button, Qt::Key_Return, true);  // held: once
  EXPECT_EQ(clicks, 1);
}

}  // namespace
