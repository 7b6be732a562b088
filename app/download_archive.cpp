#include "app/download_archive.h"

#include "app/program.h"
#include "archive/archive_address.h"
#include "archive/archive_error.h"
#include "runtime/exceptions.h"

#include <QMessageBox>
#include <QMetaObject>
#include <QObject>
#include <QWidget>

namespace {

// Live batches whose failure is told as theirs; far more than ever wait.
constexpr std::size_t kLiveJobsTold = 4096;

}  // namespace

TDownloadArchive::TDownloadArchive(TArchiveQueue queue, std::chrono::milliseconds retry)
    : queueFolder_(queue.Folder()), context_(std::make_unique<QObject>()) {
  QObject *context = context_.get();
  writer_ = std::make_unique<TArchiveWriter>(
      ConfiguredArchiveAddress(), std::move(queue),
      [this, context](const TArchiveJobResult &result) {
        QMetaObject::invokeMethod(
            context, [this, result] { Handle(result); }, Qt::QueuedConnection);
      },
      retry);
}

TDownloadArchive::~TDownloadArchive() { writer_.reset(); }

std::string TDownloadArchive::Keep(const TDataTable &table, int records, const std::string &port) {
  // The history window may have pointed the archive elsewhere since the last
  // download.
  writer_->SetAddress(ConfiguredArchiveAddress());
  TArchiveJob job;
  job.Port = port;
  job.Origin.Kind = TOriginKind::Download;
  try {
    job.Records = RecordsFromTable(table, records);
  } catch (const EArchiveError &e) {
    // Records without real dates (a damaged header) have no place in a
    // history; the window shows them as always.
    Note(QString::fromStdString("La descarga no se guardó en el archivo histórico \"" +
                                ArchiveDisplayName(writer_->Address()) + "\": " + e.Message()));
    return std::string();
  }
  std::string id = writer_->Submit(std::move(job));
  if (!id.empty()) ownJobs_.insert(id);
  return id;
}

std::string TDownloadArchive::KeepLive(TArchiveJob job) {
  job.Origin.Kind = TOriginKind::Live;
  // Not under the lock: the window's thread takes it, and must never wait
  // for the queue's synced write.
  std::string id = writer_->Submit(std::move(job));
  if (id.empty()) return id;
  const std::lock_guard<std::mutex> lock(liveMutex_);
  liveJobs_.insert(id);
  // Ids sort by time: one whose result came before it was put here goes
  // first, so that the set stays small.
  while (liveJobs_.size() > kLiveJobsTold) liveJobs_.erase(liveJobs_.begin());
  return id;
}

void TDownloadArchive::FollowConfiguredArchive() { writer_->SetAddress(ConfiguredArchiveAddress()); }

void TDownloadArchive::Handle(const TArchiveJobResult &result) {
  switch (result.Kind) {
    case TArchiveJobResult::TKind::Kept: {
      failing_.erase(result.Archive);
      ownJobs_.erase(result.Job);
      const std::lock_guard<std::mutex> lock(liveMutex_);
      liveJobs_.erase(result.Job);
      break;
    }
    case TArchiveJobResult::TKind::Failed:
      if (failing_.insert(result.Archive).second) {
        bool live = false;
        {
          const std::lock_guard<std::mutex> lock(liveMutex_);
          live = liveJobs_.count(result.Job) != 0;
        }
        const std::string what = live ? "pudieron guardar las lecturas grabadas"
                                 : result.Job.empty() || ownJobs_.count(result.Job)
                                     ? "pudo guardar la descarga"
                                     : "pudo guardar una descarga anterior";
        const std::string where =
            result.Job.empty() && !live
                ? std::string("La ventana de datos la sigue mostrando y puede guardarla en un archivo.")
                : "Espera en la cola (" + queueFolder_ +
                      ") y se guardará sola la próxima vez que el archivo histórico se abra; nada se pierde.";
        Note(QString::fromStdString("No se " + what + " en el archivo histórico \"" + result.Archive + "\".\n\n" +
                                    result.Message + "\n\n" + where));
      }
      break;
    case TArchiveJobResult::TKind::SetAside: Note(QString::fromStdString(result.Message)); break;
  }
  if (OnResult) OnResult(result);
}

void TDownloadArchive::Note(const QString &text) {
  if (ShowNote) {
    ShowNote(text);
    return;
  }
  // In front of the data window while it is open (a modal window keeps
  // every other from being used), else of the main window; nobody has to
  // answer it for anything to go on.
  QWidget *owner = NoteOwner ? NoteOwner() : nullptr;
  auto *box = new QMessageBox(QMessageBox::Warning, QString::fromUtf8(kApplicationTitle), text, QMessageBox::Ok, owner);
  box->setAttribute(Qt::WA_DeleteOnClose);
  box->setWindowModality(Qt::NonModal);
  box->show();
}
