// The receive side of the live display: the serial line hands over the text
// in pieces of any size, and whatever comes out of the accumulator is decoded.
// Input: a run of [length byte][that many bytes], each one piece as a read of
// the port could return it.

#include "fuzz_check.h"
#include "logger/live_frame.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <string_view>

namespace {

bool TwoDigits(int v) { return v >= 0 && v <= 99; }

void CheckFrame(const TLiveFrame &f) {
  FUZZ_CHECK(TwoDigits(f.Minutes) && TwoDigits(f.Hours) && TwoDigits(f.Day));
  FUZZ_CHECK(TwoDigits(f.Month) && TwoDigits(f.Year) && TwoDigits(f.Seconds));
  FUZZ_CHECK(f.Battery >= 0 && f.Battery <= 999);
  FUZZ_CHECK(f.RateCode >= 0 && f.RateCode <= 9);
  // Five digits HH LLL: (HH * 256 + LLL - 500) / 10 over all of them.
  for (double c : f.Channels) FUZZ_CHECK(std::isfinite(c) && c >= -50.0 && c <= (99 * 256 + 999 - 500) / 10.0);
  FUZZ_CHECK(std::isfinite(f.MemoryCount));
  FUZZ_CHECK(f.DateText().size() == 10 && f.TimeText().size() == 8);
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  TFrameAccumulator acc;
  std::size_t at = 0;
  while (at < size) {
    const std::size_t want = data[at++];
    const std::size_t len = want < size - at ? want : size - at;
    const std::string_view piece(reinterpret_cast<const char *>(data + at), len);
    at += len;

    const std::size_t before = acc.Text().size();
    const auto frame = acc.Feed(piece);
    // The held text never grows past one frame and a bit plus the piece just
    // received: a noisy line must not make it grow without end.
    FUZZ_CHECK(acc.Text().size() <= kFrameSize + 1 + piece.size());
    if (before <= kFrameSize + 1 && !frame) FUZZ_CHECK(acc.Text().size() == before + piece.size());
    if (frame) {
      FUZZ_CHECK(frame->size() == kFrameSize);
      FUZZ_CHECK(acc.Text().empty());
      const auto decoded = DecodeLiveFrame(*frame);
      bool digits = true;
      for (std::size_t i = 0; i + 1 < kFrameSize; ++i) digits = digits && (*frame)[i] >= '0' && (*frame)[i] <= '9';
      FUZZ_CHECK(decoded.has_value() == digits);
      if (decoded) CheckFrame(*decoded);
    }
  }
  // The decoder on the raw input too: any length, any bytes.
  const auto direct = DecodeLiveFrame(std::string_view(reinterpret_cast<const char *>(data), size));
  if (direct) {
    FUZZ_CHECK(size == kFrameSize);
    CheckFrame(*direct);
  }
  return 0;
}
