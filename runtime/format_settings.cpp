#include "runtime/format_settings.h"

TFormatSettings &FormatSettings() {
  static TFormatSettings settings;
  return settings;
}

void ApplyProgramFormats() {
  TFormatSettings &fs = FormatSettings();
  fs.DecimalSeparator = ',';
  fs.ThousandSeparator = '.';
  fs.LongTimeFormat = "hh:mm:ss";
  fs.ShortDateFormat = "dd/mm/yyyy";
}
