#include "runtime/runtime_folder.h"

#include <QByteArray>
#include <QDir>
#include <QFile>

#include <cerrno>

#include <pwd.h>
#include <sys/stat.h>
#include <unistd.h>

void EnsureRuntimeFolder() {
  if (!qEnvironmentVariableIsEmpty("XDG_RUNTIME_DIR")) return;
  const uid_t uid = geteuid();
  const passwd *user = getpwuid(uid);
  const QByteArray name = user ? QByteArray(user->pw_name) : QByteArray::number(uid);
  const QByteArray path = QFile::encodeName(QDir::tempPath()) + "/runtime-" + name;
  if (mkdir(path.constData(), 0700) != 0 && errno != EEXIST) return;
  // Only a real folder of ours that nobody else may enter; a name someone
  // else put there first is not taken.
  struct stat st {};
  if (lstat(path.constData(), &st) != 0 || !S_ISDIR(st.st_mode) || st.st_uid != uid) return;
  if ((st.st_mode & 0777) != 0700 && chmod(path.constData(), 0700) != 0) return;
  qputenv("XDG_RUNTIME_DIR", path);
}
