// talvex-cli record as the service runs it: a program of its own against
// the simulator on a pseudo-terminal, killed, unplugged, starved of disk or
// server, and checked against what it said it kept.

#include "cli/cli_record.h"
#include "archive/archive.h"
#include "archive/archive_address.h"
#include "cli/cli_errors.h"
#include "common/test_files.h"
#include "serial/serial_device.h"
#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

#include <QSqlDatabase>
#include <QSqlQuery>
#include <QTemporaryDir>
#include <QVariant>

#include <fcntl.h>
#include <poll.h>
#include <signal.h>
#include <sys/mount.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
#include <chrono>
#include <cstdio>
#include <filesystem>
#include <fstream>
#include <map>
#include <optional>
#include <random>
#include <regex>
#include <sstream>
#include <string>
#include <thread>
#include <vector>

namespace {

using Clock = std::chrono::steady_clock;

std::string CliPath() { return std::filesystem::read_symlink("/proc/self/exe").parent_path().string() + "/talvex-cli"; }

// One talvex-cli record, its log read as it comes.
class TRecorderProcess {
public:
  TRecorderProcess(const std::vector<std::string> &arguments, const std::string &stateFolder) {
    int err[2];
    if (::pipe2(err, O_CLOEXEC) != 0) return;
    std::vector<std::string> args = {CliPath(), "record"};
    args.insert(args.end(), arguments.begin(), arguments.end());
    const std::string state = "XDG_STATE_HOME=" + stateFolder;
    std::vector<char *> argv, envp;
    for (std::string &a : args) argv.push_back(a.data());
    argv.push_back(nullptr);
    std::string stateCopy = state;
    envp.push_back(stateCopy.data());
    for (char **e = environ; *e; ++e)
      if (std::string(*e).rfind("XDG_STATE_HOME=", 0) != 0 && std::string(*e).rfind("TALVEX_DB=", 0) != 0)
        envp.push_back(*e);
    envp.push_back(nullptr);
    pid_ = ::fork();
    if (pid_ == 0) {
      ::dup2(err[1], STDERR_FILENO);
      ::execve(argv[0], argv.data(), envp.data());
      ::_exit(127);
    }
    ::close(err[1]);
    fd_ = err[0];
  }
  ~TRecorderProcess() {
    if (pid_ > 0 && !exited_) {
      ::kill(pid_, SIGKILL);
      Wait(10000);
    }
    if (fd_ >= 0) ::close(fd_);
  }
  pid_t Pid() const { return pid_; }

  // Reads the log until a line matches or ms pass; the line, or empty.
  std::string WaitFor(const std::regex &line, int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    for (;;) {
      for (; seen_ < Lines().size(); ++seen_)
        if (std::regex_search(Lines()[seen_], line)) return Lines()[seen_++];
      if (Clock::now() >= end) return {};
      Read(20);
    }
  }
  const std::vector<std::string> &Lines() const { return lines_; }
  std::string Log() const {
    std::string all;
    for (const std::string &l : lines_) all += l + "\n";
    return all + partial_;
  }
  void Signal(int signal) const { ::kill(pid_, signal); }
  // The exit status, -1 when it did not end within ms (or died of a signal).
  int Wait(int ms) {
    const auto end = Clock::now() + std::chrono::milliseconds(ms);
    while (!exited_) {
      const pid_t done = ::waitpid(pid_, &status_, WNOHANG);
      if (done == pid_) {
        exited_ = true;
        break;
      }
      if (Clock::now() >= end) return -1;
      Read(20);
    }
    while (Read(0)) {
    }
    return WIFEXITED(status_) ? WEXITSTATUS(status_) : -1;
  }

private:
  bool Read(int ms) {
    if (fd_ < 0) return false;
    pollfd p{fd_, POLLIN, 0};
    if (::poll(&p, 1, ms) <= 0) return false;
    char buf[4096];
    const ssize_t n = ::read(fd_, buf, sizeof buf);
    if (n <= 0) return false;
    partial_.append(buf, static_cast<size_t>(n));
    for (size_t at; (at = partial_.find('\n')) != std::string::npos;) {
      lines_.push_back(partial_.substr(0, at));
      partial_.erase(0, at + 1);
    }
    return true;
  }

  pid_t pid_ = -1;
  int fd_ = -1;
  int status_ = 0;
  bool exited_ = false;
  std::vector<std::string> lines_;
  std::string partial_;
  size_t seen_ = 0;
};

// "N lecturas guardadas; la última, dd/mm/aaaa hh:mm:ss en el registrador".
struct TReported {
  long Kept = -1;
  std::string Last;  // as the log says it
};
TReported ReportedIn(const std::string &line) {
  static const std::regex kept(R"((\d+) lecturas? guardadas?(; la última, (\S+ \S+) en el registrador)?)");
  std::smatch m;
  TReported r;
  if (std::regex_search(line, m, kept)) {
    r.Kept = std::stol(m[1]);
    r.Last = m[3];
  }
  return r;
}

std::string One(const std::string &address, const QString &sql) {
  const TArchiveAddress a = ParseArchiveAddress(address);
  const QString name = QString("prueba-%1").arg(reinterpret_cast<quintptr>(&sql));
  std::string value;
  {
    QSqlDatabase db = QSqlDatabase::addDatabase(a.Engine == TArchiveEngine::SQLite ? "QSQLITE" : "QPSQL", name);
    db.setDatabaseName(QString::fromStdString(a.Engine == TArchiveEngine::SQLite ? a.Path : a.Database));
    db.setHostName(QString::fromStdString(a.Host));
    if (a.Port > 0) db.setPort(a.Port);
    db.setUserName(QString::fromStdString(a.User));
    if (db.open()) {
      QSqlQuery q(db);
      if (q.exec(sql) && q.next()) value = q.value(0).toString().toStdString();
    }
    db.close();
  }
  QSqlDatabase::removeDatabase(name);
  return value;
}

// The instant of a logged reading as the archive keeps it.
std::string IsoOfLogged(const std::string &logged) {
  int d, mo, y, h, mi, s;
  if (std::sscanf(logged.c_str(), "%d/%d/%d %d:%d:%d", &d, &mo, &y, &h, &mi, &s) != 6) return {};
  char iso[32];
  std::snprintf(iso, sizeof iso, "%04d-%02d-%02d %02d:%02d:%02d", y, mo, d, h, mi, s);
  return iso;
}

TSimConfig QuickLogger(const std::string &link, long stored, const TSimDateTime &start) {
  TSimConfig c;
  c.FrameIntervalMs = 250;
  c.StoredRecords = stored;
  c.RateCode = 1;  // a record a minute
  c.Start = start;
  c.LinkPath = link;
  c.DownloadDelayMs = 50;
  c.DownloadChunkPauseMs = 5;
  c.EndMarkPauseMs = 100;
  return c;
}

class CliRecord : public ::testing::Test {
protected:
  void SetUp() override {
    if (::access(CliPath().c_str(), X_OK) != 0) GTEST_SKIP() << "talvex-cli is not built beside the tests";
  }
  std::string Path(const char *name) const { return Dir.filePath(name).toStdString(); }
  std::string Archive() const { return Path("archivo.sqlite"); }
  // Nothing yet for an archive not made yet (a recorder killed first thing).
  std::string LiveCount(const std::string &archive) const {
    const std::string n = One(archive, "SELECT COUNT(*) FROM v_registros WHERE origen = 'en_vivo' AND canal = 1");
    return n.empty() ? "0" : n;
  }

  QTemporaryDir Dir;
  std::string Link = Path("ttyREG");
};

const std::regex kKeptLine("Guardadas \\d+ lecturas");

}  // namespace

TEST(CliRecordPieces, TheMemoryIsReadOnlyWhenItMayHoldWhatTheArchiveLacks) {
  const std::int64_t now = 1000000;
  const struct {
    const char *Name;
    std::int64_t Memory;
    int Rate;
    std::optional<std::int64_t> Newest;
    bool Read;
  } cases[] = {
      {"an empty memory", 0, 15, std::nullopt, false},
      {"nothing from the memory held", 10, 15, std::nullopt, true},
      {"the newest step held", 10, 15, now - 14 * 60, false},
      {"a step missing", 10, 15, now - 16 * 60, true},
      {"an unknown rate", 10, 0, now, true},
  };
  for (const auto &c : cases) EXPECT_EQ(MemoryMayHoldNewer(c.Memory, c.Rate, now, c.Newest), c.Read) << c.Name;
}

// Killed at moments of chance while recording: the archive stays whole,
// every reading said to be kept is there, and the next start carries on
// with what the killed one left in the queue.
TEST_F(CliRecord, KilledAtRandomMomentsLosesNothingItReportedKept) {
  TLoggerSimulator sim(QuickLogger(Link, 0, TSimDateTime{2026, 12, 8, 9, 0, 0}));
  sim.Start();
  std::mt19937 random(31);
  long reportedTotal = 0;
  std::vector<std::string> lastOfEach;
  // Six moments keep the suite quick; TALVEX_PRUEBA_MUERTES=50 asks for more.
  const char *asked = std::getenv("TALVEX_PRUEBA_MUERTES");
  const int rounds = asked && std::atoi(asked) > 0 ? std::atoi(asked) : 6;
  for (int round = 0; round < rounds; ++round) {
    TRecorderProcess recorder({"--port", Link, "--db", Archive(), "--interval", "1", "--verbose", "--no-backfill"},
                              Path("estado"));
    // Any moment: starting, between batches, in the middle of one.
    ASSERT_FALSE(recorder.WaitFor(std::regex("Grabando del puerto"), 10000).empty()) << recorder.Log();
    std::this_thread::sleep_for(std::chrono::milliseconds(random() % 7000));
    recorder.Signal(SIGKILL);
    recorder.Wait(5000);
    TReported said;
    for (const std::string &line : recorder.Lines())
      if (line.find("Guardadas") != std::string::npos) said = ReportedIn(line);
    if (said.Kept > 0) {
      reportedTotal += said.Kept;
      lastOfEach.push_back(IsoOfLogged(said.Last));
    }
    if (std::filesystem::exists(Archive())) {
      ASSERT_EQ(One(Archive(), "PRAGMA integrity_check"), "ok") << "after round " << round;
    }
    // Each start may read the logger second its killed predecessor ended
    // on once more: held once, said by both.
    EXPECT_GE(std::stol(LiveCount(Archive())),
              reportedTotal - std::max<long>(0, static_cast<long>(lastOfEach.size()) - 1))
        << "after round " << round;
  }
  for (const std::string &iso : lastOfEach) {
    EXPECT_EQ(One(Archive(), QString::fromStdString("SELECT COUNT(*) FROM v_registros WHERE origen = 'en_vivo' AND "
                                                    "canal = 1 AND instante = '" +
                                                    iso + "'")),
              "1")
        << iso;
  }

  TRecorderProcess next({"--port", Link, "--db", Archive(), "--interval", "1", "--no-backfill"}, Path("estado"));
  ASSERT_FALSE(next.WaitFor(std::regex("Grabando del puerto"), 10000).empty()) << next.Log();
  const long before = std::stol(LiveCount(Archive()));
  std::this_thread::sleep_for(std::chrono::milliseconds(2500));
  next.Signal(SIGTERM);
  EXPECT_EQ(next.Wait(10000), exOk) << next.Log();
  const TReported atEnd = ReportedIn(next.Lines().back());
  EXPECT_GE(atEnd.Kept, 2) << next.Log();
  EXPECT_FALSE(lastOfEach.empty()) << "no round lived long enough to keep anything";
  // Its first reading may be the last killed one's logger second again,
  // held once.
  const long after = std::stol(LiveCount(Archive()));
  EXPECT_GE(after, before + atEnd.Kept - 1);
  EXPECT_LE(after, before + atEnd.Kept);
  EXPECT_EQ(One(Archive(), QString::fromStdString("SELECT COUNT(*) FROM v_registros WHERE origen = 'en_vivo' AND "
                                                  "canal = 1 AND instante = '" +
                                                  IsoOfLogged(atEnd.Last) + "'")),
            "1");
  EXPECT_TRUE(std::filesystem::is_empty(Path("estado") + "/talvex/cola"));
  EXPECT_EQ(One(Archive(), "SELECT COUNT(*) FROM registros WHERE variante > 0"), "0");
}

// The device gone (the pseudo-terminal closed) and another put at the same
// path: said once, recording again soon after it returns, the memory's
// records of the gap in the archive, nothing doubled.
TEST_F(CliRecord, ADeviceThatComesBackIsRecordedAgainAndItsGapFilled) {
  auto sim = std::make_unique<TLoggerSimulator>(QuickLogger(Link, 0, TSimDateTime{2026, 12, 8, 9, 0, 0}));
  sim->Start();
  TRecorderProcess recorder({"--port", Link, "--db", Archive(), "--interval", "1", "--verbose"}, Path("estado"));
  ASSERT_FALSE(recorder.WaitFor(kKeptLine, 10000).empty()) << recorder.Log();
  sim->Stop();
  ASSERT_FALSE(recorder.WaitFor(std::regex("Se vuelve a intentar"), 10000).empty()) << recorder.Log();
  // Long enough for the back-off to grow past the 5 s the return is given.
  std::this_thread::sleep_for(std::chrono::seconds(9));
  // An hour later on the logger's clock, thirty records in its memory.
  sim = std::make_unique<TLoggerSimulator>(QuickLogger(Link, 30, TSimDateTime{2026, 12, 8, 10, 0, 0}));
  const std::int64_t back =
      std::chrono::duration_cast<std::chrono::seconds>(std::chrono::system_clock::now().time_since_epoch()).count();
  sim->Start();
  EXPECT_FALSE(recorder.WaitFor(std::regex("Memoria del registrador: 30 registros"), 10000).empty()) << recorder.Log();
  EXPECT_FALSE(recorder.WaitFor(std::regex("Conectado de nuevo"), 5000).empty()) << recorder.Log();
  EXPECT_FALSE(recorder.WaitFor(kKeptLine, 10000).empty()) << recorder.Log();
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.Wait(10000), exOk) << recorder.Log();
  const std::string log = recorder.Log();
  size_t said = 0;
  for (size_t at = 0; (at = log.find("Se vuelve a intentar", at)) != std::string::npos; ++at) ++said;
  EXPECT_EQ(said, 1u) << log;
  EXPECT_EQ(One(Archive(), "SELECT COUNT(*) FROM v_registros WHERE origen = 'memoria' AND canal = 1"), "30");
  EXPECT_EQ(One(Archive(), "SELECT COUNT(*) FROM registros WHERE variante > 0"), "0");
  const TReported atEnd = ReportedIn(recorder.Lines().back());
  EXPECT_EQ(LiveCount(Archive()), std::to_string(atEnd.Kept));
  // The PC's time of the first reading after the return says when
  // recording resumed.
  const std::string resumed =
      One(Archive(), QString("SELECT MIN(hora_pc) FROM registros WHERE hora_pc >= %1").arg(back));
  ASSERT_FALSE(resumed.empty());
  EXPECT_LE(std::stoll(resumed) - back, 5) << "recording resumed more than 5 s after the device came back";
}

// A second recorder on the port is refused, naming the first one's process.
TEST_F(CliRecord, ASecondRecorderOnThePortIsRefusedNamingTheFirst) {
  if (SerialLockFolder().empty() || ::access(SerialLockFolder().c_str(), W_OK) != 0)
    GTEST_SKIP() << "no lock folder to write";
  TLoggerSimulator sim(QuickLogger(Link, 0, TSimDateTime{2026, 12, 8, 9, 0, 0}));
  sim.Start();
  TRecorderProcess first({"--port", Link, "--db", Archive(), "--no-backfill"}, Path("estado"));
  ASSERT_FALSE(first.WaitFor(std::regex("Grabando del puerto"), 10000).empty()) << first.Log();
  std::this_thread::sleep_for(std::chrono::milliseconds(500));
  TRecorderProcess second({"--port", Link, "--db", Archive(), "--no-backfill"}, Path("estado"));
  EXPECT_EQ(second.Wait(10000), exPortBusy) << second.Log();
  EXPECT_NE(second.Log().find("el proceso " + std::to_string(first.Pid())), std::string::npos) << second.Log();
  first.Signal(SIGTERM);
  EXPECT_EQ(first.Wait(10000), exOk) << first.Log();
}

// The disk full under the archive and the queue: one clear message, the
// readings held meanwhile, all of them in once there is room again.
TEST_F(CliRecord, AFullDiskIsSaidOnceAndRecordingGoesOnWhenThereIsRoom) {
  const std::string disk = Path("disco");
  std::filesystem::create_directory(disk);
  if (::geteuid() != 0 || ::mount("tmpfs", disk.c_str(), "tmpfs", 0, "size=1m") != 0)
    GTEST_SKIP() << "a small disk of its own needs root";
  struct TUnmount {
    std::string Folder;
    ~TUnmount() { ::umount2(Folder.c_str(), MNT_DETACH); }
  } unmount{disk};
  TLoggerSimulator sim(QuickLogger(Link, 0, TSimDateTime{2026, 12, 8, 9, 0, 0}));
  sim.Start();
  const std::string archive = disk + "/archivo.sqlite";
  TRecorderProcess recorder({"--port", Link, "--db", archive, "--interval", "1", "--verbose", "--no-backfill"},
                            disk + "/estado");
  ASSERT_FALSE(recorder.WaitFor(kKeptLine, 10000).empty()) << recorder.Log();
  {
    std::ofstream filler(disk + "/relleno", std::ios::binary);
    const std::string block(4096, 'x');
    while (filler.write(block.data(), static_cast<std::streamsize>(block.size())) && filler.flush()) {
    }
  }
  ASSERT_FALSE(recorder.WaitFor(std::regex("Aviso"), 15000).empty()) << recorder.Log();
  std::this_thread::sleep_for(std::chrono::seconds(4));
  std::filesystem::remove(disk + "/relleno");
  EXPECT_FALSE(recorder.WaitFor(std::regex("vuelve a tomar"), 15000).empty()) << recorder.Log();
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.Wait(10000), exOk) << recorder.Log();
  const std::string log = recorder.Log();
  size_t warnings = 0;
  for (size_t at = 0; (at = log.find("Aviso", at)) != std::string::npos; ++at) ++warnings;
  EXPECT_EQ(warnings, 1u) << log;
  EXPECT_EQ(One(archive, "PRAGMA integrity_check"), "ok");
  EXPECT_EQ(LiveCount(archive), std::to_string(ReportedIn(recorder.Lines().back()).Kept));
}

// The server stopped while recording: the readings wait in the queue on
// disk and go in once, when it is back.
TEST_F(CliRecord, ReadingsWaitForAStoppedServerAndGoInOnce) {
  const char *server = std::getenv("TALVEX_TEST_POSTGRESQL");
  if (!server || !*server) GTEST_SKIP() << "TALVEX_TEST_POSTGRESQL names no PostgreSQL server";
  const TArchiveAddress a = ParseArchiveAddress(server);
  std::string bin;
  for (const char *b : {"/usr/lib/postgresql/15/bin", "/usr/lib/postgresql/16/bin", "/usr/lib/postgresql/17/bin"})
    if (::access((std::string(b) + "/pg_ctl").c_str(), X_OK) == 0) bin = b;
  if (bin.empty()) GTEST_SKIP() << "no pg_ctl";
  const std::string as = ::geteuid() == 0 ? "runuser -u nobody -- " : "";
  const auto pgCtl = [&](const std::string &arguments) {
    return std::system((as + bin + "/pg_ctl -D " + a.Host + "/data " + arguments + " >/dev/null 2>&1").c_str());
  };
  const std::string database = "talvex_registro_" + std::to_string(::getpid());
  One(server, QString::fromStdString("CREATE DATABASE " + database));
  const std::string archive = "postgresql://" + a.User + "@/" + database + "?host=" + a.Host;

  TLoggerSimulator sim(QuickLogger(Link, 0, TSimDateTime{2026, 12, 8, 9, 0, 0}));
  sim.Start();
  TRecorderProcess recorder({"--port", Link, "--db", archive, "--interval", "1", "--verbose", "--no-backfill"},
                            Path("estado"));
  ASSERT_FALSE(recorder.WaitFor(kKeptLine, 10000).empty()) << recorder.Log();
  pgCtl("-m immediate stop");
  EXPECT_FALSE(recorder.WaitFor(std::regex("esperan en la cola"), 15000).empty()) << recorder.Log();
  std::this_thread::sleep_for(std::chrono::seconds(3));
  pgCtl("-w -l " + a.Host + "/server.log -o \"-k " + a.Host + " -c listen_addresses='' -c fsync=off\" start");
  EXPECT_FALSE(recorder.WaitFor(std::regex("vuelve a tomar"), 20000).empty()) << recorder.Log();
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.Wait(10000), exOk) << recorder.Log();
  EXPECT_EQ(LiveCount(archive), std::to_string(ReportedIn(recorder.Lines().back()).Kept));
  EXPECT_EQ(One(archive, "SELECT COUNT(*) FROM registros WHERE variante > 0"), "0");
  One(server, QString::fromStdString("DROP DATABASE " + database + " WITH (FORCE)"));
}

namespace {

// A channel and a start of the simulator's clock where, at `accel`
// simulated seconds a second, the curve goes above a high limit once, some
// seconds after the start, for a few seconds, and comes back inside by the
// hysteresis before half a minute is out. Judged on fine samples with the
// limit and the hysteresis line moved either way by a margin, so that the
// readings the recorder happens to take find the same single event.
struct TCrossing {
  int Channel = 0;  // 1 to 16
  TSimDateTime Start;
  std::int32_t Limit = 0;  // tenths
};
constexpr std::int32_t kCrossingHysteresis = 20;
std::optional<TCrossing> FindCrossing(double accel) {
  const double hysteresis = kCrossingHysteresis / 10.0, margin = 0.2, step = 0.125;
  const TSimDateTime first{2026, 6, 1, 0, 0, 0};
  for (int m = 0; m < 2000; ++m) {
    const std::int64_t startMs = first.ToMs() + m * 600000LL;
    for (int channel = 1; channel <= 16; ++channel) {
      std::vector<double> curve;
      for (double t = 0; t <= 34; t += step)
        curve.push_back(ChannelTemperature(channel, startMs + static_cast<std::int64_t>(t * accel * 1000), 1));
      double peak = -1e9;
      for (size_t i = static_cast<size_t>(10 / step); i <= static_cast<size_t>(20 / step); ++i)
        peak = std::max(peak, curve[i]);
      const double limit = std::floor((peak - 0.5) * 10) / 10;
      // Runs, the first one's start and end (in seconds), under thresholds
      // moved by `shift`.
      auto runs = [&](double shift, double &from, double &to) {
        int count = 0;
        bool on = false;
        for (size_t i = 0; i < curve.size(); ++i) {
          if (!on && curve[i] > limit + shift) {
            on = true;
            if (++count == 1) from = static_cast<double>(i) * step;
          } else if (on && curve[i] <= limit - hysteresis + shift) {
            on = false;
            if (count == 1) to = static_cast<double>(i) * step;
          }
        }
        return on ? -1 : count;
      };
      double early = 0, earlyEnd = 0, late = 0, lateEnd = 0;
      if (runs(-margin, early, earlyEnd) == 1 && runs(margin, late, lateEnd) == 1 && early >= 8 &&
          lateEnd - late >= 3 && earlyEnd <= 28)
        return TCrossing{channel, TSimDateTime::FromMs(startMs), static_cast<std::int32_t>(std::lround(limit * 10))};
    }
  }
  return std::nullopt;
}

std::map<std::string, std::string> Variables(const std::string &text) {
  std::map<std::string, std::string> vars;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) {
    const auto eq = line.find('=');
    if (eq != std::string::npos) vars[line.substr(0, eq)] = line.substr(eq + 1);
  }
  return vars;
}

}  // namespace

// The recorder judges the readings it keeps by the limits the archive holds
// for the logger, and tells the user's command once when the alarm starts
// and once when it ends, without waiting for it.
TEST_F(CliRecord, OnAlarmTellsTheCommandOfEachStartAndEnd) {
  constexpr double kAccel = 600;
  const std::optional<TCrossing> crossing = FindCrossing(kAccel);
  ASSERT_TRUE(crossing) << "no stretch of the simulator's curves crosses a limit once";
  {
    TArchive archive(Archive());
    TAlarmLimits limits;
    limits.High = crossing->Limit;
    limits.Hysteresis = kCrossingHysteresis;
    archive.SetAlarmLimits("cámara", crossing->Channel - 1, limits);
  }
  TSimConfig config = QuickLogger(Link, 0, crossing->Start);
  config.TimeAcceleration = kAccel;
  TLoggerSimulator sim(config);
  sim.Start();
  const std::string runs = Path("avisos");
  std::filesystem::create_directory(runs);
  TRecorderProcess recorder(
      {"--port", Link, "--db", Archive(), "--logger", "cámara", "--interval", "1", "--no-backfill", "--verbose",
       "--on-alarm", "env | grep '^TALVEX_' | sort > '" + runs + "'/\"$TALVEX_ESTADO-$$\"; exit 3"},
      Path("estado"));
  ASSERT_FALSE(recorder.WaitFor(std::regex("Alarmas de \"cámara\": 1 canal con límites"), 10000).empty())
      << recorder.Log();
  ASSERT_FALSE(recorder.WaitFor(std::regex("Alarma alta en CH\\d+ termina"), 45000).empty()) << recorder.Log();
  // Time for anything more it would wrongly tell.
  std::this_thread::sleep_for(std::chrono::milliseconds(3000));
  recorder.Signal(SIGTERM);
  EXPECT_EQ(recorder.Wait(10000), exOk) << recorder.Log();

  std::map<std::string, std::map<std::string, std::string>> told;
  for (const auto &file : std::filesystem::directory_iterator(runs))
    told[file.path().filename().string().substr(0, 7)] = Variables(ReadFile(file.path().string()));
  ASSERT_EQ(told.size(), 2u) << recorder.Log();
  ASSERT_EQ(std::distance(std::filesystem::directory_iterator(runs), std::filesystem::directory_iterator()), 2)
      << recorder.Log();
  const auto &start = told["empieza"], &end = told["termina"];
  for (const auto *vars : {&start, &end}) {
    EXPECT_EQ(vars->at("TALVEX_REGISTRADOR"), "cámara");
    EXPECT_EQ(vars->at("TALVEX_CANAL"), std::to_string(crossing->Channel));
    EXPECT_EQ(vars->at("TALVEX_TIPO"), "alta");
    EXPECT_TRUE(std::regex_match(vars->at("TALVEX_VALOR"), std::regex("-?\\d+,\\d")));
    EXPECT_TRUE(std::regex_match(vars->at("TALVEX_HORA"), std::regex("\\d{4}-\\d\\d-\\d\\dT\\d\\d:\\d\\d:\\d\\d")));
    EXPECT_EQ(vars->at("TALVEX_DESDE"), start.at("TALVEX_HORA")) << "no delay: it starts at its first reading";
  }
  std::int64_t value;
  ASSERT_TRUE(ParseTenths(start.at("TALVEX_VALOR"), value));
  EXPECT_GT(value, crossing->Limit) << recorder.Log();
  ASSERT_TRUE(ParseTenths(end.at("TALVEX_VALOR"), value));
  EXPECT_LE(value, crossing->Limit - kCrossingHysteresis) << "back inside by the hysteresis";
  ASSERT_TRUE(ParseTenths(end.at("TALVEX_EXTREMO"), value));
  EXPECT_GT(value, crossing->Limit);
  EXPECT_GT(end.at("TALVEX_HORA"), start.at("TALVEX_HORA"));
  // The command's exit 3, said once for the two runs.
  const std::string log = recorder.Log();
  EXPECT_NE(log.find("terminó con el código 3"), std::string::npos) << log;
  EXPECT_EQ(log.find("terminó con el código 3"), log.rfind("terminó con el código 3")) << log;
  // The archive found the same event in the same readings. On a loaded
  // machine the recording starts late on the simulator's fast clock, so
  // the whole day is asked for.
  const TSimDateTime &from = crossing->Start;
  const TStamp first{from.Year, from.Month, from.Day, from.Hour, from.Minute, from.Second};
  const std::vector<TArchivedAlarmEvent> events =
      TArchive(Archive()).AlarmEvents("cámara", first, StampFromSeconds(StampSeconds(first) + 24 * 3600));
  ASSERT_EQ(events.size(), 1u) << recorder.Log();
  EXPECT_EQ(IsoText(StampFromSeconds(events[0].Event.Start)), start.at("TALVEX_DESDE")) << recorder.Log();
  ASSERT_TRUE(events[0].Event.End);
  EXPECT_EQ(IsoText(StampFromSeconds(*events[0].Event.End)), end.at("TALVEX_HORA")) << recorder.Log();
}
