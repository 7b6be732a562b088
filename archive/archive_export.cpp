#include "archive/archive_export.h"

#include "archive/archive_range_sum.h"
#include "data/text_file_writer.h"
#include "runtime/format_settings.h"

#include <algorithm>

namespace {

// Two digits of a date or time field, as "%02d" writes them.
char *PutTwo(char *out, int v) {
  *out++ = static_cast<char>('0' + v / 10 % 10);
  *out++ = static_cast<char>('0' + v % 10);
  return out;
}

char *PutYear(char *out, int v) {
  out[3] = static_cast<char>('0' + v % 10);
  out[2] = static_cast<char>('0' + v / 10 % 10);
  out[1] = static_cast<char>('0' + v / 100 % 10);
  out[0] = static_cast<char>('0' + v / 1000 % 10);
  return out + 4;
}

// The records as the text file's lines, byte for byte as the data window
// saves them: "dd/mm/aaaa", "hh:mm:ss" and the values in the program's own
// texts, each cell followed by two blanks.
void PutTextLines(std::string &out, const std::vector<TArchiveRecord> &slice, char decimal) {
  char line[512];
  for (const TArchiveRecord &r : slice) {
    char *p = line;
    p = PutTwo(p, r.Instant.Day);
    *p++ = '/';
    p = PutTwo(p, r.Instant.Month);
    *p++ = '/';
    p = PutYear(p, r.Instant.Year);
    *p++ = ' ';
    *p++ = ' ';
    p = PutTwo(p, r.Instant.Hour);
    *p++ = ':';
    p = PutTwo(p, r.Instant.Minute);
    *p++ = ':';
    p = PutTwo(p, r.Instant.Second);
    *p++ = ' ';
    *p++ = ' ';
    for (const std::optional<std::int32_t> &v : r.Values) {
      if (v) p = PutTenths(p, *v, decimal);
      *p++ = ' ';
      *p++ = ' ';
    }
    *p++ = '\r';
    *p++ = '\n';
    out.append(line, static_cast<size_t>(p - line));
  }
}

// The CSV's lines as the data window exports them: the ISO instant, then
// the values, quoted where their mark is a comma.
void PutCsvLines(std::string &out, const std::vector<TArchiveRecord> &slice, TCsvStyle style) {
  const bool comma = style == TCsvStyle::Semicolon;
  const char separator = comma ? ';' : ',';
  const char decimal = comma ? ',' : '.';
  char line[512];
  for (const TArchiveRecord &r : slice) {
    char *p = line;
    p = PutYear(p, r.Instant.Year);
    *p++ = '-';
    p = PutTwo(p, r.Instant.Month);
    *p++ = '-';
    p = PutTwo(p, r.Instant.Day);
    *p++ = 'T';
    p = PutTwo(p, r.Instant.Hour);
    *p++ = ':';
    p = PutTwo(p, r.Instant.Minute);
    *p++ = ':';
    p = PutTwo(p, r.Instant.Second);
    for (const std::optional<std::int32_t> &v : r.Values) {
      *p++ = separator;
      if (!v) continue;
      if (comma) *p++ = '"';
      p = PutTenths(p, *v, decimal);
      if (comma) *p++ = '"';
    }
    *p++ = '\r';
    *p++ = '\n';
    out.append(line, static_cast<size_t>(p - line));
  }
}

std::string CsvHeader(TCsvStyle style) {
  const char separator = style == TCsvStyle::Semicolon ? ';' : ',';
  std::string header = "FECHA Y HORA";
  for (int k = 1; k <= 16; ++k) header += separator + std::string("CH") + std::to_string(k);
  return header + "\r\n";
}

}  // namespace

void AppendTextLines(std::string &out, const std::vector<TArchiveRecord> &slice, char decimal) {
  PutTextLines(out, slice, decimal);
}

namespace {

TRecordStamp RealStamp(const TStamp &s) {
  TRecordStamp stamp;
  stamp.Real = true;
  stamp.Stamp = s;
  stamp.Text = ProgramDateText(s) + " " + ProgramTimeText(s);
  return stamp;
}

}  // namespace

std::optional<std::int64_t> ExportArchiveRange(TArchive &archive, const std::string &logger, const TStamp &from,
                                               const TStamp &to, const std::string &path, TExportFormat format,
                                               TCsvStyle style, const TStatLimits &limits,
                                               const TArchiveProgress &progress) {
  const std::int64_t total = archive.Count(logger, from, to);
  if (format == TExportFormat::Xlsx) RefuseOverSheetRows(total);
  if (progress && !progress(0, total)) return std::nullopt;

  std::int64_t done = 0;
  bool cancelled = false;
  auto told = [&](size_t records) {
    done += static_cast<std::int64_t>(records);
    cancelled = progress && !progress(done, std::max(total, done));
    return !cancelled;
  };

  if (format == TExportFormat::Xlsx) {
    std::array<std::string, 16> captions;
    for (size_t k = 0; k < captions.size(); ++k) captions[k] = "CH" + std::to_string(k + 1);
    TXlsxStream book(captions);
    TRangeSum sum(limits);
    std::array<std::optional<std::int64_t>, 16> tenths;
    // A real stamp is written as a date cell: its text is never needed.
    TRecordStamp stamp;
    stamp.Real = true;
    archive.ReadRecords(logger, from, to, [&](const std::vector<TArchiveRecord> &slice) {
      for (const TArchiveRecord &r : slice) {
        for (size_t k = 0; k < tenths.size(); ++k)
          tenths[k] = r.Values[k] ? std::optional<std::int64_t>(*r.Values[k]) : std::nullopt;
        stamp.Stamp = r.Instant;
        book.Add(stamp, tenths);
        sum.Add(r);
      }
      return told(slice.size());
    });
    if (cancelled) return std::nullopt;
    const TArchiveStatistics stats = sum.Result();
    std::array<TRecordStamp, 16> minAt, maxAt;
    for (size_t k = 0; k < minAt.size(); ++k) {
      if (stats.Stats.Channels[k].Count == 0) continue;
      minAt[k] = RealStamp(stats.MinAt[k]);
      maxAt[k] = RealStamp(stats.MaxAt[k]);
    }
    book.Finish(path, stats.Stats, minAt, maxAt);
    return done;
  }

  // The file's bytes gather in memory, a fraction of what the records would
  // take as a table, and go to disk in one atomic save once the whole range
  // is read: a cancel never leaves half a file.
  std::string out;
  const char decimal = FormatSettings().DecimalSeparator;
  if (format == TExportFormat::Text) {
    out.append(TEXT_FILE_HEADER).append("\r\n\r\n");
  } else {
    out = CsvHeader(style);
  }
  archive.ReadRecords(logger, from, to, [&](const std::vector<TArchiveRecord> &slice) {
    const bool first = done == 0;
    if (format == TExportFormat::Text) PutTextLines(out, slice, decimal);
    else PutCsvLines(out, slice, style);
    // Room for the rest at the first slice's pace, and a little over: a
    // string left to double itself would hold up to twice the file.
    if (first && !slice.empty() && total > static_cast<std::int64_t>(slice.size()))
      out.reserve(out.size() + out.size() / slice.size() * static_cast<size_t>(total) / 64 * 66);
    return told(slice.size());
  });
  if (cancelled) return std::nullopt;
  WriteFileAtomically(path, out);
  return done;
}
