#include "cli/cli_download_archive.h"

#include "archive/archive_error.h"
#include "archive/archive_queue.h"
#include "archive/archive_writer.h"
#include "cli/cli_archive.h"

#include <QDateTime>

#include <ostream>

std::optional<std::string> CliArchiveDownload(const TCliOptions &o, const TDataTable &table, int records,
                                              TCliStreams &streams) {
  TArchiveJob job;
  job.Archive = CliArchiveAddress(o);
  job.Logger = o.Logger;
  job.Port = o.Port;
  job.Origin.Kind = TOriginKind::Download;
  job.Origin.PcTimeUtc = QDateTime::currentSecsSinceEpoch();
  const std::string archive = ArchiveDisplayName(job.Archive);
  try {
    job.Records = RecordsFromTable(table, records);
  } catch (const EArchiveError &e) {
    // Records without a real date (a damaged header) have no place in a
    // history: nothing is queued, the file has them all.
    return "La descarga no se guardó en el archivo histórico \"" + archive + "\": " + e.Message();
  }

  std::optional<TArchiveQueue> queue;
  std::string id, queueFailure;
  try {
    queue.emplace();
    id = queue->Put(job);
  } catch (const EArchiveError &e) {
    queueFailure = e.Message();
  }
  TArchiveJobResult result;
  if (id.empty()) {
    // Tried all the same: only a failure of both loses it (the file keeps it).
    TArchiveQueueFlush flush(queue ? *queue : TArchiveQueue(std::string()));
    result = flush.Store(job);
  } else {
    // Older jobs for this archive go first: it must see downloads in their
    // order.
    TArchiveQueueFlush flush(*queue);
    flush.Pass(
        [&](const TArchiveJobResult &r) {
          if (r.Job == id) result = r;
        },
        nullptr, id);
  }
  if (result.Kind == TArchiveJobResult::TKind::Kept) {
    streams.Out << "En el archivo histórico " << archive;
    if (!result.Logger.empty()) streams.Out << ", registrador \"" << result.Logger << "\"";
    streams.Out << ": " << result.Stored.Added << (result.Stored.Added == 1 ? " registro nuevo" : " registros nuevos");
    if (result.Stored.Beside > 0)
      streams.Out << " (" << result.Stored.Beside << " junto a otros valores de la misma fecha y hora)";
    streams.Out << ", " << result.Stored.AlreadyHeld << " ya estaban.\n";
    streams.Out.flush();
    return std::nullopt;
  }
  std::string message =
      result.Message.empty() ? "No se pudo guardar en el archivo histórico \"" + archive + "\"." : result.Message;
  if (!id.empty()) {
    message += " La descarga espera en la cola (" + queue->PathOf(id) +
               ") y entrará en el archivo histórico la próxima vez que se abra.";
  } else {
    message += " Tampoco se pudo dejar en la cola: " + queueFailure;
  }
  return message;
}
