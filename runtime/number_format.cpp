#include "runtime/number_format.h"

#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <cerrno>
#include <climits>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <vector>

std::string FormatMessage1(const std::string &pattern, const std::string &arg) {
  std::string out = pattern;
  const auto at = out.find("%s");
  if (at != std::string::npos) out.replace(at, 2, arg);
  return out;
}

namespace {

// One section of a picture, taken apart once.
struct Picture {
  std::string prefix;  // literal text before the first digit placeholder
  std::string suffix;  // literal text after the last digit placeholder
  int forcedInt = 0;   // integer digits always written
  int maxDec = 0;      // decimals written at most
  int minDec = 0;      // decimals written at least
  bool thousands = false;
  bool hasPoint = false;
};

std::vector<std::string_view> SplitSections(std::string_view picture) {
  std::vector<std::string_view> sections;
  size_t start = 0;
  char quote = 0;
  for (size_t i = 0; i < picture.size(); ++i) {
    const char c = picture[i];
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == ';') {
      sections.push_back(picture.substr(start, i - start));
      start = i + 1;
    }
  }
  sections.push_back(picture.substr(start));
  return sections;
}

Picture ParseSection(std::string_view s) {
  Picture p;
  bool seenDigit = false;
  bool afterPoint = false;
  bool seenForcedInt = false;
  int intPlaceholdersFromFirstZero = 0;
  int decPlaceholders = 0;
  std::string pendingLiteral;  // literal text seen since the last placeholder
  char quote = 0;
  for (size_t i = 0; i < s.size(); ++i) {
    const char c = s[i];
    if (quote) {
      if (c == quote) quote = 0;
      else pendingLiteral += c;
      continue;
    }
    switch (c) {
      case '"':
      case '\'': quote = c; break;
      case '0':
      case '#':
        if (!seenDigit) {
          p.prefix += pendingLiteral;
          seenDigit = true;
        }
        // Literals between placeholders are dropped: the pictures of this
        // program never put any there.
        pendingLiteral.clear();
        if (afterPoint) {
          ++decPlaceholders;
          if (c == '0') p.minDec = decPlaceholders;
        } else {
          if (c == '0') seenForcedInt = true;
          if (seenForcedInt) ++intPlaceholdersFromFirstZero;
        }
        break;
      case '.':
        if (!afterPoint) {
          afterPoint = true;
          p.hasPoint = true;
          if (!seenDigit) {
            p.prefix += pendingLiteral;
            pendingLiteral.clear();
            seenDigit = true;
          }
        }
        break;
      case ',': p.thousands = true; break;
      default: pendingLiteral += c; break;
    }
  }
  if (!seenDigit) {
    p.prefix += pendingLiteral;
  } else {
    p.suffix = pendingLiteral;
  }
  p.forcedInt = intPlaceholdersFromFirstZero;
  p.maxDec = decPlaceholders;
  return p;
}

bool HasPlaceholder(std::string_view s) {
  char quote = 0;
  for (char c : s) {
    if (quote) {
      if (c == quote) quote = 0;
    } else if (c == '"' || c == '\'') {
      quote = c;
    } else if (c == '0' || c == '#') {
      return true;
    }
  }
  return false;
}

// The magnitude as a fixed-point text with `decimals` places, rounded half
// away from zero on its 15-significant-digit decimal form, so that 25.25
// gives 25.3 and 0.05 gives 0.1 as a user expects (printf would round the
// binary value and write 25.2).
std::string FixedDigits(double magnitude, int decimals) {
  if (magnitude == 0) return decimals > 0 ? "0." + std::string(decimals, '0') : "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.14e", magnitude);
  std::string mant;
  for (const char *c = buf; *c && *c != 'e'; ++c)
    if (*c >= '0' && *c <= '9') mant += *c;
  const int exp = std::atoi(std::strchr(buf, 'e') + 1);
  // digits of the integer part and of the fraction, unrounded
  std::string ip, fp;
  if (exp >= 0) {
    if (static_cast<int>(mant.size()) <= exp + 1) {
      ip = mant + std::string(exp + 1 - mant.size(), '0');
    } else {
      ip = mant.substr(0, exp + 1);
      fp = mant.substr(exp + 1);
    }
  } else {
    ip = "0";
    fp = std::string(-exp - 1, '0') + mant;
  }
  const bool roundUp = static_cast<int>(fp.size()) > decimals && fp[decimals] >= '5';
  if (static_cast<int>(fp.size()) > decimals) fp.resize(decimals);
  while (static_cast<int>(fp.size()) < decimals) fp += '0';
  if (roundUp) {
    std::string all = ip + fp;
    int i = static_cast<int>(all.size()) - 1;
    while (i >= 0 && all[i] == '9') all[i--] = '0';
    if (i >= 0) all[i]++;
    else all.insert(all.begin(), '1');
    ip = all.substr(0, all.size() - decimals);
    fp = all.substr(all.size() - decimals);
  }
  return decimals > 0 ? ip + "." + fp : ip;
}

std::string FormatWith(const Picture &p, double magnitude, bool minus) {
  const std::string digits = FixedDigits(magnitude, p.maxDec);
  std::string intPart = digits;
  std::string frac;
  const auto dot = digits.find('.');
  if (dot != std::string::npos) {
    intPart = digits.substr(0, dot);
    frac = digits.substr(dot + 1);
  }
  while (static_cast<int>(frac.size()) > p.minDec && !frac.empty() && frac.back() == '0') frac.pop_back();

  // "#.##" of 0.5 is ".5": the zero integer part is only written when forced.
  if (intPart == "0") intPart.clear();
  while (static_cast<int>(intPart.size()) < p.forcedInt) intPart.insert(intPart.begin(), '0');

  const TFormatSettings &fs = FormatSettings();
  if (p.thousands && intPart.size() > 3) {
    std::string grouped;
    const size_t n = intPart.size();
    for (size_t i = 0; i < n; ++i) {
      grouped += intPart[i];
      const size_t left = n - 1 - i;
      if (left > 0 && left % 3 == 0) grouped += fs.ThousandSeparator;
    }
    intPart = grouped;
  }

  bool allZero = true;
  for (char c : intPart + frac)
    if (c >= '1' && c <= '9') allZero = false;

  std::string out;
  if (minus && !allZero) out += '-';
  out += p.prefix;
  out += intPart;
  if (!frac.empty()) {
    out += fs.DecimalSeparator;
    out += frac;
  }
  out += p.suffix;
  return out;
}

bool AllZeroAfterRounding(const Picture &p, double magnitude) {
  for (char c : FixedDigits(magnitude, p.maxDec))
    if (c >= '1' && c <= '9') return false;
  return true;
}

}  // namespace

std::string FormatFloat(std::string_view picture, double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  const auto sections = SplitSections(picture);
  if (sections.empty() || (!HasPlaceholder(sections[0]) && sections.size() == 1 && sections[0].empty()))
    return FloatToStr(value);

  const double magnitude = std::fabs(value);
  Picture positive = ParseSection(sections[0]);
  if (!HasPlaceholder(sections[0])) return positive.prefix;

  // The zero section applies to a value that rounds to zero in the first one.
  if (sections.size() >= 3 && !sections[2].empty() && AllZeroAfterRounding(positive, magnitude)) {
    if (!HasPlaceholder(sections[2])) return ParseSection(sections[2]).prefix;
    return FormatWith(ParseSection(sections[2]), 0.0, false);
  }
  if (value < 0 && sections.size() >= 2 && !sections[1].empty()) {
    if (!HasPlaceholder(sections[1])) return ParseSection(sections[1]).prefix;
    return FormatWith(ParseSection(sections[1]), magnitude, false);
  }
  return FormatWith(positive, magnitude, value < 0);
}

std::string FloatToStr(double value) {
  if (std::isnan(value)) return "NAN";
  if (std::isinf(value)) return value > 0 ? "INF" : "-INF";
  if (value == 0) return "0";
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.15g", value);
  std::string s(buf);
  std::string mantissa = s;
  std::string exponent;
  const auto e = s.find('e');
  if (e != std::string::npos) {
    mantissa = s.substr(0, e);
    const int exp = std::atoi(s.c_str() + e + 1);
    exponent = "E" + std::to_string(exp);
  }
  const auto dot = mantissa.find('.');
  if (dot != std::string::npos) {
    while (!mantissa.empty() && mantissa.back() == '0') mantissa.pop_back();
    if (!mantissa.empty() && mantissa.back() == '.') mantissa.pop_back();
    const auto dot2 = mantissa.find('.');
    if (dot2 != std::string::npos) mantissa[dot2] = FormatSettings().DecimalSeparator;
  }
  return mantissa + exponent;
}

std::string IntToStr(long long value) { return std::to_string(value); }

bool TryStrToInt(std::string_view text, int &out) {
  size_t i = 0;
  while (i < text.size() && (text[i] == ' ' || text[i] == '\t')) ++i;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  int base = 10;
  if (i < text.size() && text[i] == '$') {
    base = 16;
    ++i;
  } else if (i + 1 < text.size() && text[i] == '0' && (text[i + 1] == 'x' || text[i + 1] == 'X')) {
    base = 16;
    i += 2;
  }
  if (i >= text.size()) return false;
  long long acc = 0;
  for (; i < text.size(); ++i) {
    const char c = text[i];
    int d;
    if (c >= '0' && c <= '9') d = c - '0';
    else if (base == 16 && c >= 'a' && c <= 'f') d = c - 'a' + 10;
    else if (base == 16 && c >= 'A' && c <= 'F') d = c - 'A' + 10;
    else return false;
    acc = acc * base + d;
    if (acc > static_cast<long long>(INT_MAX) + 1) return false;
  }
  if (negative) acc = -acc;
  if (acc > INT_MAX || acc < INT_MIN) return false;
  out = static_cast<int>(acc);
  return true;
}

int StrToInt(std::string_view text) {
  int v = 0;
  if (!TryStrToInt(text, v))
    throw EConvertError(FormatMessage1("'%s' is not a valid integer value", std::string(text)));
  return v;
}

bool TryStrToFloat(std::string_view text, double &out) {
  const char dec = FormatSettings().DecimalSeparator;
  size_t b = 0, e = text.size();
  while (b < e && (text[b] == ' ' || text[b] == '\t')) ++b;
  while (e > b && (text[e - 1] == ' ' || text[e - 1] == '\t')) --e;
  if (b == e) return false;
  // Rebuild the text in the C form so strtod can take it, refusing anything
  // strtod would accept but a user would not write here (hex, inf, nan).
  std::string c;
  size_t i = b;
  if (text[i] == '+' || text[i] == '-') c += text[i++];
  bool digits = false, point = false;
  for (; i < e; ++i) {
    const char ch = text[i];
    if (ch >= '0' && ch <= '9') {
      c += ch;
      digits = true;
    } else if (ch == dec && !point) {
      c += '.';
      point = true;
    } else {
      break;
    }
  }
  if (!digits) return false;
  if (i < e && (text[i] == 'e' || text[i] == 'E')) {
    c += 'e';
    ++i;
    if (i < e && (text[i] == '+' || text[i] == '-')) c += text[i++];
    bool expDigits = false;
    for (; i < e && text[i] >= '0' && text[i] <= '9'; ++i) {
      c += text[i];
      expDigits = true;
    }
    if (!expDigits) return false;
  }
  if (i != e) return false;
  errno = 0;
  const double v = std::strtod(c.c_str(), nullptr);
  if (errno == ERANGE && std::isinf(v)) return false;
  out = v;
  return true;
}

double StrToFloat(std::string_view text) {
  double v = 0;
  if (!TryStrToFloat(text, v))
    throw EConvertError(FormatMessage1("'%s' is not a valid floating point value", std::string(text)));
  return v;
}
