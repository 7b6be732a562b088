#pragma once

// talvex-cli status: one frame's worth of the logger's health, and the wait
// for a live frame that the download's check uses as well.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"
#include "logger/live_frame.h"

#include <cstdint>
#include <optional>
#include <string>

class TCliLink;

// A decoded live frame and the PC time it was complete at (ms since the epoch).
struct TTimedFrame {
  TLiveFrame Frame;
  std::int64_t PcMs = 0;
};

// Runs the link until a live frame decodes or ms pass (nothing then). The
// link's OnRead is its own meanwhile and given back after; what ends a run
// (the line lost, Ctrl+C) is raised as from TCliLink::Run.
std::optional<TTimedFrame> AwaitLiveFrame(TCliLink &link, int ms);

// The status of a frame, as text lines (the live line first) or as the live
// JSON object with the health fields added.
std::string StatusText(const TTimedFrame &frame);
std::string StatusJson(const TTimedFrame &frame);

void CliStatus(const TCliOptions &options, TCliStreams &streams);
