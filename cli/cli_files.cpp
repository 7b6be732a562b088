#include "cli/cli_files.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "cli/cli_archive.h"
#include "cli/cli_errors.h"
#include "data/data_file_reader.h"
#include "data/record_values.h"

#include <algorithm>
#include <cstdio>
#include <memory>
#include <ostream>

TStatLimits CliLimits(const TCliOptions &o) {
  TStatLimits limits;
  limits.Upper = o.Above;
  limits.Lower = o.Below;
  return limits;
}

TCsvStyle CliCsvStyle(const TCliOptions &o) {
  if (o.Csv == "comma") return TCsvStyle::Comma;
  if (o.Csv == "semicolon") return TCsvStyle::Semicolon;
  return LocaleCsvStyle();
}

void CliSaveRecords(const TCliOptions &o, const TRecordsView &view) {
  SaveRecords(o.Output, ExportFormatOf(o.Output), view, CliCsvStyle(o), CliLimits(o));
}

TOpenedData ReadForCli(const std::string &path) {
  try {
    return ReadDataFile(path);
  } catch (const EDataFileError &e) {
    throw ECliFailure(exFileError, "No se puede abrir \"" + path + "\": " + e.Message() + ".");
  }
}

std::string JsonString(const std::string &text) {
  std::string out = "\"";
  for (char c : text) {
    if (c == '"' || c == '\\') out += '\\';
    if (static_cast<unsigned char>(c) < 0x20) {
      char buf[8];
      std::snprintf(buf, sizeof buf, "\\u%04x", c);
      out += buf;
      continue;
    }
    out += c;
  }
  return out + "\"";
}

namespace {

std::string Fixed(double value, int decimals, char decimal) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  std::string text = buf;
  for (char &c : text)
    if (c == '.') c = decimal;
  // "-0,00" reads as a fault; it is zero.
  if (text.find_first_not_of("-0,.") == std::string::npos && text[0] == '-') text.erase(0, 1);
  return text;
}

// A record's stamp as ISO 8601, or its own texts, or null.
std::string JsonStamp(const TRecordStamp &stamp) {
  if (stamp.Real) return JsonString(IsoText(stamp.Stamp));
  return stamp.Text.empty() ? "null" : JsonString(stamp.Text);
}

TStampOfRow TableStamps(const TDataTable &table) {
  return [&table](int row) { return TableRecordStamp(table, row); };
}

// "15/03/2004 10:35:00": an event's time as the program writes it.
std::string EventTime(std::int64_t seconds) {
  const TStamp s = StampFromSeconds(seconds);
  return ProgramDateText(s) + " " + ProgramTimeText(s);
}

std::string JsonTenths(const std::optional<std::int64_t> &tenths) { return tenths ? TenthsText(*tenths, '.') : "null"; }

std::string JsonMinutes(const std::optional<std::int64_t> &minutes) {
  return minutes ? std::to_string(*minutes) : "null";
}

}  // namespace

std::string StatisticsText(const std::string &name, const TDataTable &table, const TDataStatistics &s) {
  return StatisticsText(name, TableStamps(table), s);
}

std::string StatisticsJson(const std::string &name, const TDataTable &table, const TDataStatistics &s) {
  return StatisticsJson(name, TableStamps(table), s);
}

std::string StatisticsText(const std::string &name, const TStampOfRow &stampOf, const TDataStatistics &s) {
  std::string out = name + ": " + std::to_string(s.Records) + " registros";
  out += ", " + s.SpacingText();
  if (s.Limits.Upper) out += "; límite superior " + TenthsText(*s.Limits.Upper) + " °C";
  if (s.Limits.Lower) out += "; límite inferior " + TenthsText(*s.Limits.Lower) + " °C";
  out += "\n";
  char line[512];
  std::snprintf(line, sizeof line, "%-6s %9s %8s  %-19s %8s  %-19s %8s %8s  %-14s %-14s %7s %9s  %-14s %-14s\n",
                "Canal", "Registros", "Mínimo", "Fecha del mínimo", "Máximo", "Fecha del máximo", "Media", "Desv.",
                "Sobre", "Bajo", "MKT", "Alarmas", "En alta", "En baja");
  out += line;
  auto duration = [&](const std::optional<std::int64_t> &limit, const std::optional<std::int64_t> &minutes) {
    if (!limit) return std::string("-");
    return minutes ? DurationText(*minutes) : std::string("desconocido");
  };
  for (const TChannelStats &c : s.Channels) {
    const bool any = c.Count > 0;
    const bool alarms = s.AlarmsApply(c);
    std::snprintf(line, sizeof line, "%-6s %9d %8s  %-19s %8s  %-19s %8s %8s  %-14s %-14s %7s %9s  %-14s %-14s\n",
                  c.Name.c_str(), c.Count, any ? TenthsText(c.Min).c_str() : "-",
                  any ? stampOf(c.MinRow).Text.c_str() : "-", any ? TenthsText(c.Max).c_str() : "-",
                  any ? stampOf(c.MaxRow).Text.c_str() : "-", any ? Fixed(c.Mean, 2, ',').c_str() : "-",
                  any ? Fixed(c.StdDev, 2, ',').c_str() : "-", duration(s.Limits.Upper, s.MinutesAbove(c)).c_str(),
                  duration(s.Limits.Lower, s.MinutesBelow(c)).c_str(),
                  c.Alarm.Mkt ? Fixed(*c.Alarm.Mkt, 2, ',').c_str() : "-",
                  alarms ? std::to_string(c.Alarm.HighEvents + c.Alarm.LowEvents).c_str() : "no aplica",
                  alarms ? DurationText(c.Alarm.SecondsAbove / 60).c_str() : "-",
                  alarms ? DurationText(c.Alarm.SecondsBelow / 60).c_str() : "-");
    out += line;
  }
  out += "Desv.: desviación estándar de la población (de todos los registros, no de una muestra).\n";
  out += "MKT: temperatura cinética media, con una energía de activación de " +
         ActivationEnergyText(s.Alarms.ActivationEnergy) + " kJ/mol.\n";
  if (!s.Alarms.Limits) return out + "Alarmas: no aplica, sin límites de alarma conocidos para estos datos.\n";
  if (!s.EventsKnown) return out + "Alarmas: no aplica, los registros no tienen fechas y horas válidas.\n";
  for (const TAlarmEvent &e : s.Events) {
    out += "Alarma " + std::string(AlarmKindWord(e.Kind)) + " en CH" + std::to_string(e.Channel + 1) + " desde " +
           EventTime((e.Start));
    out += e.End ? " hasta " + EventTime((*e.End)) : std::string(" (seguía al final de los datos)");
    out += ", " + DurationText(e.Seconds / 60) + ", extremo " + TenthsText(e.Extreme) + " °C.\n";
  }
  return out;
}

std::string StatisticsJson(const std::string &name, const TStampOfRow &stampOf, const TDataStatistics &s) {
  std::string json = "{\"archivo\":" + JsonString(name) + ",\"registros\":" + std::to_string(s.Records);
  json += ",\"minutos_entre_registros\":" + (s.StepMinutes ? std::to_string(s.StepMinutes) : std::string("null"));
  json += ",\"limite_superior\":" + JsonTenths(s.Limits.Upper) + ",\"limite_inferior\":" + JsonTenths(s.Limits.Lower);
  // Whether the records are unevenly spaced (each counting for the time to
  // the next); null when their stamps do not tell.
  json += ",\"intervalo_irregular\":" + std::string(!s.IntervalsKnown ? "null" : s.Irregular ? "true" : "false");
  json += ",\"canales\":[";
  for (size_t k = 0; k < s.Channels.size(); ++k) {
    const TChannelStats &c = s.Channels[k];
    const bool any = c.Count > 0;
    if (k) json += ",";
    json += "{\"canal\":" + JsonString(c.Name) + ",\"registros\":" + std::to_string(c.Count);
    json += ",\"minimo\":" + (any ? TenthsText(c.Min, '.') : "null");
    json += ",\"fecha_minimo\":" + (any ? JsonStamp(stampOf(c.MinRow)) : "null");
    json += ",\"maximo\":" + (any ? TenthsText(c.Max, '.') : "null");
    json += ",\"fecha_maximo\":" + (any ? JsonStamp(stampOf(c.MaxRow)) : "null");
    json += ",\"media\":" + (any ? Fixed(c.Mean, 3, '.') : "null");
    json += ",\"desviacion\":" + (any ? Fixed(c.StdDev, 3, '.') : "null");
    json += ",\"minutos_sobre\":" + JsonMinutes(s.MinutesAbove(c));
    json += ",\"minutos_bajo\":" + JsonMinutes(s.MinutesBelow(c));
    json += ",\"mkt\":" + (c.Alarm.Mkt ? Fixed(*c.Alarm.Mkt, 3, '.') : "null");
    // null where no limit of the logger says what an alarm is.
    const bool alarms = s.AlarmsApply(c);
    json += ",\"alarmas_altas\":" + (alarms ? std::to_string(c.Alarm.HighEvents) : "null");
    json += ",\"alarmas_bajas\":" + (alarms ? std::to_string(c.Alarm.LowEvents) : "null");
    json += ",\"minutos_alarma_alta\":" + (alarms ? std::to_string(c.Alarm.SecondsAbove / 60) : "null");
    json += ",\"minutos_alarma_baja\":" + (alarms ? std::to_string(c.Alarm.SecondsBelow / 60) : "null") + "}";
  }
  json += "],\"energia_activacion\":" + Fixed(s.Alarms.ActivationEnergy, 3, '.');
  json += ",\"limites_alarma\":" + std::string(s.Alarms.Limits ? "true" : "false");
  json += ",\"alarmas\":[";
  for (size_t i = 0; i < s.Events.size(); ++i) {
    const TAlarmEvent &e = s.Events[i];
    if (i) json += ",";
    json += "{\"canal\":" + std::to_string(e.Channel + 1) + ",\"tipo\":" + JsonString(AlarmKindWord(e.Kind));
    json += ",\"desde\":" + JsonString(IsoText(StampFromSeconds(e.Start)));
    json += ",\"hasta\":" + (e.End ? JsonString(IsoText(StampFromSeconds(*e.End))) : std::string("null"));
    json += ",\"segundos\":" + std::to_string(e.Seconds) + ",\"extremo\":" + TenthsText(e.Extreme, '.');
    json += ",\"hora_extremo\":" + JsonString(IsoText(StampFromSeconds(e.ExtremeAt))) + "}";
  }
  return json + "]}";
}

void CliConvert(const TCliOptions &o, TCliStreams &streams) {
  CheckOutputFile(o.Output, o.Force);
  const TOpenedData data = ReadForCli(o.Input);
  // The text file names its channels by place: a CSV's go back to their own
  // order. The spreadsheets name every column, and keep the file's order.
  const bool text = ExportFormatOf(o.Output) == TExportFormat::Text;
  CliSaveRecords(
      o, TRecordsView{data.Table, data.Records, text ? ChannelsInOwnOrder(data.ColumnOrder) : data.ColumnOrder});
  streams.Out << "Convertidos " << data.Records << " registros de " << o.Input << " a " << o.Output << ".\n";
  streams.Out.flush();
}

TAlarmOptions CliAlarmOptions(const TCliOptions &o) {
  TAlarmOptions alarms;
  alarms.ActivationEnergy = o.ActivationEnergy.value_or(SavedActivationEnergy());
  return alarms;
}

void CliStats(const TCliOptions &o, TCliStreams &streams) {
  const TOpenedData data = ReadForCli(o.Input);
  TAlarmOptions alarms = CliAlarmOptions(o);
  if (!o.Logger.empty()) {
    // The file's records judged by the limits the archive keeps for the
    // logger they came from.
    try {
      const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
      // A name mistyped would judge the records by no limits at all.
      const std::vector<TArchivedLogger> loggers = archive->Loggers();
      if (std::none_of(loggers.begin(), loggers.end(), [&](const TArchivedLogger &l) { return l.Name == o.Logger; }))
        throw ECliFailure(exFailure, "No hay ningún registrador llamado \"" + o.Logger +
                                         "\" en el archivo histórico \"" + archive->Name() +
                                         "\" (talvex-cli archive list los muestra).");
      alarms.Limits = LimitsIfAny(archive->AlarmLimits(o.Logger));
    } catch (const EArchiveError &e) {
      throw ECliFailure(exFailure, e.Message());
    }
  }
  const TDataStatistics stats = ComputeStatistics(data.Table, data.Records, data.ColumnOrder, CliLimits(o), alarms);
  streams.Out << (o.Json ? StatisticsJson(o.Input, data.Table, stats) + "\n"
                         : StatisticsText(o.Input, data.Table, stats));
  streams.Out.flush();
}
