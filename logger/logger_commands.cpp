#include "logger/logger_commands.h"

#include "runtime/date_format.h"
#include "runtime/exceptions.h"
#include "runtime/number_format.h"
#include "serial/serial_port.h"

#include <chrono>
#include <thread>

std::string RateCommand(int item) {
  static const char *const kCommand[3] = {"5", "6", "7"};
  return item >= 0 && item < 3 ? kCommand[item] : std::string();
}

int RateItemOfMinutes(int minutes) {
  switch (minutes) {
    case 15: return 0;
    case 30: return 1;
    case 60: return 2;
    default: return -1;
  }
}

std::vector<std::string> ClockDigits(std::string_view clockText) {
  // hh:mm:ssdd/mm/yyyy, positions from 1; the century digits are not sent.
  static const int kPositions[12] = {1, 2, 4, 5, 7, 8, 9, 10, 12, 13, 17, 18};
  std::vector<std::string> digits;
  digits.reserve(12);
  for (int pos : kPositions) {
    const std::string ch = pos <= static_cast<int>(clockText.size()) ? std::string(clockText.substr(pos - 1, 1)) : "";
    digits.push_back(IntToStr(StrToInt(ch)));
  }
  return digits;
}

std::string PcClockText() {
  const TDateTimeParts now = Now();
  return TimeToStr(now) + DateToStr(now);
}

const char *const kCommandNotSent = "El registrador no recibe: la orden no salió por el puerto a tiempo.";

namespace {

// A command the line did not take within its write limit is not sent: the
// caller is told, and the writes after it are not tried (each would hold the
// window for the whole limit again).
void SendCommand(TCustomSerialPort &port, const std::string &command) {
  if (port.WriteText(command) != static_cast<int>(command.size())) throw Exception(kCommandNotSent);
}

}  // namespace

void SendClock(TCustomSerialPort &port, std::string_view clockText) {
  SendCommand(port, "3");
  for (const std::string &d : ClockDigits(clockText)) SendCommand(port, d);
}

void SendDownloadRequest(TCustomSerialPort &port, bool complete, int gapMs,
                         const std::function<void()> &betweenCommands) {
  SendCommand(port, complete ? "E" : "8");
  if (betweenCommands) betweenCommands();
  std::this_thread::sleep_for(std::chrono::milliseconds(gapMs));
  SendCommand(port, "X");
}

void SendRate(TCustomSerialPort &port, int item) { SendCommand(port, RateCommand(item)); }

void SendDownloadAck(TCustomSerialPort &port) { SendCommand(port, "x"); }

bool IsDownloadEndMark(std::string_view read) { return read == kDownloadEndMark; }
