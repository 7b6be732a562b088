// The report's pages: text set as text (an auditor searches it and copies
// from it), the chart through its own drawing path as shapes, a footer with
// the page's number of all on every page. The pages are laid out twice, the
// first time only measured, so each footer can say how many there are.
#include "report/report.h"

#include "chart/chart.h"
#include "chart/chart_print.h"
#include "chart/time_axis.h"
#include "data/record_values.h"
#include "data/text_file_writer.h"
#include "graph/graph_chart.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "talvex_version.h"

#include <QBuffer>
#include <QDateTime>
#include <QFile>
#include <QFontMetricsF>
#include <QPageLayout>
#include <QPainter>
#include <QPdfWriter>
#include <QPrinter>
#include <QRegularExpression>

#include <algorithm>
#include <cmath>
#include <cstdio>
#include <functional>

namespace {

constexpr int kDpi = 300;
double Mm(double mm) { return mm * kDpi / 25.4; }

QString U(const std::string &s) { return QString::fromStdString(s); }

QString Degrees(double v, int decimals) {
  char text[32];
  std::snprintf(text, sizeof text, "%.*f", decimals, v);
  QString s = QString::fromLatin1(text);
  s.replace('.', FormatSettings().DecimalSeparator);
  return s;
}

QString Tenths(std::int32_t v) { return U(TenthsText(v, FormatSettings().DecimalSeparator)); }

QFont TextFont(double points, bool bold = false) {
  QFont f(QStringLiteral("Arial"));
  f.setPointSizeF(points);
  f.setBold(bold);
  return f;
}

// A line colour that shows on white paper: the white line is drawn grey.
QColor OnPaper(const QColor &c) { return c.lightness() > 225 ? QColor(150, 150, 150) : c; }

struct TColumn {
  QString Title;
  double Width;  // share of the page's width
  Qt::Alignment Align = Qt::AlignLeft;
};

// Where the next thing goes, page after page. Without a painter it only
// counts: the first pass learns how many pages there will be.
class TPager {
public:
  TPager(QPdfWriter &writer, QPainter *painter, int total, const QString &footer)
      : writer_(writer), p_(painter), total_(total), footer_(footer) {
    width_ = writer.width();
    bottom_ = writer.height() - FooterHeight();
  }

  QPainter *Painter() const { return p_; }
  double Width() const { return width_; }
  double Y() const { return y_; }
  int Page() const { return page_; }
  void Advance(double h) { y_ += h; }
  // Room for `h` more on this page, else on a new one.
  bool Need(double h) {
    if (y_ + h <= bottom_ || y_ == 0) return false;
    NewPage();
    return true;
  }
  void NewPage() {
    Footer();
    if (p_ != nullptr) writer_.newPage();
    ++page_;
    y_ = 0;
  }
  void Finish() { Footer(); }

  // A line of text (wrapped to the width), `indent` from the left.
  void Text(const QString &text, const QFont &font, QColor color = Qt::black, double indent = 0) {
    const QFontMetricsF fm(font, &writer_);
    const QRectF box = fm.boundingRect(QRectF(0, 0, width_ - indent, 1e6), Qt::TextWordWrap, text);
    const double h = std::max(box.height(), fm.height()) + fm.leading();
    Need(h);
    if (p_ != nullptr) {
      p_->setFont(font);
      p_->setPen(color);
      p_->drawText(QRectF(indent, y_, width_ - indent, h), Qt::TextWordWrap | Qt::AlignLeft | Qt::AlignTop, text);
    }
    y_ += h;
  }

  void Gap(double mm) { y_ += Mm(mm); }

  // A table: a heading row (again at the top of each new page), then the
  // rows, each with a mark of its colour when it has one, and under a row
  // the lines of `notes` that belong to it.
  void Table(const std::vector<TColumn> &columns, const std::vector<QStringList> &rows,
             const std::vector<QColor> &marks = {}, const std::vector<QStringList> &notes = {}) {
    const QFont font = TextFont(7.5), bold = TextFont(7.5, true);
    const QFontMetricsF fm(font, &writer_);
    const double rowHeight = fm.height() * 1.45, pad = Mm(1);
    auto row = [&](const QStringList &cells, const QFont &f, bool heading, const QColor &mark) {
      if (p_ != nullptr) {
        if (heading) p_->fillRect(QRectF(0, y_, width_, rowHeight), QColor(225, 230, 235));
        p_->setFont(f);
        p_->setPen(Qt::black);
        double x = 0;
        for (int c = 0; c < static_cast<int>(columns.size()) && c < cells.size(); ++c) {
          const double w = columns[static_cast<size_t>(c)].Width * width_;
          double left = x + pad;
          if (c == 0 && mark.isValid()) {
            p_->fillRect(QRectF(left, y_ + rowHeight * 0.25, rowHeight * 0.5, rowHeight * 0.5), OnPaper(mark));
            left += rowHeight * 0.7;
          }
          p_->drawText(QRectF(left, y_, x + w - pad - left, rowHeight),
                       int(columns[static_cast<size_t>(c)].Align | Qt::AlignVCenter), cells[c]);
          x += w;
        }
        p_->setPen(QPen(QColor(170, 170, 170), 0));
        p_->drawLine(QPointF(0, y_ + rowHeight), QPointF(width_, y_ + rowHeight));
      }
      y_ += rowHeight;
    };
    QStringList titles;
    for (const TColumn &c : columns) titles << c.Title;
    Need(rowHeight * 2);
    row(titles, bold, true, QColor());
    for (size_t r = 0; r < rows.size(); ++r) {
      const QStringList noteLines = r < notes.size() ? notes[r] : QStringList();
      if (Need(rowHeight)) row(titles, bold, true, QColor());
      row(rows[r], font, false, r < marks.size() ? marks[r] : QColor());
      for (const QString &note : noteLines) Text(note, TextFont(7), QColor(60, 60, 60), Mm(8));
    }
  }

private:
  double FooterHeight() const { return QFontMetricsF(TextFont(7.5), &writer_).height() * 2; }
  void Footer() {
    if (p_ == nullptr) return;
    const QFont font = TextFont(7.5);
    const double h = QFontMetricsF(font, &writer_).height();
    const QRectF line(0, writer_.height() - h, width_, h);
    p_->setFont(font);
    p_->setPen(QColor(90, 90, 90));
    p_->drawText(line, Qt::AlignLeft | Qt::AlignVCenter, footer_);
    p_->drawText(line, Qt::AlignRight | Qt::AlignVCenter, QString("%1 de %2").arg(page_).arg(total_));
  }

  QPdfWriter &writer_;
  QPainter *p_;
  int total_;
  QString footer_;
  double width_ = 0, bottom_ = 0, y_ = 0;
  int page_ = 1;
};

void SetUpChart(TChart &chart, const TReport &report) {
  chart.resize(714, 441);
  ConfigureGraphChart(chart);
  std::vector<TChartBand> bands;
  for (int k = 0; k < kAlarmChannels && k < chart.SeriesCount(); ++k) {
    TLineSeries &s = chart.Series(k);
    const auto &xs = report.Chart.X[static_cast<size_t>(k)];
    const auto &ys = report.Chart.Y[static_cast<size_t>(k)];
    for (size_t i = 0; i < xs.size() && i < ys.size(); ++i) s.AddXY(xs[i], ys[i], QString(), s.SeriesColor());
    s.SetActive(report.Shown[static_cast<size_t>(k)]);
  }
  // Each shown channel's limits: the side beyond each one shaded lightly in
  // the channel's colour, the limit itself a dashed line of it.
  for (const TReportChannel &c : report.Channels) {
    const QColor colour = OnPaper(kGraphSeriesColors[c.Channel]);
    QColor fill = colour;
    fill.setAlpha(28);
    if (c.Limits.High)
      bands.push_back(TChartBand{static_cast<double>(*c.Limits.High) / 10, HUGE_VAL, fill, colour, Qt::DashLine});
    if (c.Limits.Low)
      bands.push_back(TChartBand{-HUGE_VAL, static_cast<double>(*c.Limits.Low) / 10, fill, colour, Qt::DashLine});
  }
  chart.SetBands(std::move(bands));

  TChartAxis &axis = chart.BottomAxis();
  // The "Tiempo real" axis: dates and times. A file's records are drawn by
  // number and named by their own times, as the graph window does; the
  // archive's are drawn at their instants already.
  std::shared_ptr<const TRecordTimes> times = report.Chart.Times;
  const bool byNumber = times != nullptr;
  if (!byNumber) times = std::make_shared<const TRecordTimes>(std::vector<double>{0, 1});
  axis.SetLabelSource(
      [times](double lo, double hi, int size, int separation, const std::function<int(const std::string &)> &w) {
        return RecordTimeTicks(*times, lo, hi, size, separation, w);
      });
  QString title = QString::fromUtf8(kTimeAxisTitle);
  if (byNumber && !times->Monotonic()) title += QString::fromUtf8(kNotMonotonic);
  axis.Title().SetCaption(title);
  if (report.Chart.Range) axis.SetMinMax(report.Chart.Range->first, report.Chart.Range->second);
}

QString LimitText(const std::optional<std::int32_t> &v) { return v ? Tenths(*v) : QStringLiteral("-"); }

void Lay(TPager &pg, const TReport &r, TChart &chart) {
  const QFont body = TextFont(9), heading = TextFont(11, true);
  pg.Text(QStringLiteral("INFORME DE TEMPERATURAS"), TextFont(15, true), QColor(0, 0, 128));
  pg.Gap(2);
  auto field = [&](const QString &label, const QString &value) { pg.Text(label + ": " + value, body); };
  field(QStringLiteral("Registrador"), r.Logger.empty() ? QStringLiteral("desconocido") : U(r.Logger));
  field(QStringLiteral("Período"), U(r.From) + " a " + U(r.To));
  field(QStringLiteral("Tasa de muestreo"), U(r.Rate));
  field(QStringLiteral("Registros"), QString::number(r.Records));
  field(QStringLiteral("Origen de los datos"), U(r.Source));
  field(QStringLiteral("Programa"), QStringLiteral("TALVEX ") + QString::fromLatin1(kTalvexVersion));
  QStringList shown;
  for (const TReportChannel &c : r.Channels) shown << QString("CANAL%1").arg(c.Channel + 1);
  field(QStringLiteral("Canales"), shown.join(", "));
  pg.Gap(3);

  // The chart at the chart's own shape across the page.
  const double chartHeight = pg.Width() * 441.0 / 714.0;
  pg.Need(chartHeight);
  if (QPainter *p = pg.Painter()) {
    const QRect rect(0, static_cast<int>(pg.Y()), static_cast<int>(pg.Width()), static_cast<int>(chartHeight));
    DrawChartOnPage(chart, *p, rect);
  }
  pg.Advance(chartHeight);
  pg.Text(QStringLiteral("Las bandas sombreadas son los límites de alarma de cada canal, en el color de su línea."),
          TextFont(7), QColor(60, 60, 60));
  pg.Gap(3);

  pg.Text(QStringLiteral("Cifras por canal"), heading);
  std::vector<QStringList> rows;
  std::vector<QColor> marks;
  for (const TReportChannel &c : r.Channels) {
    QStringList row{QString("CANAL%1").arg(c.Channel + 1)};
    if (c.Count == 0) {
      row << "-"
          << ""
          << "-"
          << ""
          << "-";
    } else {
      row << Tenths(c.Min) << U(c.MinAt) << Tenths(c.Max) << U(c.MaxAt) << Degrees(c.Mean, 2);
    }
    row << (c.Alarm.Mkt ? Degrees(*c.Alarm.Mkt, 2) : QStringLiteral("-")) << U(SecondsText(c.Alarm.SecondsAbove))
        << U(SecondsText(c.Alarm.SecondsBelow)) << QString::number(c.Alarm.HighEvents)
        << QString::number(c.Alarm.LowEvents);
    rows.push_back(row);
    marks.push_back(kGraphSeriesColors[c.Channel]);
  }
  pg.Table({{"Canal", 0.10},
            {QString::fromUtf8("Mínimo"), 0.065, Qt::AlignRight},
            {"Fecha y hora", 0.16},
            {QString::fromUtf8("Máximo"), 0.065, Qt::AlignRight},
            {"Fecha y hora", 0.16},
            {"Media", 0.065, Qt::AlignRight},
            {"MKT", 0.065, Qt::AlignRight},
            {"Por encima", 0.105, Qt::AlignRight},
            {"Por debajo", 0.105, Qt::AlignRight},
            {"Altas", 0.055, Qt::AlignRight},
            {"Bajas", 0.055, Qt::AlignRight}},
           rows, marks);
  pg.Text(QString::fromUtf8(
              "Temperaturas en °C. MKT: temperatura cinética media, energía de activación %1 kJ/mol. "
              "Por encima y por debajo: la duración de los eventos de alarma altos y bajos; altas y bajas: cuántos "
              "hubo.")
              .arg(Degrees(r.ActivationEnergy, 3)),
          TextFont(7), QColor(60, 60, 60));
  pg.Gap(3);

  pg.Text(QStringLiteral("Límites de alarma"), heading);
  rows.clear();
  marks.clear();
  for (const TReportChannel &c : r.Channels) {
    rows.push_back({QString("CANAL%1").arg(c.Channel + 1), LimitText(c.Limits.Low), LimitText(c.Limits.High),
                    QString("%1 min").arg(c.Limits.DelayMinutes), Tenths(c.Limits.Hysteresis)});
    marks.push_back(kGraphSeriesColors[c.Channel]);
  }
  pg.Table({{"Canal", 0.16},
            {"Baja", 0.12, Qt::AlignRight},
            {"Alta", 0.12, Qt::AlignRight},
            {"Demora", 0.14, Qt::AlignRight},
            {QString::fromUtf8("Histéresis"), 0.14, Qt::AlignRight}},
           rows, marks);
  pg.Gap(3);

  pg.Text(QStringLiteral("Eventos de alarma"), heading);
  if (r.Events.empty()) {
    pg.Text(QStringLiteral("Ningún evento de alarma en el período."), body);
  } else {
    rows.clear();
    marks.clear();
    std::vector<QStringList> notes;
    for (const TReportEvent &e : r.Events) {
      const TAlarmEvent &ev = e.Event;
      rows.push_back({QString("CANAL%1").arg(ev.Channel + 1), QString::fromLatin1(AlarmKindWord(ev.Kind)),
                      U(AlarmTimeText(ev.Start)), ev.End ? U(AlarmTimeText(*ev.End)) : QStringLiteral("sigue"),
                      U(SecondsText(ev.Seconds)), Tenths(ev.Extreme), U(AlarmTimeText(ev.ExtremeAt)),
                      e.Acknowledgements.empty() ? QStringLiteral("no") : QString::fromUtf8("sí")});
      marks.push_back(kGraphSeriesColors[ev.Channel]);
      QStringList lines;
      for (const TAlarmAcknowledgement &a : e.Acknowledgements) {
        const QString when =
            QDateTime::fromSecsSinceEpoch(a.PcTimeUtc).toLocalTime().toString(QStringLiteral("dd/MM/yyyy HH:mm:ss"));
        lines << QString::fromUtf8("Reconocido por %1 el %2 (hora de la PC): %3").arg(U(a.User), when, U(a.Comment));
      }
      notes.push_back(lines);
    }
    pg.Table({{"Canal", 0.11},
              {"Tipo", 0.07},
              {"Inicio", 0.17},
              {"Fin", 0.17},
              {QString::fromUtf8("Duración"), 0.12, Qt::AlignRight},
              {"Extremo", 0.09, Qt::AlignRight},
              {"Extremo a las", 0.17},
              {"Reconocido", 0.10}},
             rows, marks, notes);
  }
  pg.Gap(4);

  pg.Text(QStringLiteral("Comprobación de los datos"), heading);
  pg.Text(QStringLiteral("SHA-256 de los registros guardados como texto: ") + U(r.Sha256), TextFont(8));
  pg.Text(QStringLiteral("Un archivo de datos es el de este informe si guardado como texto por el programa da la "
                         "misma huella: talvex-cli report --verificar INFORME.pdf DATOS lo comprueba."),
          TextFont(7), QColor(60, 60, 60));
}

QByteArray Xmp(const TReport &r) {
  const QString title =
      QString("Informe de temperaturas %1").arg(r.Logger.empty() ? QString() : U(r.Logger)).trimmed().toHtmlEscaped();
  return QString(
             "<?xpacket begin=\"\xEF\xBB\xBF\" id=\"W5M0MpCehiHzreSzNTczkc9d\"?>\n"
             "<x:xmpmeta xmlns:x=\"adobe:ns:meta/\">\n"
             " <rdf:RDF xmlns:rdf=\"http://www.w3.org/1999/02/22-rdf-syntax-ns#\">\n"
             "  <rdf:Description rdf:about=\"\" xmlns:dc=\"http://purl.org/dc/elements/1.1/\"\n"
             "    xmlns:talvex=\"urn:talvex:informe:1\">\n"
             "   <dc:title><rdf:Alt><rdf:li xml:lang=\"x-default\">%1</rdf:li></rdf:Alt></dc:title>\n"
             "   <talvex:sha256>%2</talvex:sha256>\n"
             "   <talvex:registros>%3</talvex:registros>\n"
             "  </rdf:Description>\n"
             " </rdf:RDF>\n"
             "</x:xmpmeta>\n"
             "<?xpacket end=\"w\"?>")
      .arg(title, U(r.Sha256))
      .arg(r.Records)
      .toUtf8();
}

}  // namespace

QPageSize ReportPaper() {
  const std::unique_ptr<QPrinter> &printer = CurrentPrinter();
  if (printer && printer->outputFormat() == QPrinter::NativeFormat) {
    const QPageSize size = printer->pageLayout().pageSize();
    if (size.isValid()) return size;
  }
  return QPageSize(QPageSize::A4);
}

void WriteReportPdf(const TReport &report, const std::string &path, const QPageSize &paper) {
  TChart chart;
  SetUpChart(chart, report);
  const QString footer = QStringLiteral("Informe TALVEX ") + QString::fromLatin1(kTalvexVersion) +
                         (report.Logger.empty() ? QString() : QStringLiteral(" - ") + U(report.Logger));

  QByteArray bytes;
  QBuffer buffer(&bytes);
  buffer.open(QIODevice::WriteOnly);
  QPdfWriter writer(&buffer);
  writer.setResolution(kDpi);
  writer.setPageLayout(QPageLayout(paper, QPageLayout::Portrait, QMarginsF(15, 12, 15, 10), QPageLayout::Millimeter));
  writer.setTitle(QStringLiteral("Informe de temperaturas ") + U(report.Logger));
  writer.setCreator(QStringLiteral("TALVEX ") + QString::fromLatin1(kTalvexVersion));
  writer.setDocumentXmpMetadata(Xmp(report));

  // Measured first, then drawn with the number of pages known.
  TPager count(writer, nullptr, 0, footer);
  Lay(count, report, chart);
  QPainter painter;
  if (!painter.begin(&writer)) throw Exception("No se pudo empezar el informe en \"" + path + "\".");
  TPager pages(writer, &painter, count.Page(), footer);
  Lay(pages, report, chart);
  pages.Finish();
  if (!painter.end()) throw Exception("No se pudo terminar el informe en \"" + path + "\".");
  buffer.close();
  WriteFileAtomically(path, std::string_view(bytes.constData(), static_cast<size_t>(bytes.size())));
}

std::optional<TReportSeal> ReadReportSeal(const std::string &pdfPath) {
  QFile file(QString::fromStdString(pdfPath));
  if (!file.open(QIODevice::ReadOnly))
    throw EInOutError("No se puede leer \"" + pdfPath + "\": " + file.errorString().toStdString(), 0);
  // Anything else, however large, is turned away by its first bytes.
  if (file.peek(5) != "%PDF-") return std::nullopt;
  const QByteArray bytes = file.readAll();
  static const QRegularExpression sha(QStringLiteral("<talvex:sha256>([0-9a-f]{64})</talvex:sha256>"));
  static const QRegularExpression records(QStringLiteral("<talvex:registros>([0-9]+)</talvex:registros>"));
  const QString text = QString::fromLatin1(bytes);
  const QRegularExpressionMatch m = sha.match(text);
  if (!m.hasMatch()) return std::nullopt;
  TReportSeal seal;
  seal.Sha256 = m.captured(1).toStdString();
  const QRegularExpressionMatch n = records.match(text);
  if (n.hasMatch()) seal.Records = n.captured(1).toLongLong();
  return seal;
}

std::string SecondsText(std::int64_t seconds) {
  if (seconds <= 0) return "0 min";
  const std::int64_t days = seconds / 86400, hours = seconds / 3600 % 24, minutes = seconds / 60 % 60,
                     rest = seconds % 60;
  std::string text;
  if (days) text += std::to_string(days) + " d ";
  if (days || hours) text += std::to_string(hours) + " h ";
  if (days || hours || minutes) text += std::to_string(minutes) + " min";
  if (rest) text += (text.empty() ? "" : " ") + std::to_string(rest) + " s";
  while (!text.empty() && text.back() == ' ') text.pop_back();
  return text;
}

std::string AlarmTimeText(std::int64_t seconds) {
  const TStamp s = StampFromSeconds(seconds);
  return ProgramDateText(s) + " " + ProgramTimeText(s);
}
