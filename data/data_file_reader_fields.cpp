// What a field of a data file may hold, checked the same way in the text
// file and the CSV, and the failure that names the line and column of a
// problem.

#include "data/data_file_reader_state.h"

#include <algorithm>

namespace data_file_reader {

[[noreturn]] void Fail(int line, int column, const std::string &what) {
  if (line <= 0) throw EDataFileError(what, 0, 0);
  throw EDataFileError("línea " + std::to_string(line) + ", columna " + std::to_string(column) + ": " + what, line,
                       column);
}

// What a field held, for the message: cut short and made printable.
std::string Shown(std::string_view text) {
  std::string out = "\"";
  const size_t most = 24;
  for (size_t i = 0; i < text.size() && i < most; ++i) {
    const unsigned char c = static_cast<unsigned char>(text[i]);
    out += c < 0x20 ? '?' : static_cast<char>(c);
  }
  if (text.size() > most) out += "...";
  return out + "\"";
}

// Column in characters of the byte at `at`: UTF-8 continuation bytes do not
// count.
int ColumnOf(std::string_view line, size_t at) {
  int column = 1;
  for (size_t i = 0; i < at && i < line.size(); ++i)
    if ((static_cast<unsigned char>(line[i]) & 0xC0) != 0x80) ++column;
  return column;
}

bool Blank(std::string_view line) { return line.find_first_not_of(" \t") == std::string_view::npos; }

std::string_view TrimRight(std::string_view s) {
  const size_t end = s.find_last_not_of(" \t");
  return end == std::string_view::npos ? std::string_view() : s.substr(0, end + 1);
}

std::string_view Trim(std::string_view s) {
  const size_t start = s.find_first_not_of(" \t");
  return start == std::string_view::npos ? std::string_view() : TrimRight(s.substr(start));
}

bool AllDigits(std::string_view s) {
  return !s.empty() && std::all_of(s.begin(), s.end(), [](char c) { return c >= '0' && c <= '9'; });
}

// "dd/mm/yyyy" as the program writes it, also what a damaged header makes
// of it (day 32, year 20100): three runs of digits. Kept as written.
bool ProgramDateShape(std::string_view s, char separator) {
  const size_t a = s.find(separator);
  if (a == std::string_view::npos) return false;
  const size_t b = s.find(separator, a + 1);
  if (b == std::string_view::npos) return false;
  return a <= 6 && b - a <= 7 && s.size() - b <= 12 && AllDigits(s.substr(0, a)) &&
         AllDigits(s.substr(a + 1, b - a - 1)) && AllDigits(s.substr(b + 1));
}

// The program's time "10:35:00" (any run of digits, as a damaged header
// makes them).
bool ProgramTimeShape(std::string_view s) { return ProgramDateShape(s, ':'); }

}  // namespace data_file_reader
