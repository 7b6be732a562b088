#pragma once

// What the live frames tell beyond the values they carry: how far the
// logger's clock is off, when its memory will be full, whether what the
// window shows is still current, and whether a download brought every record
// the logger counted. Pure logic, no widgets: the windows and talvex-cli show
// what comes out. PC times are milliseconds since the epoch; what the user
// reads is in the PC's local time, as the logger's clock is.

#include "logger/live_frame.h"

#include <cstdint>
#include <deque>
#include <optional>
#include <string>

// Records the logger's memory holds (the main window's " Máx: 2000 "). The
// live frame does not say it, so this is the one place that does.
constexpr int kLoggerCapacity = 2000;

// Values shown are stale once no frame has been decoded for this long while
// connected.
constexpr int kStaleAfterMs = 5000;

// A live frame on the line: 104 characters of 10 bits (8N1) at 115200 baud.
constexpr double kFrameLineMs = kFrameSize * 10 * 1000.0 / 115200.0;

// The logger's clock in a frame as milliseconds of a calendar without time
// zone; nothing for a clock that is no date (month 13, 31 April, 25 o'clock).
std::optional<std::int64_t> LoggerClockMs(const TLiveFrame &frame);

// The PC's local time at `pcMs` on the same calendar.
std::int64_t PcLocalClockMs(std::int64_t pcMs);

// The logger's clock minus the PC's, in seconds. A frame shows whole seconds
// and arrives a little after it was sent, so one frame only says that the
// difference lies at or above (frame clock - PC time when it was sent) and
// below one second more. A logger sends on its second's tick, where that
// first value is the difference itself, and late delivery only lowers it: the
// estimate is the highest of the last frames, which is exact for such a
// logger and closes in on the difference for one that sends at any moment.
// A frame far from the others (a PC clock changed, noise that still reads as
// a date) counts only once the next frame is far from them too.
class TClockDrift {
public:
  static constexpr int kFrames = 10;
  // How far above the estimate, or below it beyond the second a frame's
  // clock may lag, a frame still agrees with the others.
  static constexpr double kToleranceSeconds = 0.5;

  // A decoded frame, complete at pcMs. A clock that is no date is ignored.
  void Frame(const TLiveFrame &frame, std::int64_t pcMs);
  // Forgets everything: the logger's clock was just set, or the link changed.
  void Reset();
  // To a tenth of a second; nothing before the first frame.
  std::optional<double> Seconds() const;

private:
  bool Agrees(double sample, double reference) const;
  std::deque<double> samples_;
  std::optional<double> pending_;
};

// What a single frame says of the clock, in whole seconds: all it can say,
// since the logger may have read its clock at any moment of the second it
// shows. Nothing for a clock that is no date.
std::optional<int> OneFrameDriftSeconds(const TLiveFrame &frame, std::int64_t pcMs);

// "El reloj del registrador va 37 s adelantado" / "... 2,5 s atrasado" /
// "... va en hora" (within a second either way).
std::string ClockDriftText(double seconds);

// When the memory is full at a sampling rate.
struct TMemoryForecast {
  bool Full = false;
  std::int64_t FullAtMs = 0;  // PC time of the store that fills it
  std::int64_t LeftMs = 0;    // from the time asked about
  int RateMinutes = 0;
};

// The memory count of the frames and the moment the logger was last seen to
// store a record (the count changed between two frames), from which its
// next stores follow at the rate.
class TMemoryWatch {
public:
  void Frame(double count, int rateMinutes, std::int64_t pcMs);
  void Reset();
  std::optional<double> Count() const { return count_; }
  int RateMinutes() const { return rateMinutes_; }
  // At rateMinutes (the reported rate when 0), as seen at nowMs; nothing
  // without a count, or without a rate unless the memory is already full
  // (RateMinutes is then 0).
  std::optional<TMemoryForecast> Forecast(std::int64_t nowMs, int rateMinutes = 0) const;

private:
  std::optional<double> count_;
  int rateMinutes_ = 0;
  std::optional<std::int64_t> lastStoreMs_;
};

// "Memoria llena el dd/mm/aaaa hh:mm (a 30 minutos)", or "Memoria llena".
std::string MemoryForecastText(const TMemoryForecast &forecast);
// A span to the minute: "20 d 20 h", "5 h 30 min", "45 min".
std::string MemoryLastsText(std::int64_t ms);

// "Sin datos desde hh:mm:ss", the PC's local time of sinceMs.
std::string StaleText(std::int64_t sinceMs);

// Whether the values shown are current: while connected, a frame must have
// been decoded within kStaleAfterMs (counted from the connection at first).
class TFreshness {
public:
  void Connected(std::int64_t pcMs);
  void Disconnected() { connectedAt_.reset(); }
  void FrameDecoded(std::int64_t pcMs) { lastFrame_ = pcMs; }
  bool Watching() const { return connectedAt_.has_value(); }
  // When the values go stale; nothing while disconnected.
  std::optional<std::int64_t> StaleAtMs() const;
  bool Stale(std::int64_t nowMs) const;
  // What the values date from: the last frame ever decoded, else the
  // connection.
  std::int64_t SinceMs() const;

private:
  std::optional<std::int64_t> connectedAt_, lastFrame_;
};

// A download against the logger's own count. The frame's count of positions
// used, ((AH x 256 + AL) - 31) / 32, is the number of records the data
// window shows, N = L - 3 for a dump of L lines: the dump holds a header, one
// line per stored record, the record in progress and the end mark.
struct TDownloadCheck {
  int Records = 0;
  std::optional<double> LoggerCount;  // nothing when no frame came before
  bool Known() const { return LoggerCount.has_value(); }
  bool Complete() const { return Known() && *LoggerCount == Records; }
  // "Descarga completa: N registros", or "Descarga: N registros".
  std::string Headline() const;
  // The headline and, when the download is not known complete, why.
  std::string Summary() const;
  // The warning for a count that differs; empty when it does not.
  std::string Warning() const;
};
TDownloadCheck CheckDownload(std::string_view dump, std::optional<double> loggerCount);

// Everything the main window follows, fed by the frames it decodes.
struct TLoggerHealth {
  TClockDrift Drift;
  TMemoryWatch Memory;
  TFreshness Freshness;

  void Frame(const TLiveFrame &frame, std::int64_t pcMs);
};
