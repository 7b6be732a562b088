#pragma once

// The alarm rules applied to the live frames of one logger, as the main
// window shows them. Each channel has an evaluator of its own, so new limits
// for one channel (saved in ALARMAS while connected) start that channel
// afresh and leave an alarm running on another as it is. A logger clock set
// back (the clock-set command) starts every channel afresh: the rules ignore
// a reading earlier than the one before, and would otherwise stop watching
// until the clock caught up again.

#include "alarms/alarm_rules.h"
#include "app/alarm_texts.h"

#include <array>
#include <cstdint>
#include <optional>
#include <string>
#include <vector>

class TLiveAlarms {
public:
  TLiveAlarms();

  // The logger the frames come from, as the archive names it, and its
  // limits. A channel whose limits are the same keeps its state.
  void SetLimits(const std::string &logger, const TAlarmLimitSet &limits);
  const std::string &Logger() const { return logger_; }
  const TAlarmLimitSet &Limits() const { return limits_; }
  bool AnyLimits() const;

  // One live reading: whole tenths per channel at `seconds` on the logger's
  // clock. Returns what started and ended with it, in channel order.
  std::vector<TAlarmNotice> Feed(std::int64_t seconds, const TAlarmValues &values);
  // The channel's alarm now (0 to 15).
  std::optional<TAlarmEvent> Active(int channel) const;
  bool AnyActive() const;
  // Everything ends without a word (the line closed); the limits stay.
  void Reset();

private:
  std::string logger_;
  TAlarmLimitSet limits_{};
  std::array<TAlarmEvaluator, kAlarmChannels> evaluators_;
  std::optional<std::int64_t> last_;
};
