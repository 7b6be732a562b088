// The keyboard guard on the X path: keys as the X server reports them, fed
// through the application's native event filters before Qt sees them.

#include "runtime/application.h"

#include <QAbstractEventDispatcher>
#include <QApplication>
#include <QDialog>
#include <QKeyEvent>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
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

void SystemKey(QWidget &window, Qt::Key key, bool repeat, const QString &text = QString()) {
  qt_handleKeyEvent(window.windowHandle(), QEvent::KeyPress, key, Qt::NoModifier, text, repeat);
}

struct THeldKey {
  const char *name;
  Qt::Key key;
  QString text;
};

class HeldKey : public ::testing::TestWithParam<THeldKey> {
protected:
  void SetUp() override { InstallKeyboardGuard(); }
};

// A key left down after it did its work (closed a box, ran a button) keeps
// repeating; no window that comes up afterwards may take those repeats for
// presses of its own.
TEST_P(HeldKey, RepeatsOfAKeyPressedElsewhereLeaveALaterMessageBoxUp) {
  const THeldKey &k = GetParam();
  QWidget below;
  below.resize(100, 40);
  below.show();
  (void)QTest::qWaitForWindowExposed(&below);
  SystemKey(below, k.key, false, k.text);  // the press, in the window beneath

  QMessageBox box(QMessageBox::Question, "TALVEX CANALES", "El archivo existe, sobreescribo?",
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel);
  box.button(QMessageBox::Yes)->setText(QString::fromUtf8("&Sí"));
  box.button(QMessageBox::No)->setText("&No");
  box.setDefaultButton(QMessageBox::Yes);
  box.setEscapeButton(QMessageBox::Cancel);
  bool stayed = false, pressClosed = false;
  QTimer::singleShot(20, &box, [&] {
    for (int i = 0; i < 5; ++i) SystemKey(box, k.key, true, k.text);
    QTest::qWait(150);  // a mnemonic clicks its button after a short show of it
    stayed = box.isVisible();
    // Released and pressed again: meant for the box.
    SystemKey(box, k.key, false, k.text);
    qt_handleKeyEvent(box.windowHandle(), QEvent::KeyRelease, k.key, Qt::NoModifier, k.text);
    QTest::qWait(150);
    pressClosed = !box.isVisible();
    if (box.isVisible()) box.reject();
  });
  box.exec();
  EXPECT_TRUE(stayed);
  EXPECT_TRUE(pressClosed);
}

INSTANTIATE_TEST_SUITE_P(Keys, HeldKey,
                         ::testing::Values(THeldKey{"Return", Qt::Key_Return, "\r"},
                                           THeldKey{"Enter", Qt::Key_Enter, "\r"},
                                           THeldKey{"Escape", Qt::Key_Escape, "\x1b"},
                                           THeldKey{"Space", Qt::Key_Space, " "}, THeldKey{"Mnemonic", Qt::Key_N, "n"}),
                         [](const auto &info) { return std::string(info.param.name); });

TEST(HeldKeyInItsOwnWindow, RepeatsStillReachTheWindowItWentDownIn) {
  InstallKeyboardGuard();
  QLineEdit edit;
  edit.show();
  (void)QTest::qWaitForWindowExposed(&edit);
  QApplication::setActiveWindow(&edit);
  edit.setFocus();
  SystemKey(edit, Qt::Key_A, false, "a");
  for (int i = 0; i < 3; ++i) SystemKey(edit, Qt::Key_A, true, "a");
  EXPECT_EQ(edit.text(), "aaaa");
}

TEST(KeyboardCommands, ReturnRunsTheToolButtonThatHasTheFocus) {
  InstallKeyboardGuard();
  QWidget window;
  auto *button = new QToolButton(&window);
  button->setText("GUARDAR");
  int clicks = 0;
  QObject::connect(button, &QToolButton::clicked, [&] { ++clicks; });
  window.show();
  (void)QTest::qWaitForWindowExposed(&window);
  QApplication::setActiveWindow(&window);
  button->setFocus(Qt::TabFocusReason);
  ASSERT_TRUE(button->hasFocus());
  SystemKey(window, Qt::Key_Return, false, "\r");
  SystemKey(window, Qt::Key_Return, true, "\r");  // held: once
  SystemKey(window, Qt::Key_Space, false, " ");
  qt_handleKeyEvent(window.windowHandle(), QEvent::KeyRelease, Qt::Key_Space, Qt::NoModifier, " ");
  EXPECT_EQ(clicks, 2);
}

}  // namespace
