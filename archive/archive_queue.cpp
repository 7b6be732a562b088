#include "archive/archive_queue.h"

#include "archive/archive_address.h"
#include "archive/archive_error.h"

#include <QByteArray>

#include <dirent.h>
#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cerrno>
#include <chrono>
#include <cinttypes>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <utility>

namespace {

// Jobs of live readings carry each reading's PC time as a last cell, and
// say so in their first line; every other job is written as it always was,
// so that an older program still reads it.
constexpr const char *kMagic = "talvex-cola 1";
constexpr const char *kMagicWithPcTimes = "talvex-cola 2";
constexpr const char *kJobSuffix = ".trabajo";
constexpr const char *kSetAsideFolder = "apartados";

// A temporary file this old was left by a program killed while writing it:
// never a job (the rename makes one), so it goes.
constexpr auto kStaleTemporary = std::chrono::hours(1);

std::string OsText(int error) { return std::strerror(error); }

// The file's last line seals everything before it: a file cut short, or
// changed by anything but this program, does not read as a job.
std::uint64_t Seal(const char *data, size_t size) {
  std::uint64_t h = 14695981039346656037ULL;
  for (size_t i = 0; i < size; ++i) {
    h ^= static_cast<unsigned char>(data[i]);
    h *= 1099511628211ULL;
  }
  return h;
}

// Names and paths may hold blanks and line ends; a field is one token.
std::string Field(const std::string &text) {
  return "=" + QByteArray::fromStdString(text).toPercentEncoding().toStdString();
}

const char *KindWord(TOriginKind kind) {
  switch (kind) {
    case TOriginKind::Download: return "descarga";
    case TOriginKind::FileImport: return "archivo";
    case TOriginKind::Live: return "en_vivo";
  }
  return "descarga";
}

[[noreturn]] void Bad(const std::string &why) { throw EArchiveError(why); }

// Reads the job's text line by line, refusing what it does not expect.
class TJobReader {
public:
  explicit TJobReader(const std::string &text) : text_(text) {}

  std::string Line(const char *what) {
    const size_t end = text_.find('\n', at_);
    if (end == std::string::npos) Bad("termina antes de " + std::string(what));
    std::string line = text_.substr(at_, end - at_);
    at_ = end + 1;
    ++line_;
    return line;
  }

  // "key =value": the value decoded.
  std::string Keyed(const char *key) {
    const std::string line = Line(key);
    const std::string head = std::string(key) + " =";
    if (line.compare(0, head.size(), head) != 0) Bad(Where() + "no es \"" + key + "\"");
    return QByteArray::fromPercentEncoding(QByteArray::fromStdString(line.substr(head.size()))).toStdString();
  }

  std::string Where() const { return "la línea " + std::to_string(line_) + " "; }
  size_t At() const { return at_; }

private:
  const std::string &text_;
  size_t at_ = 0;
  int line_ = 0;
};

bool ParseInteger(const std::string &text, long long &out) {
  if (text.empty()) return false;
  errno = 0;
  char *end = nullptr;
  out = std::strtoll(text.c_str(), &end, 10);
  return errno == 0 && end == text.c_str() + text.size();
}

std::vector<std::string> Split(const std::string &line) {
  std::vector<std::string> out;
  size_t at = 0;
  while (at <= line.size()) {
    const size_t end = std::min(line.find(' ', at), line.size());
    out.push_back(line.substr(at, end - at));
    at = end + 1;
  }
  return out;
}

// 0, or the system's error.
int WriteAll(int fd, const std::string &bytes) {
  size_t done = 0;
  while (done < bytes.size()) {
    const ssize_t n = ::write(fd, bytes.data() + done, bytes.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return errno;
    done += static_cast<size_t>(n);
  }
  return 0;
}

void SyncFolder(const std::string &folder) {
  const int fd = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (fd < 0) return;
  ::fsync(fd);
  ::close(fd);
}

bool MakeFolders(const std::string &path) {
  std::string made;
  size_t at = 0;
  while (at != std::string::npos) {
    at = path.find('/', at + 1);
    made = path.substr(0, at);
    if (made.empty()) continue;
    if (::mkdir(made.c_str(), 0700) != 0 && errno != EEXIST) return false;
  }
  struct stat st {};
  return ::stat(path.c_str(), &st) == 0 && S_ISDIR(st.st_mode);
}

bool EndsWith(const std::string &text, const std::string &end) {
  return text.size() >= end.size() && text.compare(text.size() - end.size(), end.size(), end) == 0;
}

// A job may be stored by another program started elsewhere: a file named
// from the current folder is named from the root.
std::string AbsoluteAddress(const std::string &address) {
  if (address.empty()) return address;
  TArchiveAddress parsed;
  try {
    parsed = ParseArchiveAddress(address);
  } catch (const EArchiveError &) {
    return address;  // refused with its reason when it is stored
  }
  if (parsed.Engine != TArchiveEngine::SQLite || parsed.Path[0] == '/') return address;
  char here[4096];
  if (!::getcwd(here, sizeof here)) return address;
  return "sqlite:" + std::string(here) + "/" + parsed.Path;
}

}  // namespace

std::string EncodeArchiveJob(const TArchiveJob &job) {
  std::string out;
  out.reserve(128 + job.Records.size() * 100);
  const bool pcTimes =
      std::any_of(job.Records.begin(), job.Records.end(), [](const TArchiveRecord &r) { return r.PcTimeUtc != 0; });
  out += pcTimes ? kMagicWithPcTimes : kMagic;
  out += "\narchivo " + Field(job.Archive);
  out += "\nregistrador " + Field(job.Logger);
  out += "\npuerto " + Field(job.Port);
  out += "\norigen " + Field(KindWord(job.Origin.Kind));
  out += "\nhora_pc " + Field(std::to_string(job.Origin.PcTimeUtc));
  out += "\nnombre_archivo " + Field(job.Origin.FileName);
  out += "\nregistros " + Field(std::to_string(job.Records.size()));
  out += '\n';
  char buf[32];
  for (const TArchiveRecord &r : job.Records) {
    out += IsoText(r.Instant);
    for (const std::optional<std::int32_t> &v : r.Values) {
      if (v) {
        std::snprintf(buf, sizeof buf, " %" PRId32, *v);
        out += buf;
      } else {
        out += " -";
      }
    }
    if (pcTimes) {
      std::snprintf(buf, sizeof buf, " %" PRId64, r.PcTimeUtc);
      out += buf;
    }
    out += '\n';
  }
  std::snprintf(buf, sizeof buf, "fin %016" PRIx64 "\n", Seal(out.data(), out.size()));
  out += buf;
  return out;
}

TArchiveJob DecodeArchiveJob(const std::string &text) {
  TJobReader in(text);
  const std::string magic = in.Line("su cabecera");
  const bool pcTimes = magic == kMagicWithPcTimes;
  if (magic != kMagic && !pcTimes) Bad("no empieza como un trabajo de la cola");
  const size_t cellCount = pcTimes ? 18 : 17;
  TArchiveJob job;
  job.Archive = in.Keyed("archivo");
  job.Logger = in.Keyed("registrador");
  job.Port = in.Keyed("puerto");
  const std::string kind = in.Keyed("origen");
  if (kind == "descarga") {
    job.Origin.Kind = TOriginKind::Download;
  } else if (kind == "archivo") {
    job.Origin.Kind = TOriginKind::FileImport;
  } else if (kind == "en_vivo") {
    job.Origin.Kind = TOriginKind::Live;
  } else {
    Bad(in.Where() + "trae un origen desconocido \"" + kind + "\"");
  }
  long long number = 0;
  if (!ParseInteger(in.Keyed("hora_pc"), number)) Bad(in.Where() + "no trae una hora");
  job.Origin.PcTimeUtc = number;
  job.Origin.FileName = in.Keyed("nombre_archivo");
  long long count = 0;
  if (!ParseInteger(in.Keyed("registros"), count) || count < 0) Bad(in.Where() + "no trae la cuenta de registros");
  // The count comes from the file: reserve no more than it could hold.
  job.Records.reserve(static_cast<size_t>(std::min<long long>(count, static_cast<long long>(text.size() / 20))));
  for (long long i = 0; i < count; ++i) {
    const std::vector<std::string> cells = Split(in.Line("su último registro"));
    TArchiveRecord r;
    if (cells.size() != cellCount ||
        std::sscanf(cells[0].c_str(), "%d-%d-%dT%d:%d:%d", &r.Instant.Year, &r.Instant.Month, &r.Instant.Day,
                    &r.Instant.Hour, &r.Instant.Minute, &r.Instant.Second) != 6 ||
        !ValidStamp(r.Instant) || IsoText(r.Instant) != cells[0]) {
      Bad(in.Where() + "no es un registro");
    }
    for (size_t k = 0; k < 16; ++k) {
      const std::string &cell = cells[k + 1];
      if (cell == "-") continue;
      if (!ParseInteger(cell, number) || number < INT32_MIN || number > INT32_MAX)
        Bad(in.Where() + "trae un valor que no es una temperatura");
      r.Values[k] = static_cast<std::int32_t>(number);
    }
    if (pcTimes) {
      if (!ParseInteger(cells[17], number) || number < 0) Bad(in.Where() + "no trae la hora del PC de la lectura");
      r.PcTimeUtc = number;
    }
    job.Records.push_back(r);
  }
  const size_t sealed = in.At();
  const std::string end = in.Line("su marca de fin");
  char expected[32];
  std::snprintf(expected, sizeof expected, "fin %016" PRIx64, Seal(text.data(), sealed));
  if (end != expected) Bad("su marca de fin no cuadra con lo que trae (se cortó o se cambió)");
  if (in.At() != text.size()) Bad("sigue después de su marca de fin");
  return job;
}

std::string ArchiveJobLogger(TArchive &archive, const TArchiveJob &job) {
  if (!job.Logger.empty()) return job.Logger;
  if (std::optional<std::string> known = archive.LoggerOnPort(job.Port)) return *known;
  return job.Port;
}

std::string DefaultArchiveQueueFolder() {
  // Only an absolute path counts, as for every XDG folder.
  const char *state = std::getenv("XDG_STATE_HOME");
  std::string base;
  if (state && state[0] == '/') {
    base = state;
  } else {
    const char *home = std::getenv("HOME");
    if (!home || home[0] != '/')
      throw EArchiveError("No se encuentra la carpeta del usuario para la cola del archivo.");
    base = std::string(home) + "/.local/state";
  }
  return base + "/talvex/cola";
}

TArchiveQueue::TArchiveQueue(std::string folder) : folder_(std::move(folder)) {}

std::string TArchiveQueue::PathOf(const std::string &id) const { return folder_ + "/" + id; }

std::string TArchiveQueue::Put(const TArchiveJob &job) {
  if (job.Logger.empty() && job.Port.empty())
    throw EArchiveError("El trabajo para el archivo histórico no trae ni el nombre del registrador ni su puerto.");
  for (size_t i = 0; i < job.Records.size(); ++i) {
    if (!ValidStamp(job.Records[i].Instant))
      throw EArchiveError("El registro " + std::to_string(i + 1) +
                          " no tiene una fecha y hora reales: no se puede guardar en el archivo histórico.");
  }
  const std::string failed = "No se pudo dejar la descarga en la cola \"" + folder_ + "\" del archivo histórico: ";
  if (!MakeFolders(folder_)) throw EArchiveError(failed + OsText(errno) + ".");

  // Ids sort in the order the jobs came, across programs too: the archive
  // must see downloads in their order to number the versions of an instant.
  static std::atomic<unsigned> counter{0};
  const auto now =
      std::chrono::duration_cast<std::chrono::milliseconds>(std::chrono::system_clock::now().time_since_epoch())
          .count();
  char name[96];
  std::snprintf(name, sizeof name, "%014lld-%08d-%06u%s", static_cast<long long>(now), static_cast<int>(::getpid()),
                counter.fetch_add(1) % 1000000U, kJobSuffix);
  std::string id = name;
  const std::string temporary = folder_ + "/." + id + ".tmp";
  TArchiveJob kept = job;
  kept.Archive = AbsoluteAddress(job.Archive);
  const std::string bytes = EncodeArchiveJob(kept);
  // It may hold the archive's address with its password: the user's alone.
  const int fd = ::open(temporary.c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
  if (fd < 0) throw EArchiveError(failed + OsText(errno) + ".");
  int error = WriteAll(fd, bytes);
  if (error == 0 && ::fsync(fd) != 0) error = errno;
  if (::close(fd) != 0 && error == 0) error = errno;
  if (error != 0) {
    ::unlink(temporary.c_str());
    throw EArchiveError(failed + OsText(error) + ".");
  }
  if (::rename(temporary.c_str(), PathOf(id).c_str()) != 0) {
    const int error = errno;
    ::unlink(temporary.c_str());
    throw EArchiveError(failed + OsText(error) + ".");
  }
  SyncFolder(folder_);
  return id;
}

std::vector<std::string> TArchiveQueue::Pending() const {
  std::vector<std::string> ids;
  DIR *dir = ::opendir(folder_.c_str());
  if (!dir) return ids;
  const auto now = std::chrono::system_clock::now();
  while (const dirent *entry = ::readdir(dir)) {
    const std::string name = entry->d_name;
    if (name.empty()) continue;
    if (name[0] == '.') {
      if (!EndsWith(name, ".tmp")) continue;
      struct stat st {};
      const std::string path = PathOf(name);
      if (::stat(path.c_str(), &st) == 0 && now - std::chrono::system_clock::from_time_t(st.st_mtime) > kStaleTemporary)
        ::unlink(path.c_str());
      continue;
    }
    if (EndsWith(name, kJobSuffix)) ids.push_back(name);
  }
  ::closedir(dir);
  std::sort(ids.begin(), ids.end());
  return ids;
}

TArchiveQueue::TClaim::TClaim(TClaim &&other) noexcept
    : id_(std::move(other.id_)), text_(std::move(other.text_)), fd_(std::exchange(other.fd_, -1)) {}

TArchiveQueue::TClaim &TArchiveQueue::TClaim::operator=(TClaim &&other) noexcept {
  if (this != &other) {
    if (fd_ >= 0) ::close(fd_);
    id_ = std::move(other.id_);
    text_ = std::move(other.text_);
    fd_ = std::exchange(other.fd_, -1);
  }
  return *this;
}

TArchiveQueue::TClaim::~TClaim() {
  if (fd_ >= 0) ::close(fd_);
}

std::optional<TArchiveQueue::TClaim> TArchiveQueue::Claim(const std::string &id, bool wait) const {
  const std::string path = PathOf(id);
  TClaim claim;
  claim.id_ = id;
  claim.fd_ = ::open(path.c_str(), O_RDONLY | O_CLOEXEC);
  if (claim.fd_ < 0) {
    if (errno == ENOENT) return std::nullopt;
    throw EArchiveError("No se puede leer \"" + path + "\" de la cola del archivo histórico: " + OsText(errno) + ".");
  }
  while (::flock(claim.fd_, LOCK_EX | (wait ? 0 : LOCK_NB)) != 0) {
    if (errno == EINTR) continue;
    if (errno == EWOULDBLOCK) return std::nullopt;
    throw EArchiveError("No se puede leer \"" + path + "\" de la cola del archivo histórico: " + OsText(errno) + ".");
  }
  // Another program may have stored it and removed it while this one waited
  // for the lock: then the file opened is no longer the queue's.
  struct stat held {
  }, now{};
  if (::fstat(claim.fd_, &held) != 0 || ::stat(path.c_str(), &now) != 0 || held.st_ino != now.st_ino ||
      held.st_dev != now.st_dev)
    return std::nullopt;
  char buf[65536];
  for (;;) {
    const ssize_t n = ::read(claim.fd_, buf, sizeof buf);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0)
      throw EArchiveError("No se puede leer \"" + path + "\" de la cola del archivo histórico: " + OsText(errno) + ".");
    if (n == 0) break;
    claim.text_.append(buf, static_cast<size_t>(n));
  }
  return claim;
}

void TArchiveQueue::Done(TClaim &claim) const {
  // Removed while still locked, so nobody takes it between.
  if (::unlink(PathOf(claim.id_).c_str()) != 0 && errno != ENOENT) {
    throw EArchiveError("No se pudo quitar \"" + PathOf(claim.id_) +
                        "\" de la cola del archivo histórico: " + OsText(errno) + ".");
  }
  SyncFolder(folder_);
  ::close(std::exchange(claim.fd_, -1));
}

std::string TArchiveQueue::SetAside(TClaim &claim) const {
  const std::string folder = folder_ + "/" + kSetAsideFolder;
  std::string to = folder + "/" + claim.id_;
  if (!MakeFolders(folder) || ::rename(PathOf(claim.id_).c_str(), to.c_str()) != 0) {
    throw EArchiveError("No se pudo apartar \"" + PathOf(claim.id_) +
                        "\" de la cola del archivo histórico: " + OsText(errno) + ".");
  }
  SyncFolder(folder_);
  ::close(std::exchange(claim.fd_, -1));
  return to;
}
