// Alarm events in the archive: found as records come, however they come
// (one download, live batches, a gap filled later, files in any order), the
// same as one pass over the whole history finds them; limits kept per logger
// and channel; acknowledgements that nothing can rewrite.

#include "archive_fixture.h"

#include "archive/archive.h"
#include "archive/archive_error.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>

#include <algorithm>
#include <cmath>
#include <tuple>

namespace {

const TStamp kFirst{2026, 6, 1, 0, 0, 0};
constexpr int kMinutes = 600;
constexpr std::int64_t kPcStart = 1780272000;

TStamp Minute(int m) { return StampFromSeconds(StampSeconds(kFirst) + m * 60LL); }

// CH1 wavers about 8,0 °C and ends above it (an event still open); CH4
// swings through both of its limits; the rest stay put. The first minute is
// the start of a ten-minute bucket.
TArchiveRecord Reading(int m, bool live) {
  TArchiveRecord r;
  r.Instant = Minute(m);
  for (int k = 0; k < 16; ++k) r.Values[static_cast<size_t>(k)] = 50 + k;
  const int noise = static_cast<int>((m * 7919L) % 13) - 6;
  r.Values[0] = m >= kMinutes - 12 ? 95 : static_cast<std::int32_t>(72 + 14 * std::sin(m / 15.0) + noise);
  // Warm to the end of a ten-minute bucket, then calm for two whole ones:
  // the event ends on the first reading of a bucket with nothing else to see.
  if (m >= 300 && m < 310) r.Values[0] = 95;
  if (m >= 310 && m < 330) r.Values[0] = 60;
  r.Values[3] = static_cast<std::int32_t>(40 + 30 * std::sin(m / 53.0) + noise);
  if (m % 97 == 5) r.Values[3].reset();
  r.PcTimeUtc = live ? kPcStart + m * 60LL : 0;
  return r;
}

std::vector<TArchiveRecord> Readings(int from, int to, bool live) {
  std::vector<TArchiveRecord> out;
  for (int m = from; m < to; ++m) out.push_back(Reading(m, live));
  return out;
}

TAlarmLimitSet Limits() {
  TAlarmLimitSet l;
  l[0] = TAlarmLimits{std::nullopt, 80, 5, 5};
  l[3] = TAlarmLimits{20, 60, 0, 10};
  return l;
}

TArchiveOrigin Live() {
  TArchiveOrigin o;
  o.Kind = TOriginKind::Live;
  o.PcTimeUtc = kPcStart;
  return o;
}

std::vector<TAlarmEvent> Sorted(std::vector<TAlarmEvent> events) {
  std::sort(events.begin(), events.end(), [](const TAlarmEvent &a, const TAlarmEvent &b) {
    return std::tie(a.Start, a.Channel) < std::tie(b.Start, b.Channel);
  });
  return events;
}

// What one pass over the whole series finds.
std::vector<TAlarmEvent> Expected() {
  TSeriesAlarmScan scan(Limits());
  for (const TArchiveRecord &r : Readings(0, kMinutes, false)) scan.Add(StampSeconds(r.Instant), r.Values);
  return Sorted(scan.Finish().Events);
}

std::vector<TAlarmEvent> Held(TArchive &archive) {
  std::vector<TAlarmEvent> out;
  for (const TArchivedAlarmEvent &e : archive.AlarmEvents("sala", Minute(-10000), Minute(10000)))
    out.push_back(e.Event);
  return Sorted(out);
}

void SetLimits(TArchive &archive) {
  for (int k = 0; k < 16; ++k) archive.SetAlarmLimits("sala", k, Limits()[static_cast<size_t>(k)]);
}

// Statement `sql` on a connection of the test's own; false when the
// engine refused it.
bool RawAccepted(const std::string &address, const QString &sql) {
  const TArchiveAddress a = ParseArchiveAddress(address);
  bool ok = false;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(a.Engine == TArchiveEngine::SQLite ? "QSQLITE" : "QPSQL", "intruso");
    db.setDatabaseName(QString::fromStdString(a.Engine == TArchiveEngine::SQLite ? a.Path : a.Database));
    db.setHostName(QString::fromStdString(a.Host));
    if (a.Port > 0) db.setPort(a.Port);
    db.setUserName(QString::fromStdString(a.User));
    EXPECT_TRUE(db.open());
    QSqlQuery q(db);
    ok = q.exec(sql);
    db.close();
  }
  QSqlDatabase::removeDatabase("intruso");
  return ok;
}

struct TStorePlan {
  const char *Name;
  // Each store in turn: minutes from, to, and whether live readings.
  std::vector<std::tuple<int, int, bool>> Stores;
  bool LimitsLast = false;  // the limits set after every store, not before
};

}  // namespace

TEST_P(ArchiveTest, EventsAreThoseOfTheWholeHistoryHoweverTheRecordsCame) {
  std::vector<TStorePlan> plans = {
      {"una descarga", {{0, kMinutes, false}}},
      {"límites al final", {{0, kMinutes, false}}, true},
      {"lotes en vivo", {}},  // filled below: batches of 7 minutes
      {"un hueco que llena una descarga", {{0, 200, true}, {350, kMinutes, true}, {0, kMinutes, false}}},
      {"lo más nuevo primero", {}},
      {"la misma descarga dos veces", {{0, kMinutes, false}, {0, kMinutes, false}}},
  };
  for (int m = 0; m < kMinutes; m += 7) plans[2].Stores.emplace_back(m, std::min(m + 7, kMinutes), true);
  for (int m = kMinutes; m > 0; m -= 50) plans[4].Stores.emplace_back(m - 50, m, false);
  const std::vector<TAlarmEvent> expected = Expected();
  ASSERT_GE(expected.size(), 8u);
  ASSERT_FALSE(expected.back().End) << "the series should end in an open event";

  for (size_t p = 0; p < plans.size(); ++p) {
    const TStorePlan &plan = plans[p];
    SCOPED_TRACE(plan.Name);
    const std::string logger = "sala";
    // Each plan on an archive of its own.
    if (OnSQLite()) {
      Address = Dir.filePath(QString("plan%1.sqlite").arg(p)).toStdString();
    } else {
      { TArchive made(Address); }
      Raw(Address, {"DELETE FROM alarma_eventos", "DELETE FROM alarma_limites", "DELETE FROM resumenes",
                    "DELETE FROM registros", "DELETE FROM origenes"});
    }
    TArchive archive(Address);
    if (!plan.LimitsLast) SetLimits(archive);
    int reported = 0;
    for (const auto &[from, to, live] : plan.Stores) {
      TArchiveOrigin origin = live ? Live() : Download;
      if (live) origin.PcTimeUtc = kPcStart + from * 60LL;
      reported += static_cast<int>(
          archive.StoreRecords(logger, "/dev/ttyUSB0", origin, Readings(from, to, live)).EventsStarted.size());
    }
    if (plan.LimitsLast) SetLimits(archive);
    EXPECT_EQ(Held(archive), expected);
    // A download tells each event it brought, and a second one nothing.
    if (p == 0 || p == 5) {
      EXPECT_EQ(reported, static_cast<int>(expected.size()));
    }
  }
}

TEST_P(ArchiveTest, LimitsAreKeptPerLoggerAndChannelAndRefusedWhenTheyCannotBe) {
  TArchive archive(Address);
  EXPECT_EQ(archive.AlarmLimits("nadie"), TAlarmLimitSet());
  const TAlarmLimits limits{-25, 80, 15, 3};
  archive.SetAlarmLimits("cámara", 15, limits);
  archive.SetAlarmLimits("sala", 0, TAlarmLimits{std::nullopt, 50, 0, 5});
  EXPECT_EQ(archive.AlarmLimits("cámara")[15], limits);
  EXPECT_FALSE(archive.AlarmLimits("cámara")[0].Any());
  EXPECT_EQ(archive.AlarmLimits("sala")[0].High, std::optional<std::int32_t>(50));

  const TAlarmLimits crossing{90, 80, 0, 5};
  const TAlarmLimits negativeDelay{std::nullopt, 80, -1, 5};
  const TAlarmLimits wideHysteresis{70, 80, 0, 11};
  for (const TAlarmLimits &bad : {crossing, negativeDelay, wideHysteresis}) {
    try {
      archive.SetAlarmLimits("cámara", 15, bad);
      ADD_FAILURE() << "taken: " << AlarmLimitsProblem(bad);
    } catch (const EArchiveError &e) {
      EXPECT_NE(e.Message().find(AlarmLimitsProblem(bad)), std::string::npos) << e.Message();
    }
  }
  EXPECT_THROW(archive.SetAlarmLimits("cámara", 16, limits), EArchiveError);
  EXPECT_THROW(archive.SetAlarmLimits("cámara", -1, limits), EArchiveError);
  EXPECT_EQ(archive.AlarmLimits("cámara")[15], limits);
}

// An acknowledged event outlives a change of limits, keeps its id and its
// acknowledgements, and an open one still closes when its end comes in.
TEST_P(ArchiveTest, AnAcknowledgementIsNeverRewrittenAndItsEventNeverDropped) {
  TArchive archive(Address);
  SetLimits(archive);
  archive.StoreRecords("sala", "", Download, Readings(0, kMinutes - 5, false));
  std::vector<TArchivedAlarmEvent> events = archive.AlarmEvents("sala", Minute(0), Minute(kMinutes));
  ASSERT_GE(events.size(), 3u);
  const TArchivedAlarmEvent first = events.front();
  const TArchivedAlarmEvent open = events.back();
  ASSERT_FALSE(open.Event.End);

  EXPECT_THROW(archive.AcknowledgeAlarmEvent(first.Id, "ana", "  \n"), EArchiveError);
  EXPECT_THROW(archive.AcknowledgeAlarmEvent(first.Id + 10000, "ana", "visto"), EArchiveError);
  archive.AcknowledgeAlarmEvent(first.Id, "ana", "puerta abierta en la descarga");
  archive.AcknowledgeAlarmEvent(first.Id, "luis", "revisado");
  archive.AcknowledgeAlarmEvent(open.Id, "ana", "técnico avisado");

  // Nobody rewrites the trail, not even from outside the program.
  EXPECT_FALSE(RawAccepted(Address, "UPDATE alarma_reconocimientos SET comentario = 'nada'"));
  EXPECT_FALSE(RawAccepted(Address, "DELETE FROM alarma_reconocimientos"));
  EXPECT_FALSE(RawAccepted(Address, QString("DELETE FROM alarma_eventos WHERE id = %1").arg(first.Id)));

  // The open one closes with the records that end it.
  archive.StoreRecords("sala", "", Download, Readings(kMinutes - 5, kMinutes + 3, false));
  std::vector<TArchiveRecord> after = Readings(kMinutes + 3, kMinutes + 5, false);
  for (TArchiveRecord &r : after) r.Values[0] = 60;
  archive.StoreRecords("sala", "", Download, after);
  events = archive.AlarmEvents("sala", Minute(0), Minute(kMinutes + 10));
  ASSERT_EQ(events.back().Id, open.Id);
  EXPECT_EQ(events.back().Event.End, std::optional<std::int64_t>(StampSeconds(Minute(kMinutes + 3))));
  EXPECT_EQ(events.back().Acknowledgements.size(), 1u);

  // Without limits the channel's events go, but not those acknowledged.
  archive.SetAlarmLimits("sala", 0, TAlarmLimits());
  archive.SetAlarmLimits("sala", 3, TAlarmLimits());
  events = archive.AlarmEvents("sala", Minute(0), Minute(kMinutes + 10));
  ASSERT_EQ(events.size(), 2u);
  EXPECT_EQ(events[0].Id, first.Id);
  EXPECT_EQ(events[0].Event, first.Event);
  ASSERT_EQ(events[0].Acknowledgements.size(), 2u);
  EXPECT_EQ(events[0].Acknowledgements[0].User, "ana");
  EXPECT_EQ(events[0].Acknowledgements[0].Comment, "puerta abierta en la descarga");
  EXPECT_EQ(events[0].Acknowledgements[1].User, "luis");
  EXPECT_NEAR(static_cast<double>(events[0].Acknowledgements[0].PcTimeUtc),
              static_cast<double>(QDateTime::currentSecsSinceEpoch()), 120);
  EXPECT_EQ(events[1].Id, open.Id);

  // Limits back: the acknowledged events stand for their excursions, the
  // others come back beside them, not doubled.
  SetLimits(archive);
  events = archive.AlarmEvents("sala", Minute(0), Minute(kMinutes + 10));
  EXPECT_EQ(std::count_if(events.begin(), events.end(),
                          [&](const TArchivedAlarmEvent &e) { return e.Event.Start == first.Event.Start; }),
            1);
  EXPECT_GE(events.size(), 3u);
}

// An archive of the third schema takes the alarm tables in place, keeps
// what it held, and finds the events in it once limits are set.
TEST_P(ArchiveTest, AnArchiveOfTheThirdSchemaTakesAlarms) {
  {
    TArchive archive(Address);
    archive.StoreRecords("sala", "/dev/ttyUSB0", Download, Readings(0, kMinutes, false));
  }
  QStringList drop = {"DROP VIEW v_alarmas", "DROP TABLE alarma_reconocimientos", "DROP TABLE alarma_eventos",
                      "DROP TABLE alarma_limites", "UPDATE esquema SET version = 3"};
  if (!OnSQLite())
    drop << "DROP FUNCTION talvex_reconocimiento_fijo()"
         << "DROP FUNCTION talvex_evento_reconocido_fijo()";
  Raw(Address, drop);
  TArchive archive(Address);
  EXPECT_EQ(archive.SchemaVersion(), 4);
  EXPECT_EQ(archive.Count("sala", Minute(0), Minute(kMinutes)), kMinutes);
  SetLimits(archive);
  const std::vector<TAlarmEvent> expected = Expected();
  EXPECT_EQ(Held(archive), expected);
  EXPECT_EQ(Raw(Address, {"SELECT COUNT(*) FROM v_alarmas WHERE registrador = 'sala' AND canal = 1"}).toInt(),
            std::count_if(expected.begin(), expected.end(), [](const TAlarmEvent &e) { return e.Channel == 0; }));
  EXPECT_EQ(Raw(Address, {"SELECT COUNT(*) FROM v_registros"}).toInt(),
            kMinutes * 16 - 7);  // CH4 missing every 97 minutes
}
