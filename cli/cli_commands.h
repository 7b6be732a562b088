#pragma once

// The commands of talvex-cli. Each speaks to the logger through the same
// pieces the windows use (logger_commands.h, download_session.h, live_frame.h)
// so that both send the same bytes with the same timing and write the same
// files.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"
struct TLiveFrame;

#include <iosfwd>
#include <string>
#include <vector>

// The whole program after its arguments: runs the command, reports a failure
// on Err and returns the exit status. Needs the application object (the
// port's events are delivered on its thread).
int RunCli(const std::vector<std::string> &args, TCliStreams streams);

void CliPorts(const TCliOptions &options, TCliStreams &streams);
void CliLive(const TCliOptions &options, TCliStreams &streams);
void CliSetClock(const TCliOptions &options, TCliStreams &streams);
void CliSetRate(const TCliOptions &options, TCliStreams &streams);
void CliDownload(const TCliOptions &options, TCliStreams &streams);

// One line for a live frame, without its line end. The text form uses the
// program's number formats (decimal comma); the JSON form is plain JSON.
std::string LiveFrameLine(const TLiveFrame &frame);
std::string LiveFrameJson(const TLiveFrame &frame);
// A value that is a whole number of tenths, as JSON: "-10.0", "25.0".
std::string JsonTenths(double value);

// Minutes of a live-frame rate code (4, 5, 6); 0 for any other code.
int LiveRateMinutes(int rateCode);
