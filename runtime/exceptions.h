#pragma once

#include "runtime/exception_base.h"

#include <string>

// A text that should have been a number (or a digit) was not.
class EConvertError : public Exception {
public:
  using Exception::Exception;
};

// Fills the single "%s" of a runtime message such as
// "'%s' is not a valid integer value".
std::string FormatMessage1(const std::string &pattern, const std::string &arg);
