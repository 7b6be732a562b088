#include "widgets/binary_control.h"
#include "widgets/flash_timer.h"

#include <gtest/gtest.h>
#include <QTest>

#include <vector>

namespace {

class TBin : public TInsBinGControl {
public:
  explicit TBin(QWidget *parent = nullptr) : TInsBinGControl(parent) { resize(40, 20); }
  int drawStates = 0, statusChanges = 0;
  std::vector<bool> phases;

protected:
  void DrawState() override { ++drawStates; }
  void StatusChanged() override { ++statusChanges; }
  void FlashState(bool on) override { phases.push_back(on); }
};

void Press(QWidget &w, Qt::MouseButton b = Qt::LeftButton) { QTest::mousePress(&w, b, {}, QPoint(5, 5)); }
void Release(QWidget &w, Qt::MouseButton b = Qt::LeftButton) { QTest::mouseRelease(&w, b, {}, QPoint(5, 5)); }

TEST(BinaryControl, CheckedMirrorsIntoTheStatusBit) {
  TBin w;
  int events = 0;
  w.OnStatusChanged = [&](QObject *) { ++events; };
  w.SetStatusBit(3);
  w.SetChecked(true);
  EXPECT_EQ(w.StatusInt(), 8);
  EXPECT_EQ(w.LowestSetBit(), 3);
  w.SetChecked(true);  // equal: nothing
  EXPECT_EQ(events, 1);
  w.SetStatusInt(8 | 2);
  w.SetChecked(false);  // only its own bit goes
  EXPECT_EQ(w.StatusInt(), 2);
  EXPECT_EQ(w.LowestSetBit(), 1);
  w.SetStatusInt(0);
  EXPECT_EQ(w.LowestSetBit(), 32);
  w.SetStatusBit(32);  // out of range: ignored
  w.SetStatusBit(-1);
  EXPECT_EQ(w.StatusBit(), 3);
  w.SetStatusInt(8);
  EXPECT_TRUE(w.Checked());
}

TEST(BinaryControl, RadioModeOwnsTheWholeWord) {
  TBin w;
  w.SetMode(mRadioButton);
  EXPECT_EQ(w.StatusInt(), 1);
  EXPECT_TRUE(w.Checked());
  w.SetStatusBit(2);
  EXPECT_FALSE(w.Checked());
  w.SetChecked(true);
  EXPECT_EQ(w.StatusInt(), 4);  // the word becomes just this bit
  w.SetChecked(false);
  EXPECT_EQ(w.StatusInt(), 4);  // left as it was
  w.SetMode(mButton);
  EXPECT_EQ(w.StatusInt(), 0);
  EXPECT_FALSE(w.Checked());
}

TEST(BinaryControl, ButtonModeIsCheckedOnlyWhileHeld) {
  TBin w;
  w.SetMode(mButton);
  int clicks = 0;
  std::vector<Qt::MouseButton> ups;
  w.OnClick = [&](QObject *s) {
    EXPECT_EQ(s, &w);
    // Still held, and before the mouse-up event, as the toolkit orders them.
    EXPECT_TRUE(w.Checked());
    EXPECT_TRUE(ups.empty());
    ++clicks;
  };
  w.OnMouseUp = [&](QObject *, Qt::MouseButton b, int x, int y) {
    EXPECT_EQ(x, 5);
    EXPECT_EQ(y, 5);
    // The release handler sees the state from before the release.
    EXPECT_EQ(w.Checked(), b == Qt::LeftButton);
    ups.push_back(b);
  };
  Press(w);
  EXPECT_TRUE(w.Checked());
  EXPECT_TRUE(w.Pressed());
  Release(w);
  EXPECT_FALSE(w.Checked());
  EXPECT_FALSE(w.Pressed());
  EXPECT_EQ(clicks, 1);

  Press(w, Qt::RightButton);
  EXPECT_FALSE(w.Checked());
  Release(w, Qt::RightButton);
  EXPECT_EQ(clicks, 1);
  EXPECT_EQ(ups.size(), 2u);
}

TEST(BinaryControl, SwitchTogglesAndIndicatorIgnoresPresses) {
  TBin w;
  w.SetMode(mSwitch);
  int clicks = 0;
  w.OnClick = [&](QObject *) { ++clicks; };
  Press(w);
  Release(w);
  EXPECT_TRUE(w.Checked());
  Press(w);
  Release(w);
  EXPECT_FALSE(w.Checked());

  w.SetMode(mIndicator);
  Press(w);
  Release(w);
  EXPECT_FALSE(w.Checked());
  EXPECT_FALSE(w.Pressed());  // an indicator does not stay "pressed" after a click
  EXPECT_EQ(clicks, 3);       // every completed left click is reported

  // A release outside the widget is no click.
  Press(w);
  QTest::mouseRelease(&w, Qt::LeftButton, {}, QPoint(100, 100));
  EXPECT_EQ(clicks, 3);
}

TEST(BinaryControl, GroupSharesTheWordWithoutLooping) {
  QWidget owner;
  TBin a(&owner), b(&owner), c(&owner), other(&owner);
  for (TBin *w : {&a, &b, &c}) w->SetGroupIndex(1);
  other.SetGroupIndex(2);
  b.SetStatusBit(1);
  c.SetStatusBit(2);
  a.SetStatusInt(2);
  EXPECT_EQ(b.StatusInt(), 2);
  EXPECT_EQ(c.StatusInt(), 2);
  EXPECT_TRUE(b.Checked());
  EXPECT_FALSE(a.Checked());
  EXPECT_EQ(other.StatusInt(), 0);
  // Each member changed exactly once.
  EXPECT_EQ(a.statusChanges, 1);
  EXPECT_EQ(b.statusChanges, 1);
  EXPECT_EQ(c.statusChanges, 1);

  // A newcomer adopts the group's word.
  TBin d(&owner);
  d.SetStatusBit(1);
  d.SetGroupIndex(1);
  EXPECT_EQ(d.StatusInt(), 2);
  EXPECT_TRUE(d.Checked());
  d.SetGroupIndex(-3);  // ignored
  EXPECT_EQ(d.GroupIndex(), 1);
}

TEST(BinaryControl, BlinksOnlyWhileCheckedAndFlashing) {
  TInsFlashTimer &svc = TInsFlashTimer::Instance();
  svc.Stop();  // ticks by hand
  const int base = svc.ClientCount();
  TBin w;
  w.SetFlashing(true);
  EXPECT_FALSE(svc.IsRegistered(&w));
  w.SetChecked(true);
  EXPECT_TRUE(svc.IsRegistered(&w));
  w.SetFrequency(ff8Hz);  // rate code 2: a phase change every 4 ticks
  svc.SetCounter(0);
  for (int i = 0; i < 16; ++i) svc.TickAt(i * 16, 0);
  EXPECT_EQ(w.phases, (std::vector<bool>{true, false, true, false}));
  w.SetChecked(false);
  EXPECT_FALSE(svc.IsRegistered(&w));
  w.SetChecked(true);
  {
    TBin gone;
    gone.SetFlashing(true);
    gone.SetChecked(true);
    EXPECT_TRUE(svc.IsRegistered(&gone));
  }
  EXPECT_EQ(svc.ClientCount(), base + 1);  // the destroyed one left the list
  w.SetFlashing(false);
  EXPECT_EQ(svc.ClientCount(), base);
}

}  // namespace
