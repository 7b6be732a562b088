#pragma once

// talvex-cli's commands on alarms: the limits of a logger's channels kept in
// the history archive, the events found there, and their acknowledgement.

#include "cli/cli_options.h"
#include "cli/cli_streams.h"

#include <string>

// Changes only the fields given of one channel's limits. Limits that cannot
// be (they cross, a negative delay, a hysteresis wider than the band) fail
// with exUsage and the reason, and change nothing.
void CliAlarmsSet(const TCliOptions &options, TCliStreams &streams);
void CliAlarmsList(const TCliOptions &options, TCliStreams &streams);
void CliAlarmsEvents(const TCliOptions &options, TCliStreams &streams);
// Under the login name of the user running it.
void CliAlarmsAck(const TCliOptions &options, TCliStreams &streams);

// The name of the account the program runs under, as an acknowledgement
// keeps it.
std::string CliLoginName();
