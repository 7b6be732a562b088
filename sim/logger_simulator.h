#pragma once

// The logger's side of the serial line, played on the master of a
// pseudo-terminal: live frames at a steady interval, the clock/rate/download
// commands, the dump with its lone end mark. Used by the tests (a real pty and
// the real serial code), by the program's demo port and by talvex-sim.
//
// Standard library and POSIX only: no Qt in here.

#include <array>
#include <condition_variable>
#include <cstdint>
#include <functional>
#include <memory>
#include <mutex>
#include <stdexcept>
#include <string>
#include <thread>
#include <vector>

// Anything the simulator cannot do (no pty, bad link path, bad option).
// OsCode() is the system's error number when a system call failed, else 0.
class ESimulator : public std::runtime_error {
public:
  explicit ESimulator(const std::string &message, int os_code = 0) : std::runtime_error(message), OsCode_(os_code) {}
  std::string Message() const { return what(); }
  int OsCode() const { return OsCode_; }

private:
  int OsCode_;
};

constexpr int kSimChannels = 16;
constexpr int kLiveFrameLength = 104;
constexpr int kRecordLineDigits = 96;
constexpr int kDefaultCapacity = 2000;
// Half a day a day, either way: a clock that still runs forwards.
constexpr double kMaxDriftSecondsPerDay = 43200;
// The last character of a live frame is never read by the program; a line
// feed there makes `cat` on the device show one frame per line.
constexpr char kFrameEnd = '\n';
// The download's end mark, sent on its own after a pause.
inline const std::string kEndMark = "A";

// Raw 12-bit readings (0..4095) of the 16 channels, channel 1 first.
using TReadings = std::array<std::uint16_t, kSimChannels>;

// A calendar date and time without time zone; years 2000..2099 are what the
// logger can show, since it sends two digits.
struct TSimDateTime {
  int Year = 2004, Month = 1, Day = 1, Hour = 0, Minute = 0, Second = 0;

  // Milliseconds since 2000-01-01 00:00:00 and back (proleptic Gregorian).
  std::int64_t ToMs() const;
  static TSimDateTime FromMs(std::int64_t ms);
  // False for month 13, 31 April, 25 o'clock and the like.
  bool IsValid() const;
  // "2004-03-15 10:30:00"; Parse accepts that and "2004-03-15T10:30:00" and
  // throws ESimulator on anything else or an invalid date.
  std::string Text() const;
  static TSimDateTime Parse(const std::string &text);
  // The PC's local time, to start a demo logger where the user is.
  static TSimDateTime Now();

  bool operator==(const TSimDateTime &o) const {
    return Year == o.Year && Month == o.Month && Day == o.Day && Hour == o.Hour && Minute == o.Minute &&
           Second == o.Second;
  }
  bool operator!=(const TSimDateTime &o) const { return !(*this == o); }
};

// Sampling-rate codes as the logger reports them: 1..6 for 1, 5, 10, 15, 30
// and 60 minutes. Commands "5", "6", "7" select 4, 5, 6.
int RateStepMinutes(int rate_code);  // 0 for an unknown code
bool IsValidRateCode(int rate_code);

// What one live frame carries.
struct TLoggerState {
  TSimDateTime Clock;
  int Battery = 196;  // three digits; the program shows Battery / 2 per cent
  int RateCode = 4;
  TReadings Readings{};
  long MemoryCount = 0;  // records stored; sent as address 31 + 32 * count
};
using LoggerState = TLoggerState;

// Header of a download: when the recording started and at which rate.
struct TSimDumpHeader {
  TSimDateTime Start;
  int RateCode = 4;
  bool operator==(const TSimDumpHeader &o) const { return Start == o.Start && RateCode == o.RateCode; }
};

// Memory address the frame reports for a record count (AH*256+AL). Counts the
// three-digit high part cannot carry are clamped to the largest address.
long MemoryAddress(long memory_count);

// The 104-character live frame: mm hh DD MM YY ss BBB 0 R, 16 x (HH LLL),
// AHHAHL... exactly as the program decodes it, ending in kFrameEnd.
std::string MakeLiveFrame(const TLoggerState &state);
// One 96-digit record line (without its line end): 16 x (HHH LLL).
std::string MakeRecordLine(const TReadings &readings);
// The header line (without its line end): "*YY-MM-DD ss:mm:hh R<code>".
std::string MakeDumpHeaderLine(const TSimDumpHeader &header);
// Everything the logger sends for a download except the end mark: the header
// line, one line per stored record and one for the record in progress, each
// ending in CR LF.
std::string MakeDump(const TSimDumpHeader &header, const std::vector<TReadings> &records, const TReadings &in_progress);

// The channel curves: smooth, distinct per channel, between about 5 and 60 °C,
// a function of the simulated time and the seed only.
double ChannelTemperature(int channel, std::int64_t sim_ms, std::uint64_t seed);
// The same as a 12-bit reading: temperature * 10 + 500, rounded.
std::uint16_t ChannelReading(int channel, std::int64_t sim_ms, std::uint64_t seed);
TReadings ChannelReadings(std::int64_t sim_ms, std::uint64_t seed);
// Reading to degrees the way the program converts it.
double ReadingToCelsius(std::uint16_t reading);

struct TSimConfig {
  int FrameIntervalMs = 1000;        // one live frame per interval
  long StoredRecords = 0;            // records already in memory at start
  long Capacity = kDefaultCapacity;  // memory positions; more for tests of scale
  std::uint64_t Seed = 1;
  int RateCode = 4;                            // 1..6
  TSimDateTime Start{2004, 3, 15, 10, 30, 0};  // logger clock at start
  double TimeAcceleration = 1.0;               // simulated seconds per real second
  double DriftSecondsPerDay = 0;               // the logger's clock gains (or, below 0, loses) this much a day
  long CorruptEvery = 0;                       // garble every Nth live frame; 0 = never
  long long HangupAfter = -1;                  // close the line after N download bytes; -1 = never
  int DownloadDelayMs = 300;                   // from "X" to the first byte of the dump
  int DownloadChunkBytes = 1024;               // bytes per write; 0 = the whole dump at once
  int DownloadChunkPauseMs = 89;               // pause between writes (about 115200 baud)
  int EndMarkPauseMs = 300;                    // quiet time before the lone "A"
  int CommandTimeoutMs = 5000;                 // "8" without "X", "3" without its digits
  int AckTimeoutMs = 10000;                    // no "x" after "A": back to live frames anyway
  int StallTimeoutMs = 5000;                   // nobody reads the dump: give it up
  int BatteryStart = 196;                      // three-digit battery reading at start
  int BatteryMin = 120;
  int BatteryDrainSeconds = 7200;  // simulated seconds per battery unit
  std::string LinkPath;            // symlink to the slave, made and removed by us
  // The group (name or number) the device is handed to, read and write for
  // it (mode 0660): how a simulator started by root serves ordinary users.
  // Empty leaves the device as the system made it, its owner's alone.
  std::string DeviceGroup;

  // Throws ESimulator naming the first bad field.
  void Validate() const;
};

enum class TSimMode { smIdle, smLive, smArmed, smDownloadWait, smDownloading, smEndMarkWait, smAwaitAck, smHungUp };

// What the simulator is doing; a consistent copy taken under its lock.
struct TSimSnapshot {
  TSimMode Mode = TSimMode::smIdle;
  TSimDateTime Clock;
  int RateCode = 4;
  int Battery = 0;
  long MemoryCount = 0;
  TSimDumpHeader NextHeader;
  std::string Received;  // every byte the PC sent, in order
  long FramesSent = 0;
  long CorruptFramesSent = 0;
  long DownloadsStarted = 0;
  long DownloadsCompleted = 0;  // end mark sent
  long DownloadsAborted = 0;    // nobody read it, or timed out
  long AcksReceived = 0;
  long ClockSets = 0;
  long RejectedCommands = 0;        // malformed clock sets, stray bytes
  long long DownloadBytesSent = 0;  // of the current or last download
  bool HungUp = false;
};

class TLoggerSimulator {
public:
  explicit TLoggerSimulator(const TSimConfig &config = TSimConfig());
  ~TLoggerSimulator();  // stops
  TLoggerSimulator(const TLoggerSimulator &) = delete;
  TLoggerSimulator &operator=(const TLoggerSimulator &) = delete;

  // Opens the pty, puts the slave in raw mode, makes the link, starts the
  // thread. Throws ESimulator on failure (nothing left open then).
  void Start();
  // Ends the thread, closes the pty, removes the link. Safe to call twice.
  void Stop();
  bool Running() const;

  const TSimConfig &Config() const { return Config_; }
  // The device a PC program opens, e.g. /dev/pts/7 (empty before Start).
  std::string SlavePath() const;

  TSimSnapshot Snapshot() const;
  // The stored records (raw readings per channel), oldest first.
  std::vector<TReadings> Records() const;
  TSimDumpHeader NextDumpHeader() const;
  std::string ReceivedBytes() const;
  TSimDateTime Clock() const;
  int RateCode() const;
  long MemoryCount() const;
  bool HungUp() const;

  // Waits until the predicate holds for a snapshot (checked at every change
  // of state) or the timeout passes; returns whether it held. The predicate
  // runs under the simulator's lock: it must not call the simulator.
  bool WaitFor(const std::function<bool(const TSimSnapshot &)> &pred, int timeout_ms) const;

  // Told what the logger does ("reloj puesto ...", "descarga ..."), on the
  // simulator's own thread and outside its lock, so it may read the
  // simulator but must not Stop it. Set before Start.
  std::function<void(TLoggerSimulator &sender, const std::string &text)> OnEvent;

private:
  struct TImpl;
  void Run();
  TSimSnapshot SnapshotLocked() const;

  TSimConfig Config_;
  std::unique_ptr<TImpl> Impl_;
  std::thread Thread_;
  mutable std::mutex Mutex_;
  mutable std::condition_variable Changed_;
};
