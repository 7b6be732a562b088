// The MKT and the alarm events in the statistics of a table: the figures the
// alarm rules give for each channel's own readings, wherever the user
// dragged its column, in the window and in the workbook (read back by
// openpyxl).

#include "common/test_files.h"
#include "data/data_export.h"
#include "data/data_statistics.h"
#include "data/dump_decoder.h"
#include "data/record_values.h"
#include "data/statistics_window.h"
#include "data/string_grid.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>

#include <cstdio>
#include <string>
#include <vector>

namespace {

// Eight records at uneven steps. CH1 goes above 30,0 and comes back to
// 29,8, not yet inside by the hysteresis, so its alarm lasts 40 min; CH3 below 2,0 for one record of 5 min (shorter
// than its delay of 10) and then for good from the seventh record (open at the end), CH2 rises and falls without limits
// of its own.
struct TSample {
  std::int64_t Seconds;
  const char *Ch1, *Ch2, *Ch3;
};
const TSample kSamples[] = {
    {0, "20,0", "5,0", "4,0"},      {600, "31,0", "6,0", "1,0"},    {900, "35,5", "7,0", "3,0"},
    {2400, "29,8", "8,0", "4,0"},   {3000, "25,0", "9,0", "3,0"},   {3300, "25,0", "10,0", "2,0"},
    {4200, "25,0", "11,0", "-1,0"}, {4800, "25,0", "12,0", "-2,5"},
};
constexpr int kRecords = sizeof kSamples / sizeof kSamples[0];
const std::int64_t kStart = StampSeconds({2026, 6, 1, 8, 0, 0});

TDataTable SampleTable() {
  TDataTable t(DataColumns, kRecords + 1);
  for (int k = 1; k <= 16; ++k) t.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
  for (int r = 1; r <= kRecords; ++r) {
    const TSample &s = kSamples[r - 1];
    const TStamp at = StampFromSeconds(kStart + s.Seconds);
    t.SetCells(0, r, std::to_string(r));
    t.SetCells(1, r, ProgramDateText(at));
    t.SetCells(2, r, ProgramTimeText(at));
    t.SetCells(FirstValueColumn, r, s.Ch1);
    t.SetCells(FirstValueColumn + 1, r, s.Ch2);
    t.SetCells(FirstValueColumn + 2, r, s.Ch3);
  }
  return t;
}

TAlarmLimitSet SampleLimits() {
  TAlarmLimitSet limits{};
  limits[0].High = 300;
  limits[2].Low = 20;
  limits[2].DelayMinutes = 10;
  return limits;
}

// CH3 shown first, CH1 third: the limits must follow the channel.
const std::vector<int> kDragged = {0, 1, 2, 5, 4, 3, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18};

TSeriesAlarms CoreFigures(double energy) {
  TSeriesAlarmScan scan(SampleLimits(), energy);
  for (const TSample &s : kSamples) {
    TAlarmValues v{};
    std::int64_t t;
    ParseTenths(s.Ch1, t), v[0] = static_cast<std::int32_t>(t);
    ParseTenths(s.Ch2, t), v[1] = static_cast<std::int32_t>(t);
    ParseTenths(s.Ch3, t), v[2] = static_cast<std::int32_t>(t);
    scan.Add(kStart + s.Seconds, v);
  }
  return scan.Finish();
}

TEST(StatisticsAlarms, FiguresAreTheRulesOfEachChannelWhereverItIsShown) {
  const TDataTable table = SampleTable();
  for (double energy : {kDefaultActivationEnergy, 120.0}) {
    SCOPED_TRACE(energy);
    TAlarmOptions alarms;
    alarms.Limits = SampleLimits();
    alarms.ActivationEnergy = energy;
    const TDataStatistics s = ComputeStatistics(table, kRecords, kDragged, {}, alarms);
    const TSeriesAlarms core = CoreFigures(energy);
    const int own[] = {2, 1, 0};  // what the first three places show
    for (int place = 0; place < 3; ++place) {
      const TChannelStats &c = s.Channels[static_cast<size_t>(place)];
      const TChannelAlarmFigures &want = core.Channels[static_cast<size_t>(own[place])];
      EXPECT_EQ(c.Channel, own[place]);
      EXPECT_EQ(c.Name, "CH" + std::to_string(own[place] + 1));
      ASSERT_TRUE(c.Alarm.Mkt);
      EXPECT_DOUBLE_EQ(*c.Alarm.Mkt, *want.Mkt);
      EXPECT_EQ(c.Alarm.HighEvents, want.HighEvents);
      EXPECT_EQ(c.Alarm.LowEvents, want.LowEvents);
      EXPECT_EQ(c.Alarm.SecondsAbove, want.SecondsAbove);
      EXPECT_EQ(c.Alarm.SecondsBelow, want.SecondsBelow);
    }
    EXPECT_TRUE(s.Events == core.Events);
    // By hand: CH1 above from 600 s to the reading back inside at 3000 s;
    // CH3's first dip is shorter than its delay, the second runs to the
    // last reading plus the step before it (4200 to 5400 s).
    const TChannelStats &ch1 = s.Channels[2], &ch3 = s.Channels[0];
    EXPECT_EQ(ch1.Alarm.HighEvents, 1);
    EXPECT_EQ(ch1.Alarm.SecondsAbove, 2400);
    EXPECT_EQ(ch3.Alarm.LowEvents, 1);
    EXPECT_EQ(ch3.Alarm.SecondsBelow, 1200);
    EXPECT_TRUE(s.AlarmsApply(ch1));
    EXPECT_FALSE(s.AlarmsApply(s.Channels[1])) << "CH2 has no limits";
  }
  // A channel that never moves has that temperature as its MKT.
  TDataTable flat = table;
  for (int r = 1; r <= kRecords; ++r) flat.SetCells(FirstValueColumn + 5, r, "18,5");
  EXPECT_NEAR(*ComputeStatistics(flat, kRecords, {}, {}).Channels[5].Alarm.Mkt, 18.5, 1e-9);
}

TEST(StatisticsAlarms, WithoutLimitsOrTimesOnlyTheMktIsTold) {
  const TDataTable table = SampleTable();
  const TDataStatistics none = ComputeStatistics(table, kRecords, kDragged, {});
  EXPECT_TRUE(none.Events.empty());
  EXPECT_FALSE(none.AlarmsApply(none.Channels[2]));
  EXPECT_DOUBLE_EQ(*none.Channels[2].Alarm.Mkt, *CoreFigures(kDefaultActivationEnergy).Channels[0].Mkt);
  EXPECT_FALSE(none.Channels[6].Alarm.Mkt) << "a channel without readings has none";

  // A record without a real time: the events cannot be told, every reading
  // counts alike in the MKT.
  TDataTable broken = table;
  broken.SetCells(2, 4, "");
  TAlarmOptions alarms;
  alarms.Limits = SampleLimits();
  const TDataStatistics s = ComputeStatistics(broken, kRecords, {}, {}, alarms);
  EXPECT_FALSE(s.EventsKnown);
  EXPECT_FALSE(s.AlarmsApply(s.Channels[0]));
  EXPECT_TRUE(s.Events.empty());
  TMktAccumulator alike;
  for (const TSample &sample : kSamples) {
    std::int64_t v;
    ParseTenths(sample.Ch1, v);
    alike.Add(static_cast<std::int32_t>(v), 0);
  }
  EXPECT_DOUBLE_EQ(*s.Channels[0].Alarm.Mkt, *alike.Celsius());
}

TEST(StatisticsAlarms, ActivationEnergyAsTypedAndAsWritten) {
  const struct {
    const char *Typed;
    double Energy;  // below 0: refused
  } cases[] = {{"83,144", 83.144}, {"83.144", 83.144}, {"100", 100}, {"1", 1},    {"1000", 1000},
               {"0,5", -1},        {"1000,1", -1},     {"", -1},     {"1e2", -1}, {"nan", -1},
               {"-5", -1},         {"8,3,1", -1},      {"83,", -1},  {" 83", -1}};
  for (const auto &c : cases) {
    SCOPED_TRACE(c.Typed);
    if (c.Energy < 0) {
      try {
        ParseActivationEnergy(c.Typed);
        ADD_FAILURE() << "taken";
      } catch (const Exception &e) {
        EXPECT_NE(e.Message().find("entre 1 y 1000 kJ/mol"), std::string::npos) << e.Message();
      }
    } else {
      EXPECT_NEAR(ParseActivationEnergy(c.Typed), c.Energy, 1e-12);
    }
  }
  EXPECT_EQ(ActivationEnergyText(kDefaultActivationEnergy), "83,144");
  EXPECT_EQ(ActivationEnergyText(100), "100");
  EXPECT_EQ(ActivationEnergyText(90.5), "90,5");
}

TEST(StatisticsAlarms, TheWindowShowsThemAndRemembersTheEnergy) {
  TStringGrid grid(nullptr);
  grid.SetTable(SampleTable());
  grid.MoveColumn(5, 3);  // CH3 in front
  TStatLimits limits;
  const double before = SavedActivationEnergy();
  TForm9 window(grid, limits);
  window.FormActivate();
  EXPECT_EQ(window.Table1->item(0, 0)->text(), "CH3");
  EXPECT_EQ(window.Table1->item(0, 11)->text(), "no aplica") << "no limits known";
  EXPECT_EQ(window.Table1->horizontalHeaderItem(10)->text(), "MKT");

  window.AlarmLimits = [] { return std::optional<TAlarmLimitSet>(SampleLimits()); };
  window.Edit3->setText("100");
  window.Button1Click();
  EXPECT_EQ(SavedActivationEnergy(), 100);
  EXPECT_EQ(window.Statistics().Alarms.ActivationEnergy, 100);
  EXPECT_EQ(window.Table1->item(0, 11)->text(), "1");
  EXPECT_EQ(window.Table1->item(0, 13)->text(), "20 min") << "CH3's open dip";
  EXPECT_EQ(window.Table1->item(1, 12)->text(), "40 min") << "CH1 above";
  EXPECT_EQ(window.Table1->item(2, 11)->text(), "no aplica") << "CH2 has no limits";

  // A bad energy changes nothing, the limits typed with it neither.
  window.Edit1->setText("25,0");
  window.Edit3->setText("0");
  EXPECT_THROW(window.Button1Click(), Exception);
  EXPECT_FALSE(limits.Upper);
  EXPECT_EQ(SavedActivationEnergy(), 100);
  TForm9 again(grid, limits);
  EXPECT_EQ(again.Edit3->text(), "100");
  SaveActivationEnergy(before);
}

const char *const kSheetCheck = R"(
import sys, datetime, openpyxl
sheet = openpyxl.load_workbook(sys.argv[1])['Estadísticas']
head = [c.value for c in sheet[1]]
assert head[:10] == ['Canal', 'Registros', 'Mínimo (°C)', 'Fecha del mínimo', 'Máximo (°C)', 'Fecha del máximo',
                     'Media (°C)', 'Desviación estándar de la población (°C)', 'Tiempo sobre el límite superior',
                     'Tiempo bajo el límite inferior'], head
assert head[10:] == ['MKT (°C)', 'Alarmas altas', 'Alarmas bajas', 'Tiempo en alarma alta',
                     'Tiempo en alarma baja'], head[10:]
def minutes(v):
    return round((v if isinstance(v, datetime.timedelta) else datetime.timedelta(days=v)).total_seconds() / 60)
rows = {sheet.cell(row=r, column=1).value: [c.value for c in sheet[r]] for r in range(2, 18)}
ch1, ch2, ch3 = rows['CH1'], rows['CH2'], rows['CH3']
assert abs(ch1[10] - float(sys.argv[2])) < 1e-9, (ch1[10], sys.argv[2])
assert ch1[11:13] == [1, 0] and minutes(ch1[13]) == 40 and minutes(ch1[14]) == 0, ch1
assert ch3[11:13] == [0, 1] and minutes(ch3[14]) == 20, ch3
assert ch2[11:13] == ['no aplica', 'no aplica'] and ch2[13] is None, ch2
assert rows['CH7'][10] is None, rows['CH7']
facts = {sheet.cell(row=r, column=1).value: sheet.cell(row=r, column=3).value for r in range(19, sheet.max_row + 1)}
assert facts['Energía de activación de la MKT (kJ/mol)'] == 83.144, facts
assert facts['Límites de alarma'] == 'los del registrador', facts
assert facts['Límite inferior (°C)'] == 'ninguno', facts
print('ok')
)";

TEST(StatisticsAlarms, WorkbookSheetAddsTheColumnsAtTheEnd) {
  ApplyProgramFormats();
  QTemporaryDir dir;
  const std::string path = dir.filePath("datos.xlsx").toStdString();
  const TDataTable table = SampleTable();
  TAlarmOptions alarms;
  alarms.Limits = SampleLimits();
  SaveRecords(path, TExportFormat::Xlsx, {table, kRecords, kDragged}, TCsvStyle::Comma, {}, alarms);
  char mkt[32];
  std::snprintf(mkt, sizeof mkt, "%.17g", *CoreFigures(kDefaultActivationEnergy).Channels[0].Mkt);
  EXPECT_EQ(Python(kSheetCheck, path, std::string(mkt)), "");
}

}  // namespace
