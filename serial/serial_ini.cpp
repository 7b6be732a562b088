#include "serial/serial_ini.h"

#include <algorithm>
#include <cctype>
#include <cerrno>
#include <climits>
#include <cstdlib>
#include <fstream>
#include <functional>
#include <sstream>

#ifdef _WIN32
#include "serial/win32_headers.h"

#include <cstdio>
#else
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>
#endif

const char kDefaultIniSection[] = "SerialPort1";

namespace {

std::string Trim(const std::string &s) {
  std::size_t b = 0, e = s.size();
  while (b < e && std::isspace(static_cast<unsigned char>(s[b]))) ++b;
  while (e > b && std::isspace(static_cast<unsigned char>(s[e - 1]))) --e;
  return s.substr(b, e - b);
}

bool SameText(const std::string &a, const std::string &b) {
  if (a.size() != b.size()) return false;
  for (std::size_t i = 0; i < a.size(); ++i)
    if (std::toupper(static_cast<unsigned char>(a[i])) != std::toupper(static_cast<unsigned char>(b[i]))) return false;
  return true;
}

// A whole decimal number (blanks around allowed) that fits 32 bits.
bool ParseInt32(const std::string &text, std::int32_t &out) {
  const std::string t = Trim(text);
  if (t.empty()) return false;
  errno = 0;
  char *end = nullptr;
  const long long v = std::strtoll(t.c_str(), &end, 10);
  if (errno == ERANGE || *end != '\0' || v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

// An integer key's value as the Windows reader takes it: blanks, a sign and
// digits, ending at the first character that is not one (so "1000 ms" and
// "12x" read 1000 and 12, as other programs of this family would load
// them). False when no digit starts it or it does not fit 32 bits.
bool ParseLeadingInt32(const std::string &text, std::int32_t &out) {
  std::size_t i = 0;
  while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '-' || text[i] == '+')) negative = text[i++] == '-';
  long long v = 0;
  std::size_t digits = 0;
  for (; i < text.size() && std::isdigit(static_cast<unsigned char>(text[i])); ++i, ++digits) {
    v = v * 10 + (text[i] - '0');
    if (v > static_cast<long long>(INT32_MAX) + 1) return false;
  }
  if (digits == 0) return false;
  if (negative) v = -v;
  if (v < INT32_MIN || v > INT32_MAX) return false;
  out = static_cast<std::int32_t>(v);
  return true;
}

#ifdef _WIN32

// The name itself: a save replaces what it names.
std::string FollowLinks(const std::string &fileName) { return fileName; }

// Reads the whole file; false with errno when it cannot be read.
bool ReadWholeFile(const std::string &fileName, std::string &text, int &err) {
  std::FILE *f = std::fopen(fileName.c_str(), "rb");
  if (!f) {
    err = errno;
    return false;
  }
  text.clear();
  char buf[4096];
  std::size_t n;
  while ((n = std::fread(buf, 1, sizeof buf, f)) > 0) text.append(buf, n);
  const bool failed = std::ferror(f) != 0;
  std::fclose(f);
  if (failed) err = EIO;
  return !failed;
}

// Writes text to fileName through a temporary beside it, so the old file
// stays whole until the new one is complete. Raises code 16 with the
// system's error number.
void ReplaceFile(const std::string &fileName, const std::string &text) {
  const std::string temp = fileName + ".tmp" + std::to_string(::GetCurrentProcessId());
  const HANDLE h =
      ::CreateFileA(temp.c_str(), GENERIC_WRITE, 0, nullptr, CREATE_ALWAYS, FILE_ATTRIBUTE_NORMAL, nullptr);
  if (h == INVALID_HANDLE_VALUE) throw ESerialPort(ecStoreFailed, static_cast<int>(::GetLastError()));
  auto fail = [&](DWORD err) {
    ::CloseHandle(h);
    ::DeleteFileA(temp.c_str());
    throw ESerialPort(ecStoreFailed, static_cast<int>(err));
  };
  std::size_t done = 0;
  while (done < text.size()) {
    DWORD n = 0;
    const DWORD chunk = static_cast<DWORD>(std::min<std::size_t>(text.size() - done, 1u << 20));
    if (!::WriteFile(h, text.data() + done, chunk, &n, nullptr)) fail(::GetLastError());
    done += n;
  }
  if (!::FlushFileBuffers(h)) fail(::GetLastError());
  ::CloseHandle(h);
  if (!::MoveFileExA(temp.c_str(), fileName.c_str(), MOVEFILE_REPLACE_EXISTING | MOVEFILE_WRITE_THROUGH)) {
    const DWORD err = ::GetLastError();
    ::DeleteFileA(temp.c_str());
    throw ESerialPort(ecStoreFailed, static_cast<int>(err));
  }
}

#else

// The file fileName names once its symbolic links are followed (a link to
// nothing names the file it would make): the save replaces that file and
// leaves the link a link, as an editor saving through it would. Raises code
// 16 for a link that cannot be read or a loop of them.
std::string FollowLinks(const std::string &fileName) {
  std::string path = fileName;
  for (int hops = 0; hops < 40; ++hops) {
    struct stat st {};
    if (::lstat(path.c_str(), &st) != 0 || !S_ISLNK(st.st_mode)) return path;
    std::string target(PATH_MAX, '\0');
    const ssize_t n = ::readlink(path.c_str(), &target[0], target.size());
    if (n < 0) throw ESerialPort(ecStoreFailed, errno);
    target.resize(static_cast<std::size_t>(n));
    // A relative target is relative to the folder of the link.
    if (target.empty() || target[0] != '/') {
      const std::size_t slash = path.rfind('/');
      target.insert(0, slash == std::string::npos ? std::string() : path.substr(0, slash + 1));
    }
    path = target;
  }
  throw ESerialPort(ecStoreFailed, ELOOP);
}

// Reads the whole file; false with errno when it cannot be read.
bool ReadWholeFile(const std::string &fileName, std::string &text, int &err) {
  const int fd = ::open(fileName.c_str(), O_RDONLY | O_CLOEXEC);
  if (fd < 0) {
    err = errno;
    return false;
  }
  text.clear();
  char buf[4096];
  for (;;) {
    const ssize_t n = ::read(fd, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) {
      err = errno;
      ::close(fd);
      return false;
    }
    if (n == 0) break;
    text.append(buf, static_cast<std::size_t>(n));
  }
  ::close(fd);
  return true;
}

// Writes text to fileName through a temporary beside it, so the old file
// stays whole until the new one is complete. Raises code 16.
void ReplaceFile(const std::string &fileName, const std::string &text) {
  std::string temp = fileName + ".XXXXXX";
  const int fd = ::mkstemp(&temp[0]);
  if (fd < 0) throw ESerialPort(ecStoreFailed, errno);
  auto fail = [&](int err) {
    ::close(fd);
    ::unlink(temp.c_str());
    throw ESerialPort(ecStoreFailed, err);
  };
  struct stat old {};
  const mode_t mode = ::stat(fileName.c_str(), &old) == 0 ? (old.st_mode & 07777) : 0644;
  if (::fchmod(fd, mode) != 0) fail(errno);
  std::size_t done = 0;
  while (done < text.size()) {
    const ssize_t n = ::write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) fail(errno);
    done += static_cast<std::size_t>(n);
  }
  if (::fsync(fd) != 0) fail(errno);
  if (::close(fd) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw ESerialPort(ecStoreFailed, err);
  }
  if (::rename(temp.c_str(), fileName.c_str()) != 0) {
    const int err = errno;
    ::unlink(temp.c_str());
    throw ESerialPort(ecStoreFailed, err);
  }
}

#endif

}  // namespace

// ---------------------------------------------------------------------------
// Value texts

std::string BoolToIniText(bool v) { return v ? "Yes" : "No"; }

bool IniTextToBool(const std::string &text) { return SameText(Trim(text), "YES"); }

std::string CharToIniText(char c) {
  const int code = static_cast<unsigned char>(c);
  // '#' itself must be coded too, or it would read back as "# and no number"
  // (0); bytes from 127 up are coded so the file stays plain text.
  if (code < 33 || code == '#' || code >= 127) return "#" + std::to_string(code);
  return std::string(1, c);
}

char IniTextToChar(const std::string &text) {
  if (text.empty()) return 0;
  if (text[0] != '#') return text[0];
  std::int32_t code = 0;
  if (!ParseInt32(text.substr(1), code) || code < 0 || code > 255) return 0;
  return static_cast<char>(static_cast<unsigned char>(code));
}

// ---------------------------------------------------------------------------
// The document

void TIniDocument::Parse(const std::string &text) {
  lines_.clear();
  // Editors on Windows often start a UTF-8 file with a byte-order mark; it
  // is no part of the first line, or "[SerialPort1]" there would be missed.
  static const char kBom[] = "\xEF\xBB\xBF";
  bom_ = text.compare(0, 3, kBom) == 0;
  std::size_t at = bom_ ? 3 : 0;
  // Lines end in CR LF, LF, or CR alone (old Mac files, and what some
  // editors still write).
  int crlf = 0, lf = 0, cr = 0;
  std::string firstEnd;
  while (at < text.size()) {
    const std::size_t end = text.find_first_of("\r\n", at);
    TLine line;
    std::size_t next;
    if (end == std::string::npos) {
      next = text.size();  // the last line, with no line end
    } else if (text[end] == '\r' && end + 1 < text.size() && text[end + 1] == '\n') {
      line.End = "\r\n";
      ++crlf;
      next = end + 2;
    } else if (text[end] == '\r') {
      line.End = "\r";
      ++cr;
      next = end + 1;
    } else {
      line.End = "\n";
      ++lf;
      next = end + 1;
    }
    const std::string raw = text.substr(at, (end == std::string::npos ? text.size() : end) - at);
    at = next;
    if (lines_.empty()) firstEnd = line.End;
    line.Raw = raw;
    const std::string t = Trim(raw);
    if (t.size() >= 2 && t.front() == '[' && t.back() == ']') {
      line.IsSection = true;
      line.Section = Trim(t.substr(1, t.size() - 2));
    } else if (!t.empty() && t[0] != ';' && t[0] != '#') {
      const std::size_t eq = t.find('=');
      if (eq != std::string::npos && eq > 0) {
        line.IsKey = true;
        line.Key = Trim(t.substr(0, eq));
        line.Value = Trim(t.substr(eq + 1));
      }
    }
    lines_.push_back(line);
  }
  // What a changed or new line ends with: what most lines of the file end
  // with, on a tie what the first one does.
  const int most = std::max({crlf, lf, cr});
  const int kinds = (crlf == most) + (lf == most) + (cr == most);
  if (most == 0) end_ = !firstEnd.empty() ? firstEnd : "\n";
  else if (kinds > 1 && !firstEnd.empty()) end_ = firstEnd;
  else end_ = crlf == most ? "\r\n" : lf == most ? "\n" : "\r";
}

std::string TIniDocument::Text() const {
  std::string out = bom_ ? "\xEF\xBB\xBF" : "";
  for (std::size_t i = 0; i < lines_.size(); ++i) {
    const TLine &line = lines_[i];
    out += line.Raw;
    // A line as read keeps its end, and the last one its lack of one, unless
    // lines now follow it.
    if (line.Built || (line.End.empty() && i + 1 < lines_.size())) out += end_;
    else out += line.End;
  }
  return out;
}

int TIniDocument::FindSection(const std::string &section) const {
  for (std::size_t i = 0; i < lines_.size(); ++i)
    if (lines_[i].IsSection && SameText(lines_[i].Section, section)) return static_cast<int>(i);
  return -1;
}

bool TIniDocument::HasSection(const std::string &section) const { return FindSection(section) >= 0; }

bool TIniDocument::Read(const std::string &section, const std::string &key, std::string &value) const {
  const int head = FindSection(section);
  if (head < 0) return false;
  for (std::size_t i = static_cast<std::size_t>(head) + 1; i < lines_.size() && !lines_[i].IsSection; ++i)
    if (lines_[i].IsKey && SameText(lines_[i].Key, key)) {
      value = lines_[i].Value;
      return true;
    }
  return false;
}

void TIniDocument::Write(const std::string &section, const std::string &key, const std::string &value) {
  TLine line;
  line.Built = true;
  line.IsKey = true;
  line.Key = key;
  line.Value = value;
  line.Raw = key + "=" + value;
  int head = FindSection(section);
  if (head < 0) {
    // A blank line between sections, as people write them.
    if (!lines_.empty() && !Trim(lines_.back().Raw).empty()) {
      TLine blank;
      blank.Built = true;
      lines_.push_back(blank);
    }
    TLine header;
    header.Built = true;
    header.IsSection = true;
    header.Section = section;
    header.Raw = "[" + section + "]";
    lines_.push_back(header);
    lines_.push_back(line);
    return;
  }
  std::size_t i = static_cast<std::size_t>(head) + 1;
  std::size_t lastKey = static_cast<std::size_t>(head);
  for (; i < lines_.size() && !lines_[i].IsSection; ++i) {
    if (lines_[i].IsKey && SameText(lines_[i].Key, key)) {
      if (lines_[i].Value == value) return;  // as it was: the line stays as it was written
      lines_[i].Value = value;
      lines_[i].Raw = lines_[i].Key + "=" + value;
      lines_[i].Built = true;
      return;
    }
    if (!Trim(lines_[i].Raw).empty()) lastKey = i;
  }
  lines_.insert(lines_.begin() + static_cast<std::ptrdiff_t>(lastKey + 1), line);
}

// ---------------------------------------------------------------------------
// Saving and loading

void SaveToIni(const TCustomSerialPort &port, const std::string &linkOrFile, const std::string &section) {
  const std::string fileName = FollowLinks(linkOrFile);
  TIniDocument doc;
  std::string text;
  int err = 0;
  if (ReadWholeFile(fileName, text, err)) doc.Parse(text);
  else if (err != ENOENT) throw ESerialPort(ecStoreFailed, err);  // there is a file, and we would lose it

  const TStoredGroups groups = port.StoredGroups();
  auto put = [&](const char *key, const std::string &value) { doc.Write(section, key, value); };
  auto putInt = [&](const char *key, std::int32_t value) { put(key, std::to_string(value)); };

  if (groups.Contains(sgBasic)) {
    put("Port", port.Port());
    put("BaudRate", BaudRateToText(port.BaudRate()));
    if (port.BaudRate() == brCustom) putInt("CustomBaudRate", port.CustomBaudRate());
    put("StopBits", StopBitsToText(port.StopBits()));
    put("DataBits", DataBitsToText(port.DataBits()));
    put("Parity", ParityToText(port.Parity().Bits()));
    put("FlowControl", FlowControlToText(port.FlowControl().FlowControl()));
  }
  if (groups.Contains(sgOther)) {
    put("EventChar", CharToIniText(port.EventChar()));
    put("DiscardNull", BoolToIniText(port.DiscardNull()));
  }
  if (groups.Contains(sgParity)) {
    put("Parity.Check", BoolToIniText(port.Parity().Check()));
    put("Parity.Replace", BoolToIniText(port.Parity().Replace()));
    put("Parity.ReplaceChar", CharToIniText(port.Parity().ReplaceChar()));
  }
  if (groups.Contains(sgBuffer)) {
    putInt("Buffer.OutputSize", port.Buffer().OutputSize());
    putInt("Buffer.InputSize", port.Buffer().InputSize());
  }
  if (groups.Contains(sgTimeouts)) {
    const TSerialTimeouts &t = port.Timeouts();
    putInt("Timeouts.ReadInterval", t.ReadInterval());
    putInt("Timeouts.ReadTotalConstant", t.ReadTotalConstant());
    putInt("Timeouts.ReadTotalMultiplier", t.ReadTotalMultiplier());
    putInt("Timeouts.WriteTotalConstant", t.WriteTotalConstant());
    putInt("Timeouts.WriteTotalMultiplier", t.WriteTotalMultiplier());
  }
  if (groups.Contains(sgFlow)) {
    const TSerialFlowControl &f = port.FlowControl();
    put("FlowControl.ControlRTS", RTSToText(f.ControlRTS()));
    put("FlowControl.ControlDTR", DTRToText(f.ControlDTR()));
    put("FlowControl.DSRSensitivity", BoolToIniText(f.DSRSensitivity()));
    put("FlowControl.OutCTSFlow", BoolToIniText(f.OutCTSFlow()));
    put("FlowControl.OutDSRFlow", BoolToIniText(f.OutDSRFlow()));
    put("FlowControl.TxContinueOnXoff", BoolToIniText(f.TxContinueOnXoff()));
    put("FlowControl.XonXoffIn", BoolToIniText(f.XonXoffIn()));
    put("FlowControl.XonXoffOut", BoolToIniText(f.XonXoffOut()));
    put("FlowControl.XoffChar", CharToIniText(f.XoffChar()));
    put("FlowControl.XonChar", CharToIniText(f.XonChar()));
  }
  ReplaceFile(fileName, doc.Text());
}

void LoadFromIni(TCustomSerialPort &port, const std::string &fileName, const std::string &section) {
  std::string text;
  int err = 0;
  if (!ReadWholeFile(fileName, text, err)) throw ESerialPort(ecLoadFailed, err);
  TIniDocument doc;
  doc.Parse(text);
  if (!doc.HasSection(section)) throw ESerialPort(ecLoadFailed, ENOENT);

  // Everything is read and checked first, then written in one bracket: a bad
  // number further down must not leave the port half loaded.
  std::vector<std::function<void()>> steps;
  const TStoredGroups groups = port.StoredGroups();
  auto text_of = [&](const char *key, const std::function<void(const std::string &)> &use) {
    std::string value;
    if (doc.Read(section, key, value)) steps.push_back([use, value] { use(value); });
  };
  auto int_of = [&](const char *key, const std::function<void(std::int32_t)> &use) {
    std::string value;
    if (!doc.Read(section, key, value)) return;
    std::int32_t n = 0;
    if (!ParseLeadingInt32(value, n)) throw ESerialPort(ecLoadFailed, EINVAL);
    steps.push_back([use, n] { use(n); });
  };
  TCustomSerialPort &p = port;

  if (groups.Contains(sgBasic)) {
    text_of("Port", [&p](const std::string &v) { p.SetPort(v); });
    text_of("BaudRate", [&p](const std::string &v) { p.SetBaudRate(TextToBaudRate(v)); });
    // The custom rate means something only for a custom baud rate; other
    // programs leave a stale or blank one behind, which must not stop a load.
    std::string baudText;
    const TBaudRate baud = doc.Read(section, "BaudRate", baudText) ? TextToBaudRate(baudText) : port.BaudRate();
    if (baud == brCustom) int_of("CustomBaudRate", [&p](std::int32_t v) { p.SetCustomBaudRate(v); });
    text_of("StopBits", [&p](const std::string &v) { p.SetStopBits(TextToStopBits(v)); });
    text_of("DataBits", [&p](const std::string &v) { p.SetDataBits(TextToDataBits(v)); });
    text_of("Parity", [&p](const std::string &v) { p.Parity().SetBits(TextToParity(v)); });
    text_of("FlowControl", [&p](const std::string &v) { p.FlowControl().SetFlowControl(TextToFlowControl(v)); });
  }
  if (groups.Contains(sgOther)) {
    text_of("EventChar", [&p](const std::string &v) { p.SetEventChar(IniTextToChar(v)); });
    text_of("DiscardNull", [&p](const std::string &v) { p.SetDiscardNull(IniTextToBool(v)); });
  }
  if (groups.Contains(sgParity)) {
    text_of("Parity.Check", [&p](const std::string &v) { p.Parity().SetCheck(IniTextToBool(v)); });
    text_of("Parity.Replace", [&p](const std::string &v) { p.Parity().SetReplace(IniTextToBool(v)); });
    text_of("Parity.ReplaceChar", [&p](const std::string &v) { p.Parity().SetReplaceChar(IniTextToChar(v)); });
  }
  if (groups.Contains(sgBuffer)) {
    int_of("Buffer.OutputSize", [&p](std::int32_t v) { p.Buffer().SetOutputSize(v); });
    int_of("Buffer.InputSize", [&p](std::int32_t v) { p.Buffer().SetInputSize(v); });
  }
  if (groups.Contains(sgTimeouts)) {
    int_of("Timeouts.ReadInterval", [&p](std::int32_t v) { p.Timeouts().SetReadInterval(v); });
    int_of("Timeouts.ReadTotalConstant", [&p](std::int32_t v) { p.Timeouts().SetReadTotalConstant(v); });
    int_of("Timeouts.ReadTotalMultiplier", [&p](std::int32_t v) { p.Timeouts().SetReadTotalMultiplier(v); });
    int_of("Timeouts.WriteTotalConstant", [&p](std::int32_t v) { p.Timeouts().SetWriteTotalConstant(v); });
    int_of("Timeouts.WriteTotalMultiplier", [&p](std::int32_t v) { p.Timeouts().SetWriteTotalMultiplier(v); });
  }
  if (groups.Contains(sgFlow)) {
    // After the preset of the basic group: the single fields are the finer
    // description and win.
    TSerialFlowControl &f = port.FlowControl();
    text_of("FlowControl.ControlRTS", [&f](const std::string &v) { f.SetControlRTS(TextToRTS(v)); });
    text_of("FlowControl.ControlDTR", [&f](const std::string &v) { f.SetControlDTR(TextToDTR(v)); });
    text_of("FlowControl.DSRSensitivity", [&f](const std::string &v) { f.SetDSRSensitivity(IniTextToBool(v)); });
    text_of("FlowControl.OutCTSFlow", [&f](const std::string &v) { f.SetOutCTSFlow(IniTextToBool(v)); });
    text_of("FlowControl.OutDSRFlow", [&f](const std::string &v) { f.SetOutDSRFlow(IniTextToBool(v)); });
    text_of("FlowControl.TxContinueOnXoff", [&f](const std::string &v) { f.SetTxContinueOnXoff(IniTextToBool(v)); });
    text_of("FlowControl.XonXoffIn", [&f](const std::string &v) { f.SetXonXoffIn(IniTextToBool(v)); });
    text_of("FlowControl.XonXoffOut", [&f](const std::string &v) { f.SetXonXoffOut(IniTextToBool(v)); });
    text_of("FlowControl.XoffChar", [&f](const std::string &v) { f.SetXoffChar(IniTextToChar(v)); });
    text_of("FlowControl.XonChar", [&f](const std::string &v) { f.SetXonChar(IniTextToChar(v)); });
  }

  port.ChangeSettings([&steps] {
    for (const auto &step : steps) step();
  });
}

void SaveToRegistry(const TCustomSerialPort &, const std::string &) { throw ESerialPort(ecStoreFailed, ENOSYS); }

void LoadFromRegistry(TCustomSerialPort &, const std::string &) { throw ESerialPort(ecLoadFailed, ENOSYS); }
