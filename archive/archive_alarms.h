#pragma once

// Alarm events as the archive keeps them: each with the id the archive gave
// it and the acknowledgements users made of it. An acknowledgement is an
// entry in an audit trail: once made it is never edited or removed, and an
// event someone acknowledged is never changed or dropped when its channel's
// events are found again.

#include "alarms/alarm_rules.h"

#include <cstdint>
#include <string>
#include <vector>

struct TAlarmAcknowledgement {
  std::string User;
  std::int64_t PcTimeUtc = 0;  // seconds since 1970 UTC, the PC's clock when made
  std::string Comment;
};

struct TArchivedAlarmEvent {
  std::int64_t Id = 0;
  TAlarmEvent Event;
  std::vector<TAlarmAcknowledgement> Acknowledgements;  // oldest first
};
