#pragma once

// The dates talvex-cli takes for a range of the history (--from, --to):
// ISO 8601, "2026-03-01", "2026-03-01T10:30", "2026-03-01T10:30:15", and
// the program's own, "01/03/2026", "01/03/2026 10:30", "01/03/2026 10:30:15".

#include "data/record_values.h"

#include <string>

// Which end of the range a date closes. A date given without its time, or
// without its seconds, names a whole day or minute: the range starts at its
// first second and, at its end, takes in its last one.
enum class TRangeEnd { From, To };

// Raises ECliUsage naming `option` for a text that is not one of the forms
// above or not a real date and time ("31/02/2026", "25:00").
TStamp ParseCliStamp(const std::string &option, const std::string &text, TRangeEnd end);
