#include "cli/cli_alarm_command.h"

#include "data/record_values.h"

#include <fcntl.h>
#include <signal.h>
#include <spawn.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cerrno>
#include <cstring>
#include <utility>

extern char **environ;

namespace {

std::string Degrees(std::int32_t tenths) { return TenthsText(tenths); }

std::string Iso(std::int64_t seconds) { return IsoText(StampFromSeconds(seconds)); }

// A limit set with only channel k's limits: its own evaluator's.
TAlarmLimitSet OnlyChannel(const TAlarmLimitSet &limits, size_t k) {
  TAlarmLimitSet one{};
  one[k] = limits[k];
  return one;
}

}  // namespace

std::vector<std::string> AlarmCommandVariables(const std::string &logger, const TAlarmEvent &event, bool started,
                                               std::int32_t value, std::int64_t atSeconds) {
  return {"TALVEX_REGISTRADOR=" + logger,
          "TALVEX_CANAL=" + std::to_string(event.Channel + 1),
          std::string("TALVEX_TIPO=") + AlarmKindWord(event.Kind),
          std::string("TALVEX_ESTADO=") + (started ? "empieza" : "termina"),
          "TALVEX_VALOR=" + Degrees(value),
          "TALVEX_EXTREMO=" + Degrees(event.Extreme),
          "TALVEX_HORA=" + Iso(atSeconds),
          "TALVEX_DESDE=" + Iso(event.Start)};
}

TAlarmCommand::TAlarmCommand(std::string command, TLog log, bool verbose)
    : command_(std::move(command)), log_(std::move(log)), verbose_(verbose) {}

void TAlarmCommand::SetLimits(const TAlarmLimitSet &limits) {
  for (size_t k = 0; k < limits.size(); ++k) {
    if (limits[k] == limits_[k]) continue;
    // The alarm the old limits made is over: whoever the command told it
    // began is told it ended, at the last reading.
    if (const std::optional<TAlarmEvent> active = evaluators_[k].Active(static_cast<int>(k))) {
      TAlarmEvent ended = *active;
      ended.End = lastSeconds_;
      if (verbose_)
        log_("Límites de alarma nuevos en CH" + std::to_string(k + 1) + ": la alarma " + AlarmKindWord(ended.Kind) +
             " en curso se da por terminada.");
      Run(ended, false, lastValue_[k].value_or(ended.Extreme), lastSeconds_);
    }
    evaluators_[k] = TAlarmEvaluator(OnlyChannel(limits, k));
  }
  limits_ = limits;
}

void TAlarmCommand::Reading(const TArchiveRecord &reading) {
  const std::int64_t at = StampSeconds(reading.Instant);
  for (size_t k = 0; k < evaluators_.size(); ++k) {
    if (!limits_[k].Any()) continue;
    TAlarmValues values{};
    values[k] = reading.Values[k];
    for (const TAlarmEvaluator::TChange &change : evaluators_[k].Feed(at, values))
      Run(change.Event, change.Started, reading.Values[k].value_or(change.Event.Extreme), at);
  }
  for (size_t k = 0; k < lastValue_.size(); ++k)
    if (reading.Values[k]) lastValue_[k] = reading.Values[k];
  lastSeconds_ = at;
  Reap();
}

void TAlarmCommand::Run(const TAlarmEvent &event, bool started, std::int32_t value, std::int64_t atSeconds) {
  const std::vector<std::string> variables = AlarmCommandVariables(logger_, event, started, value, atSeconds);
  if (verbose_)
    log_("Alarma " + std::string(AlarmKindWord(event.Kind)) + " en CH" + std::to_string(event.Channel + 1) + " " +
         (started ? "empieza" : "termina") + ": " + Degrees(value) + " °C a las " + Iso(atSeconds) + " (desde " +
         Iso(event.Start) + ", extremo " + Degrees(event.Extreme) + " °C).");
  if (command_.empty()) return;

  // Everything the child needs is made before it is started: the recorder's
  // environment with ours over it.
  std::vector<std::string> environment;
  for (char **e = environ; *e != nullptr; ++e)
    if (std::strncmp(*e, "TALVEX_", 7) != 0 || std::strncmp(*e, "TALVEX_DB=", 10) == 0) environment.emplace_back(*e);
  environment.insert(environment.end(), variables.begin(), variables.end());
  std::vector<char *> envp;
  envp.reserve(environment.size() + 1);
  for (std::string &v : environment) envp.push_back(v.data());
  envp.push_back(nullptr);
  std::string shell = "/bin/sh", dashC = "-c", command = command_;
  char *argv[] = {shell.data(), dashC.data(), command.data(), nullptr};

  // Detached: a session of its own (Ctrl+C on the recorder is not its
  // business), nothing to read from, and none of the recorder's files open
  // (the serial port above all: a command still running must not hold the
  // line the recorder reopens).
  posix_spawn_file_actions_t files;
  posix_spawnattr_t attributes;
  posix_spawn_file_actions_init(&files);
  posix_spawnattr_init(&attributes);
  posix_spawn_file_actions_addopen(&files, STDIN_FILENO, "/dev/null", O_RDONLY, 0);
  posix_spawn_file_actions_addclosefrom_np(&files, 3);
  sigset_t none, defaults;
  sigemptyset(&none);
  sigemptyset(&defaults);
  for (int s : {SIGINT, SIGTERM, SIGHUP, SIGPIPE, SIGCHLD}) sigaddset(&defaults, s);
  posix_spawnattr_setsigmask(&attributes, &none);
  posix_spawnattr_setsigdefault(&attributes, &defaults);
  posix_spawnattr_setflags(&attributes, POSIX_SPAWN_SETSID | POSIX_SPAWN_SETSIGMASK | POSIX_SPAWN_SETSIGDEF);
  pid_t pid = -1;
  const int error = posix_spawn(&pid, shell.c_str(), &files, &attributes, argv, envp.data());
  posix_spawn_file_actions_destroy(&files);
  posix_spawnattr_destroy(&attributes);
  if (error != 0) {
    Failed("no se pudo ejecutar la orden de --on-alarm (" + std::string(std::strerror(error)) + ")");
    return;
  }
  ++started_;
  running_.insert(pid);
}

void TAlarmCommand::Reap() {
  for (auto it = running_.begin(); it != running_.end();) {
    int status = 0;
    const pid_t done = ::waitpid(*it, &status, WNOHANG);
    if (done == 0) {
      ++it;
      continue;
    }
    it = running_.erase(it);
    if (done < 0) continue;  // reaped by someone else: nothing to tell
    if (WIFEXITED(status) && WEXITSTATUS(status) == 0) {
      failing_ = false;
    } else if (WIFEXITED(status)) {
      Failed("la orden de --on-alarm terminó con el código " + std::to_string(WEXITSTATUS(status)));
    } else if (WIFSIGNALED(status)) {
      Failed("la orden de --on-alarm terminó por la señal " + std::to_string(WTERMSIG(status)));
    }
  }
}

void TAlarmCommand::Failed(const std::string &why) {
  if (failing_) return;
  failing_ = true;
  log_("Aviso: " + why + ". No se vuelve a decir hasta que funcione de nuevo.");
}
