// talvex-cli download keeps what it received in the history archive, under
// the name the user gave, the archive remembers for the port, or the port's
// own; an archive that does not take it leaves the file saved, the download
// waiting in the queue and an exit status that says so.

#include "archive/archive.h"
#include "archive/archive_queue.h"
#include "archive/archive_writer.h"
#include "cli/cli_errors.h"
#include "logger/download_session.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <fstream>
#include <sstream>

namespace {

std::vector<TArchiveRecord> Held(const std::string &address, const std::string &logger) {
  TArchive archive(address);
  for (const TArchivedLogger &l : archive.Loggers()) {
    if (l.Name == logger) return archive.Records(logger, TStamp{2000, 1, 1, 0, 0, 0}, TStamp{2100, 1, 1, 0, 0, 0});
  }
  return {};
}

bool SameRecords(const std::vector<TArchiveRecord> &a, const std::vector<TArchiveRecord> &b) {
  if (a.size() != b.size()) return false;
  for (size_t i = 0; i < a.size(); ++i)
    if (!(a[i].Instant == b[i].Instant) || a[i].Values != b[i].Values) return false;
  return true;
}

TEST(CliDownloadArchive, EachDownloadIsKeptUnderItsLoggerAndAFailureWaitsInTheQueue) {
  ApplyProgramFormats();
  QTemporaryDir dir;
  const auto path = [&](const char *name) { return dir.filePath(name).toStdString(); };
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  cfg.StoredRecords = 40;
  cfg.DownloadDelayMs = 50;
  cfg.EndMarkPauseMs = 100;
  TLoggerSimulator sim(cfg);
  sim.Start();
  const std::string port = sim.SlavePath();
  const std::string db = "sqlite:" + path("archivo.sqlite");
  const std::string broken = path("roto.sqlite");
  std::ofstream(broken, std::ios::binary) << std::string(4096, 'x');

  struct TStep {
    const char *Name;
    std::vector<std::string> Options;
    TCliExit Code;
    const char *Logger;  // kept under; nullptr: the port's name
    const char *Said;    // on Out, or on Err for a failure
  };
  const TStep steps[] = {
      {"no name: the port's", {"--db", db}, exOk, nullptr, "40 registros nuevos, 0 ya estaban"},
      {"a name given", {"--db", db, "--logger", "Cámara fría"}, exOk, "Cámara fría", "registrador \"Cámara fría\""},
      {"the name the port now has", {"--db", db}, exOk, "Cámara fría", "0 registros nuevos, 40 ya estaban"},
      {"not archived when asked", {"--db", broken, "--no-archive"}, exOk, nullptr, nullptr},
      {"an archive that fails", {"--db", broken}, exNotArchived, nullptr, "espera en la cola"},
  };
  std::vector<TArchiveRecord> downloaded;
  for (const TStep &step : steps) {
    SCOPED_TRACE(step.Name);
    std::vector<std::string> args = {"download",        "--port", port,          "-o",
                                     path("datos.txt"), "--raw",  path("v.raw"), "--force"};
    args.insert(args.end(), step.Options.begin(), step.Options.end());
    const CliRun run = RunCliCaptured(args);
    ASSERT_EQ(run.Code, step.Code) << run.Err;
    // The file is saved whatever the archive did.
    EXPECT_NE(run.Out.find("Guardados en"), std::string::npos) << run.Out;
    const TDecodedDump decoded = DecodeDump(ReadFile(path("v.raw")));
    downloaded = RecordsFromTable(decoded.Table, decoded.Records);
    ASSERT_EQ(downloaded.size(), 40u);
    if (!step.Said) {
      EXPECT_EQ(run.Out.find("archivo histórico"), std::string::npos) << run.Out;
    } else if (step.Code == exOk) {
      EXPECT_NE(run.Out.find(step.Said), std::string::npos) << run.Out;
      EXPECT_TRUE(SameRecords(Held(db, step.Logger ? step.Logger : port), downloaded));
    } else {
      // Named, with why, on the error stream.
      EXPECT_NE(run.Err.find(step.Said), std::string::npos) << run.Err;
      EXPECT_NE(run.Err.find("\"" + broken + "\""), std::string::npos) << run.Err;
      EXPECT_NE(run.Err.find("no es un archivo histórico"), std::string::npos) << run.Err;
    }
  }
  // An address that could never be an archive is refused before the logger
  // is asked for anything.
  const CliRun refused =
      RunCliCaptured({"download", "--port", port, "-o", path("otro.txt"), "--db", "mysql://yo@servidor/talvex"});
  EXPECT_EQ(refused.Code, exUsage) << refused.Err;
  EXPECT_FALSE(QFile::exists(dir.filePath("otro.txt")));
  // The archive that failed is left as it was.
  EXPECT_EQ(ReadFile(broken), std::string(4096, 'x'));
  const TArchiveQueue queue;
  ASSERT_EQ(queue.Pending().size(), 1u);
  const TArchiveJob waiting = DecodeArchiveJob(ReadFile(queue.PathOf(queue.Pending()[0])));
  EXPECT_EQ(waiting.Archive, broken);
  EXPECT_TRUE(SameRecords(waiting.Records, downloaded));

  // Once the archive is one, the job goes in under the port's name.
  ASSERT_TRUE(QFile::remove(QString::fromStdString(broken)));
  TArchiveQueueFlush flush(queue);
  flush.Pass([](const TArchiveJobResult &r) { EXPECT_EQ(r.Kind, TArchiveJobResult::TKind::Kept) << r.Message; });
  EXPECT_TRUE(queue.Pending().empty());
  EXPECT_TRUE(SameRecords(Held(broken, port), downloaded));
}

}  // namespace
