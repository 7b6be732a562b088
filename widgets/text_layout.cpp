#include "widgets/text_layout.h"

#include <QFontInfo>
#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <limits>

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

QFont FitCaptionFont(const QFont &font, const QStringList &captions, const QSize &room) {
  QFont f = font;
  int pixels = QFontInfo(font).pixelSize();
  auto fits = [&] {
    const QFontMetrics fm(f);
    return std::all_of(captions.begin(), captions.end(), [&](const QString &c) {
      const QSize need = MeasureTextBlock(fm, c);
      return need.width() <= room.width() && need.height() <= room.height();
    });
  };
  for (int i = 0; i < kCaptionShrinkPixels && pixels > 1 && !fits(); ++i) f.setPixelSize(--pixels);
  return f;
}

QFont FitCaptionFont(const QFont &font, const QString &text, int width) {
  return FitCaptionFont(font, QStringList{text}, QSize(width, std::numeric_limits<int>::max()));
}
