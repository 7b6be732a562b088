#pragma once

// The zip package a workbook is: the parts libxlsxwriter packed, copied as
// they are, and a part of our own deflated as it is produced, in pieces
// that join into one stream. Plain zip (no ZIP64): a sheet of Excel's most
// rows stays far below its 4 GB.

#include <condition_variable>
#include <cstdint>
#include <deque>
#include <exception>
#include <mutex>
#include <string>
#include <string_view>
#include <thread>
#include <vector>

struct TZipEntry {
  std::string Name;
  std::uint16_t Method = 8;  // 8: deflated, 0: stored
  std::uint16_t Time = 0, Date = 0;
  std::uint32_t Crc = 0;
  std::uint64_t Size = 0;  // unpacked
  std::string_view Packed;
};

// The entries of a zip file, in the order its directory lists them; `bytes`
// must outlive them. Raises Exception for what is not a plain zip file.
std::vector<TZipEntry> ReadZipEntries(std::string_view bytes);
// An entry's content. Raises Exception when it does not inflate.
std::string InflateEntry(const TZipEntry &entry);

// Raw deflate of data given piece by piece. A piece ended with Finish(false)
// stops on a byte boundary without the last block's mark, so the output of
// several deflaters, each but the last finished that way, is one deflate
// stream of their input in order.
class TDeflater {
public:
  explicit TDeflater(int level);
  ~TDeflater();
  TDeflater(const TDeflater &) = delete;
  TDeflater &operator=(const TDeflater &) = delete;

  void Add(std::string_view data);
  void Finish(bool last);

  std::string Out;
  std::uint32_t Crc;
  std::uint64_t Size = 0;

private:
  void Run(int flush);
  struct TState;
  TState *S_;
};

// A deflater fed from the caller's thread and run on one of its own, so
// that packing overlaps with making what is packed. A few pieces wait in
// line; more hold the caller back, so memory stays bounded.
class TDeflaterThread {
public:
  explicit TDeflaterThread(int level);
  // Stops the work half-way when Finish was never reached.
  ~TDeflaterThread();
  TDeflaterThread(const TDeflaterThread &) = delete;
  TDeflaterThread &operator=(const TDeflaterThread &) = delete;

  // Raises what deflating an earlier piece raised.
  void Add(std::string piece);
  // Waits for every piece, then ends as TDeflater::Finish does.
  TDeflater &Finish(bool last);

private:
  void Work();
  void Stop();

  TDeflater Deflater_;
  std::mutex Lock_;
  std::condition_variable Changed_;
  std::deque<std::string> Waiting_;
  bool Ending_ = false;
  bool Busy_ = false;
  std::exception_ptr Failure_;
  std::thread Thread_;
};

// The CRC of two pieces one after the other.
std::uint32_t CrcOfBoth(std::uint32_t first, std::uint32_t second, std::uint64_t secondSize);

// A zip file of `entries`, in that order.
std::string PackZip(const std::vector<TZipEntry> &entries);
