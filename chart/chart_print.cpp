#include "chart/chart_print.h"

#include "chart/chart.h"
#include "runtime/exceptions.h"

#include <QCoreApplication>
#include <QFile>
#include <QImage>
#include <QPainter>
#include <QPicture>
#include <QPrinter>

#include <algorithm>
#include <cmath>

namespace {

int Percent(int part, int whole) {
  return whole > 0 ? static_cast<int>(static_cast<long long>(part) * 100 / whole) : 0;
}

int PercentOf(int percent, int whole) {
  return static_cast<int>(std::lround(percent * static_cast<double>(whole) / 100.0));
}

// Half of what is left of `page` when the chart takes `printed` of it, in
// whole percent (rounded once, so each margin is off by half a percent at
// most); negative when the chart does not fit.
int CentringMargin(double page, double printed) {
  return static_cast<int>(std::lround((page - printed) * 50.0 / page));
}

// The chart is flagged as printing for as long as it draws on paper, also
// when drawing fails.
class TPrintingScope {
public:
  explicit TPrintingScope(TChart &chart) : chart_(chart), was_(chart.Printing()) { chart_.SetPrinting(true); }
  ~TPrintingScope() { chart_.SetPrinting(was_); }

private:
  TChart &chart_;
  bool was_;
};

QString JobTarget(const QPrinter &printer) {
  if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
    return printer.outputFileName();
  return printer.printerName();
}

}  // namespace

TPrintMargins ProportionalMargins(QSize chart, QSize page, double dpiX, double dpiY, int least) {
  TPrintMargins m;
  const double w = chart.width(), h = chart.height(), W = page.width(), H = page.height();
  if (w <= 0 || h <= 0 || W <= 0 || H <= 0) return m;  // nothing to keep the shape of
  if (!(dpiX > 0) || !(dpiY > 0)) dpiX = dpiY = 1;
  // The side that keeps its margins spans this much of the page, and the
  // other side gets the same proportion as on the screen: a horizontal
  // length of L device pixels is L * dpiY / dpiX vertical device pixels.
  const double span = (100 - 2 * kProportionalFixedMargin) / 100.0;
  const double yPerX = dpiY / dpiX;
  auto byWidth = [&] { return CentringMargin(H, span * W * h / w * yPerX); };
  auto byHeight = [&] { return CentringMargin(W, span * H * w / h / yPerX); };
  // The longer side of the chart decides; when the other side would then
  // run off the page (or closer to its edge than `least`), the chart is
  // fitted by that side instead.
  least = std::max(0, least);
  int tb = 0, lr = 0;
  if (h < w) {
    tb = byWidth();
    if (tb >= least) {
      m.Top = m.Bottom = tb;
      return m;
    }
    m.Left = m.Right = byHeight();
    return m;
  }
  lr = byHeight();
  if (lr >= least) {
    m.Left = m.Right = lr;
    return m;
  }
  m.Top = m.Bottom = byWidth();
  return m;
}

TPrintMargins ChartProportionalMargins(TChart &chart, QSize page, double dpiX, double dpiY) {
  return ProportionalMargins(chart.PrintPictureSize(), page, dpiX, dpiY,
                             chart.PrintSummary() ? kProportionalFixedMargin : 0);
}

QRect MarginRect(const QRect &page, const TPrintMargins &m) {
  const int left = page.left() + PercentOf(m.Left, page.width());
  const int right = page.left() + page.width() - PercentOf(m.Right, page.width());
  const int top = page.top() + PercentOf(m.Top, page.height());
  const int bottom = page.top() + page.height() - PercentOf(m.Bottom, page.height());
  return QRect(left, top, std::max(0, right - left), std::max(0, bottom - top));
}

TPrintMargins MarginsOf(const QRect &paper, const QRect &chart) {
  TPrintMargins m;
  m.Left = std::max(0, Percent(chart.left() - paper.left(), paper.width()));
  m.Right = std::max(0, Percent(paper.left() + paper.width() - (chart.left() + chart.width()), paper.width()));
  m.Top = std::max(0, Percent(chart.top() - paper.top(), paper.height()));
  m.Bottom = std::max(0, Percent(paper.top() + paper.height() - (chart.top() + chart.height()), paper.height()));
  return m;
}

double ResolutionScale(QSize chart, QSize target, int resolution) {
  const double detail = 1.0 - std::clamp(resolution, -100, 0) / 100.0;
  if (chart.width() <= 0 || chart.height() <= 0 || target.width() <= 0 || target.height() <= 0) return 1.0 / detail;
  const double sx = target.width() / (chart.width() * detail);
  const double sy = target.height() / (chart.height() * detail);
  // One factor for both directions keeps text upright and round; the smaller
  // one makes sure the layout has at least the logical room on both sides.
  return std::min(sx, sy);
}

QSize TChart::PrintPictureSize() {
  if (!PrintSummary()) return size();
  return QSize(width(), height() + SummaryHeight(PrintSummarySource(), width()));
}

void DrawChartOnPage(TChart &chart, QPainter &painter, const QRect &rect, bool asBitmap, QColor paper) {
  if (rect.width() <= 0 || rect.height() <= 0) return;
  TPrintingScope printing(chart);
  const QSize picture = chart.PrintPictureSize();
  const double scale = ResolutionScale(picture, rect.size(), chart.PrintResolution());
  // The table keeps the height it has beside the chart's; the chart takes
  // the rest of the rectangle.
  const bool summary = picture.height() > chart.height();
  const TPrintSummary table = summary ? chart.PrintSummarySource() : TPrintSummary();
  auto draw = [&](QPainter &p, const QRect &r, double s) {
    const int below = summary ? static_cast<int>(std::lround((picture.height() - chart.height()) * r.height() /
                                                             static_cast<double>(picture.height())))
                              : 0;
    chart.Draw(p, QRect(r.left(), r.top(), r.width(), r.height() - below), s);
    if (!summary) return;
    p.save();
    p.translate(r.left(), r.bottom() + 1 - below);
    p.scale(s, s);
    DrawSummary(p, QRect(0, 0, static_cast<int>(r.width() / s), static_cast<int>(below / s)), table);
    p.restore();
  };
  painter.save();
  painter.setClipRect(rect, Qt::IntersectClip);
  if (!asBitmap) {
    draw(painter, rect, scale);
  } else {
    const QSize logical(std::max(1, static_cast<int>(std::lround(rect.width() / scale))),
                        std::max(1, static_cast<int>(std::lround(rect.height() / scale))));
    QImage bitmap(logical, QImage::Format_RGB32);
    bitmap.fill(paper);
    {
      QPainter p(&bitmap);
      draw(p, bitmap.rect(), 1.0);
    }
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
    painter.drawImage(QRectF(rect), bitmap);
  }
  painter.restore();
}

QRect ChartPrinterRect(TChart &chart, QPrinter &printer) {
  const QSize page(printer.width(), printer.height());
  if (chart.PrintProportional())
    chart.SetPrintMargins(ChartProportionalMargins(chart, page, printer.logicalDpiX(), printer.logicalDpiY()));
  return MarginRect(QRect(QPoint(0, 0), page), chart.PrintMargins());
}

void RunPrintJob(QPrinter &printer, const QString &title, const std::function<void(QPainter &)> &draw) {
  // The printers here (CUPS and PDF alike) cannot take a page back once the
  // job is open: the page is drawn once off the printer first, so a drawing
  // that fails never leaves half a page in the queue.
  {
    QPicture rehearsal;
    QPainter p(&rehearsal);
    draw(p);
  }

  const QString target = JobTarget(printer);
  printer.setDocName(title);
  QPainter painter;
  if (!painter.begin(&printer)) throw Exception("No se pudo iniciar la impresión en \"" + target.toStdString() + "\".");
  try {
    draw(painter);
  } catch (...) {
    printer.abort();
    if (painter.isActive()) painter.end();
    // What the engine could not take back is at least not left behind as a
    // file that looks finished.
    if (printer.outputFormat() == QPrinter::PdfFormat && !printer.outputFileName().isEmpty())
      QFile::remove(printer.outputFileName());
    throw;
  }
  if (!painter.end() || printer.printerState() == QPrinter::Error)
    throw Exception("La impresión en \"" + target.toStdString() + "\" no se pudo terminar.");
}

void PrintChart(TChart &chart, QPrinter &printer, bool asBitmap) {
  const QRect rect = ChartPrinterRect(chart, printer);
  const QString title = chart.objectName().isEmpty() ? QStringLiteral("Chart") : chart.objectName();
  RunPrintJob(printer, title, [&](QPainter &p) { DrawChartOnPage(chart, p, rect, asBitmap); });
}

std::unique_ptr<QPrinter> &CurrentPrinter() {
  static std::unique_ptr<QPrinter> printer;
  static const bool released = [] {
    // A printer outliving the application would go after the print plugins.
    qAddPostRoutine([] { printer.reset(); });
    return true;
  }();
  (void)released;
  return printer;
}
