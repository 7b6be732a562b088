#include "data/dump_lines.h"

#include <cstring>

namespace {

// Calls take(begin, length) for every line; returns the count. One walk over
// the text shared by the splitter and the counter so both always agree.
template <class Take>
int WalkLines(std::string_view dump, Take take) {
  const char *const base = dump.data();
  const size_t size = dump.size();
  size_t start = 0;
  int count = 0;
  size_t i = 0;
  while (i < size) {
    // memchr-style scan for the next CR or LF; records are 96 digits long, so
    // a plain loop is what the compiler vectorises best here.
    const char c = base[i];
    if (c != '\r' && c != '\n') {
      ++i;
      continue;
    }
    take(start, i - start);
    ++count;
    if (c == '\r' && i + 1 < size && base[i + 1] == '\n') ++i;
    ++i;
    start = i;
  }
  if (start < size) {
    take(start, size - start);
    ++count;
  }
  return count;
}

}  // namespace

TDumpLines SplitDumpLines(std::string_view dump) {
  TDumpLines lines;
  // A record line is 96 digits plus its break: a good first guess that spares
  // the vector its regrowth on a full memory dump.
  lines.reserve(dump.size() / 97 + 2);
  WalkLines(dump, [&](size_t start, size_t length) { lines.emplace_back(dump.data() + start, length); });
  return lines;
}

int CountDumpLines(std::string_view dump) {
  return WalkLines(dump, [](size_t, size_t) {});
}
