// Number pictures and the text conversions, with the separators of either
// the neutral defaults or the program's own (decimal comma, thousands dot).
// Input: [flags][8 bytes of a double][text]. The text is both the picture
// and the text converted; bit 0 of flags picks the separators.

#include "fuzz_check.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"

#include <cmath>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <string>
#include <string_view>

namespace {

// The message names the text, its control bytes written out.
bool Names(const EConvertError &e, std::string_view text) {
  return e.Message().find(Exception::VisibleText(std::string(text))) != std::string::npos;
}

void CheckConversions(std::string_view text) {
  int i = 0;
  const bool isInt = TryStrToInt(text, i);
  try {
    const int j = StrToInt(text);
    FUZZ_CHECK(isInt && i == j);
    // What reads as a number writes back as one that reads the same.
    FUZZ_CHECK(StrToInt(IntToStr(j)) == j);
  } catch (const EConvertError &e) {
    FUZZ_CHECK(!isInt);
    FUZZ_CHECK(Names(e, text));
  }

  double d = 0;
  const bool isFloat = TryStrToFloat(text, d);
  try {
    const double f = StrToFloat(text);
    FUZZ_CHECK(isFloat && (f == d));
    FUZZ_CHECK(std::isfinite(f));
  } catch (const EConvertError &e) {
    FUZZ_CHECK(!isFloat);
    FUZZ_CHECK(Names(e, text));
  }
}

void CheckValue(double value) {
  const std::string general = FloatToStr(value);
  FUZZ_CHECK(!general.empty() && general.size() <= 32);
  if (!std::isfinite(value)) return;
  // The general text reads back within its fifteen significant digits. Near
  // the largest double those digits round past it and read as out of range.
  if (std::fabs(value) > 1.79769313486231e308) return;
  double back = 0;
  FUZZ_CHECK(TryStrToFloat(general, back));
  if (std::fabs(value) >= 1e-300) FUZZ_CHECK(std::fabs(back - value) <= std::fabs(value) * 1e-14);
}

void CheckPicture(std::string_view picture, double value) {
  const std::string out = FormatFloat(picture, value);
  // Digits of the largest double plus what the picture itself asks for.
  FUZZ_CHECK(out.size() <= 4 * picture.size() + 1000);
  // A plain picture of forced digits reads back as the rounded value.
  if (!picture.empty() && picture.find_first_not_of('0') == std::string_view::npos && std::isfinite(value) &&
      std::fabs(value) < 1e15) {
    double back = 0;
    FUZZ_CHECK(TryStrToFloat(out, back));
    FUZZ_CHECK(std::fabs(back - value) <= 0.5 + std::fabs(value) * 1e-14);
  }
}

}  // namespace

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t *data, std::size_t size) {
  if (size < 9) return 0;
  TFormatSettings &fs = FormatSettings();
  if (data[0] & 1) {
    ApplyProgramFormats();
  } else {
    fs.DecimalSeparator = '.';
    fs.ThousandSeparator = ',';
  }
  double value;
  std::memcpy(&value, data + 1, sizeof value);
  const std::string text(reinterpret_cast<const char *>(data + 9), size - 9);

  CheckConversions(text);
  CheckValue(value);
  CheckPicture(text, value);
  // Integers come out of the pictures the program uses most.
  CheckPicture("0.0", value);
  CheckPicture("#,##0.00;-#,##0.00;\"cero\"", value);
  return 0;
}
