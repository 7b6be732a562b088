#pragma once

#include <string>

// Process-wide regional settings that every number and date conversion of the
// program reads. The main window sets them on each activation; before that
// they hold neutral defaults.
struct TFormatSettings {
  char DecimalSeparator = '.';
  char ThousandSeparator = ',';
  char DateSeparator = '/';
  char TimeSeparator = ':';
  std::string LongTimeFormat = "hh:mm:ss";
  std::string ShortDateFormat = "dd/mm/yyyy";
};

// The one instance. UI thread only, like all program state.
TFormatSettings &FormatSettings();

// What the main window's activation sets: decimal comma, thousands dot,
// "hh:mm:ss", "dd/mm/yyyy".
void ApplyProgramFormats();
