#include "runtime/last_folder.h"

#include "runtime/user_settings.h"

#include <QDir>
#include <QFileInfo>

namespace {

const char *const kLastFolderKey = "dialogs/lastFolder";

bool IsFolder(const QString &path) { return !path.isEmpty() && QFileInfo(path).isDir(); }

}  // namespace

QString FileDialogFolder(const QString &fallback) {
  QString last = UserSettings().value(kLastFolderKey).toString();
  if (IsFolder(last)) return last;
  if (IsFolder(fallback)) return fallback;
  return QDir::homePath();
}

void RememberFileDialogFolder(const QString &chosenFile) {
  if (chosenFile.isEmpty()) return;
  const QString folder = QFileInfo(chosenFile).absolutePath();
  QSettings settings = UserSettings();
  if (settings.value(kLastFolderKey).toString() == folder) return;
  settings.setValue(kLastFolderKey, folder);
}
