#pragma once

#include <QSize>
#include <QString>
#include <QStringList>

class QPainter;
class QFontMetrics;

// Multi-line captions: "|" starts a new line. The nine alignment codes place
// the block about a point: 0..2 first line at y, 3..5 centred on y, 6..8
// ending at y; within each row left-aligned at x, centred on x, right-aligned
// at x.
QStringList SplitLines(const QString &text);
QSize MeasureTextBlock(const QFontMetrics &fm, const QString &text);
void DrawTextBlock(QPainter &p, int x, int y, const QString &text, int alignment);
