#include "data/xlsx_zip.h"

#include "runtime/exceptions.h"

#include <zlib.h>

#include <cstring>
#include <limits>

namespace {

std::uint32_t Le(std::string_view b, size_t at, int bytes) {
  if (at + static_cast<size_t>(bytes) > b.size()) throw Exception("El libro XLSX está incompleto.");
  std::uint32_t v = 0;
  for (int i = bytes - 1; i >= 0; --i) v = (v << 8) | static_cast<unsigned char>(b[at + static_cast<size_t>(i)]);
  return v;
}

void PutLe(std::string &out, std::uint32_t v, int bytes) {
  for (int i = 0; i < bytes; ++i) out += static_cast<char>((v >> (8 * i)) & 0xFF);
}

constexpr std::uint32_t kLocalMark = 0x04034b50, kCentralMark = 0x02014b50, kEndMark = 0x06054b50;

}  // namespace

std::vector<TZipEntry> ReadZipEntries(std::string_view b) {
  // The end record is the last thing in a file without a comment.
  if (b.size() < 22) throw Exception("El libro XLSX está incompleto.");
  size_t end = b.size() - 22;
  while (Le(b, end, 4) != kEndMark) {
    if (end == 0 || b.size() - end > 22 + 65535) throw Exception("El libro XLSX no es un archivo zip.");
    --end;
  }
  const std::uint32_t count = Le(b, end + 10, 2);
  size_t at = Le(b, end + 16, 4);
  std::vector<TZipEntry> entries;
  for (std::uint32_t i = 0; i < count; ++i) {
    if (Le(b, at, 4) != kCentralMark) throw Exception("El directorio del libro XLSX está dañado.");
    TZipEntry e;
    e.Method = static_cast<std::uint16_t>(Le(b, at + 10, 2));
    e.Time = static_cast<std::uint16_t>(Le(b, at + 12, 2));
    e.Date = static_cast<std::uint16_t>(Le(b, at + 14, 2));
    e.Crc = Le(b, at + 16, 4);
    const std::uint32_t packed = Le(b, at + 20, 4);
    e.Size = Le(b, at + 24, 4);
    const std::uint32_t nameLength = Le(b, at + 28, 2), extra = Le(b, at + 30, 2), comment = Le(b, at + 32, 2);
    const std::uint32_t local = Le(b, at + 42, 4);
    if (at + 46 + nameLength > b.size()) throw Exception("El directorio del libro XLSX está dañado.");
    e.Name = std::string(b.substr(at + 46, nameLength));
    if (Le(b, local, 4) != kLocalMark) throw Exception("El libro XLSX está dañado.");
    const size_t data = local + 30 + Le(b, local + 26, 2) + Le(b, local + 28, 2);
    if (data + packed > b.size()) throw Exception("El libro XLSX está incompleto.");
    e.Packed = b.substr(data, packed);
    entries.push_back(e);
    at += 46 + nameLength + extra + comment;
  }
  return entries;
}

std::string InflateEntry(const TZipEntry &e) {
  if (e.Method == 0) return std::string(e.Packed);
  std::string out(e.Size, '\0');
  z_stream z{};
  if (inflateInit2(&z, -MAX_WBITS) != Z_OK) throw Exception("No se pudo leer el libro XLSX.");
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(e.Packed.data()));
  z.avail_in = static_cast<uInt>(e.Packed.size());
  z.next_out = reinterpret_cast<Bytef *>(out.data());
  z.avail_out = static_cast<uInt>(out.size());
  const int result = inflate(&z, Z_FINISH);
  inflateEnd(&z);
  if (result != Z_STREAM_END || z.total_out != e.Size) throw Exception("No se pudo leer el libro XLSX.");
  return out;
}

struct TDeflater::TState {
  z_stream Z{};
};

TDeflater::TDeflater(int level) : Crc(static_cast<std::uint32_t>(crc32(0, nullptr, 0))), S_(new TState) {
  if (deflateInit2(&S_->Z, level, Z_DEFLATED, -MAX_WBITS, 8, Z_DEFAULT_STRATEGY) != Z_OK) {
    delete S_;
    throw Exception("No se pudo comprimir el libro XLSX.");
  }
}

TDeflater::~TDeflater() {
  deflateEnd(&S_->Z);
  delete S_;
}

void TDeflater::Run(int flush) {
  z_stream &z = S_->Z;
  do {
    // Room for what comes out, in steps: the output is the largest thing
    // held, so it grows as the input does, never to a guess.
    const size_t room = 1 << 16;
    const size_t had = Out.size();
    Out.resize(had + room);
    z.next_out = reinterpret_cast<Bytef *>(Out.data() + had);
    z.avail_out = static_cast<uInt>(room);
    const int result = deflate(&z, flush);
    Out.resize(had + room - z.avail_out);
    if (result == Z_STREAM_ERROR) throw Exception("No se pudo comprimir el libro XLSX.");
    if (z.avail_out != 0 && z.avail_in == 0) break;
  } while (true);
}

void TDeflater::Add(std::string_view data) {
  z_stream &z = S_->Z;
  Crc = static_cast<std::uint32_t>(
      crc32(Crc, reinterpret_cast<const Bytef *>(data.data()), static_cast<uInt>(data.size())));
  Size += data.size();
  z.next_in = reinterpret_cast<Bytef *>(const_cast<char *>(data.data()));
  z.avail_in = static_cast<uInt>(data.size());
  Run(Z_NO_FLUSH);
}

void TDeflater::Finish(bool last) {
  S_->Z.avail_in = 0;
  Run(last ? Z_FINISH : Z_SYNC_FLUSH);
}

namespace {
constexpr size_t kMostWaiting = 4;
}  // namespace

TDeflaterThread::TDeflaterThread(int level) : Deflater_(level), Thread_([this] { Work(); }) {}

TDeflaterThread::~TDeflaterThread() { Stop(); }

void TDeflaterThread::Stop() {
  {
    std::lock_guard<std::mutex> hold(Lock_);
    Ending_ = true;
    Waiting_.clear();
  }
  Changed_.notify_all();
  if (Thread_.joinable()) Thread_.join();
}

void TDeflaterThread::Work() {
  std::unique_lock<std::mutex> hold(Lock_);
  while (true) {
    Changed_.wait(hold, [this] { return !Waiting_.empty() || Ending_; });
    if (Waiting_.empty()) return;
    std::string piece = std::move(Waiting_.front());
    Waiting_.pop_front();
    Busy_ = true;
    hold.unlock();
    Changed_.notify_all();
    std::exception_ptr failure;
    try {
      Deflater_.Add(piece);
    } catch (...) {
      failure = std::current_exception();
    }
    hold.lock();
    Busy_ = false;
    if (failure) {
      Failure_ = failure;
      Waiting_.clear();
    }
    Changed_.notify_all();
  }
}

void TDeflaterThread::Add(std::string piece) {
  std::unique_lock<std::mutex> hold(Lock_);
  Changed_.wait(hold, [this] { return Waiting_.size() < kMostWaiting || Failure_; });
  if (Failure_) std::rethrow_exception(Failure_);
  Waiting_.push_back(std::move(piece));
  hold.unlock();
  Changed_.notify_all();
}

TDeflater &TDeflaterThread::Finish(bool last) {
  {
    std::unique_lock<std::mutex> hold(Lock_);
    Changed_.wait(hold, [this] { return (Waiting_.empty() && !Busy_) || Failure_; });
  }
  Stop();
  if (Failure_) std::rethrow_exception(Failure_);
  Deflater_.Finish(last);
  return Deflater_;
}

std::uint32_t CrcOfBoth(std::uint32_t first, std::uint32_t second, std::uint64_t secondSize) {
  return static_cast<std::uint32_t>(crc32_combine(first, second, static_cast<z_off_t>(secondSize)));
}

std::string PackZip(const std::vector<TZipEntry> &entries) {
  size_t total = 22;
  for (const TZipEntry &e : entries) total += 30 + 46 + 2 * e.Name.size() + e.Packed.size();
  std::string out;
  out.reserve(total);
  std::vector<std::uint32_t> offsets;
  for (const TZipEntry &e : entries) {
    if (e.Size > std::numeric_limits<std::uint32_t>::max() || out.size() > std::numeric_limits<std::uint32_t>::max())
      throw Exception("El libro XLSX sería demasiado grande.");
    offsets.push_back(static_cast<std::uint32_t>(out.size()));
    PutLe(out, kLocalMark, 4);
    PutLe(out, 20, 2);  // version needed: deflate
    PutLe(out, 0, 2);   // flags: sizes known here
    PutLe(out, e.Method, 2);
    PutLe(out, e.Time, 2);
    PutLe(out, e.Date, 2);
    PutLe(out, e.Crc, 4);
    PutLe(out, static_cast<std::uint32_t>(e.Packed.size()), 4);
    PutLe(out, static_cast<std::uint32_t>(e.Size), 4);
    PutLe(out, static_cast<std::uint32_t>(e.Name.size()), 2);
    PutLe(out, 0, 2);
    out += e.Name;
    out.append(e.Packed.data(), e.Packed.size());
  }
  const size_t directory = out.size();
  for (size_t i = 0; i < entries.size(); ++i) {
    const TZipEntry &e = entries[i];
    PutLe(out, kCentralMark, 4);
    PutLe(out, 20, 2);  // made by: MS-DOS, as libxlsxwriter's
    PutLe(out, 20, 2);
    PutLe(out, 0, 2);
    PutLe(out, e.Method, 2);
    PutLe(out, e.Time, 2);
    PutLe(out, e.Date, 2);
    PutLe(out, e.Crc, 4);
    PutLe(out, static_cast<std::uint32_t>(e.Packed.size()), 4);
    PutLe(out, static_cast<std::uint32_t>(e.Size), 4);
    PutLe(out, static_cast<std::uint32_t>(e.Name.size()), 2);
    PutLe(out, 0, 2);  // extra
    PutLe(out, 0, 2);  // comment
    PutLe(out, 0, 2);  // disk
    PutLe(out, 0, 2);  // internal attributes
    PutLe(out, 0, 4);  // external attributes
    PutLe(out, offsets[i], 4);
    out += e.Name;
  }
  if (out.size() > std::numeric_limits<std::uint32_t>::max()) throw Exception("El libro XLSX sería demasiado grande.");
  PutLe(out, kEndMark, 4);
  PutLe(out, 0, 4);  // disks
  PutLe(out, static_cast<std::uint32_t>(entries.size()), 2);
  PutLe(out, static_cast<std::uint32_t>(entries.size()), 2);
  PutLe(out, static_cast<std::uint32_t>(out.size() - directory - 12), 4);
  PutLe(out, static_cast<std::uint32_t>(directory), 4);
  PutLe(out, 0, 2);
  return out;
}
