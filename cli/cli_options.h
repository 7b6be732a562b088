#pragma once

// The command line of talvex-cli.

#include "alarms/alarm_rules.h"
#include "data/record_values.h"

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

enum class TCliCommand {
  Help,
  Ports,
  Live,
  SetClock,
  SetRate,
  Download,
  Status,
  Convert,
  Stats,
  Plot,
  Archive,  // "archive" before its own command is known; never run
  ArchiveImport,
  ArchiveList,
  ArchiveExport,
  ArchiveStats,
  Record,
  Alarms,  // "alarms" before its own command is known; never run
  AlarmsSet,
  AlarmsList,
  AlarmsEvents,
  AlarmsAck,
  Report
};

struct TCliOptions {
  TCliCommand Command = TCliCommand::Help;
  std::string Port;                          // --port
  long Count = -1;                           // live: frames to show, -1 = until Ctrl+C
  bool Json = false;                         // live, status: JSON objects
  int RateMinutes = 0;                       // set-rate: 15, 30 or 60
  bool Full = false;                         // download: "Forzar descarga completa"
  std::string Output;                        // download: -o FILE
  std::string Raw;                           // download: --raw DUMPFILE
  bool Force = false;                        // download: replace an existing FILE
  bool Verify = false;                       // download: a count that differs fails
  int TimeoutSeconds = 60;                   // longest wait with nothing received
  std::string Input;                         // convert, stats: the saved file read
  std::string Csv;                           // --csv comma|semicolon; empty: this PC's locale
  std::optional<std::int64_t> Above, Below;  // --above, --below: limits in tenths
  std::vector<int> Channels;                 // plot --canales: the channels drawn (1 .. 16); empty: all
  bool TimeAxis = false;                     // plot --tiempo: date and time on the bottom axis
  std::vector<std::string> Inputs;           // archive import: the files read
  std::string Logger;                        // --logger: the logger's name in the archive
  std::string Db;                            // --db: the archive's address; empty: TALVEX_DB, else the user's own
  std::optional<TStamp> From, To;            // --from, --to: the range of the history, both ends included
  bool Archive = false;                      // plot --archive: the history's range rather than a file
  bool NoArchive = false;                    // download --no-archive: the file only, not the history archive
  int IntervalSeconds = 10;                  // record --interval: seconds between readings kept
  bool NoBackfill = false;                   // record --no-backfill: the logger's memory left alone
  bool Verbose = false;                      // record --verbose: a log line per batch kept
  std::string Report;                        // report --verificar: the report checked
  std::optional<double> ActivationEnergy;    // --activation-energy: kJ/mol; empty: the user's own
  std::string OnAlarm;                       // record --on-alarm: run when an alarm starts or ends
  int AlarmChannel = 0;                      // alarms set --channel: 1 .. 16; 0 not given
  // alarms set: the fields given, each in tenths (minutes for the delay);
  // a limit given as "none" is one to clear.
  std::optional<std::optional<std::int64_t>> AlarmLow, AlarmHigh;
  std::optional<long> AlarmDelay;
  std::optional<std::int64_t> AlarmHysteresis;
  std::int64_t AlarmEvent = 0;  // alarms ack --id
  std::string Comment;          // alarms ack --comment
};

// One option of the command line, however many commands take it. `Apply`
// checks the value and stores it, raising ECliUsage with a message that
// names the option as it was spelt.
struct TCliOptionSpec {
  const char *Name;   // "--count"
  const char *Short;  // "-n", or nullptr
  bool TakesValue;
  void (*Apply)(TCliOptions &options, const std::string &spelt, const std::string &value);
};

// A command and the options it takes (by their long names).
struct TCliCommandSpec {
  const char *Name;
  TCliCommand Command;
  std::vector<const char *> Options;
};

// The one table the parser reads; the completion and the manual page are
// checked against it through CliOptionListText ("talvex-cli --list-options").
const std::vector<TCliCommandSpec> &CliCommandTable();
// The commands under "archive" ("archive import", "archive list", ...). The
// table above lists "archive" with every option of these; each of them takes
// only its own.
const std::vector<TCliCommandSpec> &CliArchiveCommandTable();
// The same for "alarms" ("alarms set", "alarms list", ...).
const std::vector<TCliCommandSpec> &CliAlarmsCommandTable();
const TCliOptionSpec *FindCliOption(const std::string &longName);
// A line per command: its name, then every spelling of every option it
// takes, --help last ("live --port -p --count -n --json --timeout --help").
std::string CliOptionListText();

// Parses the arguments after the program name. Raises ECliUsage with a
// message that names the offending argument.
TCliOptions ParseCliArguments(const std::vector<std::string> &args);

// The help text.
std::string CliUsageText();
