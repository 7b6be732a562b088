#pragma once

#include <array>
#include <optional>
#include <string>
#include <string_view>

// The logger's live state as one 104-character frame of digits (position 104
// is never read). Decoding is pure: the main window shows what comes out.
struct TLiveFrame {
  int Minutes = 0, Hours = 0, Day = 0, Month = 0, Year = 0, Seconds = 0;
  int Battery = 0;                    // B; the level is B / 2 per cent
  int RateCode = 0;                   // 4, 5, 6 = 15, 30, 60 minutes; anything else: unknown
  std::array<double, 16> Channels{};  // channel 1..16 in degrees Celsius
  double MemoryCount = 0;             // positions used, may be fractional

  double BatteryLevel() const { return Battery / 2.0; }
  std::string DateText() const;  // DD/MM/20YY
  std::string TimeText() const;  // HH:MM:SS
};

constexpr std::size_t kFrameSize = 104;

// Minutes of a rate code of the frame (4, 5, 6 = 15, 30, 60); 0 for any other.
int RateCodeMinutes(int rateCode);

// (H * 256 + L - 500) / 10 from the five digits d1..d5 of a channel field.
double ChannelValue(int high, int low);

// The logger's memory address AH/AL turned into positions used.
double MemoryPositions(int addressHigh, int addressLow);

// Decodes a frame of exactly 104 characters. The whole frame is checked
// before anything is returned: line noise must never leave half a frame on
// the display. Returns nothing when the length is wrong or any of positions
// 1..103 is not a decimal digit.
std::optional<TLiveFrame> DecodeLiveFrame(std::string_view frame);

// The receive side's accumulator: pieces of received text go in, complete
// frames come out. A frame is recognised by length alone: exactly 104
// characters since the accumulator was last emptied. Above 105 characters at
// the start of a piece, the text is dropped (a frame split unluckily); 105 is
// kept and the next piece appended to it.
class TFrameAccumulator {
public:
  // Appends one received piece; returns the completed frame text when the
  // accumulator now holds exactly 104 characters (and empties it).
  std::optional<std::string> Feed(std::string_view piece);

  void Clear() { text_.clear(); }
  const std::string &Text() const { return text_; }

private:
  std::string text_;
};
