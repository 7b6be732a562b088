#pragma once

// talvex-cli plot: the graph window's chart of a saved file, drawn without a
// display into a PNG picture or a PDF page.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"

#include <optional>
#include <string>
#include <vector>

enum class TPlotFormat { Png, Pdf };

// From the output name's extension (either case); none for anything else.
std::optional<TPlotFormat> PlotFormatOf(const std::string &path);

// The commands that draw need the widgets' application, on the offscreen
// platform unless the caller named another.
bool CliNeedsWidgets(const std::vector<std::string> &args);

void CliPlot(const TCliOptions &options, TCliStreams &streams);
