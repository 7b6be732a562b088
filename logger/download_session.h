#pragma once

// The download as the main window and talvex-cli both run it, after the
// request itself (SendDownloadRequest in logger_commands.h): the clearing
// that starts the dump proper, the collection up to the lone end mark, and
// the decoding of the collected dump into the data table the text file is
// written from. One copy of each rule, so both speak to the logger and write
// files alike.

#include "data/data_table.h"
#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "runtime/exceptions.h"

#include <optional>
#include <string>
#include <string_view>

class TCustomSerialPort;

// How long after the first command of a request the dump proper starts
// (Timer2), and the wait between the two commands.
constexpr int kDumpStartDelayMs = 450;
constexpr int kDownloadCommandGapMs = 1000;

// The step that starts the dump proper: what the logger sent before it,
// whether still in the input queue or already collected, is thrown away.
void DiscardBeforeDump(TCustomSerialPort &port, std::string &dump);

// Adds one read to the dump. A read that is the end mark alone ends the
// download: the mark is appended and true returned. Anything else, an "A" in
// company included, is appended as it came.
bool CollectDownloadRead(std::string &dump, std::string_view read);

// Records a dump being collected holds so far, counted as the saved file
// would count them if the end mark came now: for progress reports only.
int DumpRecordsSoFar(std::string_view dump);

// Where a dump stops being decodable: the first position the decoder reads
// that is missing or not a digit. Line and position count from 1 (line 1 is
// the header), as an editor shows them; Found is the character, empty for a
// position past the end of its line.
struct TDumpFault {
  int Line = 0;
  int Position = 0;
  std::string Found;
};
std::optional<TDumpFault> FindDumpFault(const TDumpLines &lines);

// A dump that does not decode, with the place it fails at.
class EDumpDecodeError : public EConvertError {
public:
  EDumpDecodeError(const std::string &message, const TDumpFault &fault) : EConvertError(message), fault_(fault) {}
  const TDumpFault &Fault() const { return fault_; }

private:
  TDumpFault fault_;
};

// A decoded download: the table as the data window fills it on its first
// activation, the header fields, and the record count the save writes.
struct TDecodedDump {
  TDataTable Table{DataColumns, 1};
  TDumpHeader Header;
  int Records = 0;  // never negative
};

// Decodes the dump exactly as the data window does when it opens: the table
// sized to the dump, the header with no earlier rate text, then the decoder.
// A dump that does not decode raises EDumpDecodeError naming line and
// position.
TDecodedDump DecodeDump(std::string_view dump);

// The bytes the data window's save button writes for that dump.
std::string DumpTextFile(const TDecodedDump &decoded);
