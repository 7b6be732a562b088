#pragma once

// What every command of talvex-cli writes through, and the check every
// command that writes a file makes first. Kept apart from the commands
// themselves so that the commands' own headers need nothing but this.

#include <iosfwd>
#include <string>

struct TCliStreams {
  std::ostream &Out;
  std::ostream &Err;
  bool ErrIsTerminal = false;  // progress lines only on a terminal
};

// Refuses an output file that exists (unless replacing was asked for) or
// cannot be written, before anything is asked of the logger: a new file needs
// a folder the user may write; an existing one the user may write is taken
// in any folder (it is saved in place there, as the window saves).
void CheckOutputFile(const std::string &path, bool replace);
