#pragma once

#include "runtime/date_format.h"
#include "widgets/bevel.h"
#include "widgets/ins_graphic_control.h"

#include <QFont>
#include <QImage>

class TInsValueLayer;

enum TClockOption { coDate, coTime, coDateTime };

// Shows the PC's time, date or both in the program's formats. The blink
// service tells it once per second to redraw; then only the text is drawn
// again, through an off-screen image the size of the text.
class TInsClock : public TInsGraphicControl {
public:
  explicit TInsClock(QWidget *parent = nullptr);
  ~TInsClock() override;

  TClockOption ClockOption() const { return option_; }
  void SetClockOption(TClockOption o);
  TInsSBevel &BevelOuter() { return bevelOuter_; }
  TInsSBevel &BevelInner() { return bevelInner_; }
  QFont Font() const { return font(); }
  void SetFont(const QFont &f);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c);
  // Each redraw sets the hint to today's date.
  bool AutoHint() const { return autoHint_; }
  void SetAutoHint(bool v);

  // The text for a moment: time with the long time format, date with the
  // short date format, both with date, a blank and time.
  static QString ClockTextAt(TClockOption option, const TDateTimeParts &t);
  QString ClockText() const;
  // Where the text goes (the part a second's redraw repaints).
  QRect TextRect();
  // The least size the text and the bevels need.
  QSize MinimumContentSize() const;

  // What the blink service's second notification runs.
  void SecondTick();

  int PaintCount() const { return paintCount_; }
  int TextPaintCount() const;
  void ResetPaintStats();

protected:
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;

private:
  void Relayout();
  void PaintText(QPainter &p, const QRect &r);
  void SettingsObjectChanged() { Change(); }

  TClockOption option_ = coTime;
  TInsSBevel bevelOuter_, bevelInner_;
  QColor fontColor_;
  bool autoHint_ = true;
  QRect textRect_;
  QSize layoutSize_;
  QImage textImage_;
  TInsValueLayer *textLayer_ = nullptr;
  int paintCount_ = 0;
};
