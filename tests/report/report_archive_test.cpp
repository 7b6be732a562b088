// A range of the archive reported across several slices: the records'
// text is made and hashed on a thread beside the reading, so its hash must
// still be the one the saved text of the same records gives, and the
// figures those of every record, in order.

#include "archive/archive.h"
#include "report/report_sources.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <QTemporaryDir>

#include <gtest/gtest.h>

TEST(ReportFromArchive, SlicesReadBesideTheTextGiveTheSavedTextsHashAndEveryRecordsFigures) {
  ApplyProgramFormats();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  TArchive archive(dir.filePath("archivo.sqlite").toStdString());
  // Three slices and a bit: 25,000 records a minute apart, CH2 missing now
  // and then, CH1 peaking once at the 20,000th.
  std::vector<TArchiveRecord> records;
  const std::int64_t start = StampSeconds(TStamp{2026, 1, 1, 0, 0, 0});
  for (int i = 0; i < 25000; ++i) {
    TArchiveRecord r;
    r.Instant = StampFromSeconds(start + 60 * i);
    for (int k = 0; k < 16; ++k) r.Values[static_cast<size_t>(k)] = 50 + (i * 7 + k * 13) % 200;
    if (i % 97 == 0) r.Values[1].reset();
    if (i == 20000) r.Values[0] = 900;
    records.push_back(r);
  }
  archive.StoreRecords("cámara", "", TArchiveOrigin{}, records);
  std::array<bool, kAlarmChannels> shown{};
  shown[0] = shown[1] = true;

  const TReport report = ReportFromArchive(archive, "cámara", records.front().Instant, records.back().Instant, shown);
  EXPECT_EQ(report.Records, 25000);
  EXPECT_EQ(report.Sha256, RecordsTextSha256(RecordsTable(records), 25000, {}));
  ASSERT_EQ(report.Channels.size(), 2u);
  EXPECT_EQ(report.Channels[0].Max, 900);
  EXPECT_EQ(report.Channels[0].MaxAt, "14/01/2026 21:20:00");
  EXPECT_EQ(report.Channels[1].Count, 25000 - (25000 + 96) / 97);

  // Nothing in the range: said, not an empty report.
  const TStamp later = StampFromSeconds(start + 60 * 30000);
  EXPECT_THROW(ReportFromArchive(archive, "cámara", later, later, shown), Exception);
}
