// The alarm rules and the mean kinetic temperature against a computation of
// their own: a short Python script, written from the rules as the header
// states them, reads the same hand-made series and the figures the scan
// found, and says where they differ.

#include "alarms/alarm_rules.h"

#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <optional>
#include <string>
#include <vector>

namespace {

const char *const kReference = R"PY(
import math, sys

def read_series(path):
    limits, rows = None, []
    for line in open(path):
        f = line.split()
        if not f:
            continue
        if f[0] == 'limits':
            n = lambda s: None if s == '-' else int(s)
            limits = dict(low=n(f[1]), high=n(f[2]), delay=int(f[3]) * 60, hyst=int(f[4]), ea=float(f[5]))
        else:
            rows.append((int(f[0]), None if f[1] == '-' else int(f[1])))
    return limits, rows

def find_events(L, rows):
    events, cur = [], None
    def beyond(v):
        if L['high'] is not None and v > L['high']: return 'alta'
        if L['low'] is not None and v < L['low']: return 'baja'
        return None
    for t, v in rows:
        if v is None:
            continue
        if cur is not None:
            back = v <= L['high'] - L['hyst'] if cur['kind'] == 'alta' else v >= L['low'] + L['hyst']
            if not back:
                if (v > cur['extreme']) if cur['kind'] == 'alta' else (v < cur['extreme']):
                    cur['extreme'], cur['at'] = v, t
                continue
            if t - cur['start'] >= L['delay']:
                events.append((cur['kind'], cur['start'], str(t), t - cur['start'], cur['extreme'], cur['at']))
            cur = None
        kind = beyond(v)
        if kind:
            cur = dict(kind=kind, start=t, extreme=v, at=t)
    if cur is not None:
        step = rows[-1][0] - rows[-2][0] if len(rows) > 1 else 0
        seconds = rows[-1][0] + step - cur['start']
        if seconds >= L['delay']:
            events.append((cur['kind'], cur['start'], '-', seconds, cur['extreme'], cur['at']))
    return events

def mkt(L, rows):
    ea_r = L['ea'] * 1000.0 / 8.314
    num = den = 0.0
    for i, (t, v) in enumerate(rows):
        w = rows[i + 1][0] - t if i + 1 < len(rows) else (t - rows[i - 1][0] if i > 0 else 0)
        if v is not None:
            num += w * math.exp(-ea_r / (v / 10.0 + 273.15))
            den += w
    if den == 0:
        return None
    return ea_r / -math.log(num / den) - 273.15

limits, rows = read_series(sys.argv[1])
events = find_events(limits, rows)
want = ['event %s %d %s %d %d %d' % e for e in events]
above = sum(e[3] for e in events if e[0] == 'alta')
below = sum(e[3] for e in events if e[0] == 'baja')
highs = sum(1 for e in events if e[0] == 'alta')
m = mkt(limits, rows)
got = [l.strip() for l in open(sys.argv[2]) if l.strip()]
figures = got.pop().split()
if got != want:
    sys.exit('events: expected %s, got %s' % (want, got))
if [int(x) for x in figures[1:5]] != [highs, len(events) - highs, above, below]:
    sys.exit('figures: expected %s, got %s' % ([highs, len(events) - highs, above, below], figures[1:5]))
if (m is None) != (figures[5] == '-') or (m is not None and abs(m - float(figures[5])) > 1e-6):
    sys.exit('mkt: expected %s, got %s' % (m, figures[5]))
)PY";

struct TReading {
  std::int64_t T;
  std::optional<std::int32_t> V;
};

struct TSeriesCase {
  const char *Name;
  std::optional<std::int32_t> Low, High;
  int DelayMinutes;
  std::int32_t Hysteresis;
  std::vector<TReading> Readings;
  int Events;  // as this case was drawn up, so a reference that agreed on nothing still fails
  double ActivationEnergy = kDefaultActivationEnergy;
};

// One reading a minute from `start`, the values in turn.
std::vector<TReading> Minutes(std::int64_t start, const std::vector<std::int32_t> &values) {
  std::vector<TReading> out;
  for (size_t i = 0; i < values.size(); ++i) out.push_back({start + static_cast<std::int64_t>(i) * 60, values[i]});
  return out;
}

const std::vector<TSeriesCase> &Cases() {
  static const std::vector<TSeriesCase> cases = {
      // 9 minutes above against a 10-minute delay: nothing; 10 minutes: one.
      {"SpikeShorterThanTheDelay", {}, 80, 10, 5, Minutes(0, {70, 85, 86, 90, 88, 85, 85, 85, 85, 85, 70, 70}), 0},
      {"SpikeExactlyAsLongAsTheDelay", {}, 80, 10, 5, Minutes(0, {70, 85, 86, 90, 88, 85, 85, 85, 85, 85, 85, 70}), 1},
      // On the limit is inside; a tenth past it is not.
      {"ValueOnTheLimit", 20, 80, 0, 5, Minutes(0, {80, 80, 20, 20, 80, 50}), 0},
      {"ATenthBeyondTheLimit", 20, 80, 0, 5, Minutes(0, {80, 81, 50, 19, 50}), 2},
      // Wavering about the limit without going back by the hysteresis: one
      // event, its extreme the first time the highest value came.
      {"OscillationInsideTheHysteresis", {}, 80, 0, 5, Minutes(0, {70, 81, 79, 83, 76, 83, 79, 81, 75, 81, 70}), 2},
      // Still above where the data stops: it lasts one more interval.
      {"OpenAtTheEnd", {}, 80, 5, 5, {{0, 70}, {60, 85}, {180, 85}, {300, 90}, {420, 91}}, 1},
      {"OpenAtTheEndShorterThanTheDelay", {}, 80, 5, 5, {{0, 70}, {60, 85}, {120, 85}, {180, 86}}, 0},
      // Irregular intervals, a missing reading that neither ends nor starts
      // anything, and a fall from above the high limit straight below the
      // low one.
      {"IrregularIntervals",
       30,
       80,
       2,
       10,
       {{0, 50},
        {7, 85},
        {130, std::nullopt},
        {131, 60},
        {500, 90},
        {620, 75},
        {1000, 20},
        {1003, 25},
        {1200, 45},
        {4000, 10},
        {4001, 50}},
       3},
      // The MKT weighs each reading by its own interval: long warm stretches
      // count for more than short cold ones, and a different energy moves it.
      {"MktIrregularWeights",
       {},
       {},
       0,
       5,
       {{0, -180}, {10, 250}, {3610, 40}, {3620, 400}, {90000, 55}, {90001, std::nullopt}, {90600, 80}},
       0},
      {"MktAnotherEnergy", {}, {}, 0, 5, {{0, 20}, {600, 300}, {660, 80}, {7200, 20}}, 0, 120.0},
  };
  return cases;
}

class AlarmRulesAgainstReference : public ::testing::TestWithParam<TSeriesCase> {};

TEST_P(AlarmRulesAgainstReference, EventsAndMktAsAnIndependentComputationFindsThem) {
  const TSeriesCase &c = GetParam();
  TAlarmLimitSet limits;
  // On a channel other than the first, with the others left without limits.
  constexpr int kChannel = 5;
  limits[kChannel] = TAlarmLimits{c.Low, c.High, c.DelayMinutes, c.Hysteresis};
  ASSERT_EQ(AlarmLimitsProblem(limits[kChannel]), "");
  TSeriesAlarmScan scan(limits, c.ActivationEnergy);
  for (const TReading &r : c.Readings) {
    TAlarmValues values;
    values[kChannel] = r.V;
    values[0] = 900;  // far beyond any limit, but no limits there
    scan.Add(r.T, values);
  }
  const TSeriesAlarms found = scan.Finish();
  EXPECT_EQ(static_cast<int>(found.Events.size()), c.Events);

  QTemporaryDir dir;
  const std::string series = dir.filePath("serie.txt").toStdString(),
                    result = dir.filePath("hallado.txt").toStdString();
  auto n = [](const std::optional<std::int32_t> &v) { return v ? std::to_string(*v) : std::string("-"); };
  {
    std::ofstream out(series);
    out << "limits " << n(c.Low) << ' ' << n(c.High) << ' ' << c.DelayMinutes << ' ' << c.Hysteresis << ' '
        << c.ActivationEnergy << '\n';
    for (const TReading &r : c.Readings) out << r.T << ' ' << n(r.V) << '\n';
  }
  {
    std::ofstream out(result);
    for (const TAlarmEvent &e : found.Events) {
      EXPECT_EQ(e.Channel, kChannel);
      out << "event " << AlarmKindWord(e.Kind) << ' ' << e.Start << ' ' << (e.End ? std::to_string(*e.End) : "-") << ' '
          << e.Seconds << ' ' << e.Extreme << ' ' << e.ExtremeAt << '\n';
    }
    const TChannelAlarmFigures &f = found.Channels[kChannel];
    char mkt[64] = "-";
    if (f.Mkt) std::snprintf(mkt, sizeof mkt, "%.9f", *f.Mkt);
    out << "figures " << f.HighEvents << ' ' << f.LowEvents << ' ' << f.SecondsAbove << ' ' << f.SecondsBelow << ' '
        << mkt << '\n';
  }
  EXPECT_EQ(Python(kReference, series, result), "");
}

INSTANTIATE_TEST_SUITE_P(Series, AlarmRulesAgainstReference, ::testing::ValuesIn(Cases()),
                         [](const ::testing::TestParamInfo<TSeriesCase> &info) { return info.param.Name; });

// Live, a reading at a time: the change comes with the reading that makes
// it, and Active() tells the alarm with its extreme so far.
TEST(AlarmEvaluator, TellsAnAlarmAsItStartsAndEndsAndWhileItRuns) {
  TAlarmLimitSet limits;
  limits[2] = TAlarmLimits{std::nullopt, 80, 2, 5};
  TAlarmEvaluator evaluator(limits);
  auto feed = [&](std::int64_t t, std::int32_t v) {
    TAlarmValues values;
    values[2] = v;
    return evaluator.Feed(t, values);
  };
  EXPECT_TRUE(feed(0, 85).empty());
  EXPECT_TRUE(feed(60, 92).empty());
  EXPECT_FALSE(evaluator.Active(2));
  const auto started = feed(120, 88);
  ASSERT_EQ(started.size(), 1u);
  EXPECT_TRUE(started[0].Started);
  ASSERT_TRUE(evaluator.Active(2));
  EXPECT_EQ(evaluator.Active(2)->Extreme, 92);
  EXPECT_EQ(evaluator.Active(2)->ExtremeAt, 60);
  EXPECT_TRUE(feed(90, 20).empty());  // earlier than the last reading: ignored
  const auto ended = feed(180, 75);
  ASSERT_EQ(ended.size(), 1u);
  EXPECT_FALSE(ended[0].Started);
  EXPECT_EQ(ended[0].Event.End, std::optional<std::int64_t>(180));
  EXPECT_EQ(ended[0].Event.Seconds, 180);
  EXPECT_FALSE(evaluator.Active(2));
}

}  // namespace
