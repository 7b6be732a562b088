#pragma once

#include "runtime/exceptions.h"

// Anything the archive cannot do: open, read, write, a newer archive, a
// record that cannot be kept. The message names the archive and the reason,
// in the user's words.
class EArchiveError : public Exception {
public:
  using Exception::Exception;
};
