#pragma once

#include "widgets/analog_control.h"
#include "widgets/bevel.h"
#include "widgets/scale_draw.h"

#include <QFont>
#include <QImage>

class TInsValueLayer;

enum TBarStyle { bsBar, bsLED_Bar, bsPoint };

// The thermometer's column: its fill colours, its bevel and the least inner
// size the channel needs.
class TBarSettings {
public:
  enum TBarOption { opValue, opUnit, opUseSectorCol, opBidir };
  using TBarOptions = TSet<TBarOption>;

  TBarSettings();

  TBarStyle Style() const { return style_; }
  void SetStyle(TBarStyle v);
  QColor Color() const { return color_; }
  void SetColor(const QColor &c);
  QColor BkColor() const { return bkColor_; }
  void SetBkColor(const QColor &c);
  TBarOptions Options() const { return options_; }
  void SetOptions(TBarOptions o);
  // Font of the value written inside the bar (opValue).
  QFont Font() const { return font_; }
  void SetFont(const QFont &f);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c);
  TInsSBevel &Bevel() { return bevel_; }
  const TInsSBevel &Bevel() const { return bevel_; }
  int MinWidth() const { return minWidth_; }
  void SetMinWidth(int v);  // below 1 ignored
  int MinHeight() const { return minHeight_; }
  void SetMinHeight(int v);  // below 1 ignored

  // Derived: the column is the channel plus its bevel on both sides.
  int ColumnWidth() const { return minWidth_ + 2 * bevel_.BorderSize(); }
  int MinColumnHeight() const { return minHeight_ + 2 * bevel_.BorderSize(); }

  std::function<void()> OnChange;

private:
  void Changed() {
    if (OnChange) OnChange();
  }
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
class TInsThermometer : public TInsAnalogGControl {
public:
  enum TThMetOption { opBevelInner, opBevelOuter, opValue, opName1, opName2, opUnit };
  using TThMetOptions = TSet<TThMetOption>;

  explicit TInsThermometer(QWidget *parent = nullptr);

  TThMetOptions Options() const { return options_; }
  void SetOptions(TThMetOptions o);
  bool AutoSize() const { return autoSize_; }
  void SetAutoSize(bool v);
  // The widget font (names, the unit's colour).
  QFont Font() const { return font(); }
  void SetFont(const QFont &f);
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c);
  QFont FontValue() const { return fontValue_; }
  void SetFontValue(const QFont &f);
  QColor FontValueColor() const { return fontValueColor_; }
  void SetFontValueColor(const QColor &c);
  TBarSettings &BarSettings() { return bar_; }
  TInsSBevel &BevelInner() { return bevelInner_; }
  TInsSBevel &BevelOuter() { return bevelOuter_; }
  TInsSBevel &BevelValue() { return bevelValue_; }
  TScaleSettings &ScaleSettings() { return scale_; }
  int ScaleSpacing() const { return scaleSpacing_; }
  void SetScaleSpacing(int v);

  // What the contents need; AutoSize takes exactly this when shown.
  QSize MinimumContentSize() const;

  // Geometry of the last layout, for the window and the tests.
  bool TooSmall() { return Sync().tooSmall; }
  QRect ColumnRect() { return Sync().column; }
  QRect ChannelRect() { return Sync().channel; }
  QRect ValueBoxRect() { return Sync().box; }
  QRect ValueTextRect() { return Sync().valueRect; }
  const TScaleDiv &ScaleDiv() { return Sync().div; }
  const TScaleMetrics &ScaleMetrics() { return Sync().metrics; }
  // The names, each with its rectangle as its room.
  TCaptionBoxes Captions();
  // Row of the channel at a scale value (ValueTo at the top row).
  int ScaleY(double value);
  // Pixels of the channel filled for the current position.
  int FillHeight();
  // Colour the fill takes now (bar colour or the sector's).
  QColor FillColor() const;

  // Paint statistics: the widget itself, and its column and value layers.
  int PaintCount() const { return paintCount_; }
  int ColumnPaintCount() const;
  int ValuePaintCount() const;
  void ResetPaintStats();

protected:
  void ValueChanged() override;
  void StaleChanged() override;
  void SettingsChanged() override;
  void paintEvent(QPaintEvent *e) override;
  void resizeEvent(QResizeEvent *e) override;
  void showEvent(QShowEvent *e) override;

private:
  struct TLayout {
    bool tooSmall = true;
    QRect name1, name2;
    QRect box, valueRect;
    int unitX = 0, unitY = 0;
    QRect innerBevel;  // where the inner bevel goes (opBevelInner)
    QRect column, channel;
    TScaleDiv div;
    TScaleMetrics metrics;
    TScaleMap map;
    int leftTickX = 0, rightTickX = 0, labelLeft = 0, labelRight = 0;
  };
  void Relayout();
  // The layout for the current size; a hidden widget gets its resize event
  // only when shown, so everything that reads the layout comes through here.
  const TLayout &Sync();
  TLayout ComputeLayout() const;
  void EnsureStaticImage();
  void PaintStatic(QPainter &p) const;
  void PaintColumn(QPainter &p, const QRect &r);
  void PaintValue(QPainter &p, const QRect &r);
  void PaintMarks(QPainter &p, const QRect &column) const;
  void SettingsObjectChanged();

  TThMetOptions options_{opValue, opName1, opName2, opUnit};
  bool autoSize_ = true;
  QColor fontColor_ = clBlack;
  QFont fontValue_;
  QColor fontValueColor_ = clBlue;
  TBarSettings bar_;
  TInsSBevel bevelInner_, bevelOuter_, bevelValue_;
  TScaleSettings scale_;
  int scaleSpacing_ = 2;

  TLayout layout_;
  QSize layoutSize_;
  QImage static_;      // everything but the value, transparent where the window shows
  bool staticDirty_ = true;
  QImage columnImage_; // off-screen copy the column is composed in
  QImage valueImage_;
  QString textSeparators_;  // decimal and thousands separators ValueText was made with
  TInsValueLayer *columnLayer_ = nullptr;
  TInsValueLayer *valueLayer_ = nullptr;
  int paintCount_ = 0;
};
