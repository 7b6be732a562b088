// The keyboard guard on the X path: keys as the X server reports them, fed
// through the application's native event filters before Qt sees them.

#include "runtime/application.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QTimer>

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
