#include "cli/cli_options.h"

#include "cli/cli_dates.h"
#include "cli/cli_errors.h"
#include "cli/cli_plot.h"
#include "data/data_statistics.h"
#include "data/record_values.h"

#include <algorithm>
#include <cerrno>
#include <cstdlib>

namespace {

long WholeNumber(const std::string &option, const std::string &text, long low, long high) {
  errno = 0;
  char *end = nullptr;
  const long value = std::strtol(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno != 0 || value < low || value > high)
    throw ECliUsage(option + " espera un número entero entre " + std::to_string(low) + " y " + std::to_string(high) +
                    ", no \"" + text + "\".");
  return value;
}

// Commands that read a saved file and need no port.
bool ReadsAFile(TCliCommand command) {
  return command == TCliCommand::Convert || command == TCliCommand::Stats || command == TCliCommand::Plot;
}

// "1,2,5": channels 1 to 16, each once.
std::vector<int> ChannelList(const std::string &value) {
  std::vector<int> channels;
  std::size_t at = 0;
  while (at <= value.size()) {
    const std::size_t comma = std::min(value.find(',', at), value.size());
    const std::string item = value.substr(at, comma - at);
    const long channel = WholeNumber("--canales", item, 1, 16);
    if (std::find(channels.begin(), channels.end(), channel) != channels.end())
      throw ECliUsage("--canales nombra el canal " + item + " dos veces.");
    channels.push_back(static_cast<int>(channel));
    at = comma + 1;
  }
  return channels;
}

std::int64_t Temperature(const std::string &option, const std::string &value) {
  std::int64_t tenths;
  if (!ParseTenths(value, tenths))
    throw ECliUsage(std::string(option)
                        .append(" espera una temperatura con un decimal como mucho (25,0 o 25.0), no \"")
                        .append(value)
                        .append("\"."));
  return tenths;
}

std::string FileName(const std::string &option, const std::string &value) {
  if (value.empty()) throw ECliUsage(option + " espera el nombre del archivo.");
  return value;
}

// A limit, or "none" to clear it.
std::optional<std::int64_t> LimitOrNone(const std::string &option, const std::string &value) {
  if (value == "none" || value == "ninguno") return std::nullopt;
  std::int64_t tenths;
  if (!ParseTenths(value, tenths))
    throw ECliUsage(option +
                    " espera una temperatura con un decimal como mucho (8,0 o 8.0) o none para quitar el "
                    "límite, no \"" +
                    value + "\".");
  return tenths;
}

// Every option once: how it is spelt, whether a value follows it and what it
// sets. Which commands take it is the command table's business.
const TCliOptionSpec kOptions[] = {
    {"--port", "-p", true,
     [](TCliOptions &o, const std::string &, const std::string &value) {
       if (value.empty()) throw ECliUsage("--port espera el nombre de un puerto.");
       o.Port = value;
     }},
    {"--count", "-n", true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.Count = WholeNumber(option, value, 1, 1000000000L);
     }},
    {"--json", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.Json = true; }},
    {"--timeout", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.TimeoutSeconds = static_cast<int>(WholeNumber(option, value, 1, 86400));
     }},
    {"--output", "-o", true,
     [](TCliOptions &o, const std::string &option, const std::string &value) { o.Output = FileName(option, value); }},
    {"--full", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.Full = true; }},
    {"--raw", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) { o.Raw = FileName(option, value); }},
    {"--force", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.Force = true; }},
    {"--verificar", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.Verify = true; }},
    {"--csv", nullptr, true,
     [](TCliOptions &o, const std::string &, const std::string &value) {
       if (value != "comma" && value != "semicolon")
         throw ECliUsage("--csv espera comma (coma y punto decimal) o semicolon (punto y coma y coma decimal), no \"" +
                         value + "\".");
       o.Csv = value;
     }},
    {"--above", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) { o.Above = Temperature(option, value); }},
    {"--below", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) { o.Below = Temperature(option, value); }},
    {"--canales", nullptr, true,
     [](TCliOptions &o, const std::string &, const std::string &value) { o.Channels = ChannelList(value); }},
    {"--tiempo", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.TimeAxis = true; }},
    {"--logger", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       if (value.empty()) throw ECliUsage(option + " espera el nombre del registrador.");
       o.Logger = value;
     }},
    {"--db", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       if (value.empty())
         throw ECliUsage(option +
                         " espera la dirección del archivo histórico (sqlite:/ruta/archivo.sqlite o "
                         "postgresql://usuario@servidor:5432/talvex).");
       o.Db = value;
     }},
    {"--from", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.From = ParseCliStamp(option, value, TRangeEnd::From);
     }},
    {"--to", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.To = ParseCliStamp(option, value, TRangeEnd::To);
     }},
    {"--archive", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.Archive = true; }},
    {"--no-archive", nullptr, false,
     [](TCliOptions &o, const std::string &, const std::string &) { o.NoArchive = true; }},
    {"--interval", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       if (value != "1" && value != "10" && value != "60" && value != "300")
         throw ECliUsage(option + " espera 1, 10, 60 o 300 (segundos entre lecturas guardadas), no \"" + value + "\".");
       o.IntervalSeconds = std::atoi(value.c_str());
     }},
    {"--no-backfill", nullptr, false,
     [](TCliOptions &o, const std::string &, const std::string &) { o.NoBackfill = true; }},
    {"--verbose", nullptr, false, [](TCliOptions &o, const std::string &, const std::string &) { o.Verbose = true; }},
    {"--activation-energy", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       try {
         o.ActivationEnergy = ParseActivationEnergy(value);
       } catch (const Exception &e) {
         throw ECliUsage(option + ": " + e.Message());
       }
     }},
    {"--on-alarm", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       if (value.find_first_not_of(" \t") == std::string::npos)
         throw ECliUsage(option + " espera la orden que se ejecuta al empezar y al terminar una alarma.");
       o.OnAlarm = value;
     }},
    {"--channel", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.AlarmChannel = static_cast<int>(WholeNumber(option, value, 1, 16));
     }},
    {"--low", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.AlarmLow = LimitOrNone(option, value);
     }},
    {"--high", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.AlarmHigh = LimitOrNone(option, value);
     }},
    // A negative delay or hysteresis reads, so that the refusal says what
    // is wrong with it rather than that it is not a number.
    {"--delay", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.AlarmDelay = WholeNumber(option, value, -525600L, 525600L);
     }},
    {"--hysteresis", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.AlarmHysteresis = Temperature(option, value);
     }},
    {"--id", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       o.AlarmEvent = WholeNumber(option, value, 1, 2147483647L);
     }},
    {"--comment", nullptr, true,
     [](TCliOptions &o, const std::string &option, const std::string &value) {
       if (value.find_first_not_of(" \t\r\n") == std::string::npos)
         throw ECliUsage(option + " espera un comentario: un reconocimiento dice por qué.");
       o.Comment = value;
     }},
};

// The option `spelt` ("--count" or "-n") if `command` takes it.
const TCliOptionSpec *AcceptedOption(const TCliCommandSpec &command, const std::string &spelt) {
  for (const char *name : command.Options) {
    const TCliOptionSpec *option = FindCliOption(name);
    if (option != nullptr && (spelt == option->Name || (option->Short != nullptr && spelt == option->Short)))
      return option;
  }
  return nullptr;
}

// A range that ends before it starts holds nothing: surely a slip.
void CheckRange(const TCliOptions &o) {
  if (o.From && o.To && StampSeconds(*o.To) < StampSeconds(*o.From))
    throw ECliUsage("--to (" + ProgramDateText(*o.To) + " " + ProgramTimeText(*o.To) + ") es anterior a --from (" +
                    ProgramDateText(*o.From) + " " + ProgramTimeText(*o.From) + ").");
}

// "archive import FILE...", "archive list", ...: the first word after
// "archive" picks the command, whose own options are then the only ones
// allowed, wherever on the line they were given.
void ParseArchiveCommand(TCliOptions &o, const std::vector<std::string> &positional,
                         const std::vector<const TCliOptionSpec *> &spelt) {
  if (positional.empty()) throw ECliUsage("archive espera una orden: import, list, export o stats.");
  const TCliCommandSpec *command = nullptr;
  for (const TCliCommandSpec &c : CliArchiveCommandTable())
    if (positional[0] == c.Name) command = &c;
  if (command == nullptr)
    throw ECliUsage("Orden desconocida: \"archive " + positional[0] +
                    "\". archive admite import, list, export y stats.");
  const std::string name = std::string("archive ") + command->Name;
  for (const TCliOptionSpec *option : spelt) {
    const bool taken = std::any_of(command->Options.begin(), command->Options.end(),
                                   [&](const char *own) { return std::string(own) == option->Name; });
    if (!taken) throw ECliUsage("La orden " + name + " no admite la opción " + option->Name + ".");
  }
  o.Command = command->Command;
  if (o.Command == TCliCommand::ArchiveImport) {
    o.Inputs.assign(positional.begin() + 1, positional.end());
    if (o.Inputs.empty()) throw ECliUsage("archive import espera uno o más archivos guardados (de texto o CSV).");
    if (o.Logger.empty()) throw ECliUsage("archive import necesita --logger NOMBRE, el registrador de esos datos.");
    return;
  }
  if (positional.size() > 1) throw ECliUsage("Argumento de más para " + name + ": \"" + positional[1] + "\".");
  if (o.Command == TCliCommand::ArchiveExport || o.Command == TCliCommand::ArchiveStats) {
    if (o.Logger.empty()) throw ECliUsage(name + " necesita --logger NOMBRE, el registrador del archivo histórico.");
    CheckRange(o);
  }
  if (o.Command == TCliCommand::ArchiveExport && o.Output.empty())
    throw ECliUsage("archive export necesita -o ARCHIVO (.csv, .xlsx o .txt).");
}

// "report DATOS -o X.pdf", "report --archive ... -o X.pdf" or
// "report --verificar X.pdf DATOS".
void ParseReportCommand(TCliOptions &o, const std::vector<std::string> &positional,
                        const std::vector<const TCliOptionSpec *> &spelt) {
  if (o.Verify) {
    for (const TCliOptionSpec *option : spelt)
      if (std::string(option->Name) != "--verificar")
        throw ECliUsage(std::string("report --verificar no admite la opción ") + option->Name + ".");
    if (positional.size() != 2)
      throw ECliUsage(
          "report --verificar espera el informe y el archivo de datos: report --verificar INFORME.pdf "
          "DATOS.");
    o.Report = positional[0];
    o.Input = positional[1];
    return;
  }
  if (o.Output.empty()) throw ECliUsage("report necesita -o INFORME.pdf.");
  if (PlotFormatOf(o.Output) != TPlotFormat::Pdf)
    throw ECliUsage("report escribe un documento .pdf, no \"" + o.Output + "\".");
  if (o.Archive) {
    if (!positional.empty())
      throw ECliUsage("report --archive informa de un rango del archivo histórico, no de un archivo: sobra \"" +
                      positional[0] + "\".");
    if (o.Logger.empty() || !o.From || !o.To)
      throw ECliUsage("report --archive necesita --logger NOMBRE, --from FECHA y --to FECHA.");
    CheckRange(o);
    return;
  }
  for (const TCliOptionSpec *option : spelt) {
    const std::string n = option->Name;
    if (n == "--from" || n == "--to")
      throw ECliUsage("report admite " + n + " solo con --archive (un rango del archivo histórico).");
  }
  if (positional.size() != 1) throw ECliUsage("report espera un archivo guardado (de texto o CSV).");
  o.Input = positional[0];
  if (o.Output == o.Input) throw ECliUsage("report no escribe sobre el archivo que lee.");
}

// "alarms set", "alarms list", ...: as "archive", its first word picks the
// command.
void ParseAlarmsCommand(TCliOptions &o, const std::vector<std::string> &positional,
                        const std::vector<const TCliOptionSpec *> &spelt) {
  if (positional.empty()) throw ECliUsage("alarms espera una orden: set, list, events o ack.");
  const TCliCommandSpec *command = nullptr;
  for (const TCliCommandSpec &c : CliAlarmsCommandTable())
    if (positional[0] == c.Name) command = &c;
  if (command == nullptr)
    throw ECliUsage("Orden desconocida: \"alarms " + positional[0] + "\". alarms admite set, list, events y ack.");
  const std::string name = std::string("alarms ") + command->Name;
  for (const TCliOptionSpec *option : spelt) {
    const bool taken = std::any_of(command->Options.begin(), command->Options.end(),
                                   [&](const char *own) { return std::string(own) == option->Name; });
    if (!taken) throw ECliUsage("La orden " + name + " no admite la opción " + option->Name + ".");
  }
  if (positional.size() > 1) throw ECliUsage("Argumento de más para " + name + ": \"" + positional[1] + "\".");
  o.Command = command->Command;
  if ((o.Command == TCliCommand::AlarmsSet || o.Command == TCliCommand::AlarmsEvents) && o.Logger.empty())
    throw ECliUsage(name + " necesita --logger NOMBRE, el registrador del archivo histórico.");
  if (o.Command == TCliCommand::AlarmsSet && o.AlarmChannel == 0)
    throw ECliUsage("alarms set necesita --channel N, el canal (1 a 16).");
  if (o.Command == TCliCommand::AlarmsEvents) CheckRange(o);
  if (o.Command == TCliCommand::AlarmsAck && (o.AlarmEvent == 0 || o.Comment.empty()))
    throw ECliUsage("alarms ack necesita --id N, el evento, y --comment TEXTO.");
}

}  // namespace

const TCliOptionSpec *FindCliOption(const std::string &name) {
  for (const TCliOptionSpec &option : kOptions)
    if (name == option.Name) return &option;
  return nullptr;
}

// The commands and the options each takes, in the order the help and the
// completion offer them.
const std::vector<TCliCommandSpec> &CliCommandTable() {
  static const std::vector<TCliCommandSpec> table = {
      {"ports", TCliCommand::Ports, {}},
      {"live", TCliCommand::Live, {"--port", "--count", "--json", "--timeout"}},
      {"set-clock", TCliCommand::SetClock, {"--port", "--timeout"}},
      {"set-rate", TCliCommand::SetRate, {"--port"}},
      {"download",
       TCliCommand::Download,
       {"--port", "--output", "--full", "--raw", "--force", "--verificar", "--csv", "--above", "--below", "--timeout",
        "--logger", "--db", "--no-archive"}},
      {"status", TCliCommand::Status, {"--port", "--json", "--timeout"}},
      {"convert", TCliCommand::Convert, {"--output", "--csv", "--above", "--below", "--force"}},
      {"stats", TCliCommand::Stats, {"--json", "--above", "--below", "--activation-energy", "--logger", "--db"}},
      {"plot",
       TCliCommand::Plot,
       {"--output", "--canales", "--tiempo", "--force", "--archive", "--logger", "--from", "--to", "--db"}},
      {"record",
       TCliCommand::Record,
       {"--port", "--logger", "--interval", "--db", "--no-backfill", "--verbose", "--on-alarm"}},
      {"report",
       TCliCommand::Report,
       {"--output", "--canales", "--force", "--archive", "--logger", "--from", "--to", "--db", "--activation-energy",
        "--verificar"}},
      {"archive",
       TCliCommand::Archive,
       {"--logger", "--db", "--json", "--from", "--to", "--output", "--csv", "--above", "--below", "--force",
        "--activation-energy"}},
      {"alarms",
       TCliCommand::Alarms,
       {"--logger", "--channel", "--low", "--high", "--delay", "--hysteresis", "--db", "--json", "--from", "--to",
        "--id", "--comment"}},
  };
  return table;
}

const std::vector<TCliCommandSpec> &CliAlarmsCommandTable() {
  static const std::vector<TCliCommandSpec> table = {
      {"set", TCliCommand::AlarmsSet, {"--logger", "--channel", "--low", "--high", "--delay", "--hysteresis", "--db"}},
      {"list", TCliCommand::AlarmsList, {"--logger", "--json", "--db"}},
      {"events", TCliCommand::AlarmsEvents, {"--logger", "--from", "--to", "--json", "--db"}},
      {"ack", TCliCommand::AlarmsAck, {"--id", "--comment", "--db"}},
  };
  return table;
}

const std::vector<TCliCommandSpec> &CliArchiveCommandTable() {
  static const std::vector<TCliCommandSpec> table = {
      {"import", TCliCommand::ArchiveImport, {"--logger", "--db"}},
      {"list", TCliCommand::ArchiveList, {"--db", "--json"}},
      {"export",
       TCliCommand::ArchiveExport,
       {"--logger", "--from", "--to", "--output", "--csv", "--above", "--below", "--force", "--db"}},
      {"stats",
       TCliCommand::ArchiveStats,
       {"--logger", "--from", "--to", "--json", "--above", "--below", "--db", "--activation-energy"}},
  };
  return table;
}

std::string CliOptionListText() {
  std::string text;
  for (const TCliCommandSpec &command : CliCommandTable()) {
    text += command.Name;
    for (const char *name : command.Options) {
      const TCliOptionSpec *option = FindCliOption(name);
      text.append(" ").append(option->Name);
      if (option->Short != nullptr) text.append(" ").append(option->Short);
    }
    text += " --help\n";
  }
  return text;
}

TCliOptions ParseCliArguments(const std::vector<std::string> &args) {
  TCliOptions o;
  if (args.empty()) throw ECliUsage("Falta la orden. \"talvex-cli --help\" muestra las órdenes.");
  const std::string &name = args[0];
  if (name == "--help" || name == "-h" || name == "help") return o;
  const TCliCommandSpec *command = nullptr;
  for (const TCliCommandSpec &c : CliCommandTable())
    if (name == c.Name) command = &c;
  if (command == nullptr)
    throw ECliUsage("Orden desconocida: \"" + name + "\". \"talvex-cli --help\" muestra las órdenes.");
  o.Command = command->Command;

  std::vector<std::string> positional;
  std::vector<const TCliOptionSpec *> spelt;
  for (std::size_t i = 1; i < args.size(); ++i) {
    std::string arg = args[i];
    std::string value;
    bool hasValue = false;
    // --option=value as well as --option value.
    if (arg.rfind("--", 0) == 0) {
      const auto eq = arg.find('=');
      if (eq != std::string::npos) {
        value = arg.substr(eq + 1);
        arg = arg.substr(0, eq);
        hasValue = true;
      }
    }
    if (arg == "--help" || arg == "-h") {
      o.Command = TCliCommand::Help;
      return o;
    }
    if (arg.size() > 1 && arg[0] == '-' && !(arg.size() > 1 && arg[1] >= '0' && arg[1] <= '9')) {
      const TCliOptionSpec *option = AcceptedOption(*command, arg);
      if (option == nullptr)
        throw ECliUsage(std::string("La orden ").append(name).append(" no admite la opción ").append(arg).append("."));
      if (option->TakesValue) {
        if (!hasValue) {
          if (i + 1 >= args.size()) throw ECliUsage("Falta el valor de " + arg + ".");
          value = args[++i];
        }
      } else if (hasValue) {
        throw ECliUsage("La opción " + arg + " no lleva valor.");
      }
      option->Apply(o, arg, value);
      spelt.push_back(option);
      continue;
    }
    positional.push_back(arg);
  }

  if (o.Command == TCliCommand::Archive) {
    ParseArchiveCommand(o, positional, spelt);
    return o;
  }
  if (o.Command == TCliCommand::Alarms) {
    ParseAlarmsCommand(o, positional, spelt);
    return o;
  }
  if (o.Command == TCliCommand::SetRate) {
    if (positional.size() != 1) throw ECliUsage("set-rate espera una tasa: 15, 30 o 60 (minutos).");
    const std::string &rate = positional[0];
    if (rate != "15" && rate != "30" && rate != "60")
      throw ECliUsage("Tasa no válida: \"" + rate + "\". El registrador acepta 15, 30 o 60 minutos.");
    o.RateMinutes = std::atoi(rate.c_str());
  } else if (o.Command == TCliCommand::Report) {
    ParseReportCommand(o, positional, spelt);
    return o;
  } else if (o.Command == TCliCommand::Plot && o.Archive) {
    // The range of the history, not a file.
    if (!positional.empty())
      throw ECliUsage("plot --archive dibuja un rango del archivo histórico, no un archivo: sobra \"" + positional[0] +
                      "\".");
    if (o.Logger.empty() || !o.From || !o.To)
      throw ECliUsage("plot --archive necesita --logger NOMBRE, --from FECHA y --to FECHA.");
    CheckRange(o);
    if (o.Output.empty()) throw ECliUsage("plot necesita -o ARCHIVO (.png o .pdf).");
    if (!PlotFormatOf(o.Output))
      throw ECliUsage("plot escribe imágenes .png o documentos .pdf, no \"" + o.Output + "\".");
    return o;
  } else if (ReadsAFile(o.Command)) {
    if (o.Command == TCliCommand::Plot) {
      for (const TCliOptionSpec *option : spelt) {
        const std::string n = option->Name;
        if (n == "--logger" || n == "--from" || n == "--to" || n == "--db")
          throw ECliUsage("plot admite " + n + " solo con --archive (un rango del archivo histórico).");
      }
    }
    if (o.Command == TCliCommand::Stats && !o.Db.empty() && o.Logger.empty())
      throw ECliUsage("stats admite --db solo con --logger NOMBRE (el registrador cuyos límites de alarma se usan).");
    if (positional.size() != 1) throw ECliUsage(name + " espera un archivo guardado (de texto o CSV).");
    o.Input = positional[0];
    if (o.Command == TCliCommand::Convert) {
      if (o.Output.empty()) throw ECliUsage("convert necesita -o ARCHIVO (.csv, .xlsx o .txt).");
      if (o.Output == o.Input) throw ECliUsage("convert no escribe sobre el archivo que lee.");
    }
    if (o.Command == TCliCommand::Plot) {
      if (o.Output.empty()) throw ECliUsage("plot necesita -o ARCHIVO (.png o .pdf).");
      if (o.Output == o.Input) throw ECliUsage("plot no escribe sobre el archivo que lee.");
      if (!PlotFormatOf(o.Output))
        throw ECliUsage("plot escribe imágenes .png o documentos .pdf, no \"" + o.Output + "\".");
    }
    return o;
  } else if (!positional.empty()) {
    throw ECliUsage("Argumento de más para " + name + ": \"" + positional[0] + "\".");
  }
  if (o.Command != TCliCommand::Ports && o.Port.empty())
    throw ECliUsage("La orden " + name + " necesita --port PUERTO (por ejemplo /dev/ttyUSB0 o DEMO).");
  if (o.Command == TCliCommand::Download) {
    if (o.Output.empty()) throw ECliUsage("download necesita -o ARCHIVO, el archivo de texto a guardar.");
    if (!o.Raw.empty() && o.Raw == o.Output) throw ECliUsage("--raw y -o no pueden nombrar el mismo archivo.");
  }
  return o;
}

std::string CliUsageText() {
  return "talvex-cli: el registrador de 16 canales desde la línea de órdenes\n"
         "\n"
         "Uso:\n"
         "  talvex-cli --version\n"
         "      Muestra la versión del programa.\n"
         "  talvex-cli ports\n"
         "      Lista los puertos serie que encuentra, uno por línea (DEMO incluido).\n"
         "  talvex-cli live --port PUERTO [--count N] [--json] [--timeout S]\n"
         "      Muestra las tramas en vivo: fecha y hora del registrador, los 16 canales,\n"
         "      batería, tasa y posiciones de memoria usadas. --json: un objeto JSON por línea.\n"
         "      Sin --count sigue hasta Ctrl+C.\n"
         "  talvex-cli set-clock --port PUERTO [--timeout S]\n"
         "      Pone en hora el registrador con la hora de la PC (también pone a cero la\n"
         "      memoria usada: descargue antes los datos).\n"
         "  talvex-cli set-rate --port PUERTO 15|30|60\n"
         "      Cambia la tasa de muestreo (minutos).\n"
         "  talvex-cli download --port PUERTO [--full] -o ARCHIVO [--raw VOLCADO] [--force] [--verificar]\n"
         "                     [--timeout S] [--logger NOMBRE] [--db URL] [--no-archive]\n"
         "      Descarga los registros y los guarda en ARCHIVO con el formato del programa.\n"
         "      --full fuerza la descarga completa; --raw guarda además lo recibido tal cual;\n"
         "      --force reemplaza un ARCHIVO existente. Un ARCHIVO .csv o .xlsx se guarda como\n"
         "      hoja de cálculo (como \"convert\"). Compara los registros recibidos con\n"
         "      la memoria ocupada que dice una trama anterior; --verificar: si no coinciden\n"
         "      (o no llegó trama), termina con el código 10, guardado todo lo recibido.\n"
         "      Guarda además los registros en el archivo histórico bajo --logger NOMBRE (por\n"
         "      omisión el nombre que el archivo recuerda para ese puerto, si no el del puerto);\n"
         "      si el archivo histórico no los toma, esperan en la cola (~/.local/state/talvex/cola)\n"
         "      hasta la próxima vez que se abra, y termina con el código 11. --no-archive: solo\n"
         "      el ARCHIVO.\n"
         "  talvex-cli status --port PUERTO [--json] [--timeout S]\n"
         "      El estado en una trama: fecha y hora del registrador y cuánto adelanta o atrasa\n"
         "      su reloj, batería, tasa, memoria ocupada, capacidad y cuándo se llenará, canales.\n"
         "  talvex-cli convert DATOS -o SALIDA [--csv comma|semicolon] [--above T] [--below T] [--force]\n"
         "      Convierte un archivo guardado (de texto o CSV) según la extensión de SALIDA:\n"
         "      .csv (fecha y hora ISO 8601 y los 16 canales; --csv elige coma y punto decimal\n"
         "      o punto y coma y coma decimal, por omisión lo que usa esta PC), .xlsx (libro con\n"
         "      una hoja de estadísticas) o el archivo de texto del programa.\n"
         "  talvex-cli stats DATOS [--json] [--above T] [--below T] [--activation-energy KJ]\n"
         "                  [--logger NOMBRE [--db URL]]\n"
         "      Estadísticas de cada canal: registros, mínimo y máximo con su fecha y hora,\n"
         "      media, desviación estándar y el tiempo por encima de T (--above) y por debajo\n"
         "      de T (--below), en grados. Además la temperatura cinética media (MKT) con la\n"
         "      energía de activación KJ en kJ/mol (la elegida en la ventana de estadísticas,\n"
         "      83,144 por omisión) y, con --logger, las alarmas según los límites que el\n"
         "      archivo histórico guarda para NOMBRE: cuántas, altas y bajas, y cuánto duraron.\n"
         "  talvex-cli plot DATOS -o GRAFICO.png|GRAFICO.pdf [--canales 1,2,5] [--tiempo] [--force]\n"
         "      Dibuja el gráfico de la ventana de gráficos sin pantalla: una imagen PNG del\n"
         "      tamaño del gráfico o una página PDF A4 apaisada. --canales elige los canales\n"
         "      (todos por omisión); --tiempo pone la fecha y hora en el eje inferior.\n"
         "  talvex-cli plot --archive --logger NOMBRE --from FECHA --to FECHA -o GRAFICO.png|GRAFICO.pdf\n"
         "                 [--canales 1,2,5] [--force] [--db URL]\n"
         "      El mismo gráfico de un rango del archivo histórico, con la fecha y hora en el eje\n"
         "      inferior; cada pico se ve aunque el rango tenga un año de registros.\n"
         "  talvex-cli record --port PUERTO [--logger NOMBRE] [--interval S] [--db URL] [--no-backfill]\n"
         "                   [--verbose] [--on-alarm ORDEN]\n"
         "      Graba las lecturas en vivo en el archivo histórico hasta SIGTERM o Ctrl+C: una cada\n"
         "      S segundos (1, 10, 60 o 300; 10 por omisión) con la hora del registrador y la de la\n"
         "      PC. Si se pierde la línea lo dice una vez y vuelve a intentarlo (cada 30 s como\n"
         "      mucho, y en cuanto el dispositivo reaparece con el mismo nombre). Al empezar y al\n"
         "      reconectar descarga de la memoria del registrador los registros que el archivo\n"
         "      histórico no tiene (--no-backfill: no toca la memoria). Escribe una línea de estado\n"
         "      en stderr al empezar, al reconectar y cada hora; --verbose, una por lote guardado.\n"
         "      Termina con 0, o con 11 si quedaron lecturas en la cola del archivo histórico.\n"
         "  talvex-cli report DATOS -o INFORME.pdf [--canales 1,2,5] [--logger NOMBRE] [--db URL]\n"
         "                   [--activation-energy KJ] [--force]\n"
         "  talvex-cli report --archive --logger NOMBRE --from FECHA --to FECHA -o INFORME.pdf\n"
         "                   [--canales 1,2,5] [--db URL] [--activation-energy KJ] [--force]\n"
         "      El informe en PDF (A4 vertical) de un archivo guardado o de un rango del archivo\n"
         "      histórico: registrador, período, tasa, registros y origen; el gráfico con los\n"
         "      límites de alarma de cada canal; mínimo, máximo, media, MKT (--activation-energy,\n"
         "      83,144 kJ/mol por omisión) y tiempo fuera de límites por canal; los eventos de\n"
         "      alarma con sus reconocimientos, y el SHA-256 de los registros guardados como texto.\n"
         "      --canales: solo esos canales. Con --logger, los límites y reconocimientos del\n"
         "      archivo histórico para ese registrador.\n"
         "  talvex-cli report --verificar INFORME.pdf DATOS\n"
         "      Dice si DATOS son los registros del informe: termina con 0 si coinciden y con\n"
         "      el código 12 si no.\n"
         "      --on-alarm ORDEN: evalúa en cada lectura los límites de alarma del registrador\n"
         "      (releídos del archivo histórico cada minuto) y ejecuta ORDEN con /bin/sh -c al\n"
         "      empezar y al terminar cada alarma, sin esperarla, con las variables\n"
         "      TALVEX_REGISTRADOR, TALVEX_CANAL (1 a 16), TALVEX_TIPO (alta o baja),\n"
         "      TALVEX_ESTADO (empieza o termina), TALVEX_VALOR (la lectura, 31,5),\n"
         "      TALVEX_EXTREMO, TALVEX_HORA (la de la lectura, ISO 8601) y TALVEX_DESDE (el\n"
         "      comienzo de la alarma). --verbose dice además cada alarma en stderr.\n"
         "\n"
         "  talvex-cli archive import DATOS... --logger NOMBRE [--db URL]\n"
         "      Guarda archivos guardados (de texto o CSV) en el archivo histórico, bajo el\n"
         "      registrador NOMBRE: un registro que ya estaba no se repite; uno de la misma fecha\n"
         "      y hora con otros valores queda a su lado. Dice por archivo cuántos registros eran\n"
         "      nuevos y cuántos ya estaban; un archivo que no se lee no impide los demás\n"
         "      (termina con el código 9).\n"
         "  talvex-cli archive list [--db URL] [--json]\n"
         "      Los registradores del archivo histórico: su puerto, cuántos registros tiene y\n"
         "      la fecha y hora del primero y del último.\n"
         "  talvex-cli archive export --logger NOMBRE [--from FECHA] [--to FECHA] -o SALIDA\n"
         "                           [--csv comma|semicolon] [--above T] [--below T] [--force] [--db URL]\n"
         "      Escribe los registros de NOMBRE en el rango como los exporta la ventana de datos,\n"
         "      según la extensión de SALIDA: .csv, .xlsx (con la hoja de estadísticas) o el\n"
         "      archivo de texto del programa. Ctrl+C lo detiene sin dejar archivo.\n"
         "  talvex-cli archive stats --logger NOMBRE [--from FECHA] [--to FECHA] [--json]\n"
         "                          [--above T] [--below T] [--db URL] [--activation-energy KJ]\n"
         "      Las estadísticas de \"stats\" sobre los registros de NOMBRE en el rango, con el\n"
         "      primer y el último registro y las fechas y horas guardadas en más de una versión;\n"
         "      las alarmas, las que el archivo histórico guarda en el rango.\n"
         "\n"
         "  talvex-cli alarms set --logger NOMBRE --channel N [--low T|none] [--high T|none]\n"
         "                       [--delay MIN] [--hysteresis T] [--db URL]\n"
         "      Los límites de alarma del canal N (1 a 16) de NOMBRE: solo cambia lo que se da;\n"
         "      none quita un límite. Una alarma cuenta cuando la lectura pasa el límite durante\n"
         "      --delay minutos y termina al volver --hysteresis grados hacia dentro (0,5 por\n"
         "      omisión). Vuelve a buscar los eventos del canal en todo el historial.\n"
         "  talvex-cli alarms list [--logger NOMBRE] [--json] [--db URL]\n"
         "      Los límites de alarma de cada canal (CH1 a CH16), de NOMBRE o de cada registrador.\n"
         "  talvex-cli alarms events --logger NOMBRE [--from FECHA] [--to FECHA] [--json] [--db URL]\n"
         "      Los eventos de alarma del rango: número, canal, alta o baja, inicio, fin, duración,\n"
         "      extremo y su hora, y quién los reconoció.\n"
         "  talvex-cli alarms ack --id N --comment TEXTO [--db URL]\n"
         "      Reconoce el evento N con un comentario, a nombre del usuario de la sesión; un\n"
         "      reconocimiento no se cambia ni se borra después.\n"
         "\n"
         "--db URL: el archivo histórico (sqlite:/ruta/archivo.sqlite, o\n"
         "postgresql://usuario@servidor:5432/talvex); sin --db, el que nombra la variable\n"
         "TALVEX_DB, y si no, ~/.local/share/talvex/archivo.sqlite.\n"
         "--from, --to FECHA: AAAA-MM-DD[THH:MM[:SS]] o dd/mm/aaaa[ hh:mm[:ss]], ambos extremos\n"
         "incluidos; un --to sin hora llega al final de ese día (sin segundos, al final de ese\n"
         "minuto). Sin --from, desde el primer registro; sin --to, hasta el último.\n"
         "--timeout S: segundos sin recibir nada antes de abandonar (60 por omisión).\n"
         "\n"
         "Códigos de salida: 0 bien, 1 otro error, 2 uso incorrecto, 3 el puerto no existe,\n"
         "4 puerto en uso, 5 permiso denegado, 6 se perdió la línea, 7 el registrador no envió\n"
         "nada a tiempo, 8 descarga que no se puede decodificar, 9 error de archivo,\n"
         "10 la descarga no coincide con la memoria del registrador (--verificar), 11 descarga\n"
         "guardada en ARCHIVO que espera en la cola del archivo histórico (record: lecturas que\n"
         "esperan en la cola), 12 los datos no son los del informe (report --verificar),\n"
         "130 interrumpido.\n";
}
