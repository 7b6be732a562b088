#include "widgets/ins_colors.h"

#include <QGuiApplication>
#include <QPalette>

#include <cmath>

namespace {

QPalette AppPalette() { return qGuiApp ? QGuiApplication::palette() : QPalette(); }

int BlendComponent(int from, int to, int num, int den) {
  return from + int(std::lround(double(to - from) * num / den));
}

}  // namespace

QColor clBtnFace() { return AppPalette().color(QPalette::Button); }
QColor clBtnShadow() { return AppPalette().color(QPalette::Dark); }
QColor clBtnHighlight() { return AppPalette().color(QPalette::Light); }
// A Linux desktop has no background colour of its own to ask for; the classic
// desktop blue keeps white captions on it readable, as they were meant to be.
QColor clDesktop() { return QColor(58, 110, 165); }

QColor BlendColor(const QColor &from, const QColor &to, int num, int den) {
  if (den <= 0) return from;
  return QColor(BlendComponent(from.red(), to.red(), num, den), BlendComponent(from.green(), to.green(), num, den),
                BlendComponent(from.blue(), to.blue(), num, den));
}
