#pragma once

#include "widgets/captions.h"

#include <QWidget>

class QPainter;

#include <cstdint>
#include <functional>

enum TMode { mButton, mSwitch, mIndicator, mRadioButton };
enum TFlashFreq { ff8Hz, ff4Hz, ff2Hz, ff1Hz, ff05Hz };

// The two-state model of the LED, the switches and the colour buttons:
// Checked mirrored into one bit of StatusInt, modes that decide what a left
// press does, groups that share a StatusInt, and blinking through the blink
// service while Checked and Flashing.
class TInsBinGControl : public QWidget {
public:
  explicit TInsBinGControl(QWidget *parent = nullptr);
  ~TInsBinGControl() override;

  // The lines of text it paints, as it paints them now (none by default).
  virtual TCaptionBoxes Captions() { return {}; }

  bool Checked() const { return checked_; }
  void SetChecked(bool b);
  TMode Mode() const { return mode_; }
  void SetMode(TMode m);
  bool Flashing() const { return flashing_; }
  void SetFlashing(bool b);
  TFlashFreq Frequency() const { return frequency_; }
  void SetFrequency(TFlashFreq f);
  int32_t StatusInt() const { return statusInt_; }
  void SetStatusInt(int32_t i);
  int StatusBit() const { return statusBit_; }
  void SetStatusBit(int n);  // 0 .. 31, others ignored
  int GroupIndex() const { return groupIndex_; }
  void SetGroupIndex(int g);  // negative ignored
  bool Pressed() const { return pressed_; }
  int LowestSetBit() const { return lowestBit_; }  // 32 when StatusInt is 0
  // Last phase received from the blink service (true = on).
  bool FlashPhase() const { return flashPhase_; }

  // Rate code of a blink frequency (ff8Hz 2 .. ff05Hz 6).
  static int RateCode(TFlashFreq f) { return 2 + int(f); }

  std::function<void(QObject *Sender)> OnStatusChanged;
  std::function<void(QObject *Sender)> OnStatusIntChanged;
  std::function<void(QObject *Sender)> OnClick;
  std::function<void(QObject *Sender, Qt::MouseButton Button, int X, int Y)> OnMouseUp;
  std::function<void(QObject *Sender, Qt::MouseButton Button, int X, int Y)> OnMouseDown;

protected:
  virtual void Redraw() { update(); }
  virtual void DrawState() {}
  virtual void GroupChanged() {}
  virtual void StatusChanged() {}
  virtual void FlashState(bool on);

  // What a left press does to the state; the switch narrows it to zones.
  virtual void PressAction(const QPoint &pos);
  // Where a click made with the keyboard lands: one that acts.
  virtual QPoint KeyClickPoint() const { return rect().center(); }

  // The keyboard's focus mark: a dotted frame just inside `r`, shown while
  // the control has the focus and nothing otherwise.
  void PaintFocusMark(QPainter &p, const QRect &r) const;

  void mousePressEvent(QMouseEvent *e) override;
  void mouseReleaseEvent(QMouseEvent *e) override;
  // Space (a press and a release) and Return (both at once) click a control
  // that takes clicks, as the left button would at KeyClickPoint().
  void keyPressEvent(QKeyEvent *e) override;
  void keyReleaseEvent(QKeyEvent *e) override;
  void focusInEvent(QFocusEvent *e) override;
  void focusOutEvent(QFocusEvent *e) override;

private:
  void LeftDown(const QPoint &p);
  void LeftUp(const QPoint &p);
  bool spaceDown_ = false;

  void UpdateFlashRegistration();
  static int LowestBit(uint32_t v);

  bool checked_ = false;
  TMode mode_ = mIndicator;
  bool flashing_ = false;
  TFlashFreq frequency_ = ff1Hz;
  int32_t statusInt_ = 0;
  int statusBit_ = 0;
  int groupIndex_ = 0;
  bool pressed_ = false;
  bool leftDown_ = false;
  int lowestBit_ = 32;
  bool flashPhase_ = false;
};
