#include "data/data_file_reader.h"

#include "data/dump_decoder.h"
#include "data/text_file_writer.h"

#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

namespace {

constexpr int kFields = 2 + Channels;  // date, time, 16 channels
constexpr std::string_view kBom = "\xEF\xBB\xBF";

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

// Control characters (but the tab) and broken UTF-8 mean this is no text
// file: a binary file is named as such at its first odd byte.
void CheckCharacters(std::string_view line, int lineNo) {
  for (size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t') Fail(lineNo, ColumnOf(line, i), "el archivo no es de texto (byte " + std::to_string(c) + ")");
      ++i;
      continue;
    }
    int more = c >= 0xF0 && c < 0xF5 ? 3 : c >= 0xE0 ? 2 : c >= 0xC2 && c < 0xE0 ? 1 : -1;
    if (more < 0 || i + more >= line.size() + (more > 0 ? 0 : 1)) more = -1;
    for (int k = 1; more > 0 && k <= more; ++k)
      if (i + k >= line.size() || (static_cast<unsigned char>(line[i + k]) & 0xC0) != 0x80) more = -1;
    if (more < 0) Fail(lineNo, ColumnOf(line, i), "el archivo no es texto UTF-8 (byte " + std::to_string(c) + ")");
    i += static_cast<size_t>(more) + 1;
  }
}

bool Blank(std::string_view line) {
  return line.find_first_not_of(" \t") == std::string_view::npos;
}

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

// The program's time "10:35:00" (any run of digits, as a damaged header
// makes them).
bool ProgramTimeShape(std::string_view s) { return ProgramDateShape(s, ':'); }

// A column name of the CSV header: what it holds.
enum class TColumn { Unknown, DateTime, Date, Time, Channel };

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

struct TDataFileParser::TState {
  std::int64_t SizeHint = 0;
  int LineNo = 0;
  bool Started = false;
  TDataFileKind Kind = TDataFileKind::Text;
  int BlankSince = 0;  // first of the blank lines met since the last record
  TDataTable Table{DataColumns, 1};
  int Records = 0;

  // The text file: which field holds the date and which the time, fixed by
  // the first record (the save writes columns in the order they were shown).
  int DateField = -1, TimeField = -1;

  // The CSV: its separator and what each column holds.
  char Separator = ',';
  std::vector<TColumn> Columns;
  std::vector<int> ColumnChannel;
  int UsedColumns = 0;
  std::vector<int> ChannelOrder;  // channels in the order the file has them

  std::vector<std::string_view> Fields;
  std::vector<size_t> Starts;
  std::string Unquoted;

  void First(std::string_view line);
  void TextRecord(std::string_view line);
  void CsvHeader(std::string_view line);
  void CsvRecord(std::string_view line);
  void SplitCsv(std::string_view line);
  void PutValue(int column, std::string_view field, std::string_view line, size_t start);
  int NewRow();
};

int TDataFileParser::TState::NewRow() {
  if (Records >= kMaxOpenRecords)
    Fail(LineNo, 1, "el archivo tiene más de " + std::to_string(kMaxOpenRecords) + " registros, más de los que el programa abre");
  return ++Records;
}

void TDataFileParser::TState::PutValue(int column, std::string_view field, std::string_view line, size_t start) {
  std::int64_t tenths;
  if (!ParseTenths(field, tenths))
    Fail(LineNo, ColumnOf(line, start),
         "se esperaba la temperatura de " + std::string(Table.Cells(column, 0)) + " con un decimal (como 25,0) y hay " +
             Shown(field));
  char buf[24];
  Table.SetCells(column, Records, std::string_view(buf, PutTenths(buf, tenths, ',') - buf));
}

void TDataFileParser::TState::First(std::string_view line) {
  if (line.substr(0, kBom.size()) == kBom) line.remove_prefix(kBom.size());
  const std::string_view header(TEXT_FILE_HEADER);
  if (TrimRight(line) == TrimRight(header)) {
    Kind = TDataFileKind::Text;
    return;
  }
  if (line.find_first_of(",;\t") != std::string_view::npos) {
    Kind = TDataFileKind::Csv;
    CsvHeader(line);
    return;
  }
  if (Blank(line)) Fail(LineNo, 1, "la primera línea está vacía; se esperaba la cabecera (FECHA  HORA  CH1 ...)");
  Fail(LineNo, 1,
       "no es un archivo de datos del programa: la primera línea debe ser la cabecera \"FECHA  HORA  CH1 ...\" del "
       "archivo de texto o la de un CSV exportado");
}

void TDataFileParser::TState::TextRecord(std::string_view line) {
  // Each field is followed by two blanks; none holds a blank. An editor may
  // have taken the blanks off the end of the line.
  std::array<std::string_view, kFields> field;
  std::array<size_t, kFields> start{};
  size_t at = 0;
  for (int f = 0; f < kFields; ++f) {
    if (at >= line.size() && f > 0)
      Fail(LineNo, ColumnOf(line, line.size()),
           "faltan datos: la línea tiene " + std::to_string(f) + " campos de los 18 (fecha, hora y 16 canales)");
    const size_t gap = line.find("  ", at);
    start[f] = at;
    if (gap == std::string_view::npos) {
      field[f] = line.substr(at);
      at = line.size() + 1;
    } else {
      field[f] = line.substr(at, gap - at);
      at = gap + 2;
    }
    const size_t odd = field[f].find_first_of(" \t");
    if (odd != std::string_view::npos)
      Fail(LineNo, ColumnOf(line, start[f] + odd), "los campos van separados por dos blancos; hay " + Shown(field[f]));
  }
  if (at < line.size() && !Blank(line.substr(at)))
    Fail(LineNo, ColumnOf(line, at + line.substr(at).find_first_not_of(" \t")),
         "sobran datos tras los 18 campos (fecha, hora y 16 canales)");

  if (DateField < 0) {
    // Where the grid showed the date and the time when it was saved. A
    // recording with no time stamps (an unknown rate) has them empty, first.
    for (int f = 0; f < kFields; ++f) {
      if (DateField < 0 && field[f].find('/') != std::string_view::npos) DateField = f;
      if (TimeField < 0 && f != DateField && field[f].find(':') != std::string_view::npos) TimeField = f;
    }
    for (int f = 0; f < kFields && (DateField < 0 || TimeField < 0); ++f) {
      if (!field[f].empty() || f == DateField || f == TimeField) continue;
      if (DateField < 0) DateField = f;
      else TimeField = f;
    }
    // Neither: the first fields are taken for them, and their checks below
    // say what is wrong there.
    if (DateField < 0) DateField = TimeField == 0 ? 1 : 0;
    if (TimeField < 0) TimeField = DateField == 0 ? 1 : 0;
  }

  const int row = NewRow();
  int channel = 0;
  for (int f = 0; f < kFields; ++f) {
    if (f == DateField) {
      if (!field[f].empty() && !ProgramDateShape(field[f], '/'))
        Fail(LineNo, ColumnOf(line, start[f]), "se esperaba una fecha (dd/mm/aaaa) y hay " + Shown(field[f]));
      Table.SetCells(1, row, field[f]);
    } else if (f == TimeField) {
      if (!field[f].empty() && !ProgramTimeShape(field[f]))
        Fail(LineNo, ColumnOf(line, start[f]), "se esperaba una hora (hh:mm:ss) y hay " + Shown(field[f]));
      Table.SetCells(2, row, field[f]);
    } else {
      PutValue(FirstValueColumn + channel++, field[f], line, start[f]);
    }
  }
}

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
      if (i < line.size() && line[i] != Separator)
        Fail(LineNo, ColumnOf(line, i), "texto tras las comillas de cierre");
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
      case TColumn::Channel:
        PutValue(FirstValueColumn + ColumnChannel[i] - 1, field, line, Starts[i]);
        break;
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
      case TColumn::Unknown:
        break;
    }
  }
}

TDataFileParser::TDataFileParser(std::int64_t sizeHint) : S_(std::make_unique<TState>()) {
  S_->SizeHint = sizeHint;
  // Captions first: the messages about a value name its channel.
  S_->Table.SetCells(1, 0, "FECHA:");
  S_->Table.SetCells(2, 0, "HORA:");
  for (int k = 1; k <= Channels; ++k) S_->Table.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  // One allocation for the whole table: a record takes at least 60 bytes in
  // either format, most take about 118.
  if (sizeHint > 0) S_->Table.StoreRows(static_cast<int>(std::min<std::int64_t>(sizeHint / 100 + 2, kMaxOpenRecords + 2)));
}

TDataFileParser::~TDataFileParser() = default;

void TDataFileParser::Line(std::string_view line) {
  TState &s = *S_;
  ++s.LineNo;
  if (static_cast<int>(line.size()) > kMaxLineLength)
    Fail(s.LineNo, kMaxLineLength + 1,
         "línea de más de " + std::to_string(kMaxLineLength) + " caracteres: no es un archivo de datos del programa");
  if (s.LineNo == 1 && line.substr(0, kBom.size()) == kBom) {
    CheckCharacters(line.substr(kBom.size()), s.LineNo);
  } else {
    CheckCharacters(line, s.LineNo);
  }
  if (!s.Started) {
    s.Started = true;
    s.First(line);
    return;
  }
  if (Blank(line)) {
    // The text file's second line is empty; blank lines at the end are
    // left by editors. Anywhere else one is a hole in the records.
    if (!s.BlankSince) s.BlankSince = s.LineNo;
    return;
  }
  const bool afterHeaderGap = s.Kind == TDataFileKind::Text && s.Records == 0 && s.BlankSince == 2;
  if (s.BlankSince && !afterHeaderGap) Fail(s.BlankSince, 1, "línea vacía entre los registros");
  s.BlankSince = 0;
  if (s.Kind == TDataFileKind::Text) s.TextRecord(line);
  else s.CsvRecord(line);
}

TOpenedData TDataFileParser::Finish() {
  TState &s = *S_;
  if (!s.Started) Fail(1, 1, "el archivo está vacío");
  TOpenedData out;
  out.Kind = s.Kind;
  out.Records = s.Records;
  s.Table.SetRowCount(s.Records + 1);
  char buf[16];
  for (int r = 1; r <= s.Records; ++r) {
    const int n = std::snprintf(buf, sizeof buf, "%d", r);
    s.Table.SetCells(0, r, std::string_view(buf, static_cast<size_t>(n)));
  }
  // The columns in the order the file has them: the save wrote them as the
  // grid showed them, and the grid shows them so again.
  out.ColumnOrder.assign(DataColumns, 0);
  for (int p = 0; p < DataColumns; ++p) out.ColumnOrder[p] = p;
  if (s.Kind == TDataFileKind::Text && s.DateField >= 0) {
    int channel = FirstValueColumn;
    for (int f = 0; f < kFields; ++f)
      out.ColumnOrder[f + 1] = f == s.DateField ? 1 : f == s.TimeField ? 2 : channel++;
  } else if (s.Kind == TDataFileKind::Csv) {
    for (int i = 0; i < Channels; ++i) out.ColumnOrder[FirstValueColumn + i] = FirstValueColumn + s.ChannelOrder[i] - 1;
  }
  out.Start = DeriveStart(s.Table, s.Records);
  out.Table = std::move(s.Table);
  return out;
}

TOpenedData ParseDataFile(std::string_view bytes) {
  TDataFileParser parser(static_cast<std::int64_t>(bytes.size()));
  // Lines end at CR LF, a lone LF or a lone CR; a last line without one
  // counts too.
  size_t at = 0;
  while (at < bytes.size()) {
    const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
    parser.Line(bytes.substr(at, end - at));
    if (end >= bytes.size()) break;
    at = end + 1;
    if (bytes[end] == '\r' && at < bytes.size() && bytes[at] == '\n') ++at;
  }
  return parser.Finish();
}

namespace {

std::string OpenFailure(int osCode) {
  switch (osCode) {
    case ENOENT:
    case ENOTDIR:
      return "el archivo no existe (¿se borró o se movió después de elegirlo?)";
    case EACCES:
    case EPERM:
      return "no hay permiso para leer el archivo";
    case EISDIR:
      return "es una carpeta, no un archivo";
    case ENAMETOOLONG:
      return "el nombre del archivo es demasiado largo";
    default:
      return "error de lectura " + std::to_string(osCode) + " (" + std::strerror(osCode) + ")";
  }
}

class TFileDescriptor {
public:
  explicit TFileDescriptor(int fd) : Fd_(fd) {}
  ~TFileDescriptor() {
    if (Fd_ >= 0) close(Fd_);
  }
  TFileDescriptor(const TFileDescriptor &) = delete;
  TFileDescriptor &operator=(const TFileDescriptor &) = delete;
  int Get() const { return Fd_; }

private:
  int Fd_;
};

}  // namespace

TOpenedData ReadDataFile(const std::string &path) {
  // Not blocking in open(): a FIFO would wait there for a writer.
  const int fd = open(path.c_str(), O_RDONLY | O_NONBLOCK | O_NOCTTY | O_CLOEXEC);
  if (fd < 0) Fail(0, 0, OpenFailure(errno));
  TFileDescriptor file(fd);
  struct stat st;
  if (fstat(fd, &st) != 0) Fail(0, 0, OpenFailure(errno));
  if (S_ISDIR(st.st_mode)) Fail(0, 0, OpenFailure(EISDIR));
  if (!S_ISREG(st.st_mode)) Fail(0, 0, "no es un archivo común (es un dispositivo, una tubería o un socket)");
  if (st.st_size > kMaxOpenBytes)
    Fail(0, 0,
         "el archivo mide " + std::to_string(st.st_size / (1024 * 1024)) + " MB; el programa abre archivos de hasta " +
             std::to_string(kMaxOpenBytes / (1024 * 1024)) + " MB (" + std::to_string(kMaxOpenRecords) + " registros)");

  TDataFileParser parser(st.st_size);
  std::string carry;  // a line that runs on into the next piece
  bool skipLf = false;
  std::int64_t total = 0;
  static constexpr size_t kPiece = 256 * 1024;
  std::unique_ptr<char[]> piece(new char[kPiece]);
  while (true) {
    const ssize_t got = read(fd, piece.get(), kPiece);
    if (got < 0) {
      if (errno == EINTR) continue;
      Fail(0, 0, OpenFailure(errno));
    }
    if (got == 0) break;
    // A file that grows while it is read is read no further than the limit.
    total += got;
    if (total > kMaxOpenBytes) Fail(0, 0, "el archivo creció mientras se leía y pasa del tamaño que el programa abre");
    const std::string_view bytes(piece.get(), static_cast<size_t>(got));
    size_t at = 0;
    if (skipLf && bytes[0] == '\n') at = 1;
    skipLf = false;
    while (at < bytes.size()) {
      const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
      if (end == bytes.size()) {
        carry.append(bytes.data() + at, end - at);
        // Bounded however long the line runs: the parser refuses it.
        if (static_cast<int>(carry.size()) > kMaxLineLength) parser.Line(carry);
        break;
      }
      if (carry.empty()) {
        parser.Line(bytes.substr(at, end - at));
      } else {
        carry.append(bytes.data() + at, end - at);
        parser.Line(carry);
        carry.clear();
      }
      at = end + 1;
      if (bytes[end] == '\r') {
        if (at < bytes.size()) {
          if (bytes[at] == '\n') ++at;
        } else {
          skipLf = true;
        }
      }
    }
  }
  if (!carry.empty()) parser.Line(carry);
  return parser.Finish();
}
