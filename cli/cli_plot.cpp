#include "cli/cli_plot.h"

#include "chart/chart_print.h"
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

bool CliNeedsWidgets(const std::vector<std::string> &args) { return !args.empty() && args[0] == "plot"; }

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

}  // namespace

void CliPlot(const TCliOptions &o, TCliStreams &streams) {
  CheckOutputFile(o.Output, o.Force);
  const TOpenedData data = ReadForCli(o.Input);
  // The labels as the program writes them: decimal comma.
  FormatSettings().DecimalSeparator = ',';
  FormatSettings().ThousandSeparator = '.';

  TChart chart;
  chart.resize(kPlotWidth, kPlotHeight);
  chart.setObjectName("Chart1");
  ConfigureGraphChart(chart);
  const TShownColumns shown = ShownColumns(data.ColumnOrder);
  for (int i = 0; i < 16; ++i) {
    TLineSeries &s = chart.Series(i);
    const bool drawn = o.Channels.empty() || std::find(o.Channels.begin(), o.Channels.end(), i + 1) != o.Channels.end();
    s.SetActive(drawn);
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

  if (PlotFormatOf(o.Output) == TPlotFormat::Png) SavePng(chart.RenderImage(), o.Output);
  else SavePdf(chart, o.Output);
  streams.Out << "Gráfico de " << data.Records << " registros de " << o.Input << " en " << o.Output << ".\n";
  streams.Out.flush();
}
