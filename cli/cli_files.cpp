#include "cli/cli_files.h"

#include "cli/cli_errors.h"
#include "data/data_file_reader.h"
#include "data/record_values.h"

#include <cstdio>
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
  std::snprintf(line, sizeof line, "%-6s %9s %8s  %-19s %8s  %-19s %8s %8s  %-14s %-14s\n", "Canal", "Registros",
                "Mínimo", "Fecha del mínimo", "Máximo", "Fecha del máximo", "Media", "Desv.", "Sobre", "Bajo");
  out += line;
  auto duration = [&](const std::optional<std::int64_t> &limit, const std::optional<std::int64_t> &minutes) {
    if (!limit) return std::string("-");
    return minutes ? DurationText(*minutes) : std::string("desconocido");
  };
  for (const TChannelStats &c : s.Channels) {
    const bool any = c.Count > 0;
    std::snprintf(line, sizeof line, "%-6s %9d %8s  %-19s %8s  %-19s %8s %8s  %-14s %-14s\n", c.Name.c_str(), c.Count,
                  any ? TenthsText(c.Min).c_str() : "-", any ? stampOf(c.MinRow).Text.c_str() : "-",
                  any ? TenthsText(c.Max).c_str() : "-", any ? stampOf(c.MaxRow).Text.c_str() : "-",
                  any ? Fixed(c.Mean, 2, ',').c_str() : "-", any ? Fixed(c.StdDev, 2, ',').c_str() : "-",
                  duration(s.Limits.Upper, s.MinutesAbove(c)).c_str(),
                  duration(s.Limits.Lower, s.MinutesBelow(c)).c_str());
    out += line;
  }
  return out + "Desv.: desviación estándar de la población (de todos los registros, no de una muestra).\n";
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
    json += ",\"minutos_bajo\":" + JsonMinutes(s.MinutesBelow(c)) + "}";
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

void CliStats(const TCliOptions &o, TCliStreams &streams) {
  const TOpenedData data = ReadForCli(o.Input);
  const TDataStatistics stats = ComputeStatistics(data.Table, data.Records, data.ColumnOrder, CliLimits(o));
  streams.Out << (o.Json ? StatisticsJson(o.Input, data.Table, stats) + "\n"
                         : StatisticsText(o.Input, data.Table, stats));
  streams.Out.flush();
}
