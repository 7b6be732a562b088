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

// Puts `bytes` in the file `path`, atomically where that loses nothing.
//
// An ordinary file with one name, in a folder we may write, and a name that
// does not exist yet, get a temporary file beside them, flushed to disk and
// renamed over them, then the folder is synced: the file is either wholly the
// new content or, after any failure, exactly what it was, with no temporary
// file left. The replacement gets the old file's owner, group and permissions;
// where the owner or group cannot be given back (an ordinary user saving
// someone else's file), it is written in place instead, so that it stays
// theirs.
//
// Everything else is written in place, the way a plain save would, because a
// new file renamed over it would not be the same thing: a FIFO or a device
// node would turn into an ordinary file (and the reader or the device would
// never see the bytes), a hard link would be split from its other names, and
// in a folder we may not write the rename is refused although the file itself
// takes writes. A failure there can leave an ordinary file part-written, as
// any plain save would; a device is left to itself ("Disk full" from a full
// one). A FIFO nobody reads fails at once rather than waiting for a reader,
// and a reader that goes away half-way is an error, not the end of the
// program. A socket cannot be saved to.
//
// A symbolic link keeps pointing where it did; what it points to is saved by
// the rules above. A file the user made read-only stays protected. Failures
// raise EInOutError.
void WriteFileAtomically(const std::string &path, std::string_view bytes);

// Both of the above.
void SaveTextFile(const std::string &path, const TDataTable &table, int records,
                  const std::vector<int> &columnAtPosition = {});

// The message of an operating-system error number, as EInOutError carries it.
std::string InOutErrorMessage(int osCode);
