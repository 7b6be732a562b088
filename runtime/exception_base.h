#pragma once

#include <stdexcept>
#include <string>

// Failures travel as exceptions that carry the text the user will read.
// Handlers never catch them one by one: the application's standard handler
// shows the message (see application.h).
//
// Standard library only, apart from the rest of runtime/: the serial device
// layer builds without Qt and still throws the program's own exceptions.
class Exception : public std::runtime_error {
public:
  explicit Exception(const std::string &message) : std::runtime_error(message) {}
  std::string Message() const { return what(); }
};
