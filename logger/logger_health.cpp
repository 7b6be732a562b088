#include "logger/logger_health.h"

#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "runtime/date_format.h"
#include "runtime/number_format.h"

#include <QDate>
#include <QDateTime>

#include <algorithm>
#include <cmath>

namespace {

constexpr std::int64_t kMsPerMinute = 60 * 1000;
constexpr std::int64_t kMsPerDay = 24 * 60 * kMsPerMinute;
const std::int64_t kEpochDay = QDate(1970, 1, 1).toJulianDay();

std::int64_t CalendarMs(const QDate &date, std::int64_t msOfDay) {
  return (date.toJulianDay() - kEpochDay) * kMsPerDay + msOfDay;
}

}  // namespace

std::optional<std::int64_t> LoggerClockMs(const TLiveFrame &f) {
  const QDate date(2000 + f.Year, f.Month, f.Day);
  if (!date.isValid() || f.Hours > 23 || f.Minutes > 59 || f.Seconds > 59) return std::nullopt;
  return CalendarMs(date, ((f.Hours * 60LL + f.Minutes) * 60 + f.Seconds) * 1000);
}

std::int64_t PcLocalClockMs(std::int64_t pcMs) {
  return pcMs + QDateTime::fromMSecsSinceEpoch(pcMs).offsetFromUtc() * 1000LL;
}

// ---------------------------------------------------------------------------

namespace {

// The logger's clock minus the PC's as one frame tells it: the difference
// lies at or above this and below one second more.
std::optional<double> DriftSample(const TLiveFrame &frame, std::int64_t pcMs) {
  const std::optional<std::int64_t> logger = LoggerClockMs(frame);
  if (!logger) return std::nullopt;
  // The logger read its clock when it began to send, a frame's time on the
  // line before the frame was complete here.
  return (*logger - (PcLocalClockMs(pcMs) - kFrameLineMs)) / 1000.0;
}

}  // namespace

std::optional<int> OneFrameDriftSeconds(const TLiveFrame &frame, std::int64_t pcMs) {
  const std::optional<double> sample = DriftSample(frame, pcMs);
  if (!sample) return std::nullopt;
  // The one whole second in [sample, sample + 1): less than a second off
  // whether the logger sends on its tick or at any moment of its second (a
  // tenth from one frame would claim more than it knows). The allowance
  // keeps a sample that is whole but for the double's last bits on its own
  // second.
  return static_cast<int>(std::ceil(*sample - 1e-6));
}

bool TClockDrift::Agrees(double sample, double reference) const {
  return sample <= reference + kToleranceSeconds && sample >= reference - 1 - kToleranceSeconds;
}

void TClockDrift::Frame(const TLiveFrame &frame, std::int64_t pcMs) {
  const std::optional<double> drift = DriftSample(frame, pcMs);
  if (!drift) return;
  const double sample = *drift;
  if (samples_.empty() || Agrees(sample, *std::max_element(samples_.begin(), samples_.end()))) {
    pending_.reset();
    samples_.push_back(sample);
    if (samples_.size() > kFrames) samples_.pop_front();
    return;
  }
  if (pending_) {
    // Two frames in a row say the difference changed: it did (and if they do
    // not agree with each other either, it is still changing).
    if (std::fabs(sample - *pending_) <= 1 + kToleranceSeconds) samples_ = {*pending_, sample};
    else samples_ = {sample};
    pending_.reset();
    return;
  }
  pending_ = sample;
}

void TClockDrift::Reset() {
  samples_.clear();
  pending_.reset();
}

std::optional<double> TClockDrift::Seconds() const {
  if (samples_.empty()) return std::nullopt;
  return std::round(*std::max_element(samples_.begin(), samples_.end()) * 10) / 10;
}

std::string ClockDriftText(double seconds) {
  const std::string start = "El reloj del registrador va ";
  if (std::fabs(seconds) <= 1.0) return start + "en hora";
  return start + FormatFloat("#,##0.#", std::fabs(seconds)) + " s " + (seconds > 0 ? "adelantado" : "atrasado");
}

// ---------------------------------------------------------------------------

void TMemoryWatch::Frame(double count, int rateMinutes, std::int64_t pcMs) {
  // A count that moved (a record stored, or the memory emptied by a clock
  // set) marks the start of the record in progress.
  if (count_ && *count_ != count) lastStoreMs_ = pcMs;
  count_ = count;
  // An unknown rate code leaves the rate as it was, as it leaves the
  // window's rate selection.
  if (rateMinutes > 0) rateMinutes_ = rateMinutes;
}

void TMemoryWatch::Reset() { *this = TMemoryWatch(); }

std::optional<TMemoryForecast> TMemoryWatch::Forecast(std::int64_t nowMs, int rateMinutes) const {
  const int minutes = rateMinutes > 0 ? rateMinutes : rateMinutes_;
  if (!count_) return std::nullopt;
  TMemoryForecast f;
  f.RateMinutes = std::max(minutes, 0);
  // A count between two whole records (an address the logger should not
  // send) still leaves only whole records to go.
  const double used = std::max(*count_, 0.0);
  const auto left = static_cast<std::int64_t>(std::ceil(kLoggerCapacity - used - 1e-9));
  // A full memory is full whatever the rate, even one the frame cannot name.
  if (left <= 0) {
    f.Full = true;
    f.FullAtMs = nowMs;
    return f;
  }
  if (minutes <= 0) return std::nullopt;
  const std::int64_t step = minutes * kMsPerMinute;
  // The record in progress ends one step after the last store seen; without
  // one (or when that has passed, as after a change of rate) it may have just
  // begun, which gives the latest the memory can fill.
  std::int64_t next = nowMs + step;
  if (lastStoreMs_ && *lastStoreMs_ + step > nowMs) next = *lastStoreMs_ + step;
  f.FullAtMs = next + (left - 1) * step;
  f.LeftMs = f.FullAtMs - nowMs;
  return f;
}

std::string MemoryForecastText(const TMemoryForecast &f) {
  if (f.Full) return "Memoria llena";
  return "Memoria llena el " + FormatDateTime("dd/mm/yyyy hh:nn", LocalDateTime(f.FullAtMs)) + " (a " +
         std::to_string(f.RateMinutes) + " minutos)";
}

std::string MemoryLastsText(std::int64_t ms) {
  const std::int64_t minutes = std::max<std::int64_t>(ms, 0) / kMsPerMinute;
  const std::int64_t days = minutes / (24 * 60), hours = minutes / 60 % 24, rest = minutes % 60;
  if (days > 0) return std::to_string(days) + " d " + std::to_string(hours) + " h";
  if (hours > 0) return std::to_string(hours) + " h " + std::to_string(rest) + " min";
  return std::to_string(rest) + " min";
}

std::string StaleText(std::int64_t sinceMs) { return "Sin datos desde " + TimeToStr(LocalDateTime(sinceMs)); }

// ---------------------------------------------------------------------------

void TFreshness::Connected(std::int64_t pcMs) { connectedAt_ = pcMs; }

std::optional<std::int64_t> TFreshness::StaleAtMs() const {
  if (!connectedAt_) return std::nullopt;
  // The logger gets its time after a connection, whatever the values date from.
  return std::max(*connectedAt_, lastFrame_.value_or(*connectedAt_)) + kStaleAfterMs;
}

bool TFreshness::Stale(std::int64_t nowMs) const {
  const std::optional<std::int64_t> at = StaleAtMs();
  return at && nowMs >= *at;
}

std::int64_t TFreshness::SinceMs() const { return lastFrame_.value_or(connectedAt_.value_or(0)); }

// ---------------------------------------------------------------------------

std::string TDownloadCheck::Headline() const {
  return (Complete() ? "Descarga completa: " : "Descarga: ") + std::to_string(Records) + " registros";
}

std::string TDownloadCheck::Summary() const {
  if (Complete()) return Headline();
  if (!Known()) return Headline() + " (sin cuenta del registrador con que compararlos)";
  return Headline() + " (el registrador indicaba " + FloatToStr(*LoggerCount) + ")";
}

std::string TDownloadCheck::Warning() const {
  if (!Known() || Complete()) return {};
  return "La descarga trajo " + std::to_string(Records) + " registros, pero el registrador indicaba " +
         FloatToStr(*LoggerCount) + " en su memoria. Se conserva todo lo recibido.";
}

TDownloadCheck CheckDownload(std::string_view dump, std::optional<double> loggerCount) {
  TDownloadCheck check;
  check.Records = std::max(0, RecordCount(CountDumpLines(dump)));
  check.LoggerCount = loggerCount;
  return check;
}

// ---------------------------------------------------------------------------

void TLoggerHealth::Frame(const TLiveFrame &frame, std::int64_t pcMs) {
  Drift.Frame(frame, pcMs);
  Memory.Frame(frame.MemoryCount, RateCodeMinutes(frame.RateCode), pcMs);
  Freshness.FrameDecoded(pcMs);
}
