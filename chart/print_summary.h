#pragma once

#include <QColor>
#include <QRect>
#include <QStringList>

#include <vector>

class QPainter;

// A table printed under the chart: a few heading lines, then a row of cells
// per item, each row marked with its item's colour.
struct TPrintSummary {
  QStringList Heading;
  QStringList Columns;
  std::vector<QStringList> Rows;
  std::vector<QColor> RowColors;  // one per row; invalid: no mark
};

// How tall the table is when drawn across `width` pixels of the chart's own
// size: as its font wants, or scaled down with it when it is wider.
int SummaryHeight(const TPrintSummary &s, int width);

// Draws the table into `area` (the chart's pixels; the painter scales).
void DrawSummary(QPainter &p, const QRect &area, const TPrintSummary &s);
