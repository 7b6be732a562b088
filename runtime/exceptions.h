#pragma once

#include <stdexcept>
#include <string>

// Failures travel as exceptions that carry the text the user will read.
// Handlers never catch them one by one: the application's standard handler
// shows the message (see application.h).
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string &message) : std::runtime_error(VisibleText(message)) {}
  std::string Message() const { return what(); }

  // The message with its control bytes written out ("\0", "\x1B"): a
  // message quotes what it found, and a NUL from a file or a dump would end
  // the text where it stands.
  static std::string VisibleText(const std::string &text) {
    std::string out;
    out.reserve(text.size());
    for (char c : text) {
      const unsigned char u = static_cast<unsigned char>(c);
      if ((u >= 0x20 && u != 0x7F) || c == '\n' || c == '\t') {
        out += c;
      } else if (u == 0) {
        out += "\\0";
      } else {
        static const char hex[] = "0123456789ABCDEF";
        out += "\\x";
        out += hex[u >> 4];
        out += hex[u & 15];
      }
    }
    return out;
  }
};

// A text that should have been a number (or a digit) was not.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Fills the single "%s" of a runtime message such as
// "'%s' is not a valid integer value".
std::string FormatMessage1(const std::string &pattern, const std::string &arg);
