// The data file parser's frame: a line at a time, the first one saying
// which kind of file this is, the text file's records, and the result once
// every line has read; with its two readers, of a file's bytes and of a file
// on disk. The CSV's records are read in data_file_reader_csv.cpp, the
// fields checked in data_file_reader_fields.cpp.

#include "data/data_file_reader.h"
#include "data/data_file_reader_state.h"

#include "data/dump_decoder.h"
#include "data/text_file_writer.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#include <algorithm>
#include <array>
#include <cerrno>
#include <cstdio>
#include <cstring>

using namespace data_file_reader;

namespace {

constexpr int kFields = 2 + Channels;  // date, time, 16 channels
constexpr std::string_view kBom = "\xEF\xBB\xBF";

// Control characters (but the tab) and broken UTF-8 mean this is no text
// file: a binary file is named as such at its first odd byte.
void CheckCharacters(std::string_view line, int lineNo) {
  for (size_t i = 0; i < line.size();) {
    const unsigned char c = static_cast<unsigned char>(line[i]);
    if (c < 0x80) {
      if (c < 0x20 && c != '\t')
        Fail(lineNo, ColumnOf(line, i), "el archivo no es de texto (byte " + std::to_string(c) + ")");
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

}  // namespace

int TDataFileParser::TState::NewRow() {
  if (Records >= kMaxOpenRecords)
    Fail(LineNo, 1,
         "el archivo tiene más de " + std::to_string(kMaxOpenRecords) + " registros, más de los que el programa abre");
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

TDataFileParser::TDataFileParser(std::int64_t sizeHint) : S_(std::make_unique<TState>()) {
  S_->SizeHint = sizeHint;
  // Captions first: the messages about a value name its channel.
  S_->Table.SetCells(1, 0, "FECHA:");
  S_->Table.SetCells(2, 0, "HORA:");
  for (int k = 1; k <= Channels; ++k) S_->Table.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  // One allocation for the whole table: a record takes at least 60 bytes in
  // either format, most take about 118.
  if (sizeHint > 0)
    S_->Table.StoreRows(static_cast<int>(std::min<std::int64_t>(sizeHint / 100 + 2, kMaxOpenRecords + 2)));
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
    for (int f = 0; f < kFields; ++f) out.ColumnOrder[f + 1] = f == s.DateField ? 1 : f == s.TimeField ? 2 : channel++;
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
    case ENOTDIR: return "el archivo no existe (¿se borró o se movió después de elegirlo?)";
    case EACCES:
    case EPERM: return "no hay permiso para leer el archivo";
    case EISDIR: return "es una carpeta, no un archivo";
    case ENAMETOOLONG: return "el nombre del archivo es demasiado largo";
    default: return "error de lectura " + std::to_string(osCode) + " (" + std::strerror(osCode) + ")";
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
