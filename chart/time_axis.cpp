#include "chart/time_axis.h"

#include "calendar/civil_date.h"

#include <algorithm>
#include <cmath>
#include <cstdio>

namespace {

constexpr double kDay = 86400;
constexpr double kMonth = 30.44 * kDay;  // only for counting labels
constexpr double kYear = 365.25 * kDay;
constexpr long long kDays1970To2000 = 10957;

const char *const kMonths[12] = {"ene", "feb", "mar", "abr", "may", "jun", "jul", "ago", "sep", "oct", "nov", "dic"};

double MonthStart(long long monthIndex) {
  const long long y = monthIndex >= 0 ? monthIndex / 12 : (monthIndex - 11) / 12;
  const int m = static_cast<int>(monthIndex - y * 12) + 1;
  return CivilSeconds(static_cast<int>(y), m, 1, 0, 0, 0);
}

long long MonthIndex(double seconds) {
  const TCivilTime c = CivilTime(seconds);
  return static_cast<long long>(c.Year) * 12 + (c.Month - 1);
}

long long CeilToMultiple(long long v, long long k) {
  const long long r = ((v % k) + k) % k;
  return r == 0 ? v : v + (k - r);
}

int ParseDigits(std::string_view s, size_t at, size_t count, bool &ok) {
  int v = 0;
  for (size_t i = at; i < at + count; ++i) {
    if (i >= s.size() || s[i] < '0' || s[i] > '9') {
      ok = false;
      return 0;
    }
    v = v * 10 + (s[i] - '0');
  }
  return v;
}

// A step of the ladder: whole seconds (aligned to `offset`), or calendar
// months or years.
struct TStep {
  double Seconds;
  int Months, Years;
  double Offset = 0;
  double Nominal() const { return Months ? Months * kMonth : Years ? Years * kYear : Seconds; }
};

const std::vector<TStep> &FixedSteps() {
  static const std::vector<TStep> steps = [] {
    std::vector<TStep> v;
    for (double s : {0.1,   0.2,   0.5,   1.0,    2.0,    5.0,    10.0,    15.0,    30.0,    60.0, 120.0,
                     300.0, 600.0, 900.0, 1800.0, 3600.0, 7200.0, 10800.0, 21600.0, 43200.0, kDay, 2 * kDay})
      v.push_back({s, 0, 0});
    v.push_back({7 * kDay, 0, 0, 2 * kDay});  // weeks from Mondays (3 January 2000 was one)
    for (int m : {1, 2, 3, 6}) v.push_back({0, m, 0});
    return v;
  }();
  return steps;
}

TTimeLabelStyle StyleFor(const TStep &step, double from, double to) {
  if (step.Years) return tlsYears;
  if (step.Months) return tlsMonths;
  if (step.Seconds < 1) return tlsTenths;
  if (step.Seconds < 60) return tlsSeconds;
  if (step.Seconds < kDay) return std::floor(from / kDay) == std::floor(to / kDay) ? tlsMinutes : tlsDayMinutes;
  return tlsDays;
}

double EstimatedCount(const TStep &step, double span) { return std::floor(span / step.Nominal()) + 1; }

void Generate(const TStep &step, double from, double to, std::vector<double> &out) {
  out.clear();
  if (step.Years || step.Months) {
    const long long k = step.Years ? 12LL * step.Years : step.Months;
    long long mi = MonthIndex(from);
    if (MonthStart(mi) < from) ++mi;
    mi = CeilToMultiple(mi, k);
    for (; MonthStart(mi) <= to; mi += k) out.push_back(MonthStart(mi));
    return;
  }
  // Counted from the first tick rather than summed, so that no error builds up.
  const double first = step.Offset + std::ceil((from - step.Offset) / step.Seconds - 1e-9) * step.Seconds;
  for (long long k = 0;; ++k) {
    double t = first + static_cast<double>(k) * step.Seconds;
    if (step.Seconds < 1) t = std::round(t * 10) / 10;
    if (t > to + 1e-9) break;
    out.push_back(t);
  }
}

}  // namespace

double CivilSeconds(int year, int month, int day, int hour, int minute, double second) {
  const long long days = civil::DaysFromCivil(year, month, day) - kDays1970To2000;
  return static_cast<double>(days) * kDay + hour * 3600.0 + minute * 60.0 + second;
}

TCivilTime CivilTime(double seconds) {
  // Milliseconds are as fine as any label goes; rounding first keeps
  // 12:59:59.9999 from showing as 12:59:59 of the wrong minute.
  seconds = std::round(seconds * 1000) / 1000;
  const double days = std::floor(seconds / kDay);
  double rest = seconds - days * kDay;
  TCivilTime c;
  const civil::TDate date = civil::CivilFromDays(static_cast<long long>(days) + kDays1970To2000);
  c.Year = static_cast<int>(date.Year);
  c.Month = date.Month;
  c.Day = date.Day;
  c.Hour = static_cast<int>(rest / 3600);
  rest -= c.Hour * 3600.0;
  c.Minute = static_cast<int>(rest / 60);
  c.Second = rest - c.Minute * 60.0;
  return c;
}

bool ParseRecordTime(std::string_view date, std::string_view time, double &seconds) {
  if (date.size() != 10 || date[2] != '/' || date[5] != '/' || time.size() != 8 || time[2] != ':' || time[5] != ':')
    return false;
  bool ok = true;
  const int d = ParseDigits(date, 0, 2, ok), m = ParseDigits(date, 3, 2, ok), y = ParseDigits(date, 6, 4, ok);
  const int h = ParseDigits(time, 0, 2, ok), mi = ParseDigits(time, 3, 2, ok), s = ParseDigits(time, 6, 2, ok);
  if (!ok || m < 1 || m > 12 || d < 1 || h > 23 || mi > 59 || s > 59) return false;
  // The day must exist in its month: no 31st of April, no 29 February 1900.
  if (d > civil::DaysInMonth(y, m)) return false;
  seconds = CivilSeconds(y, m, d, h, mi, s);
  return true;
}

std::string FormatTimeLabel(double seconds, TTimeLabelStyle style) {
  if (style == tlsTenths) seconds = std::round(seconds * 10) / 10;
  const TCivilTime c = CivilTime(seconds);
  const int whole = static_cast<int>(std::floor(c.Second + 1e-6));
  char buf[40];
  switch (style) {
    case tlsTenths: {
      const int tenth = static_cast<int>(std::lround((c.Second - whole) * 10)) % 10;
      std::snprintf(buf, sizeof buf, "%02d:%02d:%02d,%d", c.Hour, c.Minute, whole, tenth);
      break;
    }
    case tlsSeconds: std::snprintf(buf, sizeof buf, "%02d:%02d:%02d", c.Hour, c.Minute, whole); break;
    case tlsMinutes: std::snprintf(buf, sizeof buf, "%02d:%02d", c.Hour, c.Minute); break;
    case tlsDayMinutes: std::snprintf(buf, sizeof buf, "%02d/%02d %02d:%02d", c.Day, c.Month, c.Hour, c.Minute); break;
    case tlsDays: std::snprintf(buf, sizeof buf, "%02d/%02d/%02d", c.Day, c.Month, ((c.Year % 100) + 100) % 100); break;
    case tlsMonths:
      std::snprintf(buf, sizeof buf, "%s %02d", kMonths[c.Month - 1], ((c.Year % 100) + 100) % 100);
      break;
    case tlsYears: std::snprintf(buf, sizeof buf, "%d", c.Year); break;
    case tlsRecord:
      std::snprintf(buf, sizeof buf, "%02d/%02d %02d:%02d:%02d", c.Day, c.Month, c.Hour, c.Minute, whole);
      break;
  }
  return buf;
}

std::vector<std::string> SampleTimeLabels(TTimeLabelStyle style) {
  switch (style) {
    case tlsTenths: return {"00:00:00,0"};
    case tlsSeconds: return {"00:00:00"};
    case tlsMinutes: return {"00:00"};
    case tlsDayMinutes: return {"00/00 00:00"};
    case tlsDays: return {"00/00/00"};
    case tlsMonths: {
      std::vector<std::string> v;
      for (const char *m : kMonths) v.push_back(std::string(m) + " 00");
      return v;
    }
    case tlsYears: return {"0000"};
    case tlsRecord: break;
  }
  return {"00/00 00:00:00"};
}

std::string FormatDateTime(double seconds) {
  const TCivilTime c = CivilTime(seconds);
  char buf[40];
  std::snprintf(buf, sizeof buf, "%02d/%02d/%04d %02d:%02d:%02d", c.Day, c.Month, c.Year, c.Hour, c.Minute,
                static_cast<int>(std::floor(c.Second + 1e-6)));
  return buf;
}

TTimeTicks CalcTimeTicks(double from, double to, int axisSize, int separation,
                         const std::function<int(TTimeLabelStyle)> &labelWidth) {
  TTimeTicks ticks;
  if (!std::isfinite(from) || !std::isfinite(to)) return ticks;
  if (to < from) std::swap(from, to);
  const double span = to - from;
  auto fits = [&](const TStep &step) {
    const TTimeLabelStyle style = StyleFor(step, from, to);
    const int width = std::max(1, labelWidth(style));
    const int per = width + std::max(0, static_cast<int>(std::lround(width * separation / 100.0)));
    return EstimatedCount(step, span) * per <= axisSize;
  };
  TStep chosen{0, 0, 1};
  bool found = false;
  for (const TStep &step : FixedSteps())
    if (fits(step)) {
      chosen = step, found = true;
      break;
    }
  // Years: 1, 2, 5, 10, 20, 50 ... as long as any could fit.
  for (long long years = 1; !found && years <= 100000000LL;
       years = static_cast<long long>(NextLabelStep(double(years)))) {
    chosen = TStep{0, 0, static_cast<int>(years)};
    found = fits(chosen);
  }
  ticks.Style = StyleFor(chosen, from, to);
  ticks.StepSeconds = chosen.Nominal();
  Generate(chosen, from, to, ticks.Times);
  ticks.Labels.reserve(ticks.Times.size());
  for (double t : ticks.Times) ticks.Labels.push_back(FormatTimeLabel(t, ticks.Style));
  return ticks;
}

TRecordTimes::TRecordTimes(std::vector<double> times) : times_(std::move(times)) {
  for (size_t i = 1; i < times_.size() && monotonic_; ++i) monotonic_ = times_[i] > times_[i - 1];
}

double TRecordTimes::TimeAt(double x) const {
  if (times_.empty()) return 0;
  if (times_.size() == 1) return times_[0];
  const double last = static_cast<double>(times_.size() - 2);
  const size_t i = static_cast<size_t>(std::clamp(std::floor(x), 0.0, last));
  return times_[i] + (x - static_cast<double>(i)) * (times_[i + 1] - times_[i]);
}

double TRecordTimes::IndexAt(double seconds) const {
  if (times_.size() < 2) return 0;
  size_t j = static_cast<size_t>(std::upper_bound(times_.begin(), times_.end(), seconds) - times_.begin());
  j = std::clamp<size_t>(j == 0 ? 0 : j - 1, 0, times_.size() - 2);
  return static_cast<double>(j) + (seconds - times_[j]) / (times_[j + 1] - times_[j]);
}

TAxisTicks RecordTimeTicks(const TRecordTimes &times, double minimum, double maximum, int axisSize, int separation,
                           const std::function<int(const std::string &)> &labelWidth) {
  TAxisTicks ticks;
  if (times.Count() == 0 || !std::isfinite(minimum) || !std::isfinite(maximum)) return ticks;
  if (maximum < minimum) std::swap(minimum, maximum);
  auto widest = [&](TTimeLabelStyle style) {
    int w = 0;
    for (const std::string &s : SampleTimeLabels(style)) w = std::max(w, labelWidth(s));
    return w;
  };
  if (times.Monotonic() && times.Count() >= 2) {
    // Measured once per style: a tick run asks for the same few widths.
    int cache[tlsRecord + 1];
    std::fill(std::begin(cache), std::end(cache), -1);
    const TTimeTicks t =
        CalcTimeTicks(times.TimeAt(minimum), times.TimeAt(maximum), axisSize, separation,
                      [&](TTimeLabelStyle s) { return cache[s] < 0 ? (cache[s] = widest(s)) : cache[s]; });
    const double pace = (times.Time(times.Count() - 1) - times.Time(0)) / (times.Count() - 1);
    ticks.Step = pace > 0 ? t.StepSeconds / pace : 1;
    for (size_t i = 0; i < t.Times.size(); ++i) {
      ticks.Values.push_back(times.IndexAt(t.Times[i]));
      ticks.Texts.push_back(t.Labels[i]);
    }
  } else {
    // Times that go back or repeat name no round time: label whole records
    // with their own times.
    ticks = CalcAxisTicks(minimum, maximum, axisSize, widest(tlsRecord), separation, 1);
    std::vector<double> kept;
    for (double v : ticks.Values) {
      const double r = std::round(v);
      if (r < 0 || r >= times.Count()) continue;
      kept.push_back(r);
      ticks.Texts.push_back(FormatTimeLabel(times.Time(static_cast<int>(r)), tlsRecord));
    }
    ticks.Values = kept;
  }
  // Records unevenly apart bunch round times together: a label that would
  // touch the one before it is left out.
  const double range = maximum - minimum;
  if (range > 0) {
    std::vector<double> values;
    std::vector<std::string> texts;
    double lastRight = -1e300;
    for (size_t i = 0; i < ticks.Values.size(); ++i) {
      const double center = (ticks.Values[i] - minimum) * axisSize / range;
      const double half = labelWidth(ticks.Texts[i]) / 2.0;
      if (center - half < lastRight + 2) continue;
      lastRight = center + half;
      values.push_back(ticks.Values[i]);
      texts.push_back(ticks.Texts[i]);
    }
    ticks.Values.swap(values);
    ticks.Texts.swap(texts);
  }
  return ticks;
}
