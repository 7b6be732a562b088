#pragma once

#include <cstdio>
#include <string>
#include <vector>

// Dumps as the logger sends them, built field by field so each test says
// what it is about.
namespace dump_samples {

// A header with the fields where the decoder reads them; the positions it
// does not read hold separators, as the logger's own header does.
inline std::string Header(int year, int month, int day, int second, int minute, int hour, int code) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "X%02d/%02d/%02d %02d:%02d:%02d  %d", year, month, day, second, minute, hour, code);
  return buf;
}

// A record line from sixteen six-digit channel fields.
inline std::string Record(const std::vector<std::string> &fields) {
  std::string line;
  for (const auto &f : fields) line += f;
  return line;
}

// Every channel 0,0 except the first.
inline std::string Record(const std::string &first, const std::string &others = "001244") {
  std::string line = first;
  for (int k = 1; k < 16; ++k) line += others;
  return line;
}

// Header, records and the end mark, joined with the given break.
inline std::string Dump(const std::string &header, const std::vector<std::string> &records,
                        const std::string &brk = "\r\n") {
  std::string dump = header + brk;
  for (const auto &r : records) dump += r + brk;
  dump += "A";
  return dump;
}

// `records` shown records (plus the line before the end mark, which is
// decoded but not shown) with a different value on channel 1 for each.
inline std::string LongDump(int records, const std::string &brk = "\r\n") {
  std::vector<std::string> lines;
  lines.reserve(records + 1);
  for (int i = 0; i <= records; ++i) {
    const int raw = 500 + (i % 3000);  // record r reads (r - 1) % 3000 tenths
    char field[8];
    std::snprintf(field, sizeof field, "%03d%03d", raw / 256, raw % 256);
    lines.push_back(Record(field));
  }
  return Dump(Header(4, 3, 15, 0, 30, 10, 2), lines, brk);
}

}  // namespace dump_samples
