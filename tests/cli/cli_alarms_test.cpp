// talvex-cli alarms: limits set a field at a time, events listed and
// acknowledged, and every refusal with its exit status and reason. Each
// archive lives in a temporary folder, TALVEX_DB too.

#include "cli/cli_alarms.h"
#include "archive/archive.h"
#include "cli/cli_errors.h"

#include "cli_test_peer.h"

#include <gtest/gtest.h>

#include <QTemporaryDir>

#include <cstdlib>
#include <fstream>

namespace {

class CliAlarms : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    setenv("TALVEX_DB", dir.filePath("entorno.sqlite").toStdString().c_str(), 1);
    db = dir.filePath("archivo.sqlite").toStdString();
  }
  void TearDown() override { unsetenv("TALVEX_DB"); }
  CliRun Run(std::vector<std::string> args) {
    args.insert(args.end(), {"--db", db});
    return RunCliCaptured(args);
  }

  QTemporaryDir dir;
  std::string db;
};

struct TRefusal {
  std::vector<std::string> Args;
  int Code;
  const char *Says;
};

TEST_F(CliAlarms, RefusesWhatCannotBeWithItsReasonAndChangesNothing) {
  ASSERT_EQ(Run({"alarms", "set", "--logger", "sala", "--channel", "3", "--low", "2,0", "--high", "8.0"}).Code, exOk);
  const std::vector<TRefusal> refusals = {
      {{"alarms", "set", "--logger", "sala", "--channel", "17", "--high", "5"}, exUsage, "entre 1 y 16, no \"17\""},
      {{"alarms", "set", "--logger", "sala", "--channel", "0"}, exUsage, "entre 1 y 16, no \"0\""},
      {{"alarms", "set", "--logger", "sala", "--channel", "tres"}, exUsage, "no \"tres\""},
      {{"alarms", "set", "--logger", "sala", "--high", "5"}, exUsage, "--channel N"},
      {{"alarms", "set", "--channel", "3", "--high", "5"}, exUsage, "--logger NOMBRE"},
      {{"alarms", "set", "--logger", "sala", "--channel", "3", "--high", "1,5"},
       exUsage,
       "el límite inferior (2,0 °C) está por encima del superior (1,5 °C)"},
      {{"alarms", "set", "--logger", "sala", "--channel", "3", "--delay", "-5"},
       exUsage,
       "el retardo no puede ser negativo (-5 min)"},
      {{"alarms", "set", "--logger", "sala", "--channel", "3", "--hysteresis", "7"}, exUsage, "es mayor que la banda"},
      {{"alarms", "set", "--logger", "sala", "--channel", "3", "--low", "frío"}, exUsage, "o none para quitar"},
      {{"alarms", "set", "--logger", "sala", "--channel", "3", "--json"}, exUsage, "no admite la opción --json"},
      {{"alarms", "ack", "--id", "1", "--comment", "  "}, exUsage, "espera un comentario"},
      {{"alarms", "ack", "--id", "1"}, exUsage, "--comment TEXTO"},
      {{"alarms", "ack", "--id", "99", "--comment", "visto"}, exFailure, "No hay ningún evento de alarma 99"},
      {{"alarms", "events", "--logger", "nadie"}, exFailure, "No hay ningún registrador llamado \"nadie\""},
      {{"alarms", "borrar"}, exUsage, "alarms admite set, list, events y ack"},
  };
  for (const TRefusal &r : refusals) {
    const CliRun run = Run(r.Args);
    SCOPED_TRACE(run.Err);
    EXPECT_EQ(run.Code, r.Code);
    EXPECT_NE(run.Err.find(r.Says), std::string::npos);
  }
  TArchive archive(db);
  EXPECT_EQ(archive.AlarmLimits("sala")[2], (TAlarmLimits{20, 80, 0, 5}));
}

// Only the fields given change; "none" clears a limit.
TEST_F(CliAlarms, SetChangesOnlyWhatIsGiven) {
  ASSERT_EQ(Run({"alarms", "set", "--logger", "sala", "--channel", "16", "--low", "-2,5", "--high", "8"}).Code, exOk);
  ASSERT_EQ(Run({"alarms", "set", "--logger", "sala", "--channel", "16", "--delay", "15"}).Code, exOk);
  ASSERT_EQ(Run({"alarms", "set", "--logger", "sala", "--channel", "16", "--low=none", "--hysteresis", "1.0"}).Code,
            exOk);
  {
    TArchive archive(db);
    EXPECT_EQ(archive.AlarmLimits("sala")[15], (TAlarmLimits{std::nullopt, 80, 15, 10}));
  }
  const CliRun list = Run({"alarms", "list", "--json"});
  ASSERT_EQ(list.Code, exOk) << list.Err;
  EXPECT_NE(list.Out.find("{\"canal\":\"CH16\",\"inferior\":null,\"superior\":8.0,\"retardo_min\":15,"
                          "\"histeresis\":1.0}"),
            std::string::npos)
      << list.Out;
  const CliRun table = Run({"alarms", "list", "--logger", "sala"});
  EXPECT_NE(table.Out.find("CH16"), std::string::npos) << table.Out;
}

// Events found from a download, listed, acknowledged under the login name.
TEST_F(CliAlarms, EventsAreListedAndAcknowledgedUnderTheLoginName) {
  ASSERT_EQ(Run({"alarms", "set", "--logger", "sala", "--channel", "2", "--high", "8,0"}).Code, exOk);
  {
    TArchive archive(db);
    std::vector<TArchiveRecord> records;
    for (int m = 0; m < 10; ++m) {
      TArchiveRecord r;
      r.Instant = StampFromSeconds(StampSeconds(TStamp{2026, 3, 1, 10, 0, 0}) + m * 60);
      r.Values[1] = m >= 3 && m < 6 ? 95 : 60;
      records.push_back(r);
    }
    EXPECT_EQ(archive.StoreRecords("sala", "", TArchiveOrigin(), records).EventsStarted.size(), 1u);
  }
  const CliRun events = Run({"alarms", "events", "--logger", "sala", "--from", "2026-03-01", "--json"});
  ASSERT_EQ(events.Code, exOk) << events.Err;
  EXPECT_NE(events.Out.find("\"canal\":\"CH2\",\"tipo\":\"alta\",\"inicio\":\"2026-03-01T10:03:00\",\"fin\":"
                            "\"2026-03-01T10:06:00\",\"segundos\":180,\"extremo\":9.5"),
            std::string::npos)
      << events.Out;
  EXPECT_EQ(Run({"alarms", "events", "--logger", "sala", "--to", "2026-03-01T10:02"}).Out,
            "Ningún evento de alarma de sala en el rango.\n");

  const std::int64_t id =
      TArchive(db).AlarmEvents("sala", TStamp{2026, 3, 1, 0, 0, 0}, TStamp{2026, 3, 2, 0, 0, 0}).at(0).Id;
  const CliRun ack = Run({"alarms", "ack", "--id", std::to_string(id), "--comment", "cámara abierta"});
  ASSERT_EQ(ack.Code, exOk) << ack.Err;
  const CliRun listed = Run({"alarms", "events", "--logger", "sala"});
  EXPECT_NE(listed.Out.find("reconocido por " + CliLoginName()), std::string::npos) << listed.Out;
  EXPECT_NE(listed.Out.find(": cámara abierta"), std::string::npos) << listed.Out;
  EXPECT_FALSE(CliLoginName().empty());
}

// A file imported into an archive with limits says what alarm events it
// brought; one with none says what it always said.
TEST_F(CliAlarms, AnImportTellsTheAlarmEventsItBrought) {
  const std::string file = dir.filePath("datos.csv").toStdString();
  {
    std::ofstream out(file);
    out << "Fecha y hora,CH1,CH2,CH3,CH4,CH5,CH6,CH7,CH8,CH9,CH10,CH11,CH12,CH13,CH14,CH15,CH16\n";
    for (int m = 0; m < 6; ++m) {
      out << "2026-03-01T10:0" << m << ":00," << (m == 2 || m == 3 ? "9.5" : "5.0");
      for (int k = 1; k < 16; ++k) out << ",5.0";
      out << "\n";
    }
  }
  ASSERT_EQ(Run({"alarms", "set", "--logger", "sala", "--channel", "1", "--high", "8"}).Code, exOk);
  const CliRun first = Run({"archive", "import", file, "--logger", "sala"});
  ASSERT_EQ(first.Code, exOk) << first.Err;
  EXPECT_NE(first.Out.find(": 6 registros nuevos, 0 ya estaban en el archivo histórico; 1 evento de alarma nuevo.\n"),
            std::string::npos)
      << first.Out;
  const CliRun again = Run({"archive", "import", file, "--logger", "sala"});
  EXPECT_NE(again.Out.find(": 0 registros nuevos, 6 ya estaban en el archivo histórico.\n"), std::string::npos)
      << again.Out;
}

}  // namespace
