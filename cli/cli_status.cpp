#include "cli/cli_status.h"

#include "cli/cli_commands.h"
#include "cli/cli_errors.h"
#include "cli/cli_link.h"
#include "logger/logger_health.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"
#include "serial/serial_port.h"

#include <QDateTime>

#include <memory>
#include <ostream>

namespace {

// What one frame says of the clock and the memory.
struct THealthOfFrame {
  std::optional<int> Drift;
  std::optional<TMemoryForecast> Forecast;
};

THealthOfFrame HealthOf(const TTimedFrame &t) {
  TMemoryWatch memory;
  memory.Frame(t.Frame.MemoryCount, RateCodeMinutes(t.Frame.RateCode), t.PcMs);
  return {OneFrameDriftSeconds(t.Frame, t.PcMs), memory.Forecast(t.PcMs)};
}

std::string UsedText(const TLiveFrame &frame) {
  return "Memoria ocupada: " + FloatToStr(frame.MemoryCount) + " de " + std::to_string(kLoggerCapacity) + " registros";
}

}  // namespace

std::optional<TTimedFrame> AwaitLiveFrame(TCliLink &link, int ms) {
  TFrameAccumulator frames;
  std::optional<TTimedFrame> got;
  // The wait's own end must not end a later run of the link.
  auto waiting = std::make_shared<bool>(true);
  struct Restore {
    TCliLink &link;
    std::function<void(const std::string &)> onRead;
    std::shared_ptr<bool> waiting;
    ~Restore() {
      *waiting = false;
      link.OnRead = std::move(onRead);
    }
  } restore{link, std::move(link.OnRead), waiting};
  link.OnRead = [&](const std::string &read) {
    const std::optional<std::string> text = frames.Feed(read);
    if (!text) return;
    // A frame with noise in it is dropped whole, as everywhere.
    if (const std::optional<TLiveFrame> frame = DecodeLiveFrame(*text)) {
      got = TTimedFrame{*frame, QDateTime::currentMSecsSinceEpoch()};
      link.Finish();
    }
  };
  link.After(ms, [&link, waiting] {
    if (*waiting) link.Finish();
  });
  // The wait ends by itself, never by the link's time limit.
  link.Run(ms + 1000, [] { return std::string(); });
  return got;
}

std::string StatusText(const TTimedFrame &t) {
  const THealthOfFrame health = HealthOf(t);
  std::string text = LiveFrameLine(t.Frame) + "\n";
  text += health.Drift ? ClockDriftText(*health.Drift) : std::string("El reloj del registrador no da una fecha válida");
  text += "\n" + UsedText(t.Frame) + ". ";
  text += health.Forecast ? MemoryForecastText(*health.Forecast) : std::string("Tasa desconocida: sin previsión");
  return text + "\n";
}

std::string StatusJson(const TTimedFrame &t) {
  const THealthOfFrame health = HealthOf(t);
  std::string json = LiveFrameJson(t.Frame);
  json.pop_back();  // the closing brace: the health fields follow
  json += ",\"deriva_s\":" + (health.Drift ? std::to_string(*health.Drift) : std::string("null"));
  json += ",\"capacidad\":" + std::to_string(kLoggerCapacity);
  json += ",\"memoria_llena\":" + std::string(health.Forecast && health.Forecast->Full ? "true" : "false");
  json += ",\"llena_el\":";
  if (health.Forecast && !health.Forecast->Full) {
    const QDateTime at = QDateTime::fromMSecsSinceEpoch(health.Forecast->FullAtMs);
    json += "\"" + at.toString("dd/MM/yyyy hh:mm").toStdString() + "\"";
  } else {
    json += "null";
  }
  return json + "}";
}

void CliStatus(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  TCliLink link(o.Port);
  link.Open();
  // What waited in the line is old: its clock would read behind.
  link.Port().ClearBuffers(true, false);
  const std::optional<TTimedFrame> frame = AwaitLiveFrame(link, o.TimeoutSeconds * 1000);
  link.Close();
  if (!frame)
    throw ECliFailure(exNoData, "El registrador no envió ninguna trama en " + std::to_string(o.TimeoutSeconds) +
                                    " s por el puerto " + o.Port +
                                    " (¿está encendido y conectado? --timeout cambia la espera).");
  streams.Out << (o.Json ? StatusJson(*frame) + "\n" : StatusText(*frame));
  streams.Out.flush();
}
