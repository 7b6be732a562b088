#pragma once

// How the window program words an alarm: the hint of a channel in alarm,
// the desktop notification of one that starts or ends, the durations and
// instants of the ALARMAS window. Texts only, no widgets, so each is checked
// on its own.

#include "alarms/alarm_rules.h"

#include <QString>

#include <cstdint>
#include <optional>
#include <string>

// "CH3" for channel index 2: the name the data window and the files give it.
QString AlarmChannelName(int channel);
// "9,4 °C".
QString AlarmDegreesText(std::int32_t tenths);
// The instant of an event's seconds: "08/12/2026 14:03:10".
QString AlarmStampText(std::int64_t seconds);
// "45 s", "12 min 05 s", "3 h 07 min", "2 d 04 h": as exact as a person
// reading a list of events needs.
QString AlarmDurationText(std::int64_t seconds);

// The limit an alarm of this kind crossed, when the limits have one.
std::optional<std::int32_t> AlarmLimitOf(const TAlarmLimits &limits, TAlarmKind kind);

// "Alarma alta desde 08/12/2026 14:03:10 (límite 8,0 °C, máximo 9,4 °C)".
QString AlarmHintText(const TAlarmEvent &event, const std::optional<std::int32_t> &limit);

// One alarm that started or ended on a live reading, as it is told.
struct TAlarmNotice {
  std::string Logger;
  TAlarmEvent Event;
  bool Started = true;
  std::int32_t Value = 0;             // tenths: the reading that started or ended it
  std::int64_t At = 0;                // that reading's seconds
  std::optional<std::int32_t> Limit;  // tenths: the limit crossed
};

struct TNotificationText {
  QString Summary, Body;
};
// "TALVEX: alarma alta en CH3", with the logger, the value, the limit and
// the time in the body; an end says so, how long it lasted and its extreme.
TNotificationText AlarmNotificationText(const TAlarmNotice &notice);

// The user's login name, as an acknowledgement is signed.
std::string LoginName();
