#include "archive_fixture.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "archive/archive_queue.h"

#include <gtest/gtest.h>

namespace {

TArchiveRecord Reading(int second, std::int64_t pcTime, int base = 215) {
  TArchiveRecord r;
  r.Instant = StampFromSeconds(StampSeconds(TStamp{2026, 12, 8, 10, 0, 0}) + second);
  for (int k = 0; k < 16; ++k) r.Values[static_cast<size_t>(k)] = base + k;
  r.PcTimeUtc = pcTime;
  return r;
}

TArchiveOrigin Live() {
  TArchiveOrigin o;
  o.Kind = TOriginKind::Live;
  o.PcTimeUtc = 1796724000;
  return o;
}

}  // namespace

// Live readings keep the PC's time beside the logger's; memory records keep
// none; the view outside tools read stays as it was; a reading stored again
// (a job retried) is the same record whatever PC time it carries.
TEST_P(ArchiveTest, LiveReadingsKeepThePcTimeAndStayOneRecordWhenStoredAgain) {
  TArchive archive(Address);
  TArchiveRecord memory = Reading(0, 0, 200);
  archive.StoreRecords("sala", "/dev/ttyUSB0", Download, {memory});
  const std::vector<TArchiveRecord> live = {Reading(10, 1796724010), Reading(20, 1796724020)};
  EXPECT_EQ(archive.StoreRecords("sala", "/dev/ttyUSB0", Live(), live).Added, 2);
  std::vector<TArchiveRecord> again = live;
  again[0].PcTimeUtc += 3;
  // A job retried, and the same logger second read again by a recorder
  // restarted within it (other values, later PC time): nothing added.
  again[1].Values[0] = 999;
  again[1].PcTimeUtc += 1;
  const TStoreResult retried = archive.StoreRecords("sala", "/dev/ttyUSB0", Live(), again);
  EXPECT_EQ(retried.Added, 0);
  EXPECT_EQ(retried.AlreadyHeld, 2);
  // The logger's own record of a live instant, with other values, is kept
  // beside it.
  EXPECT_EQ(archive.StoreRecords("sala", "/dev/ttyUSB0", Download, {Reading(20, 0, 300)}).Beside, 1);
  archive.StoreRecords("sala", "/dev/ttyUSB0", Download, {Reading(20, 0, 300)});

  const std::vector<TArchiveRecord> held = archive.Records("sala", Reading(0, 0).Instant, Reading(20, 0).Instant);
  ASSERT_EQ(held.size(), 4u);
  EXPECT_EQ(held[0].PcTimeUtc, 0);
  EXPECT_EQ(held[1].PcTimeUtc, 1796724010);
  EXPECT_EQ(held[2].PcTimeUtc, 1796724020);
  EXPECT_EQ(held[2].Values[0], 215);
  EXPECT_EQ(held[3].PcTimeUtc, 0);
  EXPECT_EQ(Raw(Address, {"SELECT COUNT(*) FROM v_registros WHERE origen = 'en_vivo'"}).toInt(), 32);

  // The batches of one day share their origin; the next day has its own.
  TArchiveOrigin later = Live();
  later.PcTimeUtc += 600;
  const TStoreResult sameDay = archive.StoreRecords("sala", "/dev/ttyUSB0", later, {Reading(30, 1796724630)});
  later.PcTimeUtc += 86400;
  const TStoreResult nextDay = archive.StoreRecords("sala", "/dev/ttyUSB0", later, {Reading(40, 1796811040)});
  EXPECT_EQ(sameDay.Origin, held[1].Origin);
  EXPECT_NE(nextDay.Origin, held[1].Origin);
  EXPECT_NE(held[0].Origin, held[1].Origin);
  EXPECT_EQ(Raw(Address, {"SELECT COUNT(*) FROM v_registros WHERE origen = 'memoria'"}).toInt(), 32);
}

// An archive of the second schema gets the column, keeps its records and
// summaries, and takes live readings at once.
TEST_P(ArchiveTest, AnArchiveOfTheSecondSchemaTakesThePcTime) {
  {
    TArchive archive(Address);
    archive.StoreRecords("sala", "/dev/ttyUSB0", Download, {Reading(0, 0), Reading(60, 0, 300)});
  }
  Raw(Address, {"ALTER TABLE registros DROP COLUMN hora_pc", "UPDATE esquema SET version = 2"});
  TArchive archive(Address);
  EXPECT_EQ(archive.SchemaVersion(), kArchiveSchemaVersion);
  EXPECT_EQ(archive.StoreRecords("sala", "/dev/ttyUSB0", Live(), {Reading(30, 1796724030)}).Added, 1);
  const std::vector<TArchiveRecord> held = archive.Records("sala", Reading(0, 0).Instant, Reading(60, 0).Instant);
  ASSERT_EQ(held.size(), 3u);
  EXPECT_EQ(held[1].PcTimeUtc, 1796724030);
  EXPECT_EQ(held[2].Values[0], 300);
  const TArchiveOutline outline = archive.Outline("sala", Reading(0, 0).Instant, Reading(60, 0).Instant, 1);
  EXPECT_EQ(outline.Records, 3);
  EXPECT_EQ(Raw(Address, {"SELECT COUNT(*) FROM resumenes"}).toInt() > 0, true);
}

// A job of live readings carries each one's PC time; a job without any is
// written as before, so an older program still reads it, and old job files
// read as they did.
TEST(ArchiveJobFile, LiveJobsCarryEachReadingsPcTimeAndOldJobsStillRead) {
  TArchiveJob live;
  live.Logger = "sala";
  live.Origin = Live();
  live.Records = {Reading(10, 1796724010), Reading(20, 1796724021)};
  live.Records[1].Values[3].reset();
  const std::string text = EncodeArchiveJob(live);
  EXPECT_EQ(text.rfind("talvex-cola 2\n", 0), 0u);
  const TArchiveJob back = DecodeArchiveJob(text);
  ASSERT_EQ(back.Records.size(), 2u);
  EXPECT_EQ(back.Records[0].PcTimeUtc, 1796724010);
  EXPECT_EQ(back.Records[1].PcTimeUtc, 1796724021);
  EXPECT_EQ(back.Records[1].Values, live.Records[1].Values);

  TArchiveJob download = live;
  download.Origin = TArchiveOrigin();
  for (TArchiveRecord &r : download.Records) r.PcTimeUtc = 0;
  const std::string old = EncodeArchiveJob(download);
  EXPECT_EQ(old.rfind("talvex-cola 1\n", 0), 0u);
  EXPECT_EQ(DecodeArchiveJob(old).Records.size(), 2u);

  // A reading without its PC time, or one with a word for it, is no job.
  std::string cut = text;
  cut.replace(cut.find(" 1796724010\n"), 11, "");
  std::string word = text;
  word.replace(word.find("1796724010"), 10, "mañana");
  EXPECT_THROW(DecodeArchiveJob(cut), EArchiveError);
  EXPECT_THROW(DecodeArchiveJob(word), EArchiveError);
}
