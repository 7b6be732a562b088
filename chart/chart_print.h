#pragma once

#include "chart/chart_parts.h"

#include <QColor>
#include <QRect>
#include <QSize>
#include <QString>

#include <functional>
#include <memory>

class QPainter;
class QPrinter;
class TChart;

// How a chart lands on a page. The same few rules serve the preview (a page
// drawn on the screen) and the printer (the real page in device pixels), so
// what the user arranges on the preview is what comes out of the printer.

// The margin the proportional rule keeps on the side it does not compute.
constexpr int kProportionalFixedMargin = 15;

// Margins that give the printed chart the shape it has on the screen: the
// longer side of the chart keeps 15 % on both ends and the other side is
// centred at the chart's own proportions. `dpiX` and `dpiY` are the page's
// resolutions, so printers with oblong pixels still print it undistorted;
// a chart that would not fit that way is fitted by its other side instead.
// With `least` above 0 the computed margins never fall below it either: the
// picture is then fitted by whichever side keeps every margin at `least` or
// more.
TPrintMargins ProportionalMargins(QSize chart, QSize page, double dpiX, double dpiY, int least = 0);

// The proportional margins of the chart's printed picture on `page`. The
// chart alone follows the rule above as it always has; with its summary
// table under it, no margin goes below the fixed 15 %, so the table, tall as
// it may be, stays as far inside the sheet as the chart's sides do.
TPrintMargins ChartProportionalMargins(TChart &chart, QSize page, double dpiX, double dpiY);

// The part of `page` left inside the margins: each margin is a percentage of
// the page's width (left, right) or height (top, bottom), rounded to whole
// pixels.
QRect MarginRect(const QRect &page, const TPrintMargins &margins);

// The margins that put `chart` where it is on `paper`, in whole percent
// (cut, not rounded, so two opposite margins never add up to 100).
TPrintMargins MarginsOf(const QRect &paper, const QRect &chart);

// The factor the chart is drawn at into `target`: the chart is laid out as
// if it were its own size times (1 - resolution / 100), so -100 ("More"
// detail) lays it out twice as large, with thinner lines and smaller text
// relative to the chart, and 0 at its own size. The factor fits both sides.
double ResolutionScale(QSize chart, QSize target, int resolution);

// Draws the chart into `rect` of any painter the way it goes on paper: at
// the chart's resolution scale, flagged as printing, clipped to `rect`.
// With `asBitmap` it is drawn into a bitmap on `paper` first and stretched.
void DrawChartOnPage(TChart &chart, QPainter &painter, const QRect &rect, bool asBitmap = false,
                     QColor paper = Qt::white);

// The rectangle of the printer's page (device pixels) the chart goes into,
// from the chart's margins; with PrintProportional the margins are worked
// out again for this printer first (and kept).
QRect ChartPrinterRect(TChart &chart, QPrinter &printer);

// One print job: started with `title`, `draw` paints the page, the job ends.
// A failure while drawing aborts the job and passes on; a job the printer
// refuses to start or finish is reported as a failure too.
void RunPrintJob(QPrinter &printer, const QString &title, const std::function<void(QPainter &)> &draw);

// Prints the chart on one page of `printer`, titled with the chart's name.
void PrintChart(TChart &chart, QPrinter &printer, bool asBitmap = false);

// The printer the user chose in a preview, with its paper and settings: the
// next preview of this run starts from it. Empty until a preview makes one;
// released when the application goes.
std::unique_ptr<QPrinter> &CurrentPrinter();
