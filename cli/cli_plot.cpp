#include "cli/cli_plot.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "chart/chart_print.h"
#include "chart/time_axis.h"
#include "cli/cli_archive.h"
#include "cli/cli_archive_range.h"
#include "cli/cli_errors.h"
#include "cli/cli_files.h"
#include "graph/graph_chart.h"
#include "runtime/format_settings.h"

#include <QImage>
#include <QPrinter>
#include <QSaveFile>
#include <QString>

#include <algorithm>
#include <cctype>
#include <cmath>
#include <limits>
#include <ostream>

std::optional<TPlotFormat> PlotFormatOf(const std::string &path) {
  const std::size_t dot = path.find_last_of('.');
  if (dot == std::string::npos || path.find('/', dot) != std::string::npos) return std::nullopt;
  std::string ext = path.substr(dot + 1);
  for (char &c : ext) c = static_cast<char>(std::tolower(static_cast<unsigned char>(c)));
  if (ext == "png") return TPlotFormat::Png;
  if (ext == "pdf") return TPlotFormat::Pdf;
  return std::nullopt;
}

bool CliNeedsWidgets(const std::vector<std::string> &args) {
  return !args.empty() && (args[0] == "plot" || args[0] == "report");
}

namespace {

// The chart's own size in the graph window.
constexpr int kPlotWidth = 714, kPlotHeight = 441;

void SavePng(const QImage &image, const std::string &path) {
  // Written whole or not at all: a half-written picture never takes the
  // name of an earlier one.
  QSaveFile file(QString::fromStdString(path));
  // Where no file can be put beside it (a folder the user may not write,
  // holding a file the user may), it is written in place, as the window
  // saves.
  file.setDirectWriteFallback(true);
  if (!file.open(QIODevice::WriteOnly) || !image.save(&file, "PNG") || !file.commit())
    throw ECliFailure(exFileError, "No se pudo escribir \"" + path + "\": " + file.errorString().toStdString() + ".");
}

void SavePdf(TChart &chart, const std::string &path) {
  QPrinter printer(QPrinter::HighResolution);
  printer.setOutputFormat(QPrinter::PdfFormat);
  printer.setOutputFileName(QString::fromStdString(path));
  printer.setPageSize(QPageSize(QPageSize::A4));
  printer.setPageOrientation(QPageLayout::Landscape);
  printer.setFullPage(true);
  chart.SetPrintProportional(true);
  try {
    PrintChart(chart, printer);
  } catch (const Exception &e) {
    throw ECliFailure(exFileError, e.Message());
  }
}

void SetUpChart(TChart &chart) {
  // The labels as the program writes them: decimal comma.
  FormatSettings().DecimalSeparator = ',';
  FormatSettings().ThousandSeparator = '.';
  chart.resize(kPlotWidth, kPlotHeight);
  chart.setObjectName("Chart1");
  ConfigureGraphChart(chart);
}

void SaveChart(TChart &chart, const std::string &path) {
  if (PlotFormatOf(path) == TPlotFormat::Png) SavePng(chart.RenderImage(), path);
  else SavePdf(chart, path);
}

bool Drawn(const TCliOptions &o, int channel) {
  return o.Channels.empty() || std::find(o.Channels.begin(), o.Channels.end(), channel) != o.Channels.end();
}

// The bottom axis in seconds on the logger's clock, labelled with round
// dates and times as the "Tiempo real" axis labels them.
void SetSecondsTimeAxis(TChart &chart) {
  TChartAxis &axis = chart.BottomAxis();
  axis.SetLabelSource(
      [](double lo, double hi, int size, int separation, const std::function<int(const std::string &)> &width) {
        auto widest = [&](TTimeLabelStyle style) {
          int w = 0;
          for (const std::string &text : SampleTimeLabels(style)) w = std::max(w, width(text));
          return w;
        };
        const TTimeTicks t = CalcTimeTicks(lo, hi, size, separation, widest);
        TAxisTicks ticks;
        ticks.Step = t.StepSeconds;
        ticks.Values = t.Times;
        ticks.Texts = t.Labels;
        return ticks;
      });
  axis.Title().SetCaption(QString::fromUtf8(kTimeAxisTitle));
}

// A range of the history, drawn from its outline: per pixel column each
// channel's first, lowest, highest and last reading, which is the line
// through every reading pixel for pixel. A PDF page is drawn finer than the
// screen's chart, so it gets more columns.
void PlotArchive(const TCliOptions &o, TCliStreams &streams) {
  CheckOutputFile(o.Output, o.Force);
  const TStamp from = CliRangeFrom(o), to = CliRangeTo(o);
  const int columns = PlotFormatOf(o.Output) == TPlotFormat::Pdf ? kPlotWidth * 4 : kPlotWidth;
  TArchiveOutline outline;
  {
    const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
    try {
      outline = archive->Outline(o.Logger, from, to, columns);
    } catch (const EArchiveError &e) {
      throw ECliFailure(exFailure, e.Message());
    }
    if (outline.Records == 0)
      throw ECliFailure(exFailure, "El archivo histórico " + archive->Name() + " no tiene registros de " + o.Logger +
                                       " " + CliRangeText(o) + ": no hay nada que dibujar.");
  }
  TChart chart;
  SetUpChart(chart);
  for (int i = 0; i < 16; ++i) {
    TLineSeries &s = chart.Series(i);
    s.SetActive(Drawn(o, i + 1));
    for (const TOutlinePoint &p : outline.Channels[static_cast<size_t>(i)])
      s.AddXY(p.Seconds, static_cast<double>(p.Value) / 10, QString(), s.SeriesColor());
  }
  // The range asked for, end to end, even where the records start later or
  // stop sooner.
  chart.BottomAxis().SetMinMax(CivilSeconds(from.Year, from.Month, from.Day, from.Hour, from.Minute, from.Second),
                               CivilSeconds(to.Year, to.Month, to.Day, to.Hour, to.Minute, to.Second + 1));
  SetSecondsTimeAxis(chart);
  SaveChart(chart, o.Output);
  streams.Out << "Gráfico de " << outline.Records << " registros de " << o.Logger << " (" << CliRangeText(o) << ") en "
              << o.Output << ".\n";
  streams.Out.flush();
}

}  // namespace

void CliPlot(const TCliOptions &o, TCliStreams &streams) {
  if (o.Archive) {
    PlotArchive(o, streams);
    return;
  }
  CheckOutputFile(o.Output, o.Force);
  const TOpenedData data = ReadForCli(o.Input);

  TChart chart;
  SetUpChart(chart);
  const TShownColumns shown = ShownColumns(data.ColumnOrder);
  for (int i = 0; i < 16; ++i) {
    TLineSeries &s = chart.Series(i);
    s.SetActive(Drawn(o, i + 1));
    for (int r = 1; r <= data.Records; ++r) {
      std::int64_t tenths = 0;
      // A record without this value leaves a gap the line bridges.
      const double y = ParseTenths(data.Table.Cells(shown.Channels[static_cast<size_t>(i)], r), tenths)
                           ? static_cast<double>(tenths) / 10
                           : std::numeric_limits<double>::quiet_NaN();
      s.Add(y, QString(), s.SeriesColor());
    }
  }
  if (o.TimeAxis) {
    if (data.Records <= 0)
      throw ECliFailure(exFileError, "\"" + o.Input + "\" no tiene registros: --tiempo no tiene fechas que mostrar.");
    const TGraphTimes times(data.Table, data.Records, data.ColumnOrder);
    if (!times.Known())
      throw ECliFailure(exFileError, "Los registros de \"" + o.Input +
                                         "\" no tienen todos fecha y hora válidas: --tiempo no se puede usar.");
    SetGraphTimeAxis(chart, true, times);
  }

  SaveChart(chart, o.Output);
  streams.Out << "Gráfico de " << data.Records << " registros de " << o.Input << " en " << o.Output << ".\n";
  streams.Out.flush();
}
