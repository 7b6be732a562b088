// Every download the window decodes lands in the history archive without a
// step of its own; an archive that fails is told once per spell of failures
// and the downloads wait in the queue. The test program's folders are its
// own: the default archive is a temporary one.

#include "app/download_archive.h"
#include "app/main_window.h"
#include "app/program.h"
#include "archive/archive.h"
#include "archive/archive_address.h"
#include "data/data_window.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>
#include <map>

namespace {

std::vector<TArchiveRecord> Records(int first, int count) {
  std::vector<TArchiveRecord> out;
  for (int i = 0; i < count; ++i) {
    TArchiveRecord r;
    r.Instant = StampFromSeconds(StampSeconds(TStamp{2026, 3, 1, 0, 0, 0}) + (first + i) * 300LL);
    for (int k = 0; k < 16; ++k) r.Values[static_cast<size_t>(k)] = 200 + i + k;
    out.push_back(r);
  }
  return out;
}

TEST(DownloadArchive, AFailingArchiveIsToldOncePerSpellAndItsDownloadsWaitForIt) {
  QTemporaryDir dir;
  const std::string archive = dir.filePath("archivo.sqlite").toStdString();
  const auto breakArchive = [&] { std::ofstream(archive, std::ios::binary) << std::string(4096, 'x'); };
  const auto mendArchive = [&] { QFile::remove(QString::fromStdString(archive)); };
  // Once it has been an archive, the writer may still be closing it: it is
  // moved away whole, and a folder takes its name.
  const auto replaceArchive = [&] {
    QDir(dir.path()).rename("archivo.sqlite", "antes.sqlite");
    QDir(dir.path()).mkdir("archivo.sqlite");
  };
  setenv("TALVEX_DB", archive.c_str(), 1);
  struct TUnset {
    ~TUnset() { unsetenv("TALVEX_DB"); }
  } unset;
  {
    TDownloadArchive keeper(TArchiveQueue(dir.filePath("cola").toStdString()));
    std::vector<QString> notes;
    std::map<std::string, TArchiveJobResult::TKind> last;  // per job
    keeper.ShowNote = [&](const QString &text) { notes.push_back(text); };
    keeper.OnResult = [&](const TArchiveJobResult &r) { last[r.Job] = r.Kind; };
    using K = TArchiveJobResult::TKind;
    const struct {
      const char *Name;
      std::function<void()> Before;
      std::vector<K> Jobs;  // the last word on each download so far
      size_t Notes;
    } steps[] = {
        {"the archive broken", breakArchive, {K::Failed}, 1},
        {"still broken: no second note", nullptr, {K::Failed, K::Failed}, 1},
        {"mended: all three go in", mendArchive, {K::Kept, K::Kept, K::Kept}, 1},
        {"broken again: a new spell", replaceArchive, {K::Kept, K::Kept, K::Kept, K::Failed}, 2},
    };
    std::vector<std::string> ids;
    for (const auto &step : steps) {
      SCOPED_TRACE(step.Name);
      if (step.Before) step.Before();
      ids.push_back(keeper.Keep(RecordsTable(Records(static_cast<int>(ids.size()) * 10, 10)), 10, "/dev/ttyUSB3"));
      ASSERT_FALSE(ids.back().empty());
      const auto words = [&] {
        std::vector<K> out;
        out.reserve(ids.size());
        for (const std::string &id : ids) out.push_back(last.count(id) ? last[id] : K::SetAside);
        return out;
      };
      ASSERT_TRUE(PumpUntil([&] { return words() == step.Jobs; }, 20000));
      EXPECT_EQ(notes.size(), step.Notes);
    }
    // The note names the archive and why, and says the download waits.
    EXPECT_NE(notes[0].indexOf(QString::fromStdString("\"" + archive + "\"")), -1) << notes[0].toStdString();
    EXPECT_NE(notes[0].indexOf(QString::fromUtf8("no es un archivo histórico")), -1) << notes[0].toStdString();
    EXPECT_NE(notes[0].indexOf("Espera en la cola"), -1) << notes[0].toStdString();
  }
}

// The whole road against the simulated logger: the download decoded in the
// data window is in the user's archive under the port's name, once, however
// often the window is opened on it.
TEST(DownloadArchive, ADownloadInTheWindowIsArchivedUnderThePortsName) {
  SetExceptionPresenter([](const std::string &, const std::string &m) { ADD_FAILURE() << m; });
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  TSimConfig config;
  config.FrameIntervalMs = 100;
  config.StoredRecords = 30;
  config.DownloadChunkPauseMs = 5;
  TLoggerSimulator sim(config);
  sim.Start();
  {
    TProgram program;
    TForm1 &main = program.Form1();
    main.DownloadCommandGapMs = 200;
    std::vector<TArchiveJobResult> results;
    program.DownloadArchive().OnResult = [&](const TArchiveJobResult &r) {
      if (!r.Job.empty()) results.push_back(r);
    };
    program.DownloadArchive().ShowNote = [](const QString &text) { ADD_FAILURE() << text.toStdString(); };
    int shown = 0;
    main.ShowDataWindow = [&] {
      ++shown;
      program.Form5().FormActivate();
    };
    main.SerialPort1->SetPort(sim.SlavePath());
    RunHandler([&] { main.InsRockerSwitch1Click(); });
    ASSERT_TRUE(PumpUntil([&] { return !main.Edit4->text().isEmpty(); }, 5000));
    RunHandler([&] { main.InsColBitBtn4Click(); });
    ASSERT_TRUE(PumpUntil([&] { return !results.empty(); }, 15000));
    RunHandler([&] { main.InsColBitBtn4Click(); });  // "VER DATOS"
    EXPECT_EQ(shown, 2);
    PumpUntil([] { return false; }, 300);
    ASSERT_EQ(results.size(), 1u);
    EXPECT_EQ(results[0].Kind, TArchiveJobResult::TKind::Kept) << results[0].Message;
    EXPECT_EQ(results[0].Logger, sim.SlavePath());
    EXPECT_EQ(results[0].Stored.Added, 30);

    TArchive held;
    const std::vector<TArchiveRecord> records =
        held.Records(sim.SlavePath(), TStamp{2000, 1, 1, 0, 0, 0}, TStamp{2100, 1, 1, 0, 0, 0});
    const std::vector<TArchiveRecord> shownRecords = RecordsFromTable(program.Form5().StringGrid1->Table(), 30);
    ASSERT_EQ(records.size(), shownRecords.size());
    for (size_t i = 0; i < records.size(); ++i) {
      EXPECT_EQ(IsoText(records[i].Instant), IsoText(shownRecords[i].Instant));
      EXPECT_EQ(records[i].Values, shownRecords[i].Values);
    }
  }
  sim.Stop();
  TCustomSerialPort::SetupDialog = nullptr;
  SetExceptionPresenter(nullptr);
}

}  // namespace
