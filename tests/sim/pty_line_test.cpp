// The simulator over a real pseudo-terminal, seen from the PC's side: the
// test opens the slave in raw mode and talks to it as the program would.

#include "sim/logger_simulator.h"

#include <gtest/gtest.h>

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <termios.h>
#include <unistd.h>
#include <cerrno>
#include <chrono>
#include <csignal>
#include <cstdio>
#include <cstdlib>

namespace {

using Clock = std::chrono::steady_clock;
constexpr int kWaitMs = 5000;  // generous: only a broken simulator needs it all

// The PC end of the line.
class TPcEnd {
public:
  explicit TPcEnd(const std::string &path) {
    Fd = ::open(path.c_str(), O_RDWR | O_NOCTTY | O_NONBLOCK);
    if (Fd < 0) return;
    termios tio{};
    ::tcgetattr(Fd, &tio);
    ::cfmakeraw(&tio);
    ::tcsetattr(Fd, TCSANOW, &tio);
  }
  ~TPcEnd() {
    if (Fd >= 0) ::close(Fd);
  }
  bool Ok() const { return Fd >= 0; }

  void Write(const std::string &s) const { ASSERT_EQ(::write(Fd, s.data(), s.size()), static_cast<ssize_t>(s.size())); }
  void Discard() const { ::tcflush(Fd, TCIFLUSH); }
  int Pending() const {
    int n = 0;
    ::ioctl(Fd, FIONREAD, &n);
    return n;
  }

  // One read of whatever is there, waiting up to timeout_ms for something.
  // Empty on timeout; Eof set when the other end hung up.
  std::string ReadOnce(int timeout_ms) {
    pollfd p{Fd, POLLIN, 0};
    if (::poll(&p, 1, timeout_ms) <= 0) return std::string();
    char buf[65536];
    const ssize_t n = ::read(Fd, buf, sizeof buf);
    if (n > 0) return std::string(buf, static_cast<size_t>(n));
    if (n == 0 || errno == EIO) Eof = true;
    return std::string();
  }

  // Reads until `done` holds for all read so far, or the time is up.
  std::string ReadUntil(const std::function<bool(const std::string &)> &done, int timeout_ms = kWaitMs) {
    std::string all;
    const auto deadline = Clock::now() + std::chrono::milliseconds(timeout_ms);
    while (!done(all) && !Eof && Clock::now() < deadline) all += ReadOnce(50);
    return all;
  }

  // The next complete frames, recognised by their end character.
  std::vector<std::string> Frames(size_t count) {
    std::vector<std::string> frames;
    std::string buf;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while (frames.size() < count && Clock::now() < deadline) {
      buf += ReadOnce(50);
      size_t end;
      while ((end = buf.find(kFrameEnd)) != std::string::npos) {
        // A frame cut short by the start of the read is not a frame.
        if (end + 1 == static_cast<size_t>(kLiveFrameLength) && frames.size() < count)
          frames.push_back(buf.substr(0, end + 1));
        buf.erase(0, end + 1);
      }
    }
    return frames;
  }

  int Fd = -1;
  bool Eof = false;
};

TSimConfig FastConfig() {
  TSimConfig c;
  c.FrameIntervalMs = 20;
  c.DownloadDelayMs = 50;
  c.DownloadChunkBytes = 0;  // no pauses
  c.DownloadChunkPauseMs = 0;
  c.EndMarkPauseMs = 100;
  return c;
}

bool InMode(const TSimSnapshot &s, TSimMode m) { return s.Mode == m; }

int FrameNum(const std::string &f, size_t pos1, size_t width) { return std::stoi(f.substr(pos1 - 1, width)); }

// Runs a download the way the program asks for one, returning everything
// received between "X" and the lone end mark (which is checked here).
std::string Download(TLoggerSimulator &sim, TPcEnd &pc, const char *request = "8") {
  pc.Write(request);
  EXPECT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return InMode(s, TSimMode::smArmed); }, kWaitMs));
  pc.Discard();  // what the program's purge throws away: frames sent before the request
  pc.Write("X");
  std::string dump;
  for (;;) {
    const std::string piece = pc.ReadOnce(kWaitMs);
    if (piece.empty()) {
      ADD_FAILURE() << "no end mark after " << dump.size() << " bytes";
      return dump;
    }
    if (piece.find('A') != std::string::npos) {
      // The end mark comes in a read of its own: the dump was read before it.
      EXPECT_EQ(piece, kEndMark);
      EXPECT_EQ(dump.substr(dump.size() >= 2 ? dump.size() - 2 : 0), "\r\n");
      return dump;
    }
    dump += piece;
  }
}

std::vector<std::string> SplitCrLf(const std::string &text) {
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t e = text.find("\r\n", start);
    if (e == std::string::npos) e = text.size();
    lines.push_back(text.substr(start, e - start));
    start = e + 2;
  }
  return lines;
}

}  // namespace

TEST(SimLine, SendsWholeDigitFramesAtTheIntervalWithTheStartState) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 10;
  cfg.Start = TSimDateTime{2003, 12, 25, 14, 30, 7};
  cfg.RateCode = 5;
  TLoggerSimulator sim(cfg);
  sim.Start();
  ASSERT_EQ(sim.SlavePath().rfind("/dev/pts/", 0), 0u) << sim.SlavePath();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  pc.Discard();
  const std::vector<std::string> frames = pc.Frames(5);
  ASSERT_EQ(frames.size(), 5u);
  for (const std::string &f : frames) {
    EXPECT_EQ(f.find_first_not_of("0123456789"), 103u) << f;
    EXPECT_EQ(f.substr(0, 10), "3014251203");  // 20 ms ticks: still the same minute
    EXPECT_EQ(FrameNum(f, 17, 1), 5);
    EXPECT_EQ(((FrameNum(f, 98, 3) * 256 + FrameNum(f, 101, 3)) - 31) / 32, 10);
    EXPECT_EQ(FrameNum(f, 13, 3), cfg.BatteryStart);
  }
  EXPECT_EQ(sim.MemoryCount(), 10);
  EXPECT_EQ(sim.Records().size(), 10u);
  // Ten 30-minute records ending now: the recording began five hours ago.
  EXPECT_EQ(sim.NextDumpHeader(), (TSimDumpHeader{TSimDateTime{2003, 12, 25, 9, 30, 7}, 5}));
}

TEST(SimLine, RateCommandsChangeTheReportedCode) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 8;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  const std::pair<const char *, int> cases[] = {{"6", 5}, {"7", 6}, {"5", 4}, {"6", 5}};
  for (const auto &c : cases) {
    pc.Write(c.first);
    ASSERT_TRUE(sim.WaitFor([&](const TSimSnapshot &s) { return s.RateCode == c.second; }, kWaitMs)) << c.first;
    pc.Discard();
    const std::vector<std::string> frames = pc.Frames(2);
    ASSERT_EQ(frames.size(), 2u);
    EXPECT_EQ(FrameNum(frames.back(), 17, 1), c.second) << "after command " << c.first;
  }
  EXPECT_EQ(sim.ReceivedBytes(), "6756");
  // What is stored stays; the header counts it back from the record in
  // progress at the new rate, so the latest records keep their true times.
  EXPECT_EQ(sim.MemoryCount(), 8);
  EXPECT_EQ(sim.NextDumpHeader(), (TSimDumpHeader{TSimDateTime::FromMs(cfg.Start.ToMs() - 8 * 30 * 60000LL), 5}));
}

TEST(SimLine, ClockSetTakesTheTimeAndEmptiesMemory) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 25;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  // One write per character, as the program sends it: 14:05:09 on 25/12/03.
  for (char c : std::string("3140509251203")) pc.Write(std::string(1, c));
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.ClockSets == 1; }, kWaitMs));
  EXPECT_EQ(sim.MemoryCount(), 0);
  EXPECT_EQ(sim.NextDumpHeader().Start, (TSimDateTime{2003, 12, 25, 14, 5, 9}));
  pc.Discard();
  const std::vector<std::string> frames = pc.Frames(2);
  ASSERT_EQ(frames.size(), 2u);
  EXPECT_EQ(frames.back().substr(0, 10), "0514251203");
  EXPECT_EQ(frames.back().substr(97, 6), "000031");
}

TEST(SimLine, MalformedClockSetsChangeNothing) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 25;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  pc.Write("3256000010199");  // 25 o'clock
  pc.Write("3140509310203");  // 31 February
  pc.Write("31405x");         // cut short by another byte
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.RejectedCommands >= 4; }, kWaitMs));
  const TSimSnapshot s = sim.Snapshot();
  EXPECT_EQ(s.ClockSets, 0);
  EXPECT_EQ(s.RejectedCommands, 4);  // two impossible dates, one cut short, one stray "x"
  EXPECT_EQ(s.MemoryCount, 25);
  EXPECT_EQ(s.Clock.Year, 2004);
}

TEST(SimLine, DownloadSendsTheDumpThenTheLoneEndMarkAndWaitsForTheAck) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 40;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  const std::vector<TReadings> records = sim.Records();
  const TSimDumpHeader header = sim.NextDumpHeader();
  const std::string dump = Download(sim, pc, "8");
  const std::vector<std::string> lines = SplitCrLf(dump);
  ASSERT_EQ(lines.size(), records.size() + 2);
  EXPECT_EQ(lines[0], MakeDumpHeaderLine(header));
  for (size_t i = 0; i < records.size(); ++i) ASSERT_EQ(lines[i + 1], MakeRecordLine(records[i])) << "line " << i + 1;
  EXPECT_EQ(lines.back().size(), 96u);
  EXPECT_EQ(lines.back().find_first_not_of("0123456789"), std::string::npos);
  // Nothing but the dump came: no live frame slipped in.
  for (size_t i = 0; i < dump.size(); ++i) {
    if (dump[i] == '\n') {
      ASSERT_EQ(dump[i - 1], '\r') << "bare line feed at " << i;
    }
  }

  // Until the acknowledgement the logger stays quiet.
  EXPECT_TRUE(InMode(sim.Snapshot(), TSimMode::smAwaitAck));
  EXPECT_EQ(pc.ReadOnce(150), "");
  pc.Write("x");
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.AcksReceived == 1; }, kWaitMs));
  EXPECT_EQ(pc.Frames(2).size(), 2u);
  const TSimSnapshot s = sim.Snapshot();
  EXPECT_EQ(s.DownloadsCompleted, 1);
  EXPECT_EQ(s.Received, "8Xx");
  EXPECT_EQ(s.DownloadBytesSent, static_cast<long long>(dump.size()));
}

TEST(SimLine, CompleteDownloadRequestInPacedChunksGivesTheSameDump) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 30;
  cfg.DownloadChunkBytes = 200;
  cfg.DownloadChunkPauseMs = 5;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  const std::vector<TReadings> records = sim.Records();
  const std::string dump = Download(sim, pc, "E");
  const std::vector<std::string> lines = SplitCrLf(dump);
  ASSERT_EQ(lines.size(), 32u);
  EXPECT_EQ(lines[30], MakeRecordLine(records[29]));
}

TEST(SimLine, EmptyMemoryDownloadsHeaderAndRecordInProgress) {
  TLoggerSimulator sim(FastConfig());
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  const std::vector<std::string> lines = SplitCrLf(Download(sim, pc));
  ASSERT_EQ(lines.size(), 2u);
  EXPECT_EQ(lines[0], MakeDumpHeaderLine(TSimDumpHeader{TSimDateTime{2004, 3, 15, 10, 30, 0}, 4}));
}

TEST(SimLine, StrayOrLateDownloadCommandsAreIgnored) {
  TSimConfig cfg = FastConfig();
  cfg.CommandTimeoutMs = 100;
  cfg.AckTimeoutMs = 100;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  pc.Write("X");  // no request before it
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.RejectedCommands == 1; }, kWaitMs));
  EXPECT_TRUE(InMode(sim.Snapshot(), TSimMode::smLive));
  pc.Write("8");  // and no "X" after it: frames come back
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return InMode(s, TSimMode::smArmed); }, kWaitMs));
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return InMode(s, TSimMode::smLive); }, kWaitMs));
  EXPECT_EQ(pc.Frames(1).size(), 1u);
  // A download nobody acknowledges also ends in frames again.
  Download(sim, pc);
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return InMode(s, TSimMode::smLive); }, kWaitMs));
  EXPECT_EQ(sim.Snapshot().AcksReceived, 0);
  EXPECT_EQ(pc.Frames(1).size(), 1u);
}

TEST(SimLine, MemoryFillsAtTheRateAndStopsWhenFull) {
  TSimConfig cfg = FastConfig();
  cfg.RateCode = 1;             // a record a minute...
  cfg.TimeAcceleration = 3000;  // ...and a simulated minute per 20 ms tick
  cfg.Capacity = 12;
  TLoggerSimulator sim(cfg);
  sim.Start();
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.MemoryCount == 12; }, kWaitMs));
  const TSimDumpHeader header = sim.NextDumpHeader();
  EXPECT_EQ(header.Start, cfg.Start);
  const std::vector<TReadings> records = sim.Records();
  // Record i holds what the channels read when it was taken, at start + i steps.
  for (size_t i = 0; i < records.size(); ++i)
    EXPECT_EQ(records[i], ChannelReadings(cfg.Start.ToMs() + static_cast<std::int64_t>(i + 1) * 60000, cfg.Seed));
  const TSimDateTime before = sim.Clock();
  ASSERT_TRUE(sim.WaitFor([&](const TSimSnapshot &s) { return s.Clock.ToMs() > before.ToMs() + 600000; }, kWaitMs));
  EXPECT_EQ(sim.MemoryCount(), 12);
  EXPECT_EQ(sim.NextDumpHeader(), header);
}

TEST(SimLine, BatteryDrainsWithSimulatedTime) {
  TSimConfig cfg = FastConfig();
  cfg.TimeAcceleration = 180000;  // an hour per 20 ms tick
  cfg.BatteryDrainSeconds = 3600;
  cfg.BatteryStart = 160;
  cfg.BatteryMin = 150;
  TLoggerSimulator sim(cfg);
  sim.Start();
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.Battery == 150; }, kWaitMs));
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.FramesSent > 20; }, kWaitMs));
  EXPECT_EQ(sim.Snapshot().Battery, 150);
}

TEST(SimLine, SameSeedSameDumpOtherSeedOtherData) {
  auto dump_of = [](std::uint64_t seed) {
    TSimConfig cfg = FastConfig();
    cfg.StoredRecords = 50;
    cfg.Seed = seed;
    TLoggerSimulator sim(cfg);
    sim.Start();
    TPcEnd pc(sim.SlavePath());
    std::string d = Download(sim, pc);
    // The record in progress reads the channels "now", which depends on how
    // many ticks passed; the stored part must match byte for byte.
    return d.substr(0, d.size() - 98);
  };
  const std::string a = dump_of(9), b = dump_of(9), c = dump_of(10);
  EXPECT_EQ(a.size(), 24u - 1 + 50 * 98);  // header line with CR LF, 50 records
  EXPECT_EQ(a, b);
  EXPECT_NE(a, c);
}

TEST(SimLine, CorruptsEveryNthFrameInOnePlace) {
  TSimConfig cfg = FastConfig();
  cfg.CorruptEvery = 3;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  pc.Discard();
  const std::vector<std::string> frames = pc.Frames(12);
  ASSERT_EQ(frames.size(), 12u);
  int bad = 0;
  for (const std::string &f : frames) {
    int non_digits = 0;
    for (size_t i = 0; i < 103; ++i) non_digits += (f[i] < '0' || f[i] > '9');
    EXPECT_LE(non_digits, 1) << f;
    bad += non_digits;
  }
  EXPECT_GE(bad, 3);
  EXPECT_LE(bad, 5);
  const TSimSnapshot s = sim.Snapshot();
  EXPECT_EQ(s.CorruptFramesSent, s.FramesSent / 3);
}

TEST(SimLine, HangsUpAfterTheGivenDownloadBytes) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 100;
  cfg.HangupAfter = 1000;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  pc.Write("8");
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return InMode(s, TSimMode::smArmed); }, kWaitMs));
  pc.Discard();
  pc.Write("X");
  // Nothing read yet: the line stays up until the PC has what was sent.
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.DownloadBytesSent == 1000; }, kWaitMs));
  EXPECT_FALSE(sim.HungUp());
  const std::string got = pc.ReadUntil([](const std::string &) { return false; });
  EXPECT_TRUE(pc.Eof);
  EXPECT_EQ(got.size(), 1000u);
  EXPECT_TRUE(sim.HungUp());
  EXPECT_EQ(got.find('A'), std::string::npos);
  sim.Stop();  // after a hang-up too
}

TEST(SimLine, GivesUpADownloadNobodyReads) {
  TSimConfig cfg = FastConfig();
  cfg.StoredRecords = 2000;
  cfg.StallTimeoutMs = 200;
  TLoggerSimulator sim(cfg);
  sim.Start();
  {
    TPcEnd pc(sim.SlavePath());
    ASSERT_TRUE(pc.Ok());
    pc.Write("8");
    ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return InMode(s, TSimMode::smArmed); }, kWaitMs));
    pc.Write("X");
  }  // the PC goes away with 196 kB still to come
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.DownloadsAborted == 1; }, kWaitMs));
  EXPECT_TRUE(InMode(sim.Snapshot(), TSimMode::smLive));
  TPcEnd again(sim.SlavePath());
  ASSERT_TRUE(again.Ok());
  EXPECT_EQ(again.Frames(2).size(), 2u);
}

TEST(SimLine, KeepsOnlyAFewFramesForNobody) {
  TLoggerSimulator sim(FastConfig());
  sim.Start();
  ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.FramesSent >= 20; }, kWaitMs));
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  EXPECT_LT(pc.Pending(), 5 * kLiveFrameLength);
  EXPECT_EQ(pc.Frames(3).size(), 3u);
}

TEST(SimLine, LinkPointsAtTheDeviceWhileRunning) {
  char dir_template[] = "/tmp/talvex-sim-test-XXXXXX";
  ASSERT_NE(::mkdtemp(dir_template), nullptr);
  const std::string dir = dir_template;
  TSimConfig cfg = FastConfig();
  cfg.LinkPath = dir + "/ttyV0";
  {
    TLoggerSimulator sim(cfg);
    sim.Start();
    char target[256] = {};
    ASSERT_GT(::readlink(cfg.LinkPath.c_str(), target, sizeof target - 1), 0);
    EXPECT_EQ(std::string(target), sim.SlavePath());
    TPcEnd pc(cfg.LinkPath);
    ASSERT_TRUE(pc.Ok());
    EXPECT_EQ(pc.Frames(1).size(), 1u);
    sim.Stop();
    struct stat st {};
    EXPECT_NE(::lstat(cfg.LinkPath.c_str(), &st), 0) << "link left behind";
    sim.Stop();
  }
  // A file that is not a stale pty link is never replaced.
  FILE *f = std::fopen(cfg.LinkPath.c_str(), "w");
  ASSERT_NE(f, nullptr);
  std::fputs("keep", f);
  std::fclose(f);
  TLoggerSimulator sim(cfg);
  try {
    sim.Start();
    ADD_FAILURE() << "started over a plain file";
  } catch (const ESimulator &e) {
    EXPECT_EQ(e.OsCode(), EEXIST);
    EXPECT_NE(e.Message().find(cfg.LinkPath), std::string::npos) << e.Message();
  }
  EXPECT_FALSE(sim.Running());
  struct stat st {};
  ASSERT_EQ(::lstat(cfg.LinkPath.c_str(), &st), 0);
  EXPECT_TRUE(S_ISREG(st.st_mode));
  EXPECT_EQ(st.st_size, 4);
  ::unlink(cfg.LinkPath.c_str());
  // A link left by a run that was killed hard is taken over.
  ASSERT_EQ(::symlink("/dev/pts/999", cfg.LinkPath.c_str()), 0);
  TLoggerSimulator again(cfg);
  again.Start();
  char target[256] = {};
  ASSERT_GT(::readlink(cfg.LinkPath.c_str(), target, sizeof target - 1), 0);
  EXPECT_EQ(std::string(target), again.SlavePath());
  again.Stop();
  ::rmdir(dir.c_str());
}

TEST(SimLine, LargeMemoryDownloadsWhole) {
  TSimConfig cfg = FastConfig();
  cfg.Capacity = 20000;
  cfg.StoredRecords = 20000;
  cfg.RateCode = 1;
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  const std::vector<std::string> lines = SplitCrLf(Download(sim, pc));
  ASSERT_EQ(lines.size(), 20002u);
  const std::vector<TReadings> records = sim.Records();
  EXPECT_EQ(lines[1], MakeRecordLine(records.front()));
  EXPECT_EQ(lines[20000], MakeRecordLine(records.back()));
  // 20000 one-minute records before 10:30 on 15/03/2004.
  EXPECT_EQ(sim.NextDumpHeader().Start, TSimDateTime::FromMs(cfg.Start.ToMs() - 20000LL * 60000));
}

// The program itself: prints the device, serves it, cleans up on SIGTERM,
// and on SIGINT even when started from a script that ignores it.
TEST(SimProgram, PrintsTheDeviceAndRemovesItsLinkWhenSignalled) {
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string exe = self;
  exe = exe.substr(0, exe.rfind('/')) + "/talvex-sim";
  if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "talvex-sim not built beside the tests";
  char dir_template[] = "/tmp/talvex-sim-prog-XXXXXX";
  ASSERT_NE(::mkdtemp(dir_template), nullptr);
  const std::string link = std::string(dir_template) + "/ttyV0";

  for (int sig : {SIGTERM, SIGINT}) {
    SCOPED_TRACE(sig == SIGTERM ? "SIGTERM" : "SIGINT");
    int out[2];
    ASSERT_EQ(::pipe(out), 0);
    const pid_t pid = ::fork();
    ASSERT_GE(pid, 0);
    if (pid == 0) {
      ::dup2(out[1], 1);
      ::close(out[0]);
      ::close(out[1]);
      ::signal(SIGINT, SIG_IGN);  // what a shell does to a job started with &
      ::execl(exe.c_str(), exe.c_str(), "--interval", "20", "--records", "3", "--rate", "6", "--link", link.c_str(),
              static_cast<char *>(nullptr));
      ::_exit(127);
    }
    ::close(out[1]);
    std::string path;
    char c;
    while (::read(out[0], &c, 1) == 1 && c != '\n') path += c;
    ::close(out[0]);
    EXPECT_EQ(path.rfind("/dev/pts/", 0), 0u) << path;
    {
      TPcEnd pc(link);
      EXPECT_TRUE(pc.Ok());
      const std::vector<std::string> frames = pc.Frames(1);
      EXPECT_EQ(frames.size(), 1u);
      if (!frames.empty()) {
        EXPECT_EQ(FrameNum(frames[0], 17, 1), 6);
        EXPECT_EQ(frames[0].substr(97, 6), "000127");
      }
    }
    ::kill(pid, sig);
    int status = 0;
    pid_t done = 0;
    const auto deadline = Clock::now() + std::chrono::milliseconds(kWaitMs);
    while ((done = ::waitpid(pid, &status, WNOHANG)) == 0 && Clock::now() < deadline) ::usleep(10000);
    if (done == 0) {
      ::kill(pid, SIGKILL);
      ::waitpid(pid, &status, 0);
      ADD_FAILURE() << "talvex-sim did not end on the signal";
      continue;
    }
    ASSERT_EQ(done, pid);
    EXPECT_TRUE(WIFEXITED(status));
    EXPECT_EQ(WEXITSTATUS(status), 0);
    struct stat st {};
    EXPECT_NE(::lstat(link.c_str(), &st), 0);
  }
  ::rmdir(dir_template);
}

TEST(SimProgram, RefusesBadOptionsWithAMessage) {
  char self[4096] = {};
  ASSERT_GT(::readlink("/proc/self/exe", self, sizeof self - 1), 0);
  std::string exe = self;
  exe = exe.substr(0, exe.rfind('/')) + "/talvex-sim";
  if (::access(exe.c_str(), X_OK) != 0) GTEST_SKIP() << "talvex-sim not built beside the tests";
  for (const char *args : {"--rate 7", "--interval abc", "--start 2004-02-30T00:00:00", "--bogus 1", "--records"}) {
    const std::string cmd = exe + " " + args + " 2>&1";
    FILE *p = ::popen(cmd.c_str(), "r");
    ASSERT_NE(p, nullptr);
    std::string text;
    char buf[256];
    while (std::fgets(buf, sizeof buf, p)) text += buf;
    const int status = ::pclose(p);
    EXPECT_EQ(WEXITSTATUS(status), 2) << args;
    EXPECT_EQ(text.rfind("talvex-sim: ", 0), 0u) << args << ": " << text;
  }
}

TEST(SimLine, AClockThatGainsRunsFastOnTheLine) {
  TSimConfig cfg = FastConfig();
  cfg.TimeAcceleration = 3000;     // a simulated minute per 20 ms tick...
  cfg.DriftSecondsPerDay = 43200;  // ...and half as much again by its own clock
  TLoggerSimulator sim(cfg);
  sim.Start();
  TPcEnd pc(sim.SlavePath());
  ASSERT_TRUE(pc.Ok());
  pc.Discard();
  const std::vector<std::string> frames = pc.Frames(6);
  ASSERT_EQ(frames.size(), 6u);
  auto seconds = [](const std::string &f) {
    return (FrameNum(f, 3, 2) * 60 + FrameNum(f, 1, 2)) * 60 + FrameNum(f, 11, 2);
  };
  int steps = 0;
  for (std::size_t i = 1; i < frames.size(); ++i) {
    const int gained = (seconds(frames[i]) - seconds(frames[i - 1]) + 86400) % 86400;
    // 90 s a tick; a tick the thread was late for shows as a multiple.
    EXPECT_EQ(gained % 90, 0) << gained;
    steps += gained == 90;
  }
  EXPECT_GT(steps, 0);
}
