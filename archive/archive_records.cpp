#include "archive/archive.h"
#include "archive/archive_error.h"
#include "data/dump_decoder.h"
#include "runtime/format_settings.h"

#include <limits>

std::vector<TArchiveRecord> RecordsFromTable(const TDataTable &table, int records) {
  std::vector<TArchiveRecord> out;
  if (records <= 0) return out;
  out.reserve(static_cast<size_t>(records));
  for (int r = 1; r <= records; ++r) {
    TArchiveRecord record;
    if (!RowStamp(table.Cells(1, r), table.Cells(2, r), record.Instant)) {
      throw EArchiveError("El registro " + std::to_string(r) + " no tiene una fecha y hora reales (\"" +
                          std::string(table.Cells(1, r)) + " " + std::string(table.Cells(2, r)) +
                          "\"): no se puede guardar en el archivo histórico.");
    }
    for (int k = 0; k < Channels; ++k) {
      const std::string_view cell = table.Cells(FirstValueColumn + k, r);
      if (cell.empty()) continue;  // a reading the logger did not give
      std::int64_t tenths = 0;
      if (!ParseTenths(cell, tenths) || tenths < std::numeric_limits<std::int32_t>::min() ||
          tenths > std::numeric_limits<std::int32_t>::max()) {
        throw EArchiveError("El registro " + std::to_string(r) + " tiene en CH" + std::to_string(k + 1) + " \"" +
                            std::string(cell) +
                            "\", que no es una temperatura: no se puede guardar en el archivo histórico.");
      }
      record.Values[static_cast<size_t>(k)] = static_cast<std::int32_t>(tenths);
    }
    out.push_back(record);
  }
  return out;
}

TDataTable RecordsTable(const std::vector<TArchiveRecord> &records) {
  const int count = static_cast<int>(records.size());
  TDataTable table(DataColumns, count + 1);
  table.SetCells(1, 0, "FECHA:");
  table.SetCells(2, 0, "HORA:");
  for (int k = 1; k <= Channels; ++k) table.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  const char decimal = FormatSettings().DecimalSeparator;
  char buf[24];
  for (int r = 1; r <= count; ++r) {
    const TArchiveRecord &record = records[static_cast<size_t>(r - 1)];
    table.SetCells(0, r, std::to_string(r));
    table.SetCells(1, r, ProgramDateText(record.Instant));
    table.SetCells(2, r, ProgramTimeText(record.Instant));
    for (int k = 0; k < Channels; ++k) {
      const std::optional<std::int32_t> &v = record.Values[static_cast<size_t>(k)];
      if (v) table.SetCells(FirstValueColumn + k, r, std::string_view(buf, PutTenths(buf, *v, decimal) - buf));
    }
  }
  return table;
}
