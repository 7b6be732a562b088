#pragma once

// Small pieces the chart's layout and drawing files share; not for use
// outside chart/.

#include "chart/axis_scale.h"

#include <QFontMetrics>
#include <QRect>
#include <QString>

#include <cmath>
#include <string>

namespace chart_detail {

inline int TextWidth(const QFontMetrics &fm, const QString &s) { return fm.horizontalAdvance(s); }

inline QString Q(const std::string &s) { return QString::fromStdString(s); }

// Space between labels, ticks and titles.
constexpr int kGap = 2;

// A map or a rectangle of the chart's own pixels in the pixels of a device
// drawn at `scale`.
inline TAxisMap Scaled(const TAxisMap &m, double scale) {
  if (scale == 1.0) return m;
  TAxisMap d = m;
  d.StartPos = static_cast<int>(std::lround(m.StartPos * scale));
  d.EndPos = static_cast<int>(std::lround(m.EndPos * scale));
  return d;
}

inline QRect Scaled(const QRect &r, double scale) {
  if (scale == 1.0) return r;
  const int l = static_cast<int>(std::lround(r.left() * scale));
  const int t = static_cast<int>(std::lround(r.top() * scale));
  const int rr = static_cast<int>(std::lround((r.right() + 1) * scale)) - 1;
  const int b = static_cast<int>(std::lround((r.bottom() + 1) * scale)) - 1;
  return QRect(QPoint(l, t), QPoint(rr, b));
}

}  // namespace chart_detail
