#pragma once

#include <string>
#include <string_view>

// Number texts as the program shows and saves them, always with the current
// separators of FormatSettings().

// A number picture: '0' forced digit, '#' optional digit, the first '.' marks
// the decimal point (further ones are ignored), ',' anywhere asks for
// thousands separators, ';' separates the positive;negative;zero sections,
// text in quotes and other characters are copied as they stand.
std::string FormatFloat(std::string_view picture, double value);

// The general text: up to 15 significant digits, no trailing zeros,
// exponent form only for very large or very small magnitudes (2,03125; 1E20).
std::string FloatToStr(double value);

std::string IntToStr(long long value);

// Conversions that raise EConvertError with the runtime's messages
// "'%s' is not a valid integer value" / "'%s' is not a valid floating point value".
int StrToInt(std::string_view text);
double StrToFloat(std::string_view text);

// The same without the exception; false when the text is not a number.
bool TryStrToInt(std::string_view text, int &out);
bool TryStrToFloat(std::string_view text, double &out);
