#pragma once

// Where an archive lives, from the one text the user gives it: a SQLite
// file ("sqlite:/ruta/archivo.sqlite" or just the path) or a PostgreSQL
// server ("postgresql://usuario@servidor:5432/talvex", or with
// "?host=/carpeta/del/socket" for a local socket). The password, when
// not in the address, comes from the user's ~/.pgpass through libpq.

#include <string>

enum class TArchiveEngine { SQLite, PostgreSQL };

struct TArchiveAddress {
  TArchiveEngine Engine = TArchiveEngine::SQLite;
  std::string Path;  // SQLite: the file
  std::string Host;  // PostgreSQL: empty for the local socket
  int Port = 0;      // 0: the server's default
  std::string User;
  std::string Password;
  std::string Database;
  // What messages call it: the file's path, or the address without its
  // password.
  std::string Name;
};

// Raises EArchiveError for an address that names nothing usable.
TArchiveAddress ParseArchiveAddress(const std::string &address);

// The archive a user has before choosing one: archivo.sqlite in the user's
// data folder (~/.local/share/talvex).
std::string DefaultArchivePath();

// The archive the user chose, before any --db a command is given: the
// TALVEX_DB environment variable, else the address set in the history
// window, else empty (the user's own, DefaultArchivePath()).
std::string ConfiguredArchiveAddress();
// The history window's setting; empty goes back to the user's own archive.
std::string ArchiveAddressSetting();
void SetArchiveAddressSetting(const std::string &address);
