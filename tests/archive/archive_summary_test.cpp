#include "archive_fixture.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_summary.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <limits>
#include <map>
#include <random>
#include <tuple>

namespace {

const std::int64_t kEpoch = StampSeconds(TStamp{1970, 1, 1, 0, 0, 0});
std::int64_t Epoch(const TStamp &s) { return StampSeconds(s) - kEpoch; }
TStamp Stamp(std::int64_t epochSeconds) { return StampFromSeconds(epochSeconds + kEpoch); }

const std::int64_t kStart = Epoch(TStamp{2026, 3, 1, 0, 0, 0});

struct TSpike {
  std::int64_t T;
  int Channel;
  std::int32_t Value;
};

// Readings every `step` seconds for `days`, some minutes and a few hours
// missing, a few channels going silent now and then, and one-sample spikes
// well clear of the rest.
std::vector<TArchiveRecord> Readings(std::mt19937 &random, int days, int step, std::vector<TSpike> &spikes) {
  std::vector<TArchiveRecord> out;
  std::uniform_int_distribution<int> noise(-3, 3), odds(0, 999);
  std::array<std::int32_t, 16> level;
  for (int k = 0; k < 16; ++k) level[static_cast<size_t>(k)] = 40 * k - 200;
  for (std::int64_t t = kStart; t < kStart + days * 86400LL; t += step) {
    if (odds(random) < 3) t += 3600 * (1 + odds(random) % 5);  // the logger was away
    TArchiveRecord r;
    r.Instant = Stamp(t);
    for (int k = 0; k < 16; ++k) {
      std::int32_t &v = level[static_cast<size_t>(k)];
      v += noise(random);
      if (odds(random) < 20) continue;  // a missing reading
      r.Values[static_cast<size_t>(k)] = v;
    }
    if (odds(random) < 4) {
      const int k = odds(random) % 16;
      const std::int32_t v = level[static_cast<size_t>(k)] + (odds(random) % 2 ? 900 : -900);
      r.Values[static_cast<size_t>(k)] = v;
      spikes.push_back({t, k, v});
    }
    out.push_back(r);
  }
  return out;
}

std::vector<TOutlineRecord> OutlineRecords(const std::vector<TArchiveRecord> &records) {
  std::vector<TOutlineRecord> out;
  out.reserve(records.size());
  for (const TArchiveRecord &r : records) out.push_back({Epoch(r.Instant), r.Values});
  return out;
}

void ExpectSameOutline(const TArchiveOutline &got, const TArchiveOutline &want) {
  EXPECT_EQ(got.Records, want.Records);
  for (size_t k = 0; k < 16; ++k) {
    SCOPED_TRACE("CH" + std::to_string(k + 1));
    ASSERT_EQ(got.Channels[k].size(), want.Channels[k].size());
    for (size_t i = 0; i < want.Channels[k].size(); ++i) {
      if (got.Channels[k][i].Seconds != want.Channels[k][i].Seconds ||
          got.Channels[k][i].Value != want.Channels[k][i].Value) {
        FAIL() << "point " << i << ": " << got.Channels[k][i].Seconds << " " << got.Channels[k][i].Value << ", want "
               << want.Channels[k][i].Seconds << " " << want.Channels[k][i].Value;
      }
    }
  }
}

// Every stored summary against one made again from the records held; the
// archive holds the one logger `logger`.
void ExpectSummariesOfRecords(TArchive &archive, const std::string &address, const std::string &logger) {
  const auto span = archive.Span(logger);
  ASSERT_TRUE(span);
  const std::vector<TArchiveRecord> held = archive.Records(logger, span->first, span->second);
  std::map<std::pair<std::int64_t, std::int64_t>, TBucketSummary> want;
  for (const TArchiveRecord &r : held) {
    for (const std::int64_t step : kSummarySteps)
      want[{step, BucketStart(Epoch(r.Instant), step)}].Add(Epoch(r.Instant), r.Values);
  }
  std::map<std::pair<std::int64_t, std::int64_t>, TBucketSummary> got;
  {
    const TRawConnection db(address);
    QSqlQuery q = db.Query("SELECT paso, inicio, datos FROM resumenes");
    while (q.next()) {
      const QByteArray bytes = q.value(2).toByteArray();
      const std::int64_t start = q.value(1).toLongLong();
      const std::optional<TBucketSummary> s =
          DecodeSummary(bytes.constData(), static_cast<size_t>(bytes.size()), start);
      ASSERT_TRUE(s) << "a summary that does not read back";
      got[{q.value(0).toLongLong(), start}] = *s;
    }
  }
  ASSERT_EQ(got.size(), want.size());
  for (const auto &[key, summary] : want) {
    SCOPED_TRACE("step " + std::to_string(key.first) + " at " + IsoText(Stamp(key.second)));
    ASSERT_TRUE(got.count(key));
    EXPECT_TRUE(got[key] == summary);
  }
}

class ArchiveSummaryTest : public ArchiveTest {};
INSTANTIATE_TEST_SUITE_P(Engines, ArchiveSummaryTest,
                         ::testing::Values(TArchiveEngine::SQLite, TArchiveEngine::PostgreSQL),
                         ::testing::PrintToStringParamName());

// The archive's outline against the reading of every raw row, over data
// stored as downloads come (out of order, overlapping, with other values at
// some instants), for many widths and ranges that cut buckets anywhere.
TEST_P(ArchiveSummaryTest, TheOutlineIsTheOneOfEveryRawRow) {
  std::mt19937 random(20260301);
  std::vector<TSpike> spikes;
  const std::vector<TArchiveRecord> readings = Readings(random, 12, 60, spikes);
  // Downloads of a few thousand records, the later ones first, each
  // overlapping the one before; then some instants again with other values.
  std::vector<std::vector<TArchiveRecord>> downloads;
  for (size_t i = 0; i < readings.size(); i += 3000) {
    downloads.emplace_back(readings.begin() + static_cast<std::ptrdiff_t>(i > 100 ? i - 100 : 0),
                           readings.begin() + static_cast<std::ptrdiff_t>(std::min(readings.size(), i + 3000)));
  }
  std::reverse(downloads.begin(), downloads.end());
  std::vector<TArchiveRecord> again;
  for (size_t i = 0; i < readings.size(); i += 997) {
    TArchiveRecord r = readings[i];
    for (auto &v : r.Values) {
      if (v) *v -= 700;
    }
    r.Values[3].reset();
    again.push_back(r);
    spikes.push_back({Epoch(r.Instant), 0, *r.Values[0]});
  }
  // Values at the ends of what a record may hold.
  again[1].Values[5] = std::numeric_limits<std::int32_t>::max();
  again[2].Values[5] = std::numeric_limits<std::int32_t>::min();
  downloads.push_back(again);

  TArchive archive(Address);
  for (const auto &d : downloads) archive.StoreRecords("cámara", "", Download, d);
  ExpectSummariesOfRecords(archive, Address, "cámara");

  const std::int64_t first = Epoch(readings.front().Instant), last = Epoch(readings.back().Instant);
  const std::vector<TOutlineRecord> held = OutlineRecords(archive.Records("cámara", Stamp(first), Stamp(last)));
  ASSERT_EQ(held.size(), readings.size() + again.size());

  struct TRange {
    std::int64_t From, To;
  };
  std::vector<TRange> ranges = {{first, last}, {first - 86400, last + 86400}, {kStart, kStart + 86400 - 1}};
  std::uniform_int_distribution<std::int64_t> anywhere(first - 3600, last);
  for (int i = 0; i < 6; ++i) {
    const std::int64_t a = anywhere(random), b = anywhere(random);
    ranges.push_back({std::min(a, b), std::max(a, b)});
  }
  for (const int columns : {1, 2, 3, 7, 64, 333, 1000, 1999, 40000}) {
    for (const TRange &r : ranges) {
      SCOPED_TRACE(std::to_string(columns) + " columns, " + IsoText(Stamp(r.From)) + " to " + IsoText(Stamp(r.To)));
      const TArchiveOutline got = archive.Outline("cámara", Stamp(r.From), Stamp(r.To), columns);
      ExpectSameOutline(got, OutlineOfRecords(held, r.From, r.To, columns));
      // Columns narrow enough to hold at most one spike each show them all.
      if (r.From > first || r.To < last || columns < 1000) continue;
      for (const TSpike &s : spikes) {
        const auto &line = got.Channels[static_cast<size_t>(s.Channel)];
        EXPECT_TRUE(std::any_of(line.begin(), line.end(), [&](const TOutlinePoint &p) { return p.Value == s.Value; }))
            << "the spike at " << IsoText(Stamp(s.T)) << " on CH" << s.Channel + 1 << " is lost";
      }
    }
  }
  EXPECT_EQ(archive.Outline("cámara", Stamp(last), Stamp(first), 100).Records, 0);
}

TEST_P(ArchiveSummaryTest, AnArchiveOfTheFirstSchemaGetsItsSummaries) {
  std::mt19937 random(7);
  std::vector<TSpike> spikes;
  const std::vector<TArchiveRecord> readings = Readings(random, 40, 600, spikes);  // read back a month at a time
  {
    TArchive archive(Address);
    archive.StoreRecords("cámara", "/dev/ttyS0", Download, readings);
    archive.StoreRecords("cámara", "/dev/ttyS0", Download, {readings[5], readings[9]});
    TArchiveRecord beside = readings[7];
    beside.Values[0] = 1234;
    archive.StoreRecords("cámara", "/dev/ttyS0", Download, {beside});
    archive.SeeLogger("vacío", "/dev/ttyS1");
  }
  // The first schema is the second without its summaries.
  Raw(Address, {"DROP TABLE resumenes", "UPDATE esquema SET version = 1"});
  TArchive archive(Address);
  EXPECT_EQ(archive.SchemaVersion(), kArchiveSchemaVersion);
  EXPECT_FALSE(archive.ReadOnly());
  const std::int64_t first = Epoch(readings.front().Instant), last = Epoch(readings.back().Instant);
  const std::vector<TArchiveRecord> held = archive.Records("cámara", Stamp(first), Stamp(last));
  ASSERT_EQ(held.size(), readings.size() + 1);
  ExpectSummariesOfRecords(archive, Address, "cámara");
  ExpectSameOutline(archive.Outline("cámara", Stamp(first), Stamp(last), 50),
                    OutlineOfRecords(OutlineRecords(held), first, last, 50));
  EXPECT_EQ(Raw(Address, {"SELECT version FROM esquema"}).toInt(), kArchiveSchemaVersion);
  const std::vector<TArchivedLogger> loggers = archive.Loggers();
  ASSERT_EQ(loggers.size(), 2u);
  EXPECT_EQ(loggers[0].Records, static_cast<std::int64_t>(held.size()));
  EXPECT_EQ(loggers[1].Records, 0);
}

// A download refused half way, whether at its records or at its summaries,
// leaves the summaries as they were; once the fault is gone it goes in whole.
TEST_P(ArchiveSummaryTest, AFailedDownloadLeavesTheSummariesAsTheyWere) {
  std::mt19937 random(11);
  std::vector<TSpike> spikes;
  const std::vector<TArchiveRecord> readings = Readings(random, 4, 120, spikes);
  const size_t half = readings.size() / 2;
  const std::vector<TArchiveRecord> before(readings.begin(), readings.begin() + static_cast<std::ptrdiff_t>(half));
  const std::vector<TArchiveRecord> after(readings.begin() + static_cast<std::ptrdiff_t>(half - 50), readings.end());
  const struct {
    const char *Name, *Table;
    QString When;
  } faults[] = {
      {"the records", "registros", QString("instante = %1").arg(Epoch(readings[half + 100].Instant))},
      {"the daily summaries", "resumenes", "paso = 86400"},
  };
  for (const auto &f : faults) {
    SCOPED_TRACE(f.Name);
    TArchive archive(Address);
    Raw(Address,
        {"DELETE FROM resumenes", "DELETE FROM registros", "DELETE FROM origenes", "DELETE FROM registradores"});
    archive.StoreRecords("cámara", "", Download, before);
    const QString condition = f.When;
    if (OnSQLite()) {
      Raw(Address, {QString("CREATE TRIGGER falla BEFORE INSERT ON %1 WHEN NEW.%2 BEGIN SELECT RAISE(ABORT, 'disco "
                            "lleno'); END")
                        .arg(f.Table, condition)});
    } else {
      Raw(Address,
          {"CREATE OR REPLACE FUNCTION falla() RETURNS trigger AS $$ BEGIN RAISE EXCEPTION 'disco lleno'; END "
           "$$ LANGUAGE plpgsql",
           QString("CREATE TRIGGER falla BEFORE INSERT ON %1 FOR EACH ROW WHEN (NEW.%2) EXECUTE FUNCTION falla()")
               .arg(f.Table, condition)});
    }
    auto stored = [this] {
      std::map<std::tuple<qint64, qint64>, QByteArray> out;
      const TRawConnection db(Address);
      QSqlQuery q = db.Query("SELECT paso, inicio, datos FROM resumenes");
      while (q.next()) out[{q.value(0).toLongLong(), q.value(1).toLongLong()}] = q.value(2).toByteArray();
      return out;
    };
    const auto summaries = stored();
    ASSERT_FALSE(summaries.empty());
    EXPECT_THROW(archive.StoreRecords("cámara", "", Download, after), EArchiveError);
    EXPECT_TRUE(stored() == summaries);
    Raw(Address, {OnSQLite() ? "DROP TRIGGER falla" : QString("DROP TRIGGER falla ON %1").arg(f.Table)});
    EXPECT_EQ(archive.StoreRecords("cámara", "", Download, after).Added, static_cast<int>(readings.size() - half));
    ExpectSummariesOfRecords(archive, Address, "cámara");
  }
}

// What a summary keeps: ties go to the reading that comes first, a version
// beside comes after the one held at its instant, and it reads back as
// written.
TEST(ArchiveSummary, TiesGoToTheFirstReadingAndItReadsBack) {
  struct TCase {
    const char *Name;
    std::vector<std::pair<std::int64_t, std::int32_t>> Readings;  // in the order they came
    TSummaryPoint First, Low, High, Last;
  };
  const std::vector<TCase> cases = {
      {"in order", {{10, 5}, {20, 1}, {30, 9}, {40, 1}, {50, 9}}, {10, 5}, {20, 1}, {30, 9}, {50, 9}},
      {"earlier instants later", {{50, 9}, {40, 1}, {30, 9}, {20, 1}, {10, 5}}, {10, 5}, {20, 1}, {30, 9}, {50, 9}},
      {"a version beside", {{10, 3}, {10, 3}, {10, 8}, {10, -2}}, {10, 3}, {10, -2}, {10, 8}, {10, -2}},
      {"one reading", {{599, -32768}}, {599, -32768}, {599, -32768}, {599, -32768}, {599, -32768}},
  };
  for (const TCase &c : cases) {
    SCOPED_TRACE(c.Name);
    TBucketSummary s;
    for (const auto &[t, v] : c.Readings) {
      TArchiveValues values;
      values[2] = v;
      s.Add(t, values);
    }
    const TChannelSummary &ch = s.Channels[2];
    EXPECT_EQ(ch.Count, static_cast<std::int64_t>(c.Readings.size()));
    EXPECT_TRUE(ch.First == c.First && ch.Low == c.Low && ch.High == c.High && ch.Last == c.Last);
    const std::string bytes = EncodeSummary(s, 0);
    const std::optional<TBucketSummary> back = DecodeSummary(bytes.data(), bytes.size(), 0);
    ASSERT_TRUE(back);
    EXPECT_TRUE(*back == s);
    EXPECT_FALSE(DecodeSummary(bytes.data(), bytes.size() - 1, 0));
    EXPECT_FALSE(DecodeSummary((bytes + "x").data(), bytes.size() + 1, 0));
  }
  EXPECT_EQ(BucketStart(-1, 600), -600);
  EXPECT_EQ(BucketStart(599, 600), 0);
  EXPECT_EQ(BucketStart(600, 600), 600);
}

}  // namespace
