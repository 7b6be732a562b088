#pragma once

// Saved files brought into the history: the program's text file and the
// CSVs it writes or reads, each stored under a logger as a file's import.
// talvex-cli's "archive import" and the history window's "IMPORTAR" both go
// through here, so a file reads and is kept by the same rules wherever it
// comes in.

#include "archive/archive.h"

#include <string>

// What one file's import did, or why it did not go in.
struct TFileImport {
  std::string Path;
  bool Stored = false;
  TStoreResult Result;  // when Stored
  // When not Stored: why, naming the file, in the user's words.
  std::string Failure;
};

// Reads `path` whole and keeps its records under `logger`, in one
// transaction. A file that does not read, or that the archive cannot keep,
// comes back as a failure and leaves the archive as it was.
TFileImport ImportFile(TArchive &archive, const std::string &logger, const std::string &path);

// "datos.txt: 3 registros nuevos (1 junto a otros valores de la misma fecha
// y hora), 2 ya estaban en el archivo histórico." for a file that went in
// ("...; 1 evento de alarma nuevo." when it brought alarm events); the
// failure for one that did not.
std::string ImportReport(const TFileImport &import);
