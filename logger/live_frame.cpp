#include "logger/live_frame.h"

#include <cstdio>

namespace {

std::string TwoDigits(int v) {
  char buf[16];
  std::snprintf(buf, sizeof buf, "%02d", v);
  return buf;
}

}  // namespace

std::string TLiveFrame::DateText() const { return TwoDigits(Day) + "/" + TwoDigits(Month) + "/20" + TwoDigits(Year); }

std::string TLiveFrame::TimeText() const {
  return TwoDigits(Hours) + ":" + TwoDigits(Minutes) + ":" + TwoDigits(Seconds);
}

int RateCodeMinutes(int rateCode) {
  switch (rateCode) {
    case 4: return 15;
    case 5: return 30;
    case 6: return 60;
    default: return 0;
  }
}

double ChannelValue(int high, int low) { return (high * 256.0 + low - 500.0) / 10.0; }

double MemoryPositions(int addressHigh, int addressLow) { return ((addressHigh * 256.0 + addressLow) - 31.0) / 32.0; }

std::optional<TLiveFrame> DecodeLiveFrame(std::string_view frame) {
  if (frame.size() != kFrameSize) return std::nullopt;
  int d[kFrameSize];
  for (std::size_t i = 0; i + 1 < kFrameSize; ++i) {
    const char c = frame[i];
    if (c < '0' || c > '9') return std::nullopt;
    d[i] = c - '0';
  }
  // Positions count from 1 in the logger's description; d[] from 0.
  auto two = [&](int pos) { return d[pos - 1] * 10 + d[pos]; };
  auto three = [&](int pos) { return d[pos - 1] * 100 + d[pos] * 10 + d[pos + 1]; };

  TLiveFrame f;
  f.Minutes = two(1);
  f.Hours = two(3);
  f.Day = two(5);
  f.Month = two(7);
  f.Year = two(9);
  f.Seconds = two(11);
  f.Battery = three(13);
  f.RateCode = d[16];
  for (int k = 1; k <= 16; ++k) {
    const int pos = 5 * k + 13;
    f.Channels[k - 1] = ChannelValue(two(pos), three(pos + 2));
  }
  f.MemoryCount = MemoryPositions(three(98), three(101));
  return f;
}

std::optional<std::string> TFrameAccumulator::Feed(std::string_view piece) {
  if (text_.size() > kFrameSize + 1) text_.clear();
  text_.append(piece.data(), piece.size());
  if (text_.size() != kFrameSize) return std::nullopt;
  std::string frame;
  frame.swap(text_);
  return frame;
}
