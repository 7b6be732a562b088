#include "cli/cli_record.h"

#include "archive/archive.h"
#include "archive/archive_address.h"
#include "archive/archive_error.h"
#include "archive/archive_queue.h"
#include "archive/archive_writer.h"
#include "cli/cli_alarm_command.h"
#include "cli/cli_archive.h"
#include "cli/cli_download_archive.h"
#include "cli/cli_errors.h"
#include "cli/cli_link.h"
#include "cli/cli_status.h"
#include "logger/download_session.h"
#include "logger/live_frame.h"
#include "logger/live_recorder.h"
#include "logger/logger_commands.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"

#include <QDateTime>
#include <QEventLoop>
#include <QTimer>

#include <sys/stat.h>

#include <algorithm>
#include <cmath>
#include <deque>
#include <ostream>
#include <sstream>
#include <utility>

namespace {

// A logger that sends nothing this long is taken as gone: it sends a frame
// a second.
constexpr int kSilentMs = 15000;
// How often the recording looks at its batch, its queue and the clock.
constexpr int kTickMs = 1000;
// A failed archive is tried again this often while readings wait.
constexpr int kRetryMs = 5000;
// Reopening the line: the first try soon, then ever longer waits up to this.
constexpr int kFirstBackoffMs = 1000;
constexpr int kMaxBackoffMs = 30000;
// While waiting, the device's path is looked at this often: one that comes
// back is opened at once, whatever the back-off.
constexpr int kDeviceWatchMs = 250;
constexpr std::int64_t kStatusEveryMs = 3600 * 1000LL;
// The wait for a frame that tells the memory's count before a backfill.
constexpr int kFrameWaitMs = 5000;
// The longest pause inside a download.
constexpr int kDownloadSilentMs = 20000;
// The alarm limits are read again this often, so that a change made in the
// ALARMAS window or with "alarms set" reaches a recorder that runs for months.
constexpr std::int64_t kLimitsEveryMs = 60 * 1000LL;

std::int64_t NowMs() { return QDateTime::currentMSecsSinceEpoch(); }

// What a path leads to now: gone, or which device (a /dev/serial/by-id link
// may lead to another ttyUSB after the adapter comes back).
struct TDeviceSeen {
  bool Present = false;
  dev_t Device = 0;
  ino_t Inode = 0;
  bool operator==(const TDeviceSeen &o) const { return Present == o.Present && Device == o.Device && Inode == o.Inode; }
};

TDeviceSeen SeeDevice(const std::string &path) {
  struct stat st {};
  if (::stat(path.c_str(), &st) != 0) return {};
  return {true, st.st_rdev, st.st_ino};
}

std::string PcDateTime(std::int64_t utcSeconds) {
  return QDateTime::fromSecsSinceEpoch(utcSeconds).toLocalTime().toString("dd/MM/yyyy HH:mm:ss").toStdString();
}

class TRecording {
public:
  TRecording(const TCliOptions &o, TCliStreams &streams)
      : o_(o),
        streams_(streams),
        address_(CliArchiveAddress(o)),
        flush_(queue_),
        recorder_({address_, o.Logger, o.Port, o.IntervalSeconds, 5},
                  [this](TArchiveJob job) { return Submit(std::move(job)); }) {
    recorder_.OnChange = [this] { Changed(); };
    if (!o.OnAlarm.empty())
      alarms_.emplace(
          o.OnAlarm, [this](const std::string &line) { Log(line); }, o.Verbose);
  }

  int Run();

private:
  void Log(const std::string &line) {
    streams_.Err << QDateTime::currentDateTime().toString("yyyy-MM-dd HH:mm:ss").toStdString() << " " << line << '\n';
    streams_.Err.flush();
  }
  void Status(const std::string &why) {
    Log(why + ". " + RecordStatusText(recorder_.Kept(), recorder_.Last()));
    statusAt_ = NowMs();
  }
  std::string Submit(TArchiveJob job);
  void Pass();
  void Changed();
  void Tick();
  // Runs the link for live frames until it fails; raises what ended it.
  void Listen(TCliLink &link);
  void Backfill(TCliLink &link);
  // Waits up to ms, less when the device comes back; false on Ctrl+C.
  bool Wait(int ms, const TDeviceSeen &gone);
  // Reads the logger's alarm limits from the archive (--on-alarm).
  void ReadAlarmLimits();

  const TCliOptions &o_;
  TCliStreams &streams_;
  std::string address_;
  TArchiveQueue queue_;
  TArchiveQueueFlush flush_;
  TLiveRecorder recorder_;
  // Jobs the queue could not take (a full disk), oldest first.
  std::deque<TArchiveJob> inMemory_;
  std::int64_t statusAt_ = 0, retryAt_ = 0;
  std::int64_t loggedKept_ = 0;
  bool failing_ = false;
  bool submitted_ = false;  // a job handed over since the last pass
  // What the last backfill found, so that an unchanged memory is not read
  // again at every reconnection.
  std::optional<std::int64_t> filledCount_, filledNewest_;
  std::optional<TAlarmCommand> alarms_;
  std::int64_t limitsAt_ = 0;
  bool limitsFailing_ = false, limitsSaid_ = false;
};

void TRecording::ReadAlarmLimits() {
  if (!alarms_) return;
  limitsAt_ = NowMs();
  try {
    TArchive archive(address_);
    const std::string logger = o_.Logger.empty() ? archive.LoggerOnPort(o_.Port).value_or(o_.Port) : o_.Logger;
    const TAlarmLimitSet limits = archive.AlarmLimits(logger);
    if (!limitsSaid_ || limits != alarms_->Limits()) {
      limitsSaid_ = true;
      const long channels = std::count_if(limits.begin(), limits.end(), [](const TAlarmLimits &l) { return l.Any(); });
      Log("Alarmas de \"" + logger + "\": " +
          (channels == 0 ? std::string("ningún canal tiene límites")
                         : std::to_string(channels) + (channels == 1 ? " canal con límites" : " canales con límites")) +
          "; --on-alarm se ejecuta al empezar y al terminar cada una.");
    }
    alarms_->SetLogger(logger);
    alarms_->SetLimits(limits);
    limitsFailing_ = false;
  } catch (const EArchiveError &e) {
    // The limits last read stay in force.
    if (!limitsFailing_)
      Log("Aviso: no se pudieron leer los límites de alarma del archivo histórico (" + e.Message() +
          "); siguen los últimos leídos.");
    limitsFailing_ = true;
  }
}

std::string TRecording::Submit(TArchiveJob job) {
  submitted_ = true;
  std::string id;
  try {
    id = queue_.Put(job);
  } catch (const EArchiveError &e) {
    inMemory_.push_back(std::move(job));
    if (!failing_) {
      failing_ = true;
      Log("Aviso: la cola del archivo histórico no toma las lecturas (" + e.Message() +
          "); quedan en memoria y se guardan cuando haya sitio.");
    }
  }
  return id;
}

void TRecording::Pass() {
  submitted_ = false;
  retryAt_ = NowMs() + kRetryMs;
  flush_.Pass([this](const TArchiveJobResult &r) { recorder_.Reported(r); });
  while (!inMemory_.empty()) {
    TArchiveJobResult r = flush_.Store(inMemory_.front());
    if (r.Kind == TArchiveJobResult::TKind::Kept) {
      inMemory_.pop_front();
    } else {
    }
    recorder_.Reported(r);
    if (r.Kind != TArchiveJobResult::TKind::Kept) break;
  }
  recorder_.SettleGone(queue_);
}

void TRecording::Changed() {
  if (!recorder_.Failure().empty()) {
    if (failing_) return;
    failing_ = true;
    Log("Aviso: " + recorder_.Failure() + " Las lecturas esperan en la cola (" + queue_.Folder() +
        ") y se guardan en cuanto el archivo histórico las tome.");
    return;
  }
  if (failing_ && recorder_.Waiting() == recorder_.Batched() && inMemory_.empty()) {
    failing_ = false;
    Status("El archivo histórico vuelve a tomar las lecturas");
  }
  if (o_.Verbose && recorder_.Kept() != loggedKept_) {
    Log("Guardadas " + std::to_string(recorder_.Kept() - loggedKept_) + " lecturas. " +
        RecordStatusText(recorder_.Kept(), recorder_.Last()));
  }
  loggedKept_ = recorder_.Kept();
}

void TRecording::Tick() {
  const std::int64_t now = NowMs();
  recorder_.Flush(now);
  if (submitted_ || (recorder_.Waiting() > recorder_.Batched() && now >= retryAt_)) Pass();
  if (now - statusAt_ >= kStatusEveryMs) Status("Grabando");
  if (alarms_) {
    alarms_->Reap();
    if (now - limitsAt_ >= kLimitsEveryMs) ReadAlarmLimits();
  }
}

void TRecording::Listen(TCliLink &link) {
  TFrameAccumulator frames;
  long noisy = 0;
  link.OnRead = [&](const std::string &read) {
    const std::optional<std::string> text = frames.Feed(read);
    if (!text) return;
    const std::optional<TLiveFrame> frame = DecodeLiveFrame(*text);
    if (!frame) {
      ++noisy;
      return;
    }
    const std::int64_t now = NowMs();
    if (recorder_.Feed(*frame, now) && alarms_) {
      // The readings kept are the ones judged: the events the command is
      // told of are the ones the archive finds in them.
      if (const std::optional<TArchiveRecord> reading = LiveReading(*frame, now / 1000)) alarms_->Reading(*reading);
    }
    // A batch handed over goes to the archive at once.
    if (submitted_) Pass();
    if (recorder_.Undated() == 1 && recorder_.Waiting() == 0 && recorder_.Kept() == 0)
      Log("Aviso: el reloj del registrador no da una fecha válida; sus tramas no se guardan hasta que se ponga en "
          "hora.");
  };
  std::function<void()> tick = [&] {
    Tick();
    link.After(kTickMs, tick);
  };
  link.After(kTickMs, tick);
  link.Run(kSilentMs, [this] {
    return "El registrador no envía tramas desde hace " + std::to_string(kSilentMs / 1000) + " s por el puerto " +
           o_.Port + ".";
  });
}

void TRecording::Backfill(TCliLink &link) {
  const std::optional<TTimedFrame> frame = AwaitLiveFrame(link, kFrameWaitMs);
  if (!frame) return;  // the live run that follows finds the silence
  const std::int64_t memory = std::llround(frame->Frame.MemoryCount);
  const TStamp now{2000 + frame->Frame.Year, frame->Frame.Month,   frame->Frame.Day,
                   frame->Frame.Hours,       frame->Frame.Minutes, frame->Frame.Seconds};
  if (!ValidStamp(now)) {
    Log("Aviso: el reloj del registrador no da una fecha válida: su memoria no se descarga.");
    return;
  }
  const int rate = RateCodeMinutes(frame->Frame.RateCode);
  const std::int64_t nowSeconds = StampSeconds(now);
  std::optional<std::int64_t> newest;
  try {
    TArchive archive(address_);
    const std::string logger = o_.Logger.empty() ? archive.LoggerOnPort(o_.Port).value_or(o_.Port) : o_.Logger;
    const std::int64_t from = nowSeconds - std::max(rate, 60) * 60LL;
    const std::vector<TArchivedLogger> loggers = archive.Loggers();
    const bool known =
        std::any_of(loggers.begin(), loggers.end(), [&](const TArchivedLogger &l) { return l.Name == logger; });
    if (known) {
      for (const TArchiveRecord &r : archive.Records(logger, StampFromSeconds(from), now))
        if (r.PcTimeUtc == 0) newest = StampSeconds(r.Instant);
    }
  } catch (const EArchiveError &) {
    // An archive that cannot be asked gets the download all the same: what
    // it already holds is not stored twice.
  }
  if (!MemoryMayHoldNewer(memory, rate, nowSeconds, newest)) return;
  if (filledCount_ == memory && newest && filledNewest_ && *newest >= *filledNewest_) return;

  Log("Descargando la memoria del registrador (" + std::to_string(memory) +
      " registros) para rellenar el archivo histórico.");
  std::string dump;
  bool downloading = false;
  link.OnRead = [&](const std::string &read) {
    if (!downloading) return;
    if (CollectDownloadRead(dump, read)) {
      try {
        SendDownloadAck(link.Port());
      } catch (const Exception &) {
        // The dump is whole; the logger goes back to its frames by itself.
      }
      link.Finish();
    }
  };
  link.After(kDumpStartDelayMs, [&] { DiscardBeforeDump(link.Port(), dump); });
  link.Port().ClearBuffers(true, false);
  SendDownloadRequest(link.Port(), false, kDownloadCommandGapMs, [&] { downloading = true; });
  link.Run(kDownloadSilentMs, [this] {
    return "La descarga de la memoria quedó sin terminar por el puerto " + o_.Port + " (no llegó la marca de fin).";
  });
  link.OnRead = nullptr;
  TDecodedDump decoded;
  try {
    decoded = DecodeDump(dump);
  } catch (const EDumpDecodeError &e) {
    Log("Aviso: la memoria descargada no se puede leer (" + e.Message() + "); no se rellenó nada.");
    return;
  }
  std::ostringstream said;
  TCliStreams quiet{said, said, false};
  TCliOptions options = o_;
  const std::optional<std::string> failure = CliArchiveDownload(options, decoded.Table, decoded.Records, quiet);
  std::string what = "Memoria del registrador: " + std::to_string(decoded.Records) + " registros";
  if (decoded.Records > 0) {
    try {
      const std::vector<TArchiveRecord> records = RecordsFromTable(decoded.Table, decoded.Records);
      what += " del " + ProgramDateText(records.front().Instant) + " " + ProgramTimeText(records.front().Instant) +
              " al " + ProgramDateText(records.back().Instant) + " " + ProgramTimeText(records.back().Instant);
      filledNewest_ = StampSeconds(records.back().Instant);
    } catch (const EArchiveError &) {
      // Records without a real date: the archive's message below says so.
    }
  }
  filledCount_ = memory;
  std::string text = said.str();
  while (!text.empty() && text.back() == '\n') text.pop_back();
  Log(what + ". " + (failure ? "Aviso: " + *failure : text));
  recorder_.SettleGone(queue_);
}

bool TRecording::Wait(int ms, const TDeviceSeen &gone) {
  const std::int64_t until = NowMs() + ms;
  QEventLoop loop;
  QTimer watch;
  bool interrupted = false;
  // A device seen gone and then back is back, even under its old number.
  bool absent = !gone.Present;
  QObject::connect(&watch, &QTimer::timeout, &loop, [&] {
    if (CliInterruptRequested()) {
      interrupted = true;
      loop.quit();
      return;
    }
    Tick();
    const TDeviceSeen seen = SeeDevice(o_.Port);
    if (!seen.Present) absent = true;
    if (NowMs() >= until || (seen.Present && (absent || !(seen == gone)))) loop.quit();
  });
  watch.start(kDeviceWatchMs);
  loop.exec();
  return !interrupted && !CliInterruptRequested();
}

int TRecording::Run() {
  // What earlier runs left in the queue goes first.
  Pass();
  ReadAlarmLimits();
  Status("Grabando del puerto " + o_.Port + (o_.Logger.empty() ? "" : ", registrador \"" + o_.Logger + "\"") +
         " en el archivo histórico " + ArchiveDisplayName(address_) + ", una lectura cada " +
         std::to_string(o_.IntervalSeconds) + " s");
  bool everOpen = false, lostSaid = false;
  int backoff = kFirstBackoffMs;
  for (;;) {
    if (CliInterruptRequested()) break;
    TDeviceSeen before = SeeDevice(o_.Port);
    TCliLink link(o_.Port);
    try {
      link.Open();
    } catch (...) {
      const TCliOutcome why = DescribeFailure(std::current_exception(), o_.Port);
      // Another recorder, or no right to the device: waiting mends neither.
      if (!everOpen && (why.Code == exPortBusy || why.Code == exPermission)) throw ECliFailure(why.Code, why.Message);
      if (!lostSaid) {
        Log(why.Message + " Se vuelve a intentar sin cesar (cada " + std::to_string(kMaxBackoffMs / 1000) +
            " s como mucho, y en cuanto el dispositivo aparezca).");
        lostSaid = true;
      }
      if (!Wait(backoff, before)) break;
      backoff = std::min(backoff * 2, kMaxBackoffMs);
      continue;
    }
    try {
      if (!o_.NoBackfill) {
        try {
          Backfill(link);
        } catch (...) {
          // A download that does not finish must not keep the recording
          // from going on: the next reconnection tries it again.
          const TCliOutcome why = DescribeFailure(std::current_exception(), o_.Port);
          if (why.Code == exInterrupted || why.Code == exLineLost) throw;
          Log("Aviso: no se pudo rellenar desde la memoria del registrador: " + why.Message);
          link.OnRead = nullptr;
        }
      }
      // The reconnection is told once the logger is heard from again.
      if (everOpen || lostSaid) Status("Conectado de nuevo al puerto " + o_.Port);
      everOpen = true;
      lostSaid = false;
      backoff = kFirstBackoffMs;
      Listen(link);
    } catch (...) {
      // Whatever ends a session on a line that was open (the device gone,
      // the logger silent, a port error) is waited out: nobody is there to
      // start the recording again.
      const TCliOutcome why = DescribeFailure(std::current_exception(), o_.Port);
      if (why.Code == exInterrupted) break;
      before = SeeDevice(o_.Port);
      try {
        link.Close();
      } catch (const Exception &) {
        // A device already gone cannot be closed cleanly; it is let go all the same.
      }
      recorder_.Flush(NowMs(), true);
      Pass();
      if (!lostSaid) {
        Log(why.Message + " Se vuelve a intentar hasta que vuelva.");
        lostSaid = true;
      }
      if (!Wait(backoff, before)) break;
      backoff = std::min(backoff * 2, kMaxBackoffMs);
    }
  }
  recorder_.Flush(NowMs(), true);
  Pass();
  const std::int64_t waiting = recorder_.Waiting();
  Status("Fin de la grabación");
  if (waiting > 0)
    throw ECliFailure(exNotArchived, std::to_string(waiting) +
                                         " lecturas no entraron en el archivo histórico: esperan en la cola (" +
                                         queue_.Folder() + ") y entrarán la próxima vez que se abra.");
  return exOk;
}

}  // namespace

bool MemoryMayHoldNewer(std::int64_t memoryRecords, int rateMinutes, std::int64_t loggerNowSeconds,
                        const std::optional<std::int64_t> &newestHeldSeconds) {
  if (memoryRecords <= 0) return false;
  if (rateMinutes <= 0 || !newestHeldSeconds) return true;
  return *newestHeldSeconds < loggerNowSeconds - rateMinutes * 60LL;
}

std::string RecordStatusText(std::int64_t kept, const std::optional<TArchiveRecord> &last) {
  std::string text = std::to_string(kept) + (kept == 1 ? " lectura guardada" : " lecturas guardadas");
  if (last) {
    text += "; la última, " + ProgramDateText(last->Instant) + " " + ProgramTimeText(last->Instant) +
            " en el registrador (" + PcDateTime(last->PcTimeUtc) + " en la PC), CH1 ";
    if (const std::optional<std::int32_t> v = last->Values[0]) {
      const std::int32_t magnitude = *v < 0 ? -*v : *v;
      text += (*v < 0 ? "-" : "") + std::to_string(magnitude / 10) + "," + std::to_string(magnitude % 10);
    } else {
      text += "-";
    }
    text += " °C";
  }
  return text;
}

void CliRecord(const TCliOptions &o, TCliStreams &streams) {
  const std::string address = CliArchiveAddress(o);
  if (!address.empty()) {
    try {
      ParseArchiveAddress(address);
    } catch (const EArchiveError &e) {
      throw ECliUsage(e.Message());
    }
  }
  ApplyProgramFormats();
  TRecording recording(o, streams);
  recording.Run();
}
