// A file chosen with "ABRIR" or given to talvex-cli, whatever it holds: it
// opens or is refused with EDataFileError naming a place in it; nothing else
// may escape, nothing may crash, and what opens saves back as it read (the
// text file byte for byte as the program writes it, the CSV into the same
// table).

#include "data/data_export.h"
#include "data/data_file_reader.h"
#include "data/dump_decoder.h"
#include "data/text_file_writer.h"
#include "fuzz_check.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

namespace {

int Lines(std::string_view bytes) {
  int lines = 1;
  for (size_t i = 0; i < bytes.size(); ++i)
    if (bytes[i] == '\n' || (bytes[i] == '\r' && (i + 1 >= bytes.size() || bytes[i + 1] != '\n'))) ++lines;
  return lines;
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  const std::string_view bytes(reinterpret_cast<const char *>(data), size);
  TOpenedData opened;
  try {
    opened = ParseDataFile(bytes);
  } catch (const EDataFileError &e) {
    // Line 0, column 0 is the file as a whole (a workbook, say): no line of
    // it is at fault.
    if (e.Line() == 0 && e.Column() == 0) return 0;
    FUZZ_CHECK(e.Line() >= 1 && e.Line() <= Lines(bytes));
    FUZZ_CHECK(e.Column() >= 1 && e.Column() <= kMaxLineLength + 1);
    return 0;
  }
  FUZZ_CHECK(opened.Records >= 0 && opened.Records <= kMaxOpenRecords);
  FUZZ_CHECK(opened.Table.RowCount() == opened.Records + 1);
  FUZZ_CHECK(static_cast<int>(opened.ColumnOrder.size()) == DataColumns);

  // What opened is the program's own: saved as text it reads back into the
  // same bytes, and so does its CSV.
  const std::string text = BuildTextFile(opened.Table, opened.Records, opened.ColumnOrder);
  const TOpenedData again = ParseDataFile(text);
  FUZZ_CHECK(again.Records == opened.Records);
  FUZZ_CHECK(BuildTextFile(again.Table, again.Records, again.ColumnOrder) == text);
  for (TCsvStyle style : {TCsvStyle::Comma, TCsvStyle::Semicolon}) {
    const std::string csv = BuildCsv({opened.Table, opened.Records, opened.ColumnOrder}, style);
    const TOpenedData fromCsv = ParseDataFile(csv);
    FUZZ_CHECK(fromCsv.Records == opened.Records);
    FUZZ_CHECK(BuildCsv({fromCsv.Table, fromCsv.Records, fromCsv.ColumnOrder}, style) == csv);
  }
  return 0;
}
