#pragma once

#include <functional>
#include <string>
#include <string_view>
#include <vector>

class TCustomSerialPort;

// What the program says to the logger, in one place: the windows and the
// command-line companion both send through these, byte for byte alike.

// "5", "6", "7" for the rate items 15, 30, 60 minutes (0, 1, 2). The logger
// reports these rates back as codes 4, 5, 6.
std::string RateCommand(int item);

// The rate item (0..2) of a rate in minutes; -1 when there is none.
int RateItemOfMinutes(int minutes);

// The twelve one-digit writes of a clock set, taken from the digit positions
// of "hh:mm:ssdd/mm/yyyy" (time then date in the program's formats, whatever
// their separators). A non-digit where a digit belongs raises EConvertError.
std::vector<std::string> ClockDigits(std::string_view clockText);

// The PC clock as that text: long time format then short date format.
std::string PcClockText();

// A clock set asked for is sent this long after the logger is next heard from.
constexpr int kClockSendDelayMs = 100;

// "3" and then the twelve digits, one write each.
void SendClock(TCustomSerialPort &port, std::string_view clockText);

// The download request: "E" (complete) or "8", a wait of gapMs blocking the
// caller, then "X". betweenCommands runs right after the first command.
void SendDownloadRequest(TCustomSerialPort &port, bool complete, int gapMs,
                         const std::function<void()> &betweenCommands);

// The rate command of a rate item (0..2).
void SendRate(TCustomSerialPort &port, int item);

// The acknowledgement of a completed download.
void SendDownloadAck(TCustomSerialPort &port);

// Each Send... above raises Exception with kCommandNotSent when the line does
// not take its command within the port's write limit.
extern const char *const kCommandNotSent;

// A download ends when one read returns the end mark alone.
bool IsDownloadEndMark(std::string_view read);
constexpr const char *kDownloadEndMark = "A";
