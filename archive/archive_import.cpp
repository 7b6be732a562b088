#include "archive/archive_import.h"

#include "archive/archive_error.h"
#include "data/data_file_reader.h"

TFileImport ImportFile(TArchive &archive, const std::string &logger, const std::string &path) {
  TFileImport import;
  import.Path = path;
  try {
    const TOpenedData data = ReadDataFile(path);
    TArchiveOrigin origin;
    origin.Kind = TOriginKind::FileImport;
    origin.FileName = path;
    // No port: an old file says nothing of where its logger is now.
    import.Result = archive.StoreTable(logger, std::string(), origin, data.Table, data.Records);
    import.Stored = true;
  } catch (const EDataFileError &e) {
    import.Failure = "No se puede abrir \"" + path + "\": " + e.Message() + ".";
  } catch (const EArchiveError &e) {
    import.Failure = path + ": " + e.Message();
  }
  return import;
}

std::string ImportReport(const TFileImport &import) {
  if (!import.Stored) return import.Failure;
  const TStoreResult &r = import.Result;
  std::string text =
      import.Path + ": " + std::to_string(r.Added) + (r.Added == 1 ? " registro nuevo" : " registros nuevos");
  if (r.Beside > 0) text += " (" + std::to_string(r.Beside) + " junto a otros valores de la misma fecha y hora)";
  text += ", " + std::to_string(r.AlreadyHeld) + " ya estaban en el archivo histórico";
  // What happened while nobody watched is worth a word where it is seen.
  const size_t events = r.EventsStarted.size();
  if (events > 0)
    text += "; " + std::to_string(events) + (events == 1 ? " evento de alarma nuevo" : " eventos de alarma nuevos");
  return text + ".";
}
