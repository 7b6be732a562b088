#pragma once

#include "widgets/ins_colors.h"

#include <QWidget>

enum TGaugeKind { gkText, gkHorizontalBar, gkVerticalBar, gkPie, gkNeedle };

// Progress gauge; the main window uses the pie.
class TGauge : public QWidget {
public:
  explicit TGauge(QWidget *parent = nullptr);

  TGaugeKind Kind() const { return kind_; }
  void SetKind(TGaugeKind k);
  int MinValue() const { return minValue_; }
  void SetMinValue(int v);
  int MaxValue() const { return maxValue_; }
  void SetMaxValue(int v);
  int Progress() const { return progress_; }
  void SetProgress(int v);  // clamped to MinValue .. MaxValue
  bool ShowText() const { return showText_; }
  void SetShowText(bool v);
  QColor ForeColor() const { return foreColor_; }
  void SetForeColor(const QColor &c);
  QColor BackColor() const { return backColor_; }
  void SetBackColor(const QColor &c);
  QColor Color() const { return color_; }
  void SetColor(const QColor &c);

  int PercentDone() const;

protected:
  void paintEvent(QPaintEvent *e) override;

private:
  TGaugeKind kind_ = gkHorizontalBar;
  int minValue_ = 0, maxValue_ = 100, progress_ = 0;
  bool showText_ = true;
  QColor foreColor_ = clBlack, backColor_ = clWhite, color_ = clBtnFace();
};
