#include "archive/archive_address.h"

#include "archive/archive_error.h"
#include "runtime/user_settings.h"

#include <QDir>
#include <QSettings>
#include <QStandardPaths>
#include <QUrl>
#include <QUrlQuery>

#include <cstdlib>

namespace {

bool StartsWith(const std::string &text, const char *prefix) { return text.rfind(prefix, 0) == 0; }

TArchiveAddress PostgreSqlAddress(const std::string &address) {
  const QUrl url(QString::fromStdString(address), QUrl::StrictMode);
  if (!url.isValid()) {
    throw EArchiveError("La dirección del archivo histórico no es válida: \"" + address + "\".");
  }
  TArchiveAddress a;
  a.Engine = TArchiveEngine::PostgreSQL;
  a.Host = url.host().toStdString();
  a.Port = url.port(0);
  a.User = url.userName().toStdString();
  a.Password = url.password().toStdString();
  // As libpq's own addresses: "?host=/run/postgresql" names the folder of a
  // local socket, which a URL's host part cannot hold.
  const QUrlQuery query(url);
  if (query.hasQueryItem("host")) a.Host = query.queryItemValue("host", QUrl::FullyDecoded).toStdString();
  if (query.hasQueryItem("port")) {
    bool ok = false;
    a.Port = query.queryItemValue("port").toInt(&ok);
    if (!ok || a.Port <= 0 || a.Port > 65535) {
      throw EArchiveError("La dirección del archivo histórico tiene un puerto que no es válido: \"" + address + "\".");
    }
  }
  QString database = url.path();
  if (database.startsWith('/')) database.remove(0, 1);
  if (database.isEmpty() || database.contains('/')) {
    throw EArchiveError("La dirección del archivo histórico no nombra la base de datos: \"" + address +
                        "\" (por ejemplo postgresql://usuario@servidor:5432/talvex).");
  }
  a.Database = database.toStdString();
  // Messages and logs must never show the password.
  a.Name = url.toString(QUrl::RemovePassword).toStdString();
  return a;
}

}  // namespace

TArchiveAddress ParseArchiveAddress(const std::string &address) {
  if (StartsWith(address, "postgresql://") || StartsWith(address, "postgres://")) return PostgreSqlAddress(address);
  std::string path = address;
  if (StartsWith(path, "sqlite:")) {
    path.erase(0, 7);
    // "sqlite:///ruta" is the URL form of the same path.
    if (StartsWith(path, "//")) path.erase(0, 2);
  } else if (address.find("://") != std::string::npos) {
    throw EArchiveError("La dirección del archivo histórico no es de un motor conocido: \"" + address +
                        "\" (sqlite:/ruta/archivo.sqlite o postgresql://usuario@servidor/base).");
  }
  if (path.empty()) throw EArchiveError("La dirección del archivo histórico no nombra ningún archivo.");
  TArchiveAddress a;
  a.Path = path;
  a.Name = path;
  return a;
}

std::string DefaultArchivePath() {
  // Not the per-application folder: the window and talvex-cli carry other
  // application names, and both must find the one archive.
  const QString folder = QStandardPaths::writableLocation(QStandardPaths::GenericDataLocation);
  if (folder.isEmpty())
    throw EArchiveError("No se encuentra la carpeta de datos del usuario para el archivo histórico.");
  return QDir(folder).filePath("talvex/archivo.sqlite").toStdString();
}

namespace {
const char *const kAddressKey = "archivo/direccion";
}

std::string ConfiguredArchiveAddress() {
  const char *fromEnvironment = std::getenv("TALVEX_DB");
  if (fromEnvironment != nullptr && *fromEnvironment != '\0') return fromEnvironment;
  return ArchiveAddressSetting();
}

std::string ArchiveAddressSetting() { return UserSettings().value(kAddressKey).toString().toStdString(); }

void SetArchiveAddressSetting(const std::string &address) {
  QSettings settings = UserSettings();
  if (address.empty()) {
    settings.remove(kAddressKey);
  } else {
    settings.setValue(kAddressKey, QString::fromStdString(address));
  }
}
