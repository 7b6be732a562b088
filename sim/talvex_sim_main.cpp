// talvex-sim: a simulated logger on a pseudo-terminal. Prints the device to
// open on stdout and runs until SIGINT or SIGTERM.

#include "sim/logger_simulator.h"
#include "talvex_version.h"

#include <pthread.h>
#include <cerrno>
#include <cmath>
#include <csignal>
#include <cstdio>
#include <cstdlib>
#include <iostream>
#include <string>

namespace {

const char kUsage[] =
    "Uso: talvex-sim [opciones]\n"
    "Simula el registrador de 16 canales en un pseudo-terminal e imprime el\n"
    "dispositivo que hay que abrir (p. ej. /dev/pts/7). Termina con Ctrl+C.\n"
    "\n"
    "  --interval MS        una trama cada MS milisegundos (1000)\n"
    "  --records N          registros ya guardados al empezar (0)\n"
    "  --capacity N         posiciones de memoria (2000)\n"
    "  --seed N             semilla de las curvas (1)\n"
    "  --rate CÓDIGO        tasa inicial: 1..6 = 1, 5, 10, 15, 30, 60 minutos (4)\n"
    "  --start FECHA        reloj inicial \"AAAA-MM-DD hh:mm:ss\" (la hora del PC)\n"
    "  --accel X            segundos simulados por segundo real (1)\n"
    "  --drift S            segundos por día que el reloj adelanta; negativo, atrasa (0)\n"
    "  --link RUTA          crea un enlace a el dispositivo (p. ej. /dev/ttyV0)\n"
    "  --group GRUPO        da el dispositivo al grupo, que puede leerlo y escribirlo\n"
    "                       (p. ej. dialout: root lo ofrece así a los usuarios)\n"
    "  --corrupt-every N    estropea una de cada N tramas (0 = nunca)\n"
    "  --hangup-after N     cuelga la línea tras N bytes de una descarga\n"
    "  --chunk BYTES        bytes por escritura en la descarga (1024; 0 = todo)\n"
    "  --chunk-pause MS     pausa entre escrituras de la descarga (89)\n"
    "  --verbose            cuenta en stderr lo que hace el registrador\n"
    "  --version            la versión del programa\n"
    "  --help               esta ayuda\n";

long long ParseNumber(const std::string &option, const std::string &text, long long lo, long long hi) {
  char *end = nullptr;
  errno = 0;
  const long long v = std::strtoll(text.c_str(), &end, 10);
  if (text.empty() || *end != '\0' || errno == ERANGE || v < lo || v > hi)
    throw ESimulator("Valor no válido para " + option + ": '" + text + "' (entre " + std::to_string(lo) + " y " +
                     std::to_string(hi) + ")");
  return v;
}

double ParseReal(const std::string &option, const std::string &text) {
  char *end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(v > 0.0))
    throw ESimulator("Valor no válido para " + option + ": '" + text + "' (un número mayor que 0)");
  return v;
}

double ParseSigned(const std::string &option, const std::string &text, double limit) {
  char *end = nullptr;
  const double v = std::strtod(text.c_str(), &end);
  if (text.empty() || *end != '\0' || !(std::fabs(v) <= limit))
    throw ESimulator("Valor no válido para " + option + ": '" + text + "' (entre " +
                     std::to_string(-static_cast<long>(limit)) + " y " + std::to_string(static_cast<long>(limit)) +
                     ")");
  return v;
}

TSimConfig ParseArgs(int argc, char **argv, bool &verbose, bool &help, bool &version) {
  TSimConfig cfg;
  cfg.Start = TSimDateTime::Now();
  bool capacity_given = false;
  for (int i = 1; i < argc; ++i) {
    const std::string opt = argv[i];
    if (opt == "--help" || opt == "-h") {
      help = true;
      return cfg;
    }
    if (opt == "--version") {
      version = true;
      return cfg;
    }
    if (opt == "--verbose") {
      verbose = true;
      continue;
    }
    if (i + 1 >= argc) throw ESimulator("Falta el valor de " + opt + " (ver --help)");
    const std::string val = argv[++i];
    if (opt == "--interval") cfg.FrameIntervalMs = static_cast<int>(ParseNumber(opt, val, 1, 3600000));
    else if (opt == "--records") cfg.StoredRecords = static_cast<long>(ParseNumber(opt, val, 0, 10000000));
    else if (opt == "--capacity") {
      cfg.Capacity = static_cast<long>(ParseNumber(opt, val, 1, 10000000));
      capacity_given = true;
    } else if (opt == "--seed") cfg.Seed = static_cast<std::uint64_t>(ParseNumber(opt, val, 0, 0x7fffffffffffffffLL));
    else if (opt == "--rate") cfg.RateCode = static_cast<int>(ParseNumber(opt, val, 1, 6));
    else if (opt == "--start") cfg.Start = TSimDateTime::Parse(val);
    else if (opt == "--accel") cfg.TimeAcceleration = ParseReal(opt, val);
    else if (opt == "--drift") cfg.DriftSecondsPerDay = ParseSigned(opt, val, kMaxDriftSecondsPerDay);
    else if (opt == "--link") cfg.LinkPath = val;
    else if (opt == "--group") cfg.DeviceGroup = val;
    else if (opt == "--corrupt-every") cfg.CorruptEvery = static_cast<long>(ParseNumber(opt, val, 0, 1000000000));
    else if (opt == "--hangup-after") cfg.HangupAfter = ParseNumber(opt, val, 0, 1LL << 40);
    else if (opt == "--chunk") cfg.DownloadChunkBytes = static_cast<int>(ParseNumber(opt, val, 0, 1 << 24));
    else if (opt == "--chunk-pause") cfg.DownloadChunkPauseMs = static_cast<int>(ParseNumber(opt, val, 0, 60000));
    else throw ESimulator("Opción desconocida: " + opt + " (ver --help)");
  }
  // Asking for more records than the logger holds means a bigger memory.
  if (!capacity_given && cfg.StoredRecords > cfg.Capacity) cfg.Capacity = cfg.StoredRecords;
  return cfg;
}

}  // namespace

int main(int argc, char **argv) {
  // Blocked here so every thread inherits it and only sigwait below sees
  // the signals: the simulator's thread is never interrupted mid-write.
  // A shell starting us in the background sets SIGINT to be ignored, and
  // whether an ignored signal still reaches sigwait is left to the system:
  // take the defaults back so Ctrl+C or kill -INT always ends us cleanly.
  std::signal(SIGINT, SIG_DFL);
  std::signal(SIGTERM, SIG_DFL);
  std::signal(SIGHUP, SIG_DFL);
  sigset_t sigs;
  sigemptyset(&sigs);
  sigaddset(&sigs, SIGINT);
  sigaddset(&sigs, SIGTERM);
  sigaddset(&sigs, SIGHUP);
  pthread_sigmask(SIG_BLOCK, &sigs, nullptr);

  bool verbose = false, help = false, version = false;
  try {
    TSimConfig cfg = ParseArgs(argc, argv, verbose, help, version);
    if (help) {
      std::cout << kUsage;
      return 0;
    }
    if (version) {
      std::cout << "talvex-sim " << kTalvexVersion << '\n';
      return 0;
    }
    TLoggerSimulator sim(cfg);
    if (verbose)
      sim.OnEvent = [](TLoggerSimulator &, const std::string &text) {
        std::cerr << "talvex-sim: " << text << std::endl;
      };
    sim.Start();
    std::cout << sim.SlavePath() << std::endl;
    if (verbose) {
      std::cerr << "talvex-sim: reloj " << cfg.Start.Text() << ", " << cfg.StoredRecords << " registros, tasa "
                << RateStepMinutes(cfg.RateCode) << " min" << (cfg.LinkPath.empty() ? "" : ", enlace " + cfg.LinkPath)
                << (cfg.DeviceGroup.empty() ? "" : ", del grupo " + cfg.DeviceGroup);
      if (cfg.DriftSecondsPerDay != 0) std::cerr << ", el reloj gana " << cfg.DriftSecondsPerDay << " s/día";
      std::cerr << std::endl;
    }
    int sig = 0;
    while (sigwait(&sigs, &sig) != 0) {
    }
    sim.Stop();
    if (verbose) std::cerr << "talvex-sim: terminado (señal " << sig << ")" << std::endl;
    return 0;
  } catch (const ESimulator &e) {
    std::cerr << "talvex-sim: " << e.what() << std::endl;
    return 2;
  }
}
