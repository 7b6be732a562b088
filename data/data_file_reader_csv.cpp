// The CSV export read back: its separator, its columns named in its header
// (the date and time together or apart, the channels in any order), its
// RFC 4180 fields, and dates and times in ISO form or in the program's.

#include "data/data_file_reader_state.h"

#include <algorithm>
#include <cstring>

using namespace data_file_reader;

namespace {

// ISO dates "2004-03-15" and times "10:35" or "10:35:00" become the
// program's texts; false when they are not a real date or time.
bool IsoDate(std::string_view s, TStamp &stamp) {
  if (s.size() != 10 || s[4] != '-' || s[7] != '-' || !AllDigits(s.substr(0, 4)) || !AllDigits(s.substr(5, 2)) ||
      !AllDigits(s.substr(8, 2)))
    return false;
  stamp.Year = std::stoi(std::string(s.substr(0, 4)));
  stamp.Month = std::stoi(std::string(s.substr(5, 2)));
  stamp.Day = std::stoi(std::string(s.substr(8, 2)));
  stamp.Hour = stamp.Minute = stamp.Second = 0;
  return ValidStamp(stamp);
}

bool ClockTime(std::string_view s, TStamp &stamp) {
  if ((s.size() != 5 && s.size() != 8) || s[2] != ':' || !AllDigits(s.substr(0, 2)) || !AllDigits(s.substr(3, 2)))
    return false;
  stamp.Hour = std::stoi(std::string(s.substr(0, 2)));
  stamp.Minute = std::stoi(std::string(s.substr(3, 2)));
  stamp.Second = 0;
  if (s.size() == 8) {
    if (s[5] != ':' || !AllDigits(s.substr(6, 2))) return false;
    stamp.Second = std::stoi(std::string(s.substr(6, 2)));
  }
  return stamp.Hour < 24 && stamp.Minute < 60 && stamp.Second < 60;
}

TColumn NameOf(std::string_view raw, int &channel) {
  std::string name;
  for (char c : Trim(raw)) name += static_cast<char>(c >= 'a' && c <= 'z' ? c - 'a' + 'A' : c);
  while (!name.empty() && name.back() == ':') name.pop_back();
  channel = 0;
  for (const char *prefix : {"CH", "CANAL"}) {
    const size_t n = std::strlen(prefix);
    if (name.compare(0, n, prefix) != 0) continue;
    const std::string_view number = Trim(std::string_view(name).substr(n));
    if (AllDigits(number) && number.size() <= 2) {
      channel = std::stoi(std::string(number));
      return channel >= 1 && channel <= Channels ? TColumn::Channel : TColumn::Unknown;
    }
  }
  if (name == "FECHA") return TColumn::Date;
  if (name == "HORA") return TColumn::Time;
  if (name.find("FECHA") != std::string::npos && name.find("HORA") != std::string::npos) return TColumn::DateTime;
  return TColumn::Unknown;
}

}  // namespace

void TDataFileParser::TState::SplitCsv(std::string_view line) {
  // RFC 4180 fields; a quoted one may hold the separator and doubled quotes.
  Fields.clear();
  Starts.clear();
  Unquoted.clear();
  Unquoted.reserve(line.size());
  std::vector<std::pair<size_t, size_t>> spans;
  size_t at = 0;
  while (true) {
    Starts.push_back(at);
    const size_t begin = Unquoted.size();
    size_t lead = at;
    while (lead < line.size() && line[lead] == ' ') ++lead;
    if (lead < line.size() && line[lead] == '"') {
      size_t i = lead + 1;
      while (true) {
        if (i >= line.size()) Fail(LineNo, ColumnOf(line, lead), "comillas sin cerrar");
        if (line[i] == '"') {
          if (i + 1 < line.size() && line[i + 1] == '"') {
            Unquoted += '"';
            i += 2;
            continue;
          }
          ++i;
          break;
        }
        Unquoted += line[i++];
      }
      while (i < line.size() && line[i] == ' ') ++i;
      if (i < line.size() && line[i] != Separator) Fail(LineNo, ColumnOf(line, i), "texto tras las comillas de cierre");
      at = i;
    } else {
      const size_t end = std::min(line.find(Separator, at), line.size());
      const std::string_view raw = line.substr(at, end - at);
      if (raw.find('"') != std::string_view::npos)
        Fail(LineNo, ColumnOf(line, at + raw.find('"')), "comillas dentro de un campo sin comillas");
      Unquoted.append(raw.data(), raw.size());
      at = end;
    }
    spans.emplace_back(begin, Unquoted.size() - begin);
    if (at >= line.size()) break;
    ++at;  // the separator
  }
  for (const auto &[begin, length] : spans) Fields.push_back(Trim(std::string_view(Unquoted).substr(begin, length)));
}

void TDataFileParser::TState::CsvHeader(std::string_view line) {
  // The separator is the first of these outside quotes.
  bool quoted = false;
  for (char c : line) {
    if (c == '"') quoted = !quoted;
    else if (!quoted && (c == ',' || c == ';' || c == '\t')) {
      Separator = c;
      break;
    }
  }
  SplitCsv(line);
  // A spreadsheet may add empty columns at the end.
  UsedColumns = static_cast<int>(Fields.size());
  while (UsedColumns > 0 && Fields[UsedColumns - 1].empty()) --UsedColumns;
  bool seen[Channels + 1] = {};
  int dateTime = 0, date = 0, time = 0;
  for (int i = 0; i < UsedColumns; ++i) {
    int channel = 0;
    const TColumn kind = NameOf(Fields[i], channel);
    const int column = ColumnOf(line, Starts[i]);
    switch (kind) {
      case TColumn::Unknown:
        Fail(LineNo, column,
             "columna desconocida " + Shown(Fields[i]) + "; se esperaban FECHA Y HORA (o FECHA y HORA) y CH1 a CH16");
      case TColumn::Channel:
        if (seen[channel]) Fail(LineNo, column, "la columna CH" + std::to_string(channel) + " está repetida");
        seen[channel] = true;
        ChannelOrder.push_back(channel);
        break;
      case TColumn::DateTime: ++dateTime; break;
      case TColumn::Date: ++date; break;
      case TColumn::Time: ++time; break;
    }
    if (dateTime > 1 || date > 1 || time > 1 || (dateTime && (date || time)))
      Fail(LineNo, column, "la fecha y la hora aparecen más de una vez");
    Columns.push_back(kind);
    ColumnChannel.push_back(channel);
  }
  for (int k = 1; k <= Channels; ++k)
    if (!seen[k]) Fail(LineNo, ColumnOf(line, line.size()), "falta la columna CH" + std::to_string(k));
  if (!dateTime && !(date && time)) Fail(LineNo, 1, "falta la columna de la fecha y la hora (FECHA Y HORA)");
}

void TDataFileParser::TState::CsvRecord(std::string_view line) {
  SplitCsv(line);
  int used = static_cast<int>(Fields.size());
  while (used > UsedColumns && Fields[used - 1].empty()) --used;
  if (used != UsedColumns) {
    const bool more = used > UsedColumns;
    const size_t at = more ? Starts[UsedColumns] : line.size();
    std::string hint;
    if (more && Separator == ',') hint = " (¿una coma decimal en un CSV separado por comas?)";
    Fail(LineNo, ColumnOf(line, at),
         (more ? "sobran columnas: " : "faltan columnas: ") + std::to_string(used) + " de las " +
             std::to_string(UsedColumns) + " de la cabecera" + hint);
  }
  const int row = NewRow();
  for (int i = 0; i < UsedColumns; ++i) {
    const std::string_view field = Fields[i];
    const int column = ColumnOf(line, Starts[i]);
    TStamp stamp;
    switch (Columns[i]) {
      case TColumn::Channel: PutValue(FirstValueColumn + ColumnChannel[i] - 1, field, line, Starts[i]); break;
      case TColumn::DateTime: {
        if (field.empty()) break;  // a recording with no time stamps
        const size_t cut = field.find_first_of("T ");
        const std::string_view d = field.substr(0, cut);
        const std::string_view t = cut == std::string_view::npos ? std::string_view() : Trim(field.substr(cut + 1));
        if (IsoDate(d, stamp) && ClockTime(t, stamp)) {
          Table.SetCells(1, row, ProgramDateText(stamp));
          Table.SetCells(2, row, ProgramTimeText(stamp));
        } else if (ProgramDateShape(d, '/') && ProgramTimeShape(t)) {
          // A stamp only the program's own texts can hold (day 32 of a
          // damaged recording), exported as it stood.
          Table.SetCells(1, row, d);
          Table.SetCells(2, row, t);
        } else {
          Fail(LineNo, column, "se esperaba una fecha y hora (aaaa-mm-ddThh:mm:ss) y hay " + Shown(field));
        }
        break;
      }
      case TColumn::Date:
        if (field.empty()) break;
        if (IsoDate(field, stamp)) Table.SetCells(1, row, ProgramDateText(stamp));
        else if (ProgramDateShape(field, '/')) Table.SetCells(1, row, field);
        else Fail(LineNo, column, "se esperaba una fecha (dd/mm/aaaa) y hay " + Shown(field));
        break;
      case TColumn::Time:
        if (field.empty()) break;
        if (ClockTime(field, stamp)) Table.SetCells(2, row, ProgramTimeText(stamp));
        else if (ProgramTimeShape(field)) Table.SetCells(2, row, field);
        else Fail(LineNo, column, "se esperaba una hora (hh:mm:ss) y hay " + Shown(field));
        break;
      case TColumn::Unknown: break;
    }
  }
}
