#pragma once

#include <QFont>
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

// The font a fixed caption is drawn in where its own font makes it wider than
// `width`: a pixel smaller at a time, at most kCaptionShrinkPixels, since a
// caption the window was laid out around must neither be cut short nor run
// over a frame. Multi-line captions are measured by their widest line; given
// a room, every one of `captions` must fit it, lines' height included.
constexpr int kCaptionShrinkPixels = 2;
QFont FitCaptionFont(const QFont &font, const QString &text, int width);
QFont FitCaptionFont(const QFont &font, const QStringList &captions, const QSize &room);
