#include "widgets/text_layout.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>

QStringList SplitLines(const QString &text) { return text.split('|'); }

QSize MeasureTextBlock(const QFontMetrics &fm, const QString &text) {
  const QStringList lines = SplitLines(text);
  int w = 0;
  for (const QString &l : lines) w = std::max(w, fm.horizontalAdvance(l));
  return QSize(w, fm.height() * int(lines.size()));
}

void DrawTextBlock(QPainter &p, int x, int y, const QString &text, int alignment) {
  if (alignment < 0 || alignment > 8) alignment = 0;
  const QFontMetrics fm = p.fontMetrics();
  const QStringList lines = SplitLines(text);
  const int lineH = fm.height();
  const int blockH = lineH * int(lines.size());
  int top = y;
  if (alignment / 3 == 1) top = y - blockH / 2;
  if (alignment / 3 == 2) top = y - blockH;
  for (const QString &l : lines) {
    const int w = fm.horizontalAdvance(l);
    int left = x;
    if (alignment % 3 == 1) left = x - w / 2;
    if (alignment % 3 == 2) left = x - w;
    p.drawText(left, top + fm.ascent(), l);
    top += lineH;
  }
}
