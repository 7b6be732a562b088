#include "cli/cli_alarms.h"

#include "archive/archive.h"
#include "archive/archive_error.h"
#include "cli/cli_archive.h"
#include "cli/cli_errors.h"
#include "cli/cli_files.h"
#include "runtime/format_settings.h"

#include <QDateTime>

#include <pwd.h>
#include <unistd.h>
#include <cstdio>
#include <cstdlib>
#include <memory>
#include <ostream>

namespace {

// Pads to `width` characters, not bytes: the headers have accents.
std::string Pad(const std::string &text, size_t width, bool right) {
  size_t chars = 0;
  for (const char c : text) chars += (static_cast<unsigned char>(c) & 0xC0) != 0x80 ? 1 : 0;
  const std::string fill(chars < width ? width - chars : 0, ' ');
  return right ? fill + text : text + fill;
}

std::string ChannelName(int channel) { return "CH" + std::to_string(channel + 1); }

std::string Degrees(const std::optional<std::int32_t> &tenths) {
  return tenths ? TenthsText(*tenths) : std::string("-");
}

std::string JsonTenths(const std::optional<std::int32_t> &tenths) {
  return tenths ? TenthsText(*tenths, '.') : std::string("null");
}

std::string StampText(std::int64_t seconds) {
  const TStamp s = StampFromSeconds(seconds);
  return ProgramDateText(s) + " " + ProgramTimeText(s);
}

std::string JsonStamp(std::int64_t seconds) { return JsonString(IsoText(StampFromSeconds(seconds))); }

// "2 h 05 min 30 s", as a person reads a duration.
std::string Duration(std::int64_t seconds) {
  const std::int64_t h = seconds / 3600, m = seconds / 60 % 60, s = seconds % 60;
  char text[64];
  if (h > 0)
    std::snprintf(text, sizeof text, "%lld h %02lld min", static_cast<long long>(h), static_cast<long long>(m));
  else std::snprintf(text, sizeof text, "%lld min %02lld s", static_cast<long long>(m), static_cast<long long>(s));
  return text;
}

std::string PcTimeText(std::int64_t utc) {
  return QDateTime::fromSecsSinceEpoch(utc).toLocalTime().toString("dd/MM/yyyy HH:mm:ss").toStdString();
}

template <typename F>
auto OnArchive(F work) -> decltype(work()) {
  try {
    return work();
  } catch (const EArchiveError &e) {
    throw ECliFailure(exFailure, e.Message());
  }
}

std::string LimitsJson(const TAlarmLimitSet &limits) {
  std::string json = "[";
  for (int k = 0; k < kAlarmChannels; ++k) {
    const TAlarmLimits &l = limits[static_cast<size_t>(k)];
    if (k) json += ",";
    json += "{\"canal\":" + JsonString(ChannelName(k)) + ",\"inferior\":" + JsonTenths(l.Low) +
            ",\"superior\":" + JsonTenths(l.High) + ",\"retardo_min\":" + std::to_string(l.DelayMinutes) +
            ",\"histeresis\":" + TenthsText(l.Hysteresis, '.') + "}";
  }
  return json + "]";
}

void LimitsTable(const std::string &logger, const TAlarmLimitSet &limits, TCliStreams &streams) {
  streams.Out << "Registrador: " << logger << '\n';
  char line[256];
  streams.Out << Pad("Canal", 6, false) << ' ' << Pad("Inferior", 9, true) << ' ' << Pad("Superior", 9, true) << ' '
              << Pad("Retardo min", 12, true) << ' ' << Pad("Histéresis", 11, true) << '\n';
  for (int k = 0; k < kAlarmChannels; ++k) {
    const TAlarmLimits &l = limits[static_cast<size_t>(k)];
    std::snprintf(line, sizeof line, "%-6s %9s %9s %12d %11s\n", ChannelName(k).c_str(), Degrees(l.Low).c_str(),
                  Degrees(l.High).c_str(), l.DelayMinutes, TenthsText(l.Hysteresis).c_str());
    streams.Out << line;
  }
}

}  // namespace

std::string CliLoginName() {
  // The account itself first: the environment is only what the shell says.
  if (const passwd *pw = getpwuid(geteuid()); pw != nullptr && pw->pw_name != nullptr && *pw->pw_name)
    return pw->pw_name;
  for (const char *name : {"LOGNAME", "USER"})
    if (const char *value = std::getenv(name); value != nullptr && *value) return value;
  return "uid " + std::to_string(geteuid());
}

void CliAlarmsSet(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  const int channel = o.AlarmChannel - 1;
  TAlarmLimits limits = OnArchive([&] { return archive->AlarmLimits(o.Logger); })[static_cast<size_t>(channel)];
  // Tenths beyond what the logger's 32-bit values hold are no limit.
  auto fits = [](std::int64_t v) { return v >= -2000000000LL && v <= 2000000000LL; };
  for (const auto *given : {&o.AlarmLow, &o.AlarmHigh})
    if (*given && **given && !fits(***given)) throw ECliUsage("Límite fuera de rango: " + TenthsText(***given) + ".");
  if (o.AlarmHysteresis && !fits(*o.AlarmHysteresis))
    throw ECliUsage("Histéresis fuera de rango: " + TenthsText(*o.AlarmHysteresis) + ".");
  if (o.AlarmLow)
    limits.Low = *o.AlarmLow ? std::optional<std::int32_t>(static_cast<std::int32_t>(**o.AlarmLow)) : std::nullopt;
  if (o.AlarmHigh)
    limits.High = *o.AlarmHigh ? std::optional<std::int32_t>(static_cast<std::int32_t>(**o.AlarmHigh)) : std::nullopt;
  if (o.AlarmDelay) limits.DelayMinutes = static_cast<int>(*o.AlarmDelay);
  if (o.AlarmHysteresis) limits.Hysteresis = static_cast<std::int32_t>(*o.AlarmHysteresis);
  const std::string problem = AlarmLimitsProblem(limits);
  if (!problem.empty())
    throw ECliUsage("Límites de alarma de " + ChannelName(channel) + " no válidos: " + problem + ".");
  OnArchive([&] {
    archive->SetAlarmLimits(o.Logger, channel, limits);
    return 0;
  });
  streams.Out << o.Logger << " " << ChannelName(channel) << ": inferior " << Degrees(limits.Low) << ", superior "
              << Degrees(limits.High) << ", retardo " << limits.DelayMinutes << " min, histéresis "
              << TenthsText(limits.Hysteresis) << " °C\n";
  streams.Out.flush();
}

void CliAlarmsList(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  std::vector<std::string> loggers;
  if (!o.Logger.empty()) {
    loggers.push_back(o.Logger);
  } else {
    for (const TArchivedLogger &l : OnArchive([&] { return archive->Loggers(); })) loggers.push_back(l.Name);
  }
  if (o.Json) {
    std::string json = "{\"archivo\":" + JsonString(archive->Name()) + ",\"registradores\":[";
    for (size_t i = 0; i < loggers.size(); ++i) {
      if (i) json += ",";
      json += "{\"nombre\":" + JsonString(loggers[i]) +
              ",\"canales\":" + LimitsJson(OnArchive([&] { return archive->AlarmLimits(loggers[i]); })) + "}";
    }
    streams.Out << json << "]}\n";
    streams.Out.flush();
    return;
  }
  streams.Out << "Archivo histórico: " << archive->Name() << '\n';
  if (loggers.empty()) streams.Out << "Todavía no guarda ningún registrador.\n";
  for (const std::string &logger : loggers)
    LimitsTable(logger, OnArchive([&] { return archive->AlarmLimits(logger); }), streams);
  streams.Out.flush();
}

void CliAlarmsEvents(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  const TStamp from = o.From.value_or(TStamp{1, 1, 1, 0, 0, 0});
  const TStamp to = o.To.value_or(TStamp{9999, 12, 31, 23, 59, 59});
  const std::vector<TArchivedAlarmEvent> events = OnArchive([&] {
    archive->Span(o.Logger);  // a logger not in the archive is told as such
    return archive->AlarmEvents(o.Logger, from, to);
  });
  if (o.Json) {
    std::string json = "{\"registrador\":" + JsonString(o.Logger) + ",\"eventos\":[";
    for (size_t i = 0; i < events.size(); ++i) {
      const TArchivedAlarmEvent &a = events[i];
      const TAlarmEvent &e = a.Event;
      if (i) json += ",";
      json += "{\"id\":" + std::to_string(a.Id) + ",\"canal\":" + JsonString(ChannelName(e.Channel)) +
              ",\"tipo\":" + JsonString(AlarmKindWord(e.Kind)) + ",\"inicio\":" + JsonStamp(e.Start) +
              ",\"fin\":" + (e.End ? JsonStamp(*e.End) : std::string("null")) +
              ",\"segundos\":" + std::to_string(e.Seconds) + ",\"extremo\":" + TenthsText(e.Extreme, '.') +
              ",\"instante_extremo\":" + JsonStamp(e.ExtremeAt) + ",\"reconocimientos\":[";
      for (size_t j = 0; j < a.Acknowledgements.size(); ++j) {
        const TAlarmAcknowledgement &k = a.Acknowledgements[j];
        if (j) json += ",";
        json +=
            "{\"usuario\":" + JsonString(k.User) + ",\"hora_pc_utc\":" +
            JsonString(
                QDateTime::fromSecsSinceEpoch(k.PcTimeUtc, Qt::UTC).toString("yyyy-MM-ddTHH:mm:ssZ").toStdString()) +
            ",\"comentario\":" + JsonString(k.Comment) + "}";
      }
      json += "]}";
    }
    streams.Out << json << "]}\n";
    streams.Out.flush();
    return;
  }
  if (events.empty()) {
    streams.Out << "Ningún evento de alarma de " << o.Logger << " en el rango.\n";
    streams.Out.flush();
    return;
  }
  char line[512];
  streams.Out << Pad("Número", 6, true) << ' ' << Pad("Canal", 5, false) << ' ' << Pad("Tipo", 4, false) << "  "
              << Pad("Inicio", 19, false) << "  " << Pad("Fin", 19, false) << "  " << Pad("Duración", 14, true) << "  "
              << Pad("Extremo", 8, true) << "  Hora del extremo\n";
  for (const TArchivedAlarmEvent &a : events) {
    const TAlarmEvent &e = a.Event;
    std::snprintf(line, sizeof line, "%6lld %-5s %-4s  %-19s  %-19s  %14s  %8s  %s\n", static_cast<long long>(a.Id),
                  ChannelName(e.Channel).c_str(), AlarmKindWord(e.Kind), StampText(e.Start).c_str(),
                  e.End ? StampText(*e.End).c_str() : "abierta", Duration(e.Seconds).c_str(),
                  TenthsText(e.Extreme).c_str(), StampText(e.ExtremeAt).c_str());
    streams.Out << line;
    for (const TAlarmAcknowledgement &k : a.Acknowledgements)
      streams.Out << "       reconocido por " << k.User << " el " << PcTimeText(k.PcTimeUtc) << ": " << k.Comment
                  << '\n';
  }
  streams.Out.flush();
}

void CliAlarmsAck(const TCliOptions &o, TCliStreams &streams) {
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  const std::string user = CliLoginName();
  OnArchive([&] {
    archive->AcknowledgeAlarmEvent(o.AlarmEvent, user, o.Comment);
    return 0;
  });
  streams.Out << "Evento " << o.AlarmEvent << " reconocido por " << user << ".\n";
  streams.Out.flush();
}
