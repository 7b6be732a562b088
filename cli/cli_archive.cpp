#include "cli/cli_archive.h"

#include "archive/archive.h"
#include "archive/archive_address.h"
#include "archive/archive_error.h"
#include "archive/archive_import.h"
#include "cli/cli_errors.h"
#include "cli/cli_files.h"
#include "runtime/format_settings.h"

#include <cstdio>
#include <cstdlib>
#include <memory>
#include <optional>
#include <ostream>

std::string CliArchiveAddress(const TCliOptions &o) { return o.Db.empty() ? ConfiguredArchiveAddress() : o.Db; }

std::unique_ptr<TArchive> CliOpenArchive(const TCliOptions &o) {
  try {
    return std::make_unique<TArchive>(CliArchiveAddress(o));
  } catch (const EArchiveError &e) {
    throw ECliFailure(exFailure, e.Message());
  }
}

namespace {

std::string StampText(const std::optional<TStamp> &stamp) {
  return stamp ? ProgramDateText(*stamp) + " " + ProgramTimeText(*stamp) : std::string("-");
}

std::string JsonStamp(const std::optional<TStamp> &stamp) {
  return stamp ? JsonString(IsoText(*stamp)) : std::string("null");
}

}  // namespace

void CliArchiveImport(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  int failed = 0;
  for (const std::string &path : o.Inputs) {
    const TFileImport import = ImportFile(*archive, o.Logger, path);
    if (import.Stored) {
      streams.Out << ImportReport(import) << '\n';
      streams.Out.flush();
    } else {
      ++failed;
      streams.Err << "talvex-cli: " << Exception::VisibleText(import.Failure) << '\n';
    }
    streams.Err.flush();
  }
  if (failed > 0)
    throw ECliFailure(exFileError, std::to_string(failed) + " de " + std::to_string(o.Inputs.size()) +
                                       " archivos no se guardaron en " + archive->Name() + "; los demás, sí.");
}

void CliArchiveList(const TCliOptions &o, TCliStreams &streams) {
  ApplyProgramFormats();
  const std::unique_ptr<TArchive> archive = CliOpenArchive(o);
  std::vector<TArchivedLogger> loggers;
  try {
    loggers = archive->Loggers();
  } catch (const EArchiveError &e) {
    throw ECliFailure(exFailure, e.Message());
  }
  if (o.Json) {
    std::string json = "{\"archivo\":" + JsonString(archive->Name()) + ",\"registradores\":[";
    for (size_t i = 0; i < loggers.size(); ++i) {
      const TArchivedLogger &l = loggers[i];
      if (i) json += ",";
      json += "{\"nombre\":" + JsonString(l.Name);
      json += ",\"puerto\":" + (l.Port.empty() ? std::string("null") : JsonString(l.Port));
      json += ",\"registros\":" + std::to_string(l.Records);
      json += ",\"primero\":" + JsonStamp(l.First) + ",\"ultimo\":" + JsonStamp(l.Last) + "}";
    }
    streams.Out << json << "]}\n";
    streams.Out.flush();
    return;
  }
  streams.Out << "Archivo histórico: " << archive->Name() << '\n';
  if (loggers.empty()) {
    streams.Out << "Todavía no guarda ningún registrador.\n";
    streams.Out.flush();
    return;
  }
  char line[512];
  std::snprintf(line, sizeof line, "%-20s %-16s %10s  %-19s  %s\n", "Registrador", "Puerto", "Registros", "Primero",
                "Último");
  streams.Out << line;
  for (const TArchivedLogger &l : loggers) {
    std::snprintf(line, sizeof line, "%-20s %-16s %10lld  %-19s  %s\n", l.Name.c_str(),
                  l.Port.empty() ? "-" : l.Port.c_str(), static_cast<long long>(l.Records), StampText(l.First).c_str(),
                  StampText(l.Last).c_str());
    streams.Out << line;
  }
  streams.Out.flush();
}
