// Where a chart drawn into some rectangle puts its parts: titles, axes with
// their labels, and the rectangle the series are drawn in.
#include "chart/chart.h"
#include "chart/chart_detail.h"

#include <QFontMetrics>

#include <algorithm>
#include <cmath>

using namespace chart_detail;

void TChart::CalcRanges(double minimum[4], double maximum[4]) {
  for (int p = 0; p < 4; ++p) {
    TChartAxis &axis = *axes_[p];
    const bool horiz = axis.Horizontal();
    auto usesAxis = [&](const TLineSeries &s) {
      if (horiz) return (s.HorizAxis() == aTopAxis) == (p == apTop);
      return (s.VertAxis() == aRightAxis) == (p == apRight);
    };
    bool anyActive = false;
    for (auto &s : series_)
      if (usesAxis(*s) && s->Active()) anyActive = true;
    double lo = 0, hi = 0;
    bool found = false;
    for (auto &s : series_) {
      if (!usesAxis(*s) || (anyActive && !s->Active())) continue;
      const TChartValueList &list = horiz ? s->XValues() : s->YValues();
      if (!list.HasRange()) continue;
      if (!found) {
        lo = list.MinValue();
        hi = list.MaxValue();
        found = true;
      } else {
        lo = std::min(lo, list.MinValue());
        hi = std::max(hi, list.MaxValue());
      }
    }
    if (found && p == apLeft)
      for (const TChartBand &b : bands_)
        for (double edge : {b.Low, b.High})
          if (std::isfinite(edge)) {
            lo = std::min(lo, edge);
            hi = std::max(hi, edge);
          }
    minimum[p] = axis.Automatic() || axis.AutomaticMinimum() ? lo : axis.Minimum();
    maximum[p] = axis.Automatic() || axis.AutomaticMaximum() ? hi : axis.Maximum();
  }
}

int TChart::FrameWidth() const {
  int w = borderStyle_ == bsSingle ? 1 : 0;
  if (bevelOuter_ != bvNone) w += bevelWidth_;
  w += borderWidth_;
  if (bevelInner_ != bvNone) w += bevelWidth_;
  return w;
}

TChartLayout TChart::Layout(const QRect &bounds) {
  TChartLayout l;
  l.Bounds = bounds;
  const int fw = FrameWidth();
  const QRect inner = bounds.adjusted(fw, fw, -fw, -fw);
  QRect r = inner.adjusted(inner.width() * margins_[0] / 100, inner.height() * margins_[1] / 100,
                           -inner.width() * margins_[2] / 100, -inner.height() * margins_[3] / 100);

  auto titleBlock = [&](TChartTitle &t, bool top, QRect &out) {
    if (!t.Visible() || t.Text().isEmpty()) return;
    const QFontMetrics fm(PixelFont(t.Font()));
    const int h = fm.height() * static_cast<int>(t.Text().size());
    if (top) {
      out = QRect(r.left(), r.top(), r.width(), h);
      r.setTop(r.top() + h + 2 * kGap);
    } else {
      out = QRect(r.left(), r.bottom() - h + 1, r.width(), h);
      r.setBottom(r.bottom() - h - 2 * kGap);
    }
  };
  titleBlock(title_, true, l.TitleRect);
  titleBlock(foot_, false, l.FootRect);
  PlaceLegend(r, l);

  double mn[4], mx[4];
  CalcRanges(mn, mx);

  auto titleDepth = [](const TChartAxis &a) {
    if (a.Title().Caption().isEmpty() || !a.Title().Visible()) return 0;
    return QFontMetrics(PixelFont(a.Title().Font())).height() + kGap;
  };
  auto showsLabels = [](const TChartAxis &a) { return a.Labels() && a.LabelStyle() != talNone; };
  auto labelHeight = [&](const TChartAxis &a) {
    return showsLabels(a) ? QFontMetrics(PixelFont(a.LabelsFont())).height() + kGap : 0;
  };

  // Horizontal axes first: their depth depends only on the fonts.
  int depth[4] = {0, 0, 0, 0};
  for (TAxisPlace p : {apBottom, apTop}) {
    const TChartAxis &a = *axes_[p];
    if (!a.Visible()) continue;
    depth[p] = a.Ticks().Length() + labelHeight(a) + titleDepth(a);
    if (p == apBottom) r.setBottom(r.bottom() - depth[p]);
    else r.setTop(r.top() + depth[p]);
  }

  auto span = [](int from, int length, double startPct, double endPct, TAxisMap &m) {
    const int size = std::max(0, length - 1);
    m.StartPos = from + static_cast<int>(std::lround(size * startPct / 100.0));
    m.EndPos = from + static_cast<int>(std::lround(size * endPct / 100.0));
    if (m.EndPos < m.StartPos) std::swap(m.StartPos, m.EndPos);
  };
  auto ticksFor = [&](TAxisPlace p, const TAxisMap &m) {
    const TChartAxis &a = *axes_[p];
    const QFontMetrics fm(PixelFont(a.LabelsFont()));
    if (a.LabelSource())
      return a.LabelSource()(m.Minimum, m.Maximum, m.Size(), a.LabelsSeparation(),
                             [&fm](const std::string &text) { return TextWidth(fm, Q(text)); });
    if (!a.Horizontal())
      return CalcAxisTicks(m.Minimum, m.Maximum, m.Size(), fm.height(), a.LabelsSeparation(), a.Increment());
    // A label's width depends on the decimals its step needs, and the step on
    // the labels' width: measured again while a finer step asks for wider
    // labels (a few rounds settle it).
    TAxisTicks ticks;
    double measuredStep = 0;
    for (int round = 0; round < 3; ++round) {
      const int size = std::max(TextWidth(fm, Q(a.LabelText(m.Minimum, measuredStep))),
                                TextWidth(fm, Q(a.LabelText(m.Maximum, measuredStep))));
      ticks = CalcAxisTicks(m.Minimum, m.Maximum, m.Size(), size, a.LabelsSeparation(), a.Increment());
      if (StepDecimals(ticks.Step) <= StepDecimals(measuredStep)) break;
      measuredStep = ticks.Step;
    }
    return ticks;
  };

  // Vertical axes: now that their length is known, their labels (and so
  // their width) are too.
  for (TAxisPlace p : {apLeft, apRight}) {
    TChartAxis &a = *axes_[p];
    TAxisMap &m = l.Maps[p];
    m.Horizontal = false;
    m.Minimum = mn[p];
    m.Maximum = mx[p];
    span(r.top(), r.height(), a.StartPosition(), a.EndPosition(), m);
    if (!a.Visible()) continue;
    l.Ticks[p] = ticksFor(p, m);
    int labelWidth = 0;
    if (showsLabels(a)) {
      const QFontMetrics fm(PixelFont(a.LabelsFont()));
      const TAxisTicks &t = l.Ticks[p];
      for (size_t i = 0; i < t.Values.size(); ++i)
        labelWidth =
            std::max(labelWidth, TextWidth(fm, Q(t.Texts.empty() ? a.LabelText(t.Values[i], t.Step) : t.Texts[i])));
      labelWidth += kGap;
    }
    depth[p] = a.Ticks().Length() + labelWidth + titleDepth(a);
    if (p == apLeft) r.setLeft(r.left() + depth[p]);
    else r.setRight(r.right() - depth[p]);
  }
  for (TAxisPlace p : {apBottom, apTop}) {
    TChartAxis &a = *axes_[p];
    TAxisMap &m = l.Maps[p];
    m.Horizontal = true;
    m.Minimum = mn[p];
    m.Maximum = mx[p];
    span(r.left(), r.width(), a.StartPosition(), a.EndPosition(), m);
    if (a.Visible()) l.Ticks[p] = ticksFor(p, m);
  }
  l.ChartRect = r;
  l.AxisRects[apLeft] = QRect(r.left() - depth[apLeft], r.top(), depth[apLeft], r.height());
  l.AxisRects[apRight] = QRect(r.right() + 1, r.top(), depth[apRight], r.height());
  l.AxisRects[apBottom] = QRect(r.left(), r.bottom() + 1, r.width(), depth[apBottom]);
  l.AxisRects[apTop] = QRect(r.left(), r.top() - depth[apTop], r.width(), depth[apTop]);
  return l;
}

const TChartLayout &TChart::ScreenLayout() {
  if (!layoutValid_) {
    screen_ = Layout(QRect(0, 0, width(), height()));
    for (int p = 0; p < 4; ++p) axes_[p]->SetMap(screen_.Maps[p]);
    layoutValid_ = true;
  }
  return screen_;
}
