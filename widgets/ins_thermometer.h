#pragma once

#include "widgets/scale_draw.h"
#include "widgets/value_box.h"

#include <QFont>
#include <QImage>

enum TBarStyle { bsBar, bsLED_Bar, bsPoint };

// The thermometer's column: its fill colours, its bevel and the least inner
// size the channel needs.
class TBarSettings : public TInsSettings {
public:
  enum TBarOption { opValue, opUnit, opUseSectorCol, opBidir };
  using TBarOptions = TSet<TBarOption>;

  TBarSettings();

  TBarStyle Style() const { return style_; }
  void SetStyle(TBarStyle v) { Set(style_, v); }
  QColor Color() const { return color_; }
  void SetColor(const QColor &c) { Set(color_, c); }
  QColor BkColor() const { return bkColor_; }
  void SetBkColor(const QColor &c) { Set(bkColor_, c); }
  TBarOptions Options() const { return options_; }
  void SetOptions(TBarOptions o) { Set(options_, o); }
  // Font of the value written inside the bar (opValue).
  QFont Font() const { return font_; }
  void SetFont(const QFont &f) { Set(font_, f); }
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c) { Set(fontColor_, c); }
  TInsSBevel &Bevel() { return bevel_; }
  const TInsSBevel &Bevel() const { return bevel_; }
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int v) {  // below 1 ignored
    if (v >= 1) Set(minWidth_, v);
  }
  int MinHeight() const { return minHeight_; }
  void SetMinHeight(int v) {  // below 1 ignored
    if (v >= 1) Set(minHeight_, v);
  }

  // Derived: the column is the channel plus its bevel on both sides.
  int ColumnWidth() const { return minWidth_ + 2 * bevel_.BorderSize(); }
  int MinColumnHeight() const { return minHeight_ + 2 * bevel_.BorderSize(); }

private:
  TBarStyle style_ = bsBar;
  QColor color_ = clBlue, bkColor_;
  TBarOptions options_;
  QFont font_;
  QColor fontColor_;
  TInsSBevel bevel_;
  int minWidth_ = 5, minHeight_ = 5;
};

// Thermometer: value box at the top, a column filled to the value's position
// between two tick scales, names at the bottom. The column and the value box
// are repainted alone on a value change, from a saved picture of what lies
// under them.
class TInsThermometer : public TInsValueBoxGControl {
public:
  enum TThMetOption { opBevelInner, opBevelOuter, opValue, opName1, opName2, opUnit };
  using TThMetOptions = TSet<TThMetOption>;

  explicit TInsThermometer(QWidget *parent = nullptr);

  TThMetOptions Options() const { return options_; }
  void SetOptions(TThMetOptions o) { SetSetting(options_, o); }
  TBarSettings &BarSettings() { return bar_; }
  TScaleSettings &ScaleSettings() { return scale_; }
  int ScaleSpacing() const { return scaleSpacing_; }
  void SetScaleSpacing(int v) { SetSetting(scaleSpacing_, v); }

  // What the contents need; AutoSize takes exactly this when shown.
  QSize MinimumContentSize() const;

  // Geometry of the last layout, for the window and the tests.
  bool TooSmall() { return Sync().tooSmall; }
  QRect ColumnRect() { return Sync().column; }
  QRect ChannelRect() { return Sync().channel; }
  QRect ValueBoxRect() { return Sync().box.Box; }
  QRect ValueTextRect() { return Sync().box.Text; }
  const TScaleDiv &ScaleDiv() { return Sync().div; }
  const TScaleMetrics &ScaleMetrics() { return Sync().metrics; }
  // The names, each with its rectangle as its room.
  TCaptionBoxes Captions() override;
  // Row of the channel at a scale value (ValueTo at the top row).
  int ScaleY(double value);
  // Pixels of the channel filled for the current position.
  int FillHeight();
  // Colour the fill takes now (bar colour or the sector's).
  QColor FillColor() const;

  // Paints of the column layer (the value's are ValuePaintCount).
  int ColumnPaintCount() const { return columnLayer_->PaintCount(); }

protected:
  TFrameParts FrameParts() const override;
  QSize AutoSizeFor() const override { return MinimumContentSize(); }
  void Arrange() override;
  void PaintStill(QPainter &p) const override;
  void ValueChanged() override;

private:
  struct TLayout {
    bool tooSmall = true;
    TFrame frame;
    TValueBox box;
    QRect innerBevel;  // where the inner bevel goes (opBevelInner)
    QRect column, channel;
    TScaleDiv div;
    TScaleMetrics metrics;
    TScaleMap map;
    int leftTickX = 0, rightTickX = 0, labelLeft = 0, labelRight = 0;
  };
  const TLayout &Sync() {
    SyncLayout();
    return layout_;
  }
  TLayout ComputeLayout() const;
  void PaintColumn(QPainter &p, const QRect &r);
  void PaintMarks(QPainter &p, const QRect &column) const;

  TThMetOptions options_{opValue, opName1, opName2, opUnit};
  TBarSettings bar_;
  TScaleSettings scale_;
  int scaleSpacing_ = 2;

  TLayout layout_;
  QImage columnImage_;  // off-screen copy the column is composed in
  TInsValueLayer *columnLayer_ = nullptr;
};
