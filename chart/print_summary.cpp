#include "chart/print_summary.h"

#include "chart/chart_parts.h"

#include <QFontMetrics>
#include <QPainter>

#include <algorithm>
#include <cmath>

namespace {

constexpr int kTopGap = 8;  // between the chart and the table
constexpr int kCellPad = 10;
constexpr int kSwatch = 8;

QFont TableFont() { return PixelFont(QFont("Arial", 8)); }

// The table at its own size: column widths, line height, total size.
struct TTableLayout {
  std::vector<int> Widths;
  int Line = 0;
  QSize Size;
};

TTableLayout Measure(const TPrintSummary &s) {
  const QFontMetrics fm(TableFont());
  TTableLayout t;
  t.Line = fm.height() + 2;
  const int columns = static_cast<int>(s.Columns.size());
  t.Widths.assign(static_cast<size_t>(columns), 0);
  for (int c = 0; c < columns; ++c) t.Widths[c] = fm.horizontalAdvance(s.Columns[c]);
  for (const QStringList &row : s.Rows)
    for (int c = 0; c < columns && c < row.size(); ++c)
      t.Widths[c] = std::max(t.Widths[c], fm.horizontalAdvance(row[c]));
  int width = 0;
  for (int c = 0; c < columns; ++c) width += t.Widths[c] += kCellPad + (c == 0 ? kSwatch + 4 : 0);
  for (const QString &h : s.Heading) width = std::max(width, fm.horizontalAdvance(h));
  const int lines = static_cast<int>(s.Heading.size() + 1 + s.Rows.size());
  t.Size = QSize(width, kTopGap + lines * t.Line + 4);
  return t;
}

}  // namespace

int SummaryHeight(const TPrintSummary &s, int width) {
  const TTableLayout t = Measure(s);
  if (t.Size.width() <= 0 || width <= 0) return 0;
  const double k = std::min(1.0, double(width) / t.Size.width());
  return static_cast<int>(std::ceil(t.Size.height() * k));
}

void DrawSummary(QPainter &p, const QRect &area, const TPrintSummary &s) {
  const TTableLayout t = Measure(s);
  if (t.Size.width() <= 0 || area.width() <= 0) return;
  const double k = std::min(1.0, double(area.width()) / t.Size.width());
  p.save();
  // Centred under the chart; a table wider than the chart shrinks with its text.
  p.translate(area.left() + (area.width() - t.Size.width() * k) / 2.0, area.top());
  p.scale(k, k);
  p.setFont(TableFont());
  p.setPen(Qt::black);
  int y = kTopGap;
  for (const QString &h : s.Heading) {
    p.drawText(QRect(0, y, t.Size.width(), t.Line), Qt::AlignLeft | Qt::AlignVCenter, h);
    y += t.Line;
  }
  auto row = [&](const QStringList &cells, const QColor &mark, bool header) {
    int x = 0;
    for (int c = 0; c < static_cast<int>(t.Widths.size()); ++c) {
      QRect cell(x, y, t.Widths[c] - kCellPad / 2, t.Line);
      if (c == 0 && !header) {
        if (mark.isValid()) {
          const QRect swatch(x, y + (t.Line - kSwatch) / 2, kSwatch, kSwatch);
          p.fillRect(swatch, mark);
          p.drawRect(swatch.adjusted(0, 0, -1, -1));
        }
        cell.setLeft(x + kSwatch + 4);
      } else if (c == 0) {
        cell.setLeft(x + kSwatch + 4);
      }
      if (c < cells.size()) p.drawText(cell, (c == 0 ? Qt::AlignLeft : Qt::AlignRight) | Qt::AlignVCenter, cells[c]);
      x += t.Widths[c];
    }
    y += t.Line;
  };
  row(s.Columns, QColor(), true);
  p.drawLine(0, y - 1, t.Size.width(), y - 1);
  for (size_t i = 0; i < s.Rows.size(); ++i) row(s.Rows[i], i < s.RowColors.size() ? s.RowColors[i] : QColor(), false);
  p.restore();
}
