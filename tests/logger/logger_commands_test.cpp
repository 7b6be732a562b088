#include "logger/logger_commands.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

std::string Joined(const std::vector<std::string> &v) {
  std::string out;
  for (const auto &s : v) {
    EXPECT_EQ(s.size(), 1u);
    out += s;
  }
  return out;
}

TEST(ClockDigits, TakenFromTheDigitPositionsWhateverTheSeparators) {
  EXPECT_EQ(Joined(ClockDigits("09:07:0301/02/2004")), "090703010204");
  EXPECT_EQ(Joined(ClockDigits("14.05.0925-12-2003")), "140509251203");
  EXPECT_EQ(ClockDigits("23:59:5931/12/2099").size(), 12u);
}

TEST(ClockDigits, ABrokenClockTextIsRefusedBeforeAnythingIsSent) {
  EXPECT_THROW(ClockDigits("9:07:03 1/02/2004"), EConvertError);
  EXPECT_THROW(ClockDigits("09:07:03"), EConvertError);  // no date part
}

TEST(ClockDigits, PcClockTextHasTheFixedLayout) {
  const TFormatSettings saved = FormatSettings();
  ApplyProgramFormats();
  const std::string text = PcClockText();
  ASSERT_EQ(text.size(), 18u);
  EXPECT_EQ(text[2], ':');
  EXPECT_EQ(text[10], '/');
  EXPECT_NO_THROW(ClockDigits(text));
  FormatSettings() = saved;
}

TEST(LoggerCommands, RatesAndEndMark) {
  EXPECT_EQ(RateCommand(0), "5");
  EXPECT_EQ(RateCommand(1), "6");
  EXPECT_EQ(RateCommand(2), "7");
  EXPECT_EQ(RateCommand(3), "");
  EXPECT_EQ(RateItemOfMinutes(30), 1);
  EXPECT_EQ(RateItemOfMinutes(20), -1);
  EXPECT_TRUE(IsDownloadEndMark("A"));
  EXPECT_FALSE(IsDownloadEndMark("AA"));
  EXPECT_FALSE(IsDownloadEndMark("A\r\n"));
  EXPECT_FALSE(IsDownloadEndMark("a"));
}

}  // namespace

#include "serial/serial_port.h"

#include "common/pty_pair.h"

namespace {

// The last command before a close must still reach the logger, even when the
// logger reads it only after the port is closed.
TEST(LoggerCommands, LastCommandSurvivesTheClose) {
  PtyPair pty;
  TSerialPort port;
  port.SetPort(pty.SlavePath());
  port.Open();
  SendDownloadAck(port);
  port.WriteText(RateCommand(1));
  port.Close();
  EXPECT_EQ(pty.ReadCount(2, 2000), "x6");
}

}  // namespace
