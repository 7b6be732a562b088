#pragma once

#include <QColor>
#include <QFont>
#include <QString>
#include <QStringList>

class TChart;

// Fonts given in points, as the forms write them, are turned into the pixels
// of a 96 dpi screen by the windows' own rule, so that the layout is the same
// on every device and the printer only scales it.
QFont PixelFont(QFont f);

// Settings groups of the chart. Each one belongs to a chart (or to nothing,
// in a test) and asks it to repaint when a setting really changes.
class TChartPart {
public:
  explicit TChartPart(TChart *chart) : chart_(chart) {}
  TChartPart(const TChartPart &) = delete;
  TChartPart &operator=(const TChartPart &) = delete;
  TChart *ParentChart() const { return chart_; }

protected:
  void Changed();
  template <class T>
  void Assign(T &field, const T &value) {
    if (field == value) return;
    field = value;
    Changed();
  }

private:
  TChart *chart_;
};

// A line: colour, width in pixels, style, shown or not.
class TChartPen : public TChartPart {
public:
  TChartPen(TChart *chart, QColor color, int width = 1, Qt::PenStyle style = Qt::SolidLine, bool visible = true)
      : TChartPart(chart), color_(color), width_(width), style_(style), visible_(visible) {}

  QColor Color() const { return color_; }
  void SetColor(QColor c) { Assign(color_, c); }
  int Width() const { return width_; }
  void SetWidth(int w) { Assign(width_, w < 0 ? 0 : w); }
  Qt::PenStyle Style() const { return style_; }
  void SetStyle(Qt::PenStyle s) { Assign(style_, s); }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Assign(visible_, v); }

private:
  QColor color_;
  int width_;
  Qt::PenStyle style_;
  bool visible_;
};

// Tick marks of an axis: a pen plus the length outside the axis line.
class TChartTicks : public TChartPen {
public:
  TChartTicks(TChart *chart, int length, int count = 0)
      : TChartPen(chart, QColor(128, 128, 128)), length_(length), count_(count) {}
  int Length() const { return length_; }
  void SetLength(int l) { Assign(length_, l < 0 ? 0 : l); }
  // Minor ticks only: how many between two labels.
  int Count() const { return count_; }
  void SetCount(int n) { Assign(count_, n < 0 ? 0 : n); }

private:
  int length_;
  int count_;
};

// Text with its font and colour (the title, the foot, an axis title).
class TChartText : public TChartPart {
public:
  // Set here, not through SetVisible: a part is made while its chart is
  // still being built, too early to ask it to repaint.
  TChartText(TChart *chart, const QFont &font, QColor color, bool visible = true)
      : TChartPart(chart), font_(font), color_(color), visible_(visible) {}

  QFont Font() const { return font_; }
  void SetFont(const QFont &f) { Assign(font_, f); }
  QColor FontColor() const { return color_; }
  void SetFontColor(QColor c) { Assign(color_, c); }
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Assign(visible_, v); }

private:
  QFont font_;
  QColor color_;
  bool visible_;
};

// The title above the chart and the foot below it: lines of text, centred.
class TChartTitle : public TChartText {
public:
  using TChartText::TChartText;
  QStringList Text() const { return text_; }
  void SetText(const QStringList &lines) { Assign(text_, lines); }
  Qt::Alignment Alignment() const { return alignment_; }
  void SetAlignment(Qt::Alignment a) { Assign(alignment_, a); }

private:
  QStringList text_;
  Qt::Alignment alignment_ = Qt::AlignHCenter;
};

// An axis title: a caption drawn at an angle (90: reads upwards).
class TChartAxisTitle : public TChartText {
public:
  TChartAxisTitle(TChart *chart, int angle) : TChartText(chart, QFont("Arial", 8), Qt::black), angle_(angle) {}
  QString Caption() const { return caption_; }
  void SetCaption(const QString &c) { Assign(caption_, c); }
  int Angle() const { return angle_; }
  void SetAngle(int a) { Assign(angle_, a); }

private:
  QString caption_;
  int angle_;
};

enum TGradientDirection {
  gdTopBottom,
  gdBottomTop,
  gdLeftRight,
  gdRightLeft,
  gdFromCenter,
  gdFromTopLeft,
  gdFromBottomLeft
};

class TChartGradient : public TChartPart {
public:
  using TChartPart::TChartPart;
  bool Visible() const { return visible_; }
  void SetVisible(bool v) { Assign(visible_, v); }
  QColor StartColor() const { return start_; }
  void SetStartColor(QColor c) { Assign(start_, c); }
  QColor EndColor() const { return end_; }
  void SetEndColor(QColor c) { Assign(end_, c); }
  TGradientDirection Direction() const { return direction_; }
  void SetDirection(TGradientDirection d) { Assign(direction_, d); }

private:
  bool visible_ = false;
  QColor start_{255, 255, 255};
  QColor end_{255, 255, 0};
  TGradientDirection direction_ = gdTopBottom;
};

// The rectangle behind the series. A clear brush (Qt::NoBrush) leaves the
// panel showing through.
class TChartWall : public TChartPart {
public:
  explicit TChartWall(TChart *chart) : TChartPart(chart), pen_(chart, Qt::black) {}
  QColor Color() const { return color_; }
  void SetColor(QColor c) { Assign(color_, c); }
  Qt::BrushStyle BrushStyle() const { return brushStyle_; }
  void SetBrushStyle(Qt::BrushStyle s) { Assign(brushStyle_, s); }
  TChartPen &Pen() { return pen_; }
  const TChartPen &Pen() const { return pen_; }

private:
  QColor color_{255, 255, 255};
  Qt::BrushStyle brushStyle_ = Qt::SolidPattern;
  TChartPen pen_;
};

enum TLegendAlignment { laLeft, laRight, laTop, laBottom };

// The list of the shown series, each with a stroke of its line and its
// title, in a framed box beside the chart.
class TChartLegend : public TChartText {
public:
  explicit TChartLegend(TChart *chart)
      : TChartText(chart, QFont("Arial", 8), Qt::black, false), frame_(chart, Qt::black) {}
  TLegendAlignment Alignment() const { return alignment_; }
  void SetAlignment(TLegendAlignment a) { Assign(alignment_, a); }
  // Makes room for itself beside the chart; off, it is drawn over it.
  bool ResizeChart() const { return resizeChart_; }
  void SetResizeChart(bool v) { Assign(resizeChart_, v); }
  QColor Color() const { return color_; }
  void SetColor(QColor c) { Assign(color_, c); }
  TChartPen &Frame() { return frame_; }
  const TChartPen &Frame() const { return frame_; }

private:
  TLegendAlignment alignment_ = laRight;
  bool resizeChart_ = true;
  QColor color_{255, 255, 255};
  TChartPen frame_;
};

// Page margins for printing, in percent of the page width (Left, Right) and
// height (Top, Bottom).
struct TPrintMargins {
  int Left = 15, Top = 15, Right = 15, Bottom = 15;
  bool operator==(const TPrintMargins &o) const {
    return Left == o.Left && Top == o.Top && Right == o.Right && Bottom == o.Bottom;
  }
  bool operator!=(const TPrintMargins &o) const { return !(*this == o); }
};
