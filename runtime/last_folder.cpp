#include "runtime/last_folder.h"

#include <QDir>
#include <QFileInfo>
#include <QSettings>

namespace {

const char *const kLastFolderKey = "dialogs/lastFolder";

// The program's own settings file in the user's configuration folder
// (~/.config/talvex/talvex.ini); the windows of the documents store nothing.
QSettings UserSettings() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "talvex", "talvex"); }

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
