#include "runtime/application.h"
#include "runtime/date_format.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "runtime/radio_group.h"
#include "runtime/ui_timer.h"

#include <gtest/gtest.h>

#include <string>
#include <vector>

namespace {

TEST(DateFormat, ProgramFormatsGiveFixedPositions) {
  const TFormatSettings saved = FormatSettings();
  ApplyProgramFormats();
  TDateTimeParts t;
  t.Year = 2004;
  t.Month = 2;
  t.Day = 1;
  t.Hour = 9;
  t.Minute = 7;
  t.Second = 3;
  EXPECT_EQ(TimeToStr(t), "09:07:03");
  EXPECT_EQ(DateToStr(t), "01/02/2004");
  // The separators come from the regional settings, not from the format.
  FormatSettings().DateSeparator = '-';
  FormatSettings().TimeSeparator = '.';
  EXPECT_EQ(TimeToStr(t) + DateToStr(t), "09.07.0301-02-2004");
  EXPECT_EQ(FormatDateTime("yy 'h' h:n d/m", t), "04 h 9.7 1-2");
  FormatSettings() = saved;
}

TEST(DateFormat, MonthLengths) {
  EXPECT_EQ(DaysInMonth(2004, 2), 29);
  EXPECT_EQ(DaysInMonth(2003, 2), 28);
  EXPECT_EQ(DaysInMonth(2000, 2), 29);
  EXPECT_EQ(DaysInMonth(2100, 2), 28);
  EXPECT_EQ(DaysInMonth(2003, 4), 30);
  EXPECT_EQ(DaysInMonth(2003, 12), 31);
  EXPECT_EQ(DaysInMonth(2003, 13), 0);
}

struct Shown {
  std::vector<std::string> titles, messages;
};

TEST(StandardHandler, SkipsTheRestAndShowsTheMessageOnce) {
  Shown shown;
  SetExceptionPresenter([&](const std::string &title, const std::string &message) {
    shown.titles.push_back(title);
    shown.messages.push_back(message);
  });
  SetApplicationTitle("TALVEX CANALES");
  int steps = 0;
  RunHandler([&] {
    ++steps;
    throw EConvertError("'x' is not a valid integer value");
    ++steps;  // never reached
  });
  RunHandler([&] { ++steps; });
  EXPECT_EQ(steps, 2);
  ASSERT_EQ(shown.messages.size(), 1u);
  EXPECT_EQ(shown.messages[0], "'x' is not a valid integer value");
  EXPECT_EQ(shown.titles[0], "TALVEX CANALES");
  SetExceptionPresenter(nullptr);
}

TEST(StandardHandler, CapturedFailureTravelsOn) {
  auto e = RunCapturing([] { throw Exception("roto"); });
  ASSERT_TRUE(e);
  try {
    std::rethrow_exception(e);
  } catch (const Exception &ex) {
    EXPECT_EQ(ex.Message(), "roto");
  }
  EXPECT_FALSE(RunCapturing([] {}));
}

TEST(Timer, TickRunsUnderTheStandardHandler) {
  std::vector<std::string> messages;
  SetExceptionPresenter([&](const std::string &, const std::string &m) { messages.push_back(m); });
  TTimer timer(nullptr, 450);
  int ticks = 0;
  timer.OnTimer = [&](TTimer *t) {
    ++ticks;
    t->SetEnabled(false);
    throw Exception("fallo");
  };
  timer.SetEnabled(true);
  timer.Fire();
  EXPECT_EQ(ticks, 1);
  EXPECT_FALSE(timer.Enabled());
  EXPECT_EQ(messages, std::vector<std::string>{"fallo"});
  SetExceptionPresenter(nullptr);
}

TEST(RadioGroup, SelectionCanBeClearedAndReportsChangesOnly) {
  TRadioGroup group;
  group.resize(116, 105);
  group.SetItems({"15 MINUTOS", "30 MINUTOS", "60 MINUTOS"});
  std::vector<int> seen;
  group.OnClick = [&](QObject *) { seen.push_back(group.ItemIndex()); };
  group.SetItemIndex(1);
  group.SetItemIndex(1);  // same item: no change, no event
  group.SetItemIndex(2);
  group.SetItemIndex(-1);
  EXPECT_EQ(seen, (std::vector<int>{1, 2, -1}));
  EXPECT_EQ(group.Item(0), "15 MINUTOS");
  EXPECT_EQ(group.ItemIndex(), -1);
}

}  // namespace
