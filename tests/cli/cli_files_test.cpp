// talvex-cli on saved files: convert and stats, and download into a
// spreadsheet.

#include "archive/archive.h"
#include "cli/cli_commands.h"
#include "cli/cli_errors.h"
#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/text_file_writer.h"
#include "logger/download_session.h"
#include "runtime/format_settings.h"
#include "sim/logger_simulator.h"

#include "cli_test_peer.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QImage>
#include <QTemporaryDir>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>
#include <filesystem>
#include <fstream>
#include <sstream>

namespace {

class CliFiles : public ::testing::Test {
protected:
  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    ApplyProgramFormats();
    // 25 five-minute records from 15/03/2004 10:30:00.
    std::vector<TReadings> lines;
    for (int i = 0; i < 25; ++i) {
      TReadings r;
      r.fill(500);
      r[0] = static_cast<std::uint16_t>(700 + i);  // 20,0 up to 22,4
      lines.push_back(r);
    }
    TReadings last;
    last.fill(500);
    const TDecodedDump decoded = DecodeDump(MakeDump(TSimDumpHeader{{2004, 3, 15, 10, 30, 0}, 2}, lines, last) + "A");
    text = DumpTextFile(decoded);
    std::ofstream(Path("datos.txt"), std::ios::binary) << text;
  }
  std::string Path(const std::string &name) const { return dir.filePath(QString::fromStdString(name)).toStdString(); }

  QTemporaryDir dir;
  std::string text;
};

TEST_F(CliFiles, ConvertWritesWhatTheExtensionSaysAndBack) {
  CliRun run = RunCliCaptured({"convert", Path("datos.txt"), "-o", Path("datos.csv"), "--csv", "semicolon"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_NE(run.Out.find("Convertidos 25 registros"), std::string::npos) << run.Out;
  const std::string csv = ReadFile(Path("datos.csv"));
  EXPECT_EQ(csv.substr(0, 22), "FECHA Y HORA;CH1;CH2;C");
  EXPECT_NE(csv.find("\r\n2004-03-15T10:35:00;\"20,0\";\"0,0\";"), std::string::npos) << csv.substr(0, 200);

  // The CSV back to the program's text file: the same bytes as the save.
  run = RunCliCaptured({"convert", Path("datos.csv"), "-o", Path("vuelta.txt")});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(ReadFile(Path("vuelta.txt")), text);

  run = RunCliCaptured({"convert", Path("datos.txt"), "-o", Path("datos.xlsx"), "--above", "22,0"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(Python(R"(
import sys, datetime, openpyxl
book = openpyxl.load_workbook(sys.argv[1])
data, stats = book['Datos'], book['Estadísticas']
assert data.max_row == 26 and data['A2'].value == datetime.datetime(2004, 3, 15, 10, 35), data['A2'].value
assert data['B26'].value == 22.4 and data['B26'].number_format == '0.0'
assert stats['B2'].value == 25 and stats['E2'].value == 22.4
above = stats['I2'].value
above = above if isinstance(above, datetime.timedelta) else datetime.timedelta(days=above)
assert above == datetime.timedelta(minutes=20), above  # 22,1 to 22,4
)",
                   Path("datos.xlsx")),
            "");
}

TEST_F(CliFiles, StatsAsTextAndJson) {
  CliRun run = RunCliCaptured({"stats", Path("datos.txt"), "--below", "20.5"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_NE(run.Out.find("25 registros, uno cada 5 min; límite inferior 20,5 °C"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("CH1           25     20,0  15/03/2004 10:35:00     22,4  15/03/2004 12:35:00    21,20"),
            std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("25 min"), std::string::npos) << "20,0 to 20,4 below 20,5: " << run.Out;

  run = RunCliCaptured({"stats", Path("datos.txt"), "--json"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(run.Out.rfind("{\"archivo\":", 0), 0u);
  EXPECT_NE(run.Out.find("\"minutos_entre_registros\":5,\"limite_superior\":null"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("{\"canal\":\"CH1\",\"registros\":25,\"minimo\":20.0,\"fecha_minimo\":\"2004-03-15T10:35:00\","
                         "\"maximo\":22.4,\"fecha_maximo\":\"2004-03-15T12:35:00\",\"media\":21.200"),
            std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("\"minutos_sobre\":null"), std::string::npos);
}

const char *const kStatsJsonCheck = R"(
import sys, json
s = json.loads(sys.argv[1])
assert s['energia_activacion'] == 100 and s['limites_alarma'] is True, s
keys = ['mkt', 'alarmas_altas', 'alarmas_bajas', 'minutos_alarma_alta', 'minutos_alarma_baja']
for c in s['canales']:
    assert all(k in c for k in keys), c
ch1, ch2 = s['canales'][0], s['canales'][1]
assert (ch1['alarmas_altas'], ch1['alarmas_bajas'], ch1['minutos_alarma_alta']) == (1, 0, 70), ch1
assert [ch2[k] for k in keys[1:]] == [None] * 4, ch2
assert abs(ch2['mkt'] - 0.0) < 1e-9, ch2
assert s['alarmas'] == [{'canal': 1, 'tipo': 'alta', 'desde': '2004-03-15T11:30:00', 'hasta': None,
                         'segundos': 4200, 'extremo': 22.4, 'hora_extremo': '2004-03-15T12:35:00'}], s['alarmas']
)";

// The file's records judged by the limits the archive keeps for a logger.
TEST_F(CliFiles, StatsWithTheLoggersLimitsAndAnEnergyOfItsOwn) {
  {
    TArchive archive(Path("archivo.sqlite"));
    TAlarmLimits high;
    high.High = 210;
    archive.SetAlarmLimits("cámara", 0, high);
  }
  CliRun run = RunCliCaptured({"stats", Path("datos.txt"), "--json", "--logger", "cámara", "--db",
                               Path("archivo.sqlite"), "--activation-energy", "100"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(Python(kStatsJsonCheck, run.Out), "") << run.Out;
  run = RunCliCaptured({"stats", Path("datos.txt"), "--logger", "cámara", "--db", Path("archivo.sqlite")});
  EXPECT_NE(run.Out.find("Alarma alta en CH1 desde 15/03/2004 11:30:00 (seguía al final de los datos), 1 h 10 min, "
                         "extremo 22,4 °C."),
            std::string::npos)
      << run.Out;
  EXPECT_NE(run.Out.find("energía de activación de 83,144 kJ/mol"), std::string::npos) << run.Out;
  run = RunCliCaptured({"stats", Path("datos.txt"), "--logger", "camara", "--db", Path("archivo.sqlite")});
  EXPECT_EQ(run.Code, exFailure);
  EXPECT_NE(run.Err.find("No hay ningún registrador llamado \"camara\""), std::string::npos) << run.Err;
  // Without a logger nobody says what an alarm is.
  run = RunCliCaptured({"stats", Path("datos.txt"), "--json"});
  EXPECT_NE(run.Out.find("\"alarmas_altas\":null"), std::string::npos) << run.Out;
  EXPECT_NE(run.Out.find("\"limites_alarma\":false,\"alarmas\":[]"), std::string::npos) << run.Out;
}

TEST_F(CliFiles, BadFilesAndArgumentsSayWhat) {
  std::ofstream(Path("malo.txt")) << "hola\n";
  std::ofstream(Path("existe.csv")) << "x";
  struct Case {
    std::vector<std::string> args;
    int code;
    const char *says;
  };
  const std::vector<Case> cases = {
      {{"stats", Path("no-existe.txt")}, exFileError, "no existe"},
      {{"stats", Path("malo.txt")}, exFileError, "línea 1, columna 1"},
      {{"convert", Path("datos.txt"), "-o", Path("existe.csv")}, exFileError, "--force"},
      {{"convert", Path("datos.txt")}, exUsage, "-o ARCHIVO"},
      {{"convert", Path("datos.txt"), "-o", Path("datos.txt")}, exUsage, "no escribe sobre"},
      {{"convert", Path("datos.txt"), "-o", Path("x.csv"), "--csv", "tab"}, exUsage, "--csv espera"},
      {{"stats", Path("datos.txt"), "--above", "mucho"}, exUsage, "--above espera"},
      {{"stats"}, exUsage, "espera un archivo"},
      {{"stats", Path("datos.txt"), "--port", "DEMO"}, exUsage, "no admite la opción --port"},
      {{"stats", Path("datos.txt"), "--activation-energy", "0"}, exUsage, "entre 1 y 1000 kJ/mol"},
      {{"stats", Path("datos.txt"), "--activation-energy", "mucha"}, exUsage, "--activation-energy"},
      {{"stats", Path("datos.txt"), "--db", Path("a.sqlite")}, exUsage, "solo con --logger"},
      {{"record", "--port", "DEMO", "--on-alarm", " "}, exUsage, "--on-alarm espera"},
  };
  for (const Case &c : cases) {
    const CliRun run = RunCliCaptured(c.args);
    EXPECT_EQ(run.Code, c.code) << run.Err;
    EXPECT_NE(run.Err.find(c.says), std::string::npos) << run.Err;
  }
  EXPECT_EQ(ReadFile(Path("existe.csv")), "x");
}

TEST_F(CliFiles, MessagesSayWhatHappenedWhereItHappened) {
  ASSERT_EQ(RunCliCaptured({"convert", Path("datos.txt"), "-o", Path("libro.xlsx")}).Code, exOk);
  std::ofstream(Path("vacio.txt"), std::ios::binary) << TEXT_FILE_HEADER << "\r\n\r\n";
  struct Case {
    std::vector<std::string> args;
    const char *says;
    const char *never;
  };
  const std::vector<Case> cases = {
      {{"stats", Path("libro.xlsx")}, "es un libro de Excel (XLSX)", "byte"},
      {{"convert", Path("libro.xlsx"), "-o", Path("x.csv")}, "guarde el libro como CSV", "byte"},
      {{"stats", Path("no-existe.txt")}, "el archivo no existe.", "elegirlo"},
      {{"plot", Path("vacio.txt"), "-o", Path("g.png"), "--tiempo"}, "no tiene registros", "válidas"},
  };
  for (const Case &c : cases) {
    const CliRun run = RunCliCaptured(c.args);
    EXPECT_EQ(run.Code, exFileError) << run.Err;
    EXPECT_NE(run.Err.find(c.says), std::string::npos) << run.Err;
    EXPECT_EQ(run.Err.find(c.never), std::string::npos) << run.Err;
  }
  // A NUL in a dump is written out, not where the message stops.
  std::string dump = MakeDump(TSimDumpHeader{{2004, 3, 15, 10, 30, 0}, 2}, {TReadings{}}, TReadings{}) + "A";
  dump[dump.find('\n') + 4] = '\0';
  TCliOutcome nul;
  try {
    DecodeDump(dump);
  } catch (...) {
    nul = DescribeFailure(std::current_exception(), "");
  }
  EXPECT_EQ(nul.Code, exBadDump);
  EXPECT_EQ(nul.Message.find('\0'), std::string::npos);
  EXPECT_NE(nul.Message.find("el byte 0 no es un dígito ('\\0' is not a valid integer value)."), std::string::npos)
      << nul.Message;

  // Irregular records are said so in the JSON.
  std::string joined = text;
  joined.replace(joined.rfind("12:35:00"), 8, "13:30:00");
  std::ofstream(Path("unidos.txt"), std::ios::binary) << joined;
  const CliRun json = RunCliCaptured({"stats", Path("unidos.txt"), "--json"});
  EXPECT_NE(json.Out.find("\"minutos_entre_registros\":null"), std::string::npos) << json.Out;
  EXPECT_NE(json.Out.find("\"intervalo_irregular\":true"), std::string::npos) << json.Out;
  EXPECT_NE(RunCliCaptured({"stats", Path("datos.txt"), "--json"}).Out.find("\"intervalo_irregular\":false"),
            std::string::npos);
}

// An ordinary user's file in a folder the user may not write: replaced in
// place, as the window saves it; a new file there is still refused.
TEST_F(CliFiles, ConvertReplacesAWritableFileInAFolderTheUserMayNotWrite) {
  const std::string exe = std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/talvex-cli";
  if (access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "talvex-cli is not built beside the tests";
  const std::string locked = Path("cerrada");
  ASSERT_EQ(mkdir(locked.c_str(), 0755), 0);
  std::ofstream(locked + "/datos.csv") << "antes";
  chmod(locked.c_str(), 0555);
  chmod(dir.path().toUtf8().constData(), 0755);
  chmod(Path("datos.txt").c_str(), 0644);
  chmod((locked + "/datos.csv").c_str(), 0666);
  auto runAsUser = [&](const std::string &output) {
    const pid_t child = fork();
    if (child == 0) {
      // root writes anywhere: the check needs an ordinary user.
      if (geteuid() == 0 && (setgid(65534) != 0 || setuid(65534) != 0)) _exit(120);
      const int null = open("/dev/null", O_WRONLY);
      dup2(null, 1);
      dup2(null, 2);
      execl(exe.c_str(), exe.c_str(), "convert", Path("datos.txt").c_str(), "-o", output.c_str(), "--force",
            static_cast<char *>(nullptr));
      _exit(127);
    }
    int status = 0;
    waitpid(child, &status, 0);
    return WIFEXITED(status) ? WEXITSTATUS(status) : -1;
  };
  EXPECT_EQ(runAsUser(locked + "/datos.csv"), exOk);
  EXPECT_EQ(ReadFile(locked + "/datos.csv").substr(0, 12), "FECHA Y HORA");
  EXPECT_EQ(runAsUser(locked + "/nuevo.csv"), exFileError);
  chmod(locked.c_str(), 0755);
}

TEST_F(CliFiles, DownloadIntoAWorkbook) {
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  cfg.StoredRecords = 40;
  cfg.DownloadDelayMs = 50;
  cfg.EndMarkPauseMs = 100;
  TLoggerSimulator sim(cfg);
  sim.Start();
  const CliRun run = RunCliCaptured(
      {"download", "--port", sim.SlavePath(), "-o", Path("descarga.xlsx"), "--raw", Path("descarga.volcado")});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  // The workbook holds what the text file of the same dump holds.
  const TDecodedDump decoded = DecodeDump(ReadFile(Path("descarga.volcado")));
  std::ofstream(Path("descarga.txt"), std::ios::binary) << DumpTextFile(decoded);
  ASSERT_EQ(RunCliCaptured({"convert", Path("descarga.txt"), "-o", Path("igual.xlsx")}).Code, exOk);
  EXPECT_EQ(Python(R"(
import sys, openpyxl
a = openpyxl.load_workbook(sys.argv[1] + '/descarga.xlsx')['Datos']
b = openpyxl.load_workbook(sys.argv[1] + '/igual.xlsx')['Datos']
rows = lambda s: [[c.value for c in row] for row in s.iter_rows()]
assert a.max_row == 41, a.max_row
assert rows(a) == rows(b)
)",
                   dir.path().toStdString()),
            "");
}

}  // namespace

namespace {

int CountRgb(const QImage &img, QRgb rgb) {
  int n = 0;
  for (int y = 0; y < img.height(); ++y)
    for (int x = 0; x < img.width(); ++x) n += (img.pixel(x, y) & 0xFFFFFF) == (rgb & 0xFFFFFF);
  return n;
}

// plot draws the graph window's chart without a display: the channels asked
// for, the date and time axis when asked, a PNG of the chart's size or a PDF
// page; what it cannot do it refuses before writing anything.
TEST_F(CliFiles, PlotDrawsTheChosenChannelsIntoAPictureOrAPage) {
  CliRun run = RunCliCaptured({"plot", Path("datos.txt"), "-o", Path("todos.png")});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_NE(run.Out.find("25 registros"), std::string::npos) << run.Out;
  const QImage all(QString::fromStdString(Path("todos.png")));
  ASSERT_EQ(all.size(), QSize(714, 441));
  EXPECT_GT(CountRgb(all, qRgb(255, 0, 0)), 300);  // channel 1's red line

  ASSERT_EQ(RunCliCaptured({"plot", Path("datos.txt"), "-o", Path("cinco.png"), "--canales", "5,9"}).Code, exOk);
  const QImage some(QString::fromStdString(Path("cinco.png")));
  EXPECT_EQ(CountRgb(some, qRgb(255, 0, 0)), 0);      // channel 1 not drawn
  EXPECT_GT(CountRgb(some, qRgb(0, 128, 128)), 300);  // channel 9's teal is

  ASSERT_EQ(RunCliCaptured({"plot", Path("datos.txt"), "-o", Path("tiempo.png"), "--tiempo"}).Code, exOk);
  EXPECT_NE(QImage(QString::fromStdString(Path("tiempo.png"))), all);  // other labels and title

  run = RunCliCaptured({"plot", Path("datos.txt"), "-o", Path("pagina.PDF"), "--tiempo"});
  ASSERT_EQ(run.Code, exOk) << run.Err;
  EXPECT_EQ(ReadFile(Path("pagina.PDF")).substr(0, 5), "%PDF-");
  if (FILE *p = popen(("pdftotext '" + Path("pagina.PDF") + "' - 2>/dev/null").c_str(), "r")) {
    std::string text;
    char buf[512];
    while (fgets(buf, sizeof buf, p)) text += buf;
    if (pclose(p) == 0) {
      EXPECT_NE(text.find("TEMPERATURA VERSUS TIEMPO"), std::string::npos) << text;
      EXPECT_NE(text.find("Fecha y hora"), std::string::npos) << text;
      EXPECT_NE(text.find("12:30"), std::string::npos) << text;  // a round time of the two hours
    }
  }

  // A record whose time is not a time of day: --tiempo refused, nothing written.
  std::string damaged = text;
  damaged.replace(damaged.find("10:40:00"), 8, "30:40:00");  // the hour a damaged header can count to
  std::ofstream(Path("sinhora.txt"), std::ios::binary) << damaged;
  std::ofstream(Path("existe.png")) << "x";
  struct Case {
    std::vector<std::string> args;
    int code;
    const char *says;
  };
  const std::vector<Case> cases = {
      {{"plot", Path("datos.txt"), "-o", Path("g.svg")}, exUsage, ".png o documentos .pdf"},
      {{"plot", Path("datos.txt")}, exUsage, "-o ARCHIVO"},
      {{"plot", Path("datos.txt"), "-o", Path("g.png"), "--canales", "0"}, exUsage, "--canales"},
      {{"plot", Path("datos.txt"), "-o", Path("g.png"), "--canales", "3,17"}, exUsage, "--canales"},
      {{"plot", Path("datos.txt"), "-o", Path("g.png"), "--canales", "2,2"}, exUsage, "dos veces"},
      {{"plot", Path("datos.txt"), "-o", Path("g.png"), "--csv", "comma"}, exUsage, "no admite"},
      {{"plot", Path("datos.txt"), "-o", Path("existe.png")}, exFileError, "--force"},
      {{"plot", Path("sinhora.txt"), "-o", Path("g.png"), "--tiempo"}, exFileError, "fecha y hora"},
  };
  for (const Case &c : cases) {
    const CliRun bad = RunCliCaptured(c.args);
    EXPECT_EQ(bad.Code, c.code) << bad.Err;
    EXPECT_NE(bad.Err.find(c.says), std::string::npos) << bad.Err;
  }
  EXPECT_FALSE(QFile::exists(QString::fromStdString(Path("g.png"))));
  EXPECT_EQ(ReadFile(Path("existe.png")), "x");
}

}  // namespace
