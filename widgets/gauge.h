#pragma once

#include "widgets/ins_colors.h"

#include <QImage>
#include <QWidget>

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

// Progress gauge; the main window uses the pie. The figure is composed
// off-screen and copied in one piece; a progress step that leaves the whole
// percentage unchanged draws nothing.
class TGauge : public QWidget {
public:
  enum TBorderStyle { bsNone, bsSingle };

  explicit TGauge(QWidget *parent = nullptr);

  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind k);
  int MinValue() const { return minValue_; }
  void SetMinValue(int v);  // above MaxValue: error
  int MaxValue() const { return maxValue_; }
  void SetMaxValue(int v);  // below MinValue: error "Value must be between %d and %d"
  int Progress() const { return progress_; }
  void SetProgress(int v);  // clamped to MinValue .. MaxValue
  bool ShowText() const { return showText_; }
  void SetShowText(bool v);
  TBorderStyle BorderStyle() const { return borderStyle_; }
  void SetBorderStyle(TBorderStyle v);
  QColor ForeColor() const { return foreColor_; }
  void SetForeColor(const QColor &c);
  QColor BackColor() const { return backColor_; }
  void SetBackColor(const QColor &c);
  QColor Color() const { return color_; }
  void SetColor(const QColor &c);

  // round((Progress - MinValue) * 100 / (MaxValue - MinValue)); 0 for an
  // empty range.
  int PercentDone() const;
  // The figure's area: the client area less the border.
  QRect FigureRect() const;
  // The figure as it would be painted now.
  QImage RenderFigure() const;

  int RepaintRequests() const { return repaintRequests_; }

protected:
  void paintEvent(QPaintEvent *e) override;

private:
  void Repaint();

  TGaugeKind kind_ = gkHorizontalBar;
  int minValue_ = 0, maxValue_ = 100, progress_ = 0;
  bool showText_ = true;
  TBorderStyle borderStyle_ = bsSingle;
  QColor foreColor_ = clBlack, backColor_ = clWhite, color_ = clBtnFace();
  int repaintRequests_ = 0;
};
