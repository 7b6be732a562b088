#pragma once

// How talvex-cli ends: an exit status a script can test and one message in
// Spanish that says what happened and, where it can, what to do about it.

#include "runtime/exceptions.h"

#include <exception>
#include <string>

enum TCliExit : int {
  exOk = 0,
  exFailure = 1,          // anything not listed below
  exUsage = 2,            // bad command line
  exPortMissing = 3,      // no such device
  exPortBusy = 4,         // another program has it
  exPermission = 5,       // not allowed to open it
  exLineLost = 6,         // the device went away while in use
  exNoData = 7,           // the logger sent nothing within the time limit
  exBadDump = 8,          // the download does not decode
  exFileError = 9,        // a file could not be written (or would be overwritten)
  exCountMismatch = 10,   // download --verificar: not the records the logger counted
  exNotArchived = 11,     // download: saved, but the history archive did not take it
  exReportMismatch = 12,  // report --verificar: the data are not those of the report
  exInterrupted = 130     // Ctrl+C
};

// A failure of the companion that already knows its exit status.
class ECliFailure : public Exception {
public:
  ECliFailure(TCliExit code, const std::string &message) : Exception(message), code_(code) {}
  TCliExit Code() const { return code_; }

private:
  TCliExit code_;
};

// A command line that cannot be run.
class ECliUsage : public ECliFailure {
public:
  explicit ECliUsage(const std::string &message) : ECliFailure(exUsage, message) {}
};

// The message and exit status of whatever a command threw. `port` is the port
// the command was given (empty when it had none), for the port's failures.
struct TCliOutcome {
  TCliExit Code = exFailure;
  std::string Message;
};
TCliOutcome DescribeFailure(const std::exception_ptr &failure, const std::string &port);
