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
  if (SeparatorGiven || line.find_first_of(",;\t") != std::string_view::npos) {
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
      // The program writes its dates day first, always: the order is the
      // file's own, not a guess. A date that is no day of the calendar is
      // refused, whoever wrote it.
      const std::string_view d = field[f];
      if (!d.empty() && !ProgramDateShape(d, '/'))
        Fail(LineNo, ColumnOf(line, start[f]), "se esperaba una fecha (dd/mm/aaaa) y hay " + Shown(d));
      if (!d.empty()) {
        const size_t a = d.find('/'), b = d.find('/', a + 1);
        const std::string problem = DateProblem(DigitsValue(d.substr(0, a)), DigitsValue(d.substr(a + 1, b - a - 1)),
                                                DigitsValue(d.substr(b + 1)));
        if (!problem.empty()) Fail(LineNo, ColumnOf(line, start[f]), "la fecha " + Shown(d) + " no existe: " + problem);
      }
      Table.SetCells(1, row, d);
    } else if (f == TimeField) {
      const std::string_view t = field[f];
      if (!t.empty() && !ProgramTimeShape(t))
        Fail(LineNo, ColumnOf(line, start[f]), "se esperaba una hora (hh:mm:ss) y hay " + Shown(t));
      if (!t.empty()) {
        const size_t a = t.find(':'), b = t.find(':', a + 1);
        const std::string problem = TimeProblem(DigitsValue(t.substr(0, a)), DigitsValue(t.substr(a + 1, b - a - 1)),
                                                DigitsValue(t.substr(b + 1)));
        if (!problem.empty())
          Fail(LineNo, ColumnOf(line, start[f]),
               "la hora " + Shown(t) + " no existe (" + problem + "): cada registro lleva una fecha y hora reales");
      }
      Table.SetCells(2, row, t);
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
    // Excel's "sep=;" line before the header names the separator.
    std::string_view first = line;
    if (first.substr(0, kBom.size()) == kBom) first.remove_prefix(kBom.size());
    first = Trim(first);
    if (first.size() >= 2 && first.front() == '"' && first.back() == '"') first = first.substr(1, first.size() - 2);
    if (s.LineNo == 1 && first.size() == 5 && first.substr(0, 4) == "sep=" &&
        std::string_view(",;\t|").find(first[4]) != std::string_view::npos) {
      s.Separator = first[4];
      s.SeparatorGiven = true;
      return;
    }
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
  if (!s.Started) Fail(1, 1, s.SeparatorGiven ? "el archivo no tiene más que la línea sep=" : "el archivo está vacío");
  s.ResolveDateOrder();
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

namespace {

// What a file that is no text is, from its first bytes: a workbook is named
// as one, with what to do about it, rather than as "no text (byte 3)".
std::string ContainerKind(std::string_view head) {
  if (head.substr(0, 4) == std::string_view("PK\x03\x04", 4)) {
    // A ZIP: its first entry's name says whose. An OpenDocument file starts
    // with its "mimetype", an Office Open XML one with its parts.
    const size_t nameLength =
        head.size() >= 28 ? static_cast<unsigned char>(head[26]) | static_cast<unsigned char>(head[27]) << 8 : 0;
    const std::string_view name = head.size() >= 30 ? head.substr(30, nameLength) : std::string_view();
    if (name == "mimetype") {
      return head.find("opendocument.spreadsheet") != std::string_view::npos
                 ? "una hoja de cálculo de LibreOffice (ODS)"
                 : "un documento de LibreOffice";
    }
    return "un libro de Excel (XLSX)";
  }
  if (head.substr(0, 8) == std::string_view("\xD0\xCF\x11\xE0\xA1\xB1\x1A\xE1", 8))
    return "un libro de Excel antiguo (XLS)";
  return std::string();
}

}  // namespace

// Hands a file's bytes to the parser line by line, in pieces as they come:
// lines end at CR LF, a lone LF or a lone CR (also across pieces), a last
// line without one counts too. The first bytes say what the file is: a
// workbook is refused as such, UTF-16 text (with its byte-order mark, as a
// spreadsheet's "Unicode text" is saved) is turned into UTF-8 first.
class TDataFileFeeder {
public:
  explicit TDataFileFeeder(TDataFileParser &parser) : Parser_(parser) {}

  void Feed(std::string_view bytes) {
    if (!Decided_) {
      Head_.append(bytes.data(), bytes.size());
      if (Head_.size() < kHead) return;
      Decide();
      std::string head;
      head.swap(Head_);
      Take(head);
      return;
    }
    Take(bytes);
  }

  void End() {
    if (!Decided_) {
      Decide();
      std::string head;
      head.swap(Head_);
      Take(head);
    }
    if (HasOdd_ || High_) Fail(Lines_ + 1, 1, "el archivo UTF-16 termina a mitad de un carácter");
    if (!Carry_.empty()) Line(Carry_);
    Carry_.clear();
  }

private:
  static constexpr size_t kHead = 128;
  enum class TEncoding { Bytes, Utf16Le, Utf16Be };

  void Decide() {
    Decided_ = true;
    const std::string kind = ContainerKind(Head_);
    if (!kind.empty())
      Fail(0, 0,
           "es " + kind +
               ", no un archivo de texto. El programa exporta libros pero abre su archivo de texto o un CSV: abra el "
               "archivo del que salió el libro, o guarde el libro como CSV en la hoja de cálculo (Guardar como, "
               "tipo CSV) y abra ese CSV");
    if (Head_.size() >= 2 && Head_[0] == '\xFF' && Head_[1] == '\xFE') {
      Encoding_ = TEncoding::Utf16Le;
      Head_.erase(0, 2);
    } else if (Head_.size() >= 2 && Head_[0] == '\xFE' && Head_[1] == '\xFF') {
      Encoding_ = TEncoding::Utf16Be;
      Head_.erase(0, 2);
    }
  }

  void Take(std::string_view bytes) {
    if (Encoding_ == TEncoding::Bytes) {
      Split(bytes);
      return;
    }
    Decoded_.clear();
    for (char c : bytes) {
      if (!HasOdd_) {
        Odd_ = static_cast<unsigned char>(c);
        HasOdd_ = true;
        continue;
      }
      HasOdd_ = false;
      const unsigned b = static_cast<unsigned char>(c);
      const unsigned unit = Encoding_ == TEncoding::Utf16Le ? (b << 8 | Odd_) : (Odd_ << 8 | b);
      Unit(unit);
    }
    Split(Decoded_);
  }

  void Unit(unsigned unit) {
    unsigned code = unit;
    if (High_) {
      if (unit < 0xDC00 || unit > 0xDFFF) Fail(Lines_ + 1, 1, "el archivo UTF-16 tiene un carácter roto");
      code = 0x10000 + ((High_ - 0xD800) << 10) + (unit - 0xDC00);
      High_ = 0;
    } else if (unit >= 0xD800 && unit <= 0xDBFF) {
      High_ = unit;
      return;
    } else if (unit >= 0xDC00 && unit <= 0xDFFF) {
      Fail(Lines_ + 1, 1, "el archivo UTF-16 tiene un carácter roto");
    }
    if (code < 0x80) {
      Decoded_ += static_cast<char>(code);
    } else if (code < 0x800) {
      Decoded_ += static_cast<char>(0xC0 | code >> 6);
      Decoded_ += static_cast<char>(0x80 | (code & 0x3F));
    } else if (code < 0x10000) {
      Decoded_ += static_cast<char>(0xE0 | code >> 12);
      Decoded_ += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      Decoded_ += static_cast<char>(0x80 | (code & 0x3F));
    } else {
      Decoded_ += static_cast<char>(0xF0 | code >> 18);
      Decoded_ += static_cast<char>(0x80 | (code >> 12 & 0x3F));
      Decoded_ += static_cast<char>(0x80 | (code >> 6 & 0x3F));
      Decoded_ += static_cast<char>(0x80 | (code & 0x3F));
    }
  }

  void Line(std::string_view line) {
    ++Lines_;
    Parser_.Line(line);
  }

  void Split(std::string_view bytes) {
    size_t at = 0;
    if (SkipLf_ && !bytes.empty() && bytes[0] == '\n') at = 1;
    if (!bytes.empty()) SkipLf_ = false;
    while (at < bytes.size()) {
      const size_t end = std::min(bytes.find_first_of("\r\n", at), bytes.size());
      if (end == bytes.size()) {
        Carry_.append(bytes.data() + at, end - at);
        // Bounded however long the line runs: the parser refuses it.
        if (static_cast<int>(Carry_.size()) > kMaxLineLength) Parser_.Line(Carry_);
        break;
      }
      if (Carry_.empty()) {
        Line(bytes.substr(at, end - at));
      } else {
        Carry_.append(bytes.data() + at, end - at);
        Line(Carry_);
        Carry_.clear();
      }
      at = end + 1;
      if (bytes[end] == '\r') {
        if (at < bytes.size()) {
          if (bytes[at] == '\n') ++at;
        } else {
          SkipLf_ = true;
        }
      }
    }
  }

  TDataFileParser &Parser_;
  bool Decided_ = false;
  std::string Head_;
  TEncoding Encoding_ = TEncoding::Bytes;
  unsigned Odd_ = 0;
  bool HasOdd_ = false;
  unsigned High_ = 0;
  std::string Decoded_;
  std::string Carry_;
  bool SkipLf_ = false;
  int Lines_ = 0;
};

TOpenedData ParseDataFile(std::string_view bytes) {
  TDataFileParser parser(static_cast<std::int64_t>(bytes.size()));
  TDataFileFeeder feeder(parser);
  feeder.Feed(bytes);
  feeder.End();
  return parser.Finish();
}

namespace {

[[noreturn]] void FailOpen(int osCode) {
  switch (osCode) {
    case ENOENT:
    case ENOTDIR: throw EDataFileError("el archivo no existe", 0, 0, osCode);
    case EACCES:
    case EPERM: throw EDataFileError("no hay permiso para leer el archivo", 0, 0, osCode);
    case EISDIR: throw EDataFileError("es una carpeta, no un archivo", 0, 0, osCode);
    case ENAMETOOLONG: throw EDataFileError("el nombre del archivo es demasiado largo", 0, 0, osCode);
    default:
      throw EDataFileError("error de lectura " + std::to_string(osCode) + " (" + std::strerror(osCode) + ")", 0, 0,
                           osCode);
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
  if (fd < 0) FailOpen(errno);
  TFileDescriptor file(fd);
  struct stat st;
  if (fstat(fd, &st) != 0) FailOpen(errno);
  if (S_ISDIR(st.st_mode)) FailOpen(EISDIR);
  if (!S_ISREG(st.st_mode)) Fail(0, 0, "no es un archivo común (es un dispositivo, una tubería o un socket)");
  if (st.st_size > kMaxOpenBytes)
    Fail(0, 0,
         "el archivo mide " + std::to_string(st.st_size / (1024 * 1024)) + " MB; el programa abre archivos de hasta " +
             std::to_string(kMaxOpenBytes / (1024 * 1024)) + " MB (" + std::to_string(kMaxOpenRecords) + " registros)");

  TDataFileParser parser(st.st_size);
  TDataFileFeeder feeder(parser);
  std::int64_t total = 0;
  static constexpr size_t kPiece = 256 * 1024;
  std::unique_ptr<char[]> piece(new char[kPiece]);
  while (true) {
    const ssize_t got = read(fd, piece.get(), kPiece);
    if (got < 0) {
      if (errno == EINTR) continue;
      FailOpen(errno);
    }
    if (got == 0) break;
    // A file that grows while it is read is read no further than the limit.
    total += got;
    if (total > kMaxOpenBytes) Fail(0, 0, "el archivo creció mientras se leía y pasa del tamaño que el programa abre");
    feeder.Feed(std::string_view(piece.get(), static_cast<size_t>(got)));
  }
  feeder.End();
  return parser.Finish();
}
