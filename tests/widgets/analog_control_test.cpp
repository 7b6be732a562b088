#include "widgets/analog_control.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"
#include "widgets/qstring_print.h"

#include <gtest/gtest.h>

#include <vector>

namespace {

// The model with its notifications counted.
class TProbe : public TInsAnalogGControl {
public:
  int valueChanged = 0, overflowChanged = 0, limitChanged = 0, minMaxChanged = 0, settingsChanged = 0;

protected:
  void ValueChanged() override {
    TInsAnalogGControl::ValueChanged();
    ++valueChanged;
  }
  void OverflowChanged() override { ++overflowChanged; }
  void LimitChanged() override { ++limitChanged; }
  void MinMaxChanged() override { ++minMaxChanged; }
  void SettingsChanged() override {
    TInsAnalogGControl::SettingsChanged();
    ++settingsChanged;
  }
};

class AnalogControl : public ::testing::Test {
protected:
  void SetUp() override { ApplyProgramFormats(); }
  TProbe w;
};

TEST_F(AnalogControl, EqualValueIsIgnoredAndTextsUseTheDecimalComma) {
  int events = 0;
  w.OnValueChange = [&](QObject *sender) {
    EXPECT_EQ(sender, &w);
    ++events;
  };
  w.SetValue(50);  // the stored default
  EXPECT_EQ(events, 0);
  EXPECT_EQ(w.valueChanged, 0);

  w.SetValue(25);
  EXPECT_EQ(w.ValueText(), "25,0");
  w.SetValue(25.04f);
  EXPECT_EQ(w.ValueText(), "25,0");
  EXPECT_EQ(events, 2);
  w.SetValue(23.45f);
  EXPECT_EQ(w.ValueText(), "23,5");
  EXPECT_EQ(w.Digit(), 235);
  EXPECT_EQ(w.DigitText(), "235");
}

TEST_F(AnalogControl, OverRangeIsReportedOncePerExcursionAndClamped) {
  std::vector<int> reports;
  w.OnOverflow = [&](QObject *, int pos) { reports.push_back(pos); };
  w.SetValue(150);
  EXPECT_EQ(w.Position(), 1000);
  EXPECT_TRUE(w.OverRange());
  EXPECT_EQ(w.ValueText(), "150,0");
  w.SetValue(160);  // still out: no second report
  w.SetValue(50);   // back in: cleared with one report
  EXPECT_FALSE(w.OverRange());
  EXPECT_EQ(w.Position(), 500);
  w.SetValue(-20);
  EXPECT_TRUE(w.UnderRange());
  EXPECT_EQ(w.Position(), 0);
  w.SetValue(120);  // straight from under to over: one report, flags swap
  EXPECT_TRUE(w.OverRange());
  EXPECT_FALSE(w.UnderRange());
  ASSERT_EQ(reports.size(), 4u);
  EXPECT_EQ(reports[0], 1500);
  EXPECT_EQ(reports[1], 500);
  EXPECT_EQ(reports[2], -200);
  EXPECT_EQ(reports[3], 1200);
  EXPECT_EQ(w.overflowChanged, 4);
}

TEST_F(AnalogControl, LimitsCountExactlyTheLimitAsInside) {
  std::vector<std::pair<bool, bool>> reports;
  w.OnLimit = [&](QObject *, bool below, bool above) { reports.push_back({below, above}); };
  w.SetValue(10);  // first evaluation reports (flags start set)
  EXPECT_FALSE(w.BelowLower());
  EXPECT_FALSE(w.AboveUpper());
  w.SetValue(90);  // exactly the upper limit: not above, nothing changes
  w.SetValue(9.9f);
  EXPECT_TRUE(w.BelowLower());
  w.SetValue(90.1f);
  EXPECT_TRUE(w.AboveUpper());
  EXPECT_FALSE(w.BelowLower());
  ASSERT_EQ(reports.size(), 3u);
  EXPECT_EQ(reports[0], std::make_pair(false, false));
  EXPECT_EQ(reports[1], std::make_pair(true, false));
  EXPECT_EQ(reports[2], std::make_pair(false, true));
  EXPECT_EQ(w.limitChanged, 3);
}

TEST_F(AnalogControl, SectorColourFollowsThePositionAndReportsBandChanges) {
  std::vector<std::pair<int, bool>> changes;
  w.OnSectorChange = [&](QObject *, int sector, bool in) { changes.push_back({sector, in}); };
  w.SetValue(10);
  EXPECT_EQ(w.SectorColor(), clYellow);
  EXPECT_TRUE(w.InSector(0));
  w.SetValue(33.4f);  // position 334: second band
  EXPECT_EQ(w.SectorColor(), clGreen);
  w.SetValue(99);
  EXPECT_EQ(w.SectorColor(), clRed);
  EXPECT_FALSE(w.InSector(1));
  ASSERT_EQ(changes.size(), 5u);
  EXPECT_EQ(changes[0], std::make_pair(1, true));
  EXPECT_EQ(changes[1], std::make_pair(1, false));
  EXPECT_EQ(changes[2], std::make_pair(2, true));

  // Overlapping bands: the later one wins.
  w.SectorSettings().SetSector3From(500);
  w.SectorSettings().SetSector2To(700);
  w.SetValue(60);
  EXPECT_EQ(w.SectorColor(), clRed);
  EXPECT_EQ(w.SectorSettings().SectorColorAt(600), clGreen);
  EXPECT_FALSE(w.SectorSettings().SectorColorAt(-1).has_value());
}

TEST_F(AnalogControl, ExtremesTakeTheFirstValueSilentlyThenReport) {
  int reports = 0;
  w.OnMinMaxChange = [&](QObject *) { ++reports; };
  w.SetValue(20);
  EXPECT_EQ(w.MinMax().Min(), 20);
  EXPECT_EQ(w.MinMax().Max(), 20);
  EXPECT_EQ(reports, 0);
  w.SetValue(30);
  EXPECT_EQ(w.MinMax().Max(), 30);
  EXPECT_EQ(w.MinMax().Min(), 20);
  EXPECT_EQ(reports, 1);
  w.SetValue(25);  // neither extreme
  EXPECT_EQ(reports, 1);
  w.SetValue(5);
  EXPECT_EQ(w.MinMax().Min(), 5);
  EXPECT_EQ(w.MinMax().MinPosition(), 50);
  EXPECT_EQ(reports, 2);
  EXPECT_EQ(w.minMaxChanged, 2);
}

TEST_F(AnalogControl, AutomaticHintListsTheChosenLines) {
  w.SignalSettings().SetValueUnit("ºC");
  w.SignalSettings().SetName1("CANAL 1");
  w.SetHintOptions({hoAutoHint, hoValue, hoMin, hoMax, hoName1});
  w.SetValue(21.5f);
  w.SetValue(22.5f);
  EXPECT_EQ(w.toolTip(), "Value= 22,5 ºC\nMIN= 21,5 ºC\nMAX= 22,5 ºC\nCANAL 1");

  // Only the automatic flag: the hint is emptied.
  w.SetHintOptions({hoAutoHint});
  w.SetValue(23);
  EXPECT_EQ(w.toolTip(), "");

  // Without the automatic flag the hint is left alone.
  w.setToolTip("fijo");
  w.SetHintOptions({});
  w.SetValue(24);
  EXPECT_EQ(w.toolTip(), "fijo");

  // Switching the automatic hint on evaluates at once.
  w.SetHintOptions({hoAutoHint, hoValue});
  EXPECT_EQ(w.toolTip(), "Value= 24,0 ºC");
}

TEST_F(AnalogControl, HintExtremesFollowNewExtremesFormatsAndSettings) {
  w.SignalSettings().SetValueUnit("ºC");
  w.SetHintOptions({hoAutoHint, hoMin, hoMax});
  w.SetValue(21.5f);
  w.SetValue(22.5f);
  w.SetValue(22.0f);  // neither extreme: the lines stay as they were
  EXPECT_EQ(w.toolTip(), "MIN= 21,5 ºC\nMAX= 22,5 ºC");
  w.SetValue(30.25f);
  EXPECT_EQ(w.toolTip(), "MIN= 21,5 ºC\nMAX= 30,3 ºC");

  // A change of the program's separators reaches lines made before it.
  FormatSettings().DecimalSeparator = '.';
  w.SetValue(25);
  EXPECT_EQ(w.toolTip(), "MIN= 21.5 ºC\nMAX= 30.3 ºC");
  FormatSettings().DecimalSeparator = ',';

  // So do the unit, the picture and the choice of lines.
  w.SignalSettings().SetValueUnit("K");
  w.SignalSettings().SetValueFormat("0.00");
  w.SetValue(26);
  EXPECT_EQ(w.toolTip(), "MIN= 21,50 K\nMAX= 30,25 K");
  w.SetHintOptions({hoAutoHint, hoMax, hoMinMaxDate});
  w.SetValue(27);
  EXPECT_TRUE(w.toolTip().startsWith("MAX= 30,25 K " + QString::fromStdString(DateToStr(w.MinMax().MaxDateTime()))))
      << w.toolTip().toStdString();
}

TEST_F(AnalogControl, RawValueAndLimitsFollowTheScale) {
  auto &s = w.SignalSettings();
  s.SetDigitalTo(5000);
  w.SetDigit(2500);
  EXPECT_FLOAT_EQ(w.Value(), 50);
  EXPECT_EQ(w.Position(), 500);
  w.SetValue(25);
  EXPECT_EQ(w.Digit(), 1250);
  w.SetLimitLower(0);
  EXPECT_FLOAT_EQ(w.LimitLower(), 0.0001f);
  w.SetLimitUpper(75);
  EXPECT_EQ(w.LimitUpperPosition(), 750);
}

TEST(SignalSettings, DerivedValuesAndGuardedSetters) {
  TSignalSettings s;
  int changes = 0;
  s.OnChange = [&] { ++changes; };
  EXPECT_EQ(s.FormatSample(), "##0.0");
  s.SetValueTo(0);  // equal to ValueFrom: refused, the span never collapses
  EXPECT_FLOAT_EQ(s.ValueTo(), 100);
  s.SetValueFrom(100);  // equal to ValueTo: refused
  EXPECT_FLOAT_EQ(s.ValueFrom(), 0);
  s.SetDigitalTo(0);
  EXPECT_EQ(s.DigitalTo(), 1000);
  EXPECT_EQ(changes, 0);

  s.SetValueFrom(-10);
  s.SetValueTo(45);
  EXPECT_FLOAT_EQ(s.ValueSpan(), 55);
  EXPECT_EQ(s.PerMille(45), 1000);
  EXPECT_EQ(s.PerMille(-10), 0);
  EXPECT_EQ(s.PerMille(17.5), 500);
  EXPECT_EQ(changes, 2);

  s.SetValueFrom(0);  // stored just off zero
  EXPECT_FLOAT_EQ(s.ValueFrom(), 0.000001f);

  s.SetValueFormat("0.00;-##0.0");
  EXPECT_EQ(s.FormatSample(), "-##0.0");
  s.SetValueFormat("##0.0;#0.00");  // equal length: the part after ";"
  EXPECT_EQ(s.FormatSample(), "#0.00");
  s.SetName1("x");
  s.SetName1("x");
  EXPECT_EQ(changes, 6);

  // A negative scale (start above 0, end below) keeps the last span.
  TSignalSettings n;
  n.SetValueFrom(10);
  n.SetValueTo(-10);
  EXPECT_FLOAT_EQ(n.ValueSpan(), 90);  // from the previous 10 .. 100
}

TEST(GraphicControl, UpdateLockHoldsBackAndReleasesOnce) {
  TProbe w;
  w.BeginUpdate();
  w.BeginUpdate();
  w.SignalSettings().SetName1("a");
  w.SignalSettings().SetName2("b");
  EXPECT_EQ(w.settingsChanged, 0);
  w.EndUpdate();
  EXPECT_EQ(w.settingsChanged, 0);
  w.EndUpdate();
  EXPECT_EQ(w.settingsChanged, 1);
  w.EndUpdate();  // never below zero
  EXPECT_EQ(w.UpdateCount(), 0);
  w.SignalSettings().SetName1("c");
  EXPECT_EQ(w.settingsChanged, 2);
}

TEST(GraphicControl, LoadingStoresQuietlyAndResetsExtremes) {
  ApplyProgramFormats();
  TProbe w;
  int events = 0;
  w.OnValueChange = [&](QObject *) { ++events; };
  w.BeginLoading();
  w.SignalSettings().SetDigitalTo(5000);
  w.SetDigit(2500);
  w.SetValue(40);
  EXPECT_EQ(events, 0);
  EXPECT_EQ(w.settingsChanged, 0);
  w.Loaded();
  EXPECT_EQ(w.settingsChanged, 1);
  EXPECT_EQ(w.ValueText(), "40,0");
  EXPECT_EQ(w.MinMax().Min(), TMinMax::kMinStart);
  // The first live value after loading still gets its limit report.
  int limits = 0;
  w.OnLimit = [&](QObject *, bool, bool) { ++limits; };
  w.SetValue(20);
  EXPECT_EQ(limits, 1);
}

TEST(GraphicControl, HandlerFailureIsShownAndThePipelineGoesOn) {
  std::vector<std::string> shown;
  SetExceptionPresenter([&](const std::string &, const std::string &m) { shown.push_back(m); });
  TProbe w;
  w.OnLimit = [](QObject *, bool, bool) { throw Exception("falla"); };
  int after = 0;
  w.OnValueChange = [&](QObject *) { ++after; };
  w.SetValue(95);
  SetExceptionPresenter(nullptr);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "falla");
  EXPECT_EQ(after, 1);
  EXPECT_TRUE(w.AboveUpper());
}

}  // namespace

namespace {

TEST(GraphicControlScale, ScaleChangeKeepsTheValueAndMovesItsPosition) {
  ApplyProgramFormats();
  TProbe w;  // value 50 on 0 .. 100
  EXPECT_EQ(w.Position(), 500);
  w.SignalSettings().SetValueFrom(50);
  EXPECT_FLOAT_EQ(w.Value(), 50);
  EXPECT_EQ(w.Position(), 0);
  EXPECT_EQ(w.Digit(), 0);
  w.SignalSettings().SetDigitalTo(2000);
  w.SetValue(75);
  EXPECT_EQ(w.Digit(), 1000);
  EXPECT_EQ(w.Position(), 500);
}

}  // namespace
