// A downloaded dump, whatever the line brought, split into lines and decoded
// into the data table the way the data window does it. A damaged dump may
// raise EConvertError; nothing else may escape and nothing may crash.

#include "data/data_table.h"
#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "fuzz_check.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  static const bool formats = (ApplyProgramFormats(), true);
  (void)formats;
  // A copy of exactly the input: the lines point into it, and a read past
  // its end must show up as one.
  const std::string dump(reinterpret_cast<const char *>(data), size);
  const TDumpLines lines = SplitDumpLines(dump);
  FUZZ_CHECK(CountDumpLines(dump) == static_cast<int>(lines.size()));
  std::size_t text = 0;
  for (std::string_view line : lines) {
    FUZZ_CHECK(line.data() >= dump.data() && line.data() + line.size() <= dump.data() + dump.size());
    FUZZ_CHECK(line.find('\r') == std::string_view::npos && line.find('\n') == std::string_view::npos);
    text += line.size();
  }
  FUZZ_CHECK(text <= dump.size());

  TDumpHeader before;
  before.Start.Year = 77;
  before.StartDate = "previous";
  before.RateText = RATE_TEXTS[3];

  // The header alone: all or nothing.
  {
    TDataTable table(DataColumns, 1);
    TDumpHeader header = before;
    try {
      OBTIENEFECHAYHORA(lines, RecordCount(static_cast<int>(lines.size())), table, header);
    } catch (const EConvertError &) {
      FUZZ_CHECK(header.Start == before.Start && header.StartDate == before.StartDate &&
                 header.StartTime == before.StartTime && header.RateText == before.RateText);
    }
  }

  TDataTable table(DataColumns, 1);
  TDumpHeader header = before;
  bool decoded = false;
  try {
    DOSCANALESLM35(lines, table, header);
    decoded = true;
  } catch (const EConvertError &) {
  }
  if (decoded) {
    const int records = RecordCount(static_cast<int>(lines.size()));
    FUZZ_CHECK(records < 0 || table.StoredRows() >= records + 1);
    FUZZ_CHECK(header.StartDate.size() == 10 && header.StartTime.size() == 8);
  }
  // Every cell of the table can be read back.
  for (int r = 0; r < table.StoredRows(); ++r)
    for (int c = 0; c < table.ColCount(); ++c) (void)table.Cells(c, r).size();
  return 0;
}
