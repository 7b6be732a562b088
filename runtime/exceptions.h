#pragma once

#include <stdexcept>
#include <string>

// Failures travel as exceptions that carry the text the user will read.
// Handlers never catch them one by one: the application's standard handler
// shows the message (see application.h).
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string &message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};

// A text that should have been a number (or a digit) was not.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Fills the single "%s" of a runtime message such as
// "'%s' is not a valid integer value".
std::string FormatMessage1(const std::string &pattern, const std::string &arg);
