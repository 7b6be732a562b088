#pragma once

#include <QCoreApplication>
#include <QImage>
#include <QWidget>
#include <QtTest/QTest>

#include <cstdlib>

// Paints what is pending (update requests are posted events) without running
// timers, so the blink service only ticks when a test drives it by hand.
inline void FlushPaints() {
  QCoreApplication::sendPostedEvents();
  QCoreApplication::sendPostedEvents();
}

// Shows a widget in a top-level host and waits until it is on screen.
inline void ShowAndExpose(QWidget &top) {
  top.show();
  (void)QTest::qWaitForWindowExposed(&top);
  FlushPaints();
}

inline bool NearColour(QRgb got, const QColor &want, int tolerance = 40) {
  return std::abs(qRed(got) - want.red()) <= tolerance && std::abs(qGreen(got) - want.green()) <= tolerance &&
         std::abs(qBlue(got) - want.blue()) <= tolerance;
}
