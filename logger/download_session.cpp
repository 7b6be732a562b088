#include "logger/download_session.h"

#include "data/text_file_writer.h"
#include "logger/logger_commands.h"
#include "serial/serial_port.h"

#include <algorithm>

void DiscardBeforeDump(TCustomSerialPort &port, std::string &dump) {
  // Twice over: a receive event may slip in between the purge and the
  // emptying, and neither half of it belongs to the dump.
  port.ClearBuffers(true, false);
  dump.clear();
  port.ClearBuffers(true, false);
  dump.clear();
}

bool CollectDownloadRead(std::string &dump, std::string_view read) {
  if (IsDownloadEndMark(read)) {
    dump += kDownloadEndMark;
    return true;
  }
  dump += read;
  return false;
}

int DumpRecordsSoFar(std::string_view dump) {
  // Only lines already ended count: the one being received may be cut short.
  // Of those, the header is no record, and neither is the last one when the
  // end mark follows it (the logger's record in progress), so the count is
  // the one the saved file will have if the download ended now.
  std::size_t ended = 0;
  // A line ends at LF, or at a CR that no LF follows.
  for (std::size_t i = 0; i < dump.size(); ++i) {
    const bool lone = dump[i] == '\r' && (i + 1 >= dump.size() || dump[i + 1] != '\n');
    if (dump[i] == '\n' || lone) ++ended;
  }
  return ended > 2 ? static_cast<int>(ended - 2) : 0;
}

namespace {

// The header positions the decoder reads, in the order it reads them.
constexpr int kHeaderPositions[] = {2, 3, 5, 6, 8, 9, 11, 12, 14, 15, 17, 18, HeaderLength};

std::optional<TDumpFault> FaultAt(std::string_view line, int lineIndex, int position) {
  if (position > static_cast<int>(line.size())) return TDumpFault{lineIndex + 1, position, std::string()};
  const char c = line[static_cast<std::size_t>(position - 1)];
  if (c < '0' || c > '9') return TDumpFault{lineIndex + 1, position, std::string(1, c)};
  return std::nullopt;
}

}  // namespace

std::optional<TDumpFault> FindDumpFault(const TDumpLines &lines) {
  const std::string_view header = lines.empty() ? std::string_view() : lines[0];
  for (int position : kHeaderPositions)
    if (auto fault = FaultAt(header, 0, position)) return fault;
  // Record lines 1 to N, and the line before the end mark, which is decoded
  // too although it is never shown.
  const int last = RecordCount(static_cast<int>(lines.size())) + 1;
  for (int i = 1; i <= last; ++i)
    for (int position = 1; position <= RecordDigits; ++position)
      if (auto fault = FaultAt(lines[static_cast<std::size_t>(i)], i, position)) return fault;
  return std::nullopt;
}

TDecodedDump DecodeDump(std::string_view dump) {
  const TDumpLines lines = SplitDumpLines(dump);
  TDecodedDump decoded;
  decoded.Table.SetRowCount(std::max(1, static_cast<int>(lines.size()) - 2));
  try {
    DOSCANALESLM35(lines, decoded.Table, decoded.Header);
  } catch (const EConvertError &e) {
    if (std::optional<TDumpFault> fault = FindDumpFault(lines)) throw EDumpDecodeError(e.Message(), *fault);
    throw;
  }
  decoded.Records = std::max(0, RecordCount(static_cast<int>(lines.size())));
  return decoded;
}

std::string DumpTextFile(const TDecodedDump &decoded) { return BuildTextFile(decoded.Table, decoded.Records); }
