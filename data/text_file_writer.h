#pragma once

#include "data/data_table.h"
#include "runtime/exceptions.h"

#include <string>
#include <string_view>
#include <vector>

// A file could not be created, written or put in place. The message names the
// cause the way the user knows it ("File access denied", "Disk full",
// "I/O error 5").
class EInOutError : public Exception {
public:
  EInOutError(const std::string &message, int osCode) : Exception(message), OsCode_(osCode) {}
  int OsCode() const { return OsCode_; }

private:
  int OsCode_;
};

// The header line of the saved file, 119 characters without its line end.
extern const char TEXT_FILE_HEADER[];

// The saved file's bytes: the header, an empty line, then for records 1 to
// `records` the date, the time and the 16 values, each followed by two blanks.
// Every line ends in CR LF. `columnAtPosition[p]` is the table column shown at
// position p (after the user dragged columns about); empty means as stored.
std::string BuildTextFile(const TDataTable &table, int records, const std::vector<int> &columnAtPosition = {});

// Puts `bytes` in the file `path` so that it is either wholly the new content
// or, after any failure, exactly what it was: a temporary file beside it is
// written, flushed to disk and renamed over it, then the folder is synced. A
// failure raises EInOutError and leaves no temporary file behind. An existing
// file keeps its permissions; a symbolic link keeps pointing where it did and
// its target gets the content.
void WriteFileAtomically(const std::string &path, std::string_view bytes);

// Both of the above.
void SaveTextFile(const std::string &path, const TDataTable &table, int records,
                  const std::vector<int> &columnAtPosition = {});

// The message of an operating-system error number, as EInOutError carries it.
std::string InOutErrorMessage(int osCode);
