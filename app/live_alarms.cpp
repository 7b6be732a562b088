#include "app/live_alarms.h"

namespace {

TAlarmLimitSet OnlyChannel(const TAlarmLimitSet &limits, int channel) {
  TAlarmLimitSet one{};
  one[static_cast<std::size_t>(channel)] = limits[static_cast<std::size_t>(channel)];
  return one;
}

}  // namespace

TLiveAlarms::TLiveAlarms() = default;

void TLiveAlarms::SetLimits(const std::string &logger, const TAlarmLimitSet &limits) {
  const bool sameLogger = logger == logger_;
  logger_ = logger;
  for (int k = 0; k < kAlarmChannels; ++k) {
    const auto i = static_cast<std::size_t>(k);
    if (sameLogger && limits[i] == limits_[i]) continue;
    evaluators_[i] = TAlarmEvaluator(OnlyChannel(limits, k));
  }
  limits_ = limits;
}

bool TLiveAlarms::AnyLimits() const {
  for (const TAlarmLimits &l : limits_)
    if (l.Any()) return true;
  return false;
}

std::vector<TAlarmNotice> TLiveAlarms::Feed(std::int64_t seconds, const TAlarmValues &values) {
  std::vector<TAlarmNotice> notices;
  if (last_ && seconds < *last_) Reset();
  last_ = seconds;
  for (int k = 0; k < kAlarmChannels; ++k) {
    const auto i = static_cast<std::size_t>(k);
    // Most channels of most loggers have no limits: nothing to feed.
    if (!limits_[i].Any() || !values[i]) continue;
    for (const TAlarmEvaluator::TChange &change : evaluators_[i].Feed(seconds, values)) {
      TAlarmNotice notice;
      notice.Logger = logger_;
      notice.Event = change.Event;
      notice.Started = change.Started;
      notice.Value = *values[i];
      notice.At = seconds;
      notice.Limit = AlarmLimitOf(limits_[i], change.Event.Kind);
      notices.push_back(std::move(notice));
    }
  }
  return notices;
}

std::optional<TAlarmEvent> TLiveAlarms::Active(int channel) const {
  if (channel < 0 || channel >= kAlarmChannels) return std::nullopt;
  return evaluators_[static_cast<std::size_t>(channel)].Active(channel);
}

bool TLiveAlarms::AnyActive() const {
  for (int k = 0; k < kAlarmChannels; ++k)
    if (Active(k)) return true;
  return false;
}

void TLiveAlarms::Reset() {
  for (int k = 0; k < kAlarmChannels; ++k)
    evaluators_[static_cast<std::size_t>(k)] = TAlarmEvaluator(OnlyChannel(limits_, k));
  last_.reset();
}
