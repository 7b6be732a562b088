#include "cli/cli_commands.h"

#include "archive/archive_address.h"
#include "archive/archive_error.h"
#include "cli/cli_alarms.h"
#include "cli/cli_archive.h"
#include "cli/cli_archive_range.h"
#include "cli/cli_download_archive.h"
#include "cli/cli_errors.h"
#include "cli/cli_files.h"
#include "cli/cli_link.h"
#include "cli/cli_plot.h"
#include "cli/cli_record.h"
#include "cli/cli_report.h"
#include "cli/cli_status.h"
#include "data/text_file_writer.h"
#include "logger/demo_port.h"
#include "logger/download_session.h"
#include "logger/live_frame.h"
#include "logger/logger_commands.h"
#include "logger/logger_health.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"
#include "serial/port_list.h"
#include "serial/serial_port.h"
#include "talvex_version.h"

#include <QElapsedTimer>

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <cerrno>
#include <charconv>
#include <cmath>
#include <cstring>
#include <functional>
#include <ostream>
#include <sstream>

namespace {

constexpr int kMsPerSecond = 1000;
// Longest wait for a live frame before a download: a frame comes every
// second or so, and the first one heard may be cut short.
constexpr int kCountWaitMs = 3000;
constexpr double kBatteryLow = 76;  // below this the window asks for new batteries

// The level the window's meter shows: never above 100.
double ShownBattery(const TLiveFrame &frame) { return std::min(frame.BatteryLevel(), 100.0); }

std::string JsonNumber(double value) {
  char buf[64];
  const auto result = std::to_chars(buf, buf + sizeof buf, value);
  return std::string(buf, result.ptr);
}

std::string NoDataMessage(const TCliOptions &o, const std::string &what) {
  return "El registrador no envió nada en " + std::to_string(o.TimeoutSeconds) + " s por el puerto " + o.Port + "; " +
         what + " (¿está encendido y conectado? --timeout cambia la espera).";
}

std::function<std::string()> IdleMessage(const TCliOptions &o, const std::string &what) {
  return [=] { return NoDataMessage(o, what); };
}

std::string FolderOf(const std::string &path) {
  const auto slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

int LiveRateMinutes(int rateCode) { return RateCodeMinutes(rateCode); }

// Done by hand so that no locale can turn the point into a comma.
std::string JsonTenths(double value) {
  const long long tenths = std::llround(value * 10);
  const long long magnitude = tenths < 0 ? -tenths : tenths;
  return std::string(tenths < 0 ? "-" : "") + std::to_string(magnitude / 10) + "." + std::to_string(magnitude % 10);
}

std::string LiveFrameLine(const TLiveFrame &frame) {
  std::string line = frame.DateText() + " " + frame.TimeText() + " ";
  for (double value : frame.Channels) line += " " + FormatFloat("##0.0", value);
  line += "  batería " + FormatFloat("##0.0", ShownBattery(frame)) + " %";
  if (frame.BatteryLevel() < kBatteryLow) line += " (REEMPLAZAR PILAS)";
  const int minutes = LiveRateMinutes(frame.RateCode);
  line += minutes ? "  tasa " + std::to_string(minutes) + " min"
                  : "  tasa ? (código " + std::to_string(frame.RateCode) + ")";
  line += "  memoria " + FloatToStr(frame.MemoryCount);
  return line;
}

std::string LiveFrameJson(const TLiveFrame &frame) {
  std::string json = "{\"fecha\":\"" + frame.DateText() + "\",\"hora\":\"" + frame.TimeText() + "\",\"canales\":[";
  for (std::size_t k = 0; k < frame.Channels.size(); ++k) {
    if (k) json += ",";
    json += JsonTenths(frame.Channels[k]);
  }
  json += "],\"bateria\":" + JsonTenths(ShownBattery(frame));
  json += ",\"reemplazar_pilas\":" + std::string(frame.BatteryLevel() < kBatteryLow ? "true" : "false");
  const int minutes = LiveRateMinutes(frame.RateCode);
  json += ",\"tasa_minutos\":" + (minutes ? std::to_string(minutes) : std::string("null"));
  json += ",\"memoria\":" + JsonNumber(frame.MemoryCount) + "}";
  return json;
}

void CheckOutputFile(const std::string &path, bool replace) {
  struct stat st;
  if (lstat(path.c_str(), &st) == 0) {
    if (S_ISDIR(st.st_mode)) throw ECliFailure(exFileError, "\"" + path + "\" es una carpeta, no un archivo.");
    if (!replace)
      throw ECliFailure(exFileError, "El archivo \"" + path + "\" ya existe; use --force para reemplazarlo.");
    // As the window saves: a file the user may write is replaced, in place
    // where its folder takes no new file; one made read-only stays so. A
    // link that leads nowhere is replaced itself, in its folder.
    if (faccessat(AT_FDCWD, path.c_str(), W_OK, AT_EACCESS) == 0) return;
    if (errno != ENOENT)
      throw ECliFailure(exFileError,
                        "No se puede escribir en el archivo \"" + path + "\": " + std::strerror(errno) + ".");
  }
  const std::string folder = FolderOf(path);
  if (faccessat(AT_FDCWD, folder.c_str(), W_OK | X_OK, AT_EACCESS) != 0)
    throw ECliFailure(exFileError,
                      "No se puede escribir en la carpeta \"" + folder + "\": " + std::strerror(errno) + ".");
}

void CliPorts(const TCliOptions &, TCliStreams &streams) {
  std::vector<std::string> ports;
  ListPorts(ports);
  for (const std::string &port : ports) streams.Out << port << '\n';
  streams.Out.flush();
}

void CliLive(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  TCliLink link(o.Port);
  TFrameAccumulator accumulator;
  long shown = 0;
  link.OnRead = [&](const std::string &read) {
    const std::optional<std::string> text = accumulator.Feed(read);
    if (!text) return;
    const std::optional<TLiveFrame> frame = DecodeLiveFrame(*text);
    if (!frame) {
      // As the window does: a frame with noise in it is dropped whole.
      streams.Err << "Aviso: trama con caracteres no numéricos descartada.\n";
      streams.Err.flush();
      return;
    }
    streams.Out << (o.Json ? LiveFrameJson(*frame) : LiveFrameLine(*frame)) << '\n';
    streams.Out.flush();
    if (o.Count > 0 && ++shown >= o.Count) link.Finish();
  };
  link.Open();
  try {
    link.Run(o.TimeoutSeconds * kMsPerSecond, IdleMessage(o, "no hay tramas que mostrar"));
  } catch (const ECliFailure &e) {
    // Without a count, Ctrl+C is the way a watch ends: nothing went wrong.
    if (e.Code() != exInterrupted || o.Count > 0) throw;
  }
  link.Close();
}

void CliSetClock(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  TCliLink link(o.Port);
  // The window sends the clock only once the logger has been heard from,
  // kClockSendDelayMs after that; what was being collected of a live frame is dropped.
  TFrameAccumulator accumulator;
  bool armed = false;
  std::string sent;
  link.OnRead = [&](const std::string &read) {
    accumulator.Feed(read);
    if (armed) return;
    armed = true;
    link.After(kClockSendDelayMs, [&] {
      accumulator.Clear();
      sent = PcClockText();
      SendClock(link.Port(), sent);
      link.Finish();
    });
  };
  link.Open();
  link.Run(o.TimeoutSeconds * kMsPerSecond, IdleMessage(o, "la hora no se envió"));
  link.Close();
  streams.Out << "Hora enviada al registrador: " << sent.substr(0, 8) << " " << sent.substr(8) << '\n';
  streams.Out.flush();
}

void CliSetRate(const TCliOptions &o, TCliStreams &streams) {
  const std::string command = RateCommand(RateItemOfMinutes(o.RateMinutes));
  if (command.empty()) throw ECliUsage("Tasa no válida: " + std::to_string(o.RateMinutes) + " minutos.");
  TCliLink link(o.Port);
  link.Open();
  if (link.Port().WriteText(command) != static_cast<int>(command.size()))
    throw ECliFailure(exFailure, "La orden no salió por el puerto " + o.Port + " dentro del tiempo de escritura.");
  link.Close();
  streams.Out << "Tasa de " << o.RateMinutes << " minutos enviada al registrador.\n";
  streams.Out.flush();
}

namespace {

// Progress on the terminal: bytes and records so far, on one line that is
// rewritten, at most a few times a second.
class TProgressLine {
public:
  explicit TProgressLine(TCliStreams &streams) : streams_(streams) { clock_.start(); }
  ~TProgressLine() { End(); }
  // Ends the rewritten line, so that what follows starts on a line of its own.
  void End() {
    if (shown_) streams_.Err << '\n' << std::flush;
    shown_ = false;
  }
  void Update(const std::string &dump, bool force = false) {
    if (!streams_.ErrIsTerminal) return;
    if (!force && shown_ && clock_.elapsed() < 200) return;
    clock_.restart();
    shown_ = true;
    streams_.Err << "\rRecibiendo: " << dump.size() << " bytes, " << DumpRecordsSoFar(dump) << " registros   "
                 << std::flush;
  }

private:
  TCliStreams &streams_;
  QElapsedTimer clock_;
  bool shown_ = false;
};

// Keeps a dump that could not become a text file. Called while another
// failure is on its way out: a failure here is told, not raised, so that the
// first one is the one reported.
void KeepDump(const std::string &path, const std::string &dump, TCliStreams &streams) {
  try {
    WriteFileAtomically(path, dump);
    streams.Err << "Lo recibido (" << dump.size() << " bytes) quedó en " << path << ".\n";
  } catch (const Exception &e) {
    streams.Err << "No se pudo guardar lo recibido en " << path << ": " << e.Message() << "\n";
  }
}

}  // namespace

void CliDownload(const TCliOptions &o, TCliStreams &streams) {
  // Refused before the logger is asked for anything.
  CheckOutputFile(o.Output, o.Force);
  // An address that names no archive would keep the download in the queue
  // for good.
  if (!o.NoArchive && !CliArchiveAddress(o).empty()) {
    try {
      ParseArchiveAddress(CliArchiveAddress(o));
    } catch (const EArchiveError &e) {
      throw ECliUsage(e.Message());
    }
  }
  if (!o.Raw.empty()) CheckOutputFile(o.Raw, o.Force);
  ApplyProgramFormats();

  TCliLink link(o.Port);
  std::string dump;
  std::optional<double> loggerCount;
  bool downloading = false;
  bool ended = false;
  bool ackLost = false;
  {
    TProgressLine progress(streams);
    link.OnRead = [&](const std::string &read) {
      if (!downloading || ended) return;
      if (CollectDownloadRead(dump, read)) {
        ended = true;
        // The dump is whole even when the logger does not get its
        // acknowledgement: it is saved, and the user told.
        try {
          SendDownloadAck(link.Port());
        } catch (const Exception &) {
          ackLost = true;
        }
        progress.Update(dump, true);
        link.Finish();
        return;
      }
      progress.Update(dump);
    };
    link.Open();
    // The logger's own count of the records it holds, from a live frame
    // before the request, for the check of what the download brings.
    if (const auto frame = AwaitLiveFrame(link, std::min(kCountWaitMs, o.TimeoutSeconds * kMsPerSecond)))
      loggerCount = frame->Frame.MemoryCount;
    // The download button's sequence: the dump proper starts 450 ms after the
    // first command (Timer2), everything received before is thrown away.
    link.After(kDumpStartDelayMs, [&] { DiscardBeforeDump(link.Port(), dump); });
    link.Port().ClearBuffers(true, false);
    dump.clear();
    SendDownloadRequest(link.Port(), o.Full, kDownloadCommandGapMs, [&] { downloading = true; });
    try {
      link.Run(o.TimeoutSeconds * kMsPerSecond, [&] {
        return dump.empty() ? NoDataMessage(o, "no respondió a la petición de descarga")
                            : NoDataMessage(o, "la descarga quedó sin terminar (no llegó la marca de fin)");
      });
    } catch (...) {
      // What did arrive is kept for diagnosis when asked for.
      link.Close();
      progress.End();
      if (!o.Raw.empty() && !dump.empty()) KeepDump(o.Raw, dump, streams);
      throw;
    }
    link.Close();
  }

  if (!o.Raw.empty()) WriteFileAtomically(o.Raw, dump);
  TDecodedDump decoded;
  try {
    decoded = DecodeDump(dump);
  } catch (const EDumpDecodeError &) {
    // The records must not be lost with the file: the dump goes beside it.
    if (o.Raw.empty()) KeepDump(o.Output + ".volcado", dump, streams);
    throw;
  }
  // Into the history before the file: a file that cannot be written must
  // not take the records with it. A failure here fails nothing else.
  std::optional<std::string> notArchived;
  std::ostringstream archived;
  if (!o.NoArchive) {
    TCliStreams quiet{archived, streams.Err, false};
    notArchived = CliArchiveDownload(o, decoded.Table, decoded.Records, quiet);
  }
  // As its name asks: the text file, a CSV or a workbook.
  CliSaveRecords(o, TRecordsView{decoded.Table, decoded.Records, {}});

  if (ackLost)
    streams.Err << "Aviso: " << kCommandNotSent << " (el acuse de fin de descarga \"x\" no llegó al registrador).\n";
  if (decoded.Header.RateText.empty())
    streams.Err << "Aviso: la cabecera trae un código de tasa desconocido; los registros quedan sin fecha ni hora.\n";
  const TDownloadCheck check = CheckDownload(dump, loggerCount);
  const std::string mismatch = check.Known() ? check.Warning()
                                             : "No llegó ninguna trama del registrador antes de la descarga: "
                                               "no se pudo comparar con su memoria ocupada.";
  if (!check.Complete() && !o.Verify) streams.Err << "Aviso: " << mismatch << "\n";
  streams.Out << check.Headline() << " desde el " << decoded.Header.StartDate << " a las " << decoded.Header.StartTime;
  if (!decoded.Header.RateText.empty()) streams.Out << ", " << decoded.Header.RateText;
  streams.Out << ". Guardados en " << o.Output << ".\n";
  streams.Out << archived.str();
  streams.Out.flush();
  if (!check.Complete() && o.Verify) {
    if (notArchived) streams.Err << "talvex-cli: " << *notArchived << '\n';
    throw ECliFailure(exCountMismatch, mismatch);
  }
  if (notArchived) throw ECliFailure(exNotArchived, *notArchived);
}

int RunCli(const std::vector<std::string> &args, TCliStreams streams) {
  if (args.size() == 1 && args[0] == "--version") {
    streams.Out << "talvex-cli " << kTalvexVersion << '\n';
    return exOk;
  }
  // Not in the help: the command table for the completion's and the manual
  // page's checks.
  if (args.size() == 1 && args[0] == "--list-options") {
    streams.Out << CliOptionListText();
    return exOk;
  }
  // "ports" lists it and --port DEMO opens it, as in the window.
  RegisterDemoPort();
  std::string port;
  try {
    const TCliOptions options = ParseCliArguments(args);
    port = options.Port;
    switch (options.Command) {
      case TCliCommand::Help: streams.Out << CliUsageText(); break;
      case TCliCommand::Ports: CliPorts(options, streams); break;
      case TCliCommand::Live: CliLive(options, streams); break;
      case TCliCommand::SetClock: CliSetClock(options, streams); break;
      case TCliCommand::SetRate: CliSetRate(options, streams); break;
      case TCliCommand::Download: CliDownload(options, streams); break;
      case TCliCommand::Status: CliStatus(options, streams); break;
      case TCliCommand::Convert: CliConvert(options, streams); break;
      case TCliCommand::Stats: CliStats(options, streams); break;
      case TCliCommand::Plot: CliPlot(options, streams); break;
      case TCliCommand::ArchiveImport: CliArchiveImport(options, streams); break;
      case TCliCommand::ArchiveList: CliArchiveList(options, streams); break;
      case TCliCommand::ArchiveExport: CliArchiveExport(options, streams); break;
      case TCliCommand::ArchiveStats: CliArchiveStats(options, streams); break;
      case TCliCommand::Record: CliRecord(options, streams); break;
      case TCliCommand::Report: CliReport(options, streams); break;
      // The parser gives "archive" only with one of its commands.
      case TCliCommand::Archive: streams.Out << CliUsageText(); break;
      case TCliCommand::AlarmsSet: CliAlarmsSet(options, streams); break;
      case TCliCommand::AlarmsList: CliAlarmsList(options, streams); break;
      case TCliCommand::AlarmsEvents: CliAlarmsEvents(options, streams); break;
      case TCliCommand::AlarmsAck: CliAlarmsAck(options, streams); break;
      case TCliCommand::Alarms: streams.Out << CliUsageText(); break;
    }
    streams.Out.flush();
    return exOk;
  } catch (...) {
    const TCliOutcome outcome = DescribeFailure(std::current_exception(), port);
    streams.Err << "talvex-cli: " << outcome.Message << '\n';
    if (outcome.Code == exUsage) streams.Err << "\"talvex-cli --help\" muestra el uso.\n";
    streams.Err.flush();
    return outcome.Code;
  }
}
