// The CSV export read back: its separator, its columns named in its header
// (the date and time together or apart, the channels in any order), its
// RFC 4180 fields, and its dates and times as a spreadsheet may have written
// them (data_file_reader_dates.cpp).

#include "data/data_file_reader_state.h"

#include <algorithm>
#include <cstring>

using namespace data_file_reader;

namespace {

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
  // The separator is the first of these outside quotes, unless a "sep="
  // line named it.
  bool quoted = false;
  for (char c : line) {
    if (SeparatorGiven) break;
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
  // The date and the time may sit in one column or two, in any order: the
  // record's stamp is put together once all of them are read.
  TCellDate date;
  TCellTime time;
  int dateColumn = 0;
  std::string_view dateText;
  const char *dateNoun = "";
  bool hasTime = false;
  for (int i = 0; i < UsedColumns; ++i) {
    const std::string_view field = Fields[i];
    const int column = ColumnOf(line, Starts[i]);
    switch (Columns[i]) {
      case TColumn::Channel: PutValue(FirstValueColumn + ColumnChannel[i] - 1, field, line, Starts[i]); break;
      case TColumn::DateTime: {
        if (field.empty()) break;  // a recording with no time stamps
        // "2026-03-15T05:00:00", "03/15/2026 05:00:00"; a date alone is
        // midnight, as a spreadsheet writes a time of 00:00.
        const size_t cut = field.find_first_of("T ");
        const std::string_view d = field.substr(0, cut);
        const std::string_view t = cut == std::string_view::npos ? std::string_view() : Trim(field.substr(cut + 1));
        if (!ParseCellDate(d, date) || (!t.empty() && !ParseCellTime(t, time)))
          Fail(LineNo, column, "se esperaba una fecha y hora (aaaa-mm-ddThh:mm:ss) y hay " + Shown(field));
        if (const std::string problem = TimeProblem(time.Hour, time.Minute, time.Second); !problem.empty())
          Fail(LineNo, column, "la hora de " + Shown(field) + " no existe: " + problem);
        Table.SetCells(2, row, ProgramTimeText(TStamp{0, 0, 0, time.Hour, time.Minute, time.Second}));
        dateColumn = column;
        dateText = field;
        dateNoun = "la fecha y hora ";
        hasTime = true;
        break;
      }
      case TColumn::Date:
        if (field.empty()) break;
        if (!ParseCellDate(field, date))
          Fail(LineNo, column, "se esperaba una fecha (aaaa-mm-dd o dd/mm/aaaa) y hay " + Shown(field));
        dateColumn = column;
        dateText = field;
        dateNoun = "la fecha ";
        break;
      case TColumn::Time:
        if (field.empty()) break;
        if (!ParseCellTime(field, time)) Fail(LineNo, column, "se esperaba una hora (hh:mm:ss) y hay " + Shown(field));
        if (const std::string problem = TimeProblem(time.Hour, time.Minute, time.Second); !problem.empty())
          Fail(LineNo, column, "la hora " + Shown(field) + " no existe: " + problem);
        Table.SetCells(2, row, ProgramTimeText(TStamp{0, 0, 0, time.Hour, time.Minute, time.Second}));
        hasTime = true;
        break;
      case TColumn::Unknown: break;
    }
  }
  if (!dateColumn) return;
  PutDate(row, date, dateColumn, dateNoun + Shown(dateText), hasTime ? &time : nullptr);
}
