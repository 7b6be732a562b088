#pragma once

// The recorder's --on-alarm: the logger's alarm rules applied to each
// reading kept, and the user's command run through /bin/sh -c when an alarm
// starts and when it ends, with what happened in its environment. Mail, SMS
// or a webhook are the business of the tools made for them; the recording
// never waits for them.

#include "alarms/alarm_rules.h"
#include "archive/archive.h"

#include <sys/types.h>

#include <array>
#include <cstdint>
#include <functional>
#include <optional>
#include <set>
#include <string>
#include <vector>

// The variables the command gets, "NAME=value": TALVEX_REGISTRADOR,
// TALVEX_CANAL (1 to 16), TALVEX_TIPO (alta, baja), TALVEX_ESTADO (empieza,
// termina), TALVEX_VALOR (the reading, "31,5"), TALVEX_EXTREMO,
// TALVEX_HORA (the reading's time on the logger's clock, ISO 8601) and
// TALVEX_DESDE (when the alarm's excursion began).
std::vector<std::string> AlarmCommandVariables(const std::string &logger, const TAlarmEvent &event, bool started,
                                               std::int32_t value, std::int64_t atSeconds);

class TAlarmCommand {
public:
  using TLog = std::function<void(const std::string &line)>;
  // `log` takes the lines for stderr; `verbose` adds one per start and end.
  TAlarmCommand(std::string command, TLog log, bool verbose);

  void SetLogger(const std::string &logger) { logger_ = logger; }
  // The limits now. A channel whose limits changed starts over under the
  // new ones; an alarm it had running is told ended at its last reading.
  void SetLimits(const TAlarmLimitSet &limits);
  const TAlarmLimitSet &Limits() const { return limits_; }

  // A reading kept, in instant order.
  void Reading(const TArchiveRecord &reading);
  // Collects the commands that finished; a failure is told once, until a
  // run succeeds again.
  void Reap();

  // Runs of the command started, and still running.
  long Started() const { return started_; }
  std::size_t Running() const { return running_.size(); }

private:
  void Run(const TAlarmEvent &event, bool started, std::int32_t value, std::int64_t atSeconds);
  void Failed(const std::string &why);

  std::string command_;
  TLog log_;
  bool verbose_;
  std::string logger_;
  TAlarmLimitSet limits_{};
  // One evaluator a channel, so that new limits on one channel leave the
  // others' running alarms alone.
  std::array<TAlarmEvaluator, kAlarmChannels> evaluators_;
  std::array<std::optional<std::int32_t>, kAlarmChannels> lastValue_{};
  std::int64_t lastSeconds_ = 0;
  std::set<pid_t> running_;
  long started_ = 0;
  bool failing_ = false;
};
