#pragma once

// How the archive keeps alarm events, apart from the SQL that moves them:
// the tables of the fourth schema, and what a channel's events found again
// do to those it held.

#include "alarms/alarm_rules.h"
#include "archive/archive_dialect.h"

#include <QStringList>

#include <cstdint>
#include <utility>
#include <vector>

// The fourth schema: limits per logger and channel, the events, the
// acknowledgements (refused an UPDATE or DELETE by the engine itself), and
// the view v_alarmas for outside tools.
QStringList AlarmSchema(const TArchiveDialect &dialect);

struct THeldAlarmEvent {
  std::int64_t Id = 0;
  TAlarmEvent Event;
  bool Acknowledged = false;
};

struct TAlarmEventChanges {
  std::vector<std::int64_t> Drop;
  std::vector<std::pair<std::int64_t, TAlarmEvent>> Update;  // same id, new figures
  std::vector<TAlarmEvent> Insert;                           // new to the archive
};

// One channel's events held over a stretch against those found there again.
// An event is the same event when its kind and first reading are: it keeps
// its id. One that nobody acknowledged follows what was found; one someone
// acknowledged is never dropped and changes only to close while it was
// open, and a new event of its kind that overlaps it is not added beside
// it (the acknowledged one stands for that excursion).
TAlarmEventChanges ReconcileAlarmEvents(const std::vector<THeldAlarmEvent> &held,
                                        const std::vector<TAlarmEvent> &found);
