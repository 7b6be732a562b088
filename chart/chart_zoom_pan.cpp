// Zoom by a dragged rectangle, undo zoom, and panning with the right button.
#include "chart/chart.h"

#include "runtime/application.h"

#include <QMouseEvent>

#include <algorithm>
#include <cmath>

void TChart::SaveScales() {
  if (!restored_) return;
  for (int p = 0; p < 4; ++p) {
    const TChartAxis &a = *axes_[p];
    saved_[p] = {a.Automatic(), a.AutomaticMinimum(), a.AutomaticMaximum(), a.Minimum(), a.Maximum()};
  }
  restored_ = false;
}

void TChart::ZoomRect(const QRect &rect) {
  const QRect r = rect.normalized();
  ScreenLayout();
  double lo[4], hi[4];
  for (int p = 0; p < 4; ++p) {
    const TChartAxis &a = *axes_[p];
    if (a.Horizontal()) {
      lo[p] = a.CalcPosPoint(r.left());
      hi[p] = a.CalcPosPoint(r.right());
    } else {
      lo[p] = a.CalcPosPoint(r.bottom());
      hi[p] = a.CalcPosPoint(r.top());
    }
  }
  SaveScales();
  if (animatedZoom_) {
    double curLo[4], curHi[4];
    for (int p = 0; p < 4; ++p) curLo[p] = axes_[p]->IMinimum(), curHi[p] = axes_[p]->IMaximum();
    for (int step = 1; step < animatedZoomSteps_; ++step) {
      for (int p = 0; p < 4; ++p) {
        curLo[p] += (lo[p] - curLo[p]) / 3;
        curHi[p] += (hi[p] - curHi[p]) / 3;
        axes_[p]->SetMinMax(curLo[p], curHi[p]);
      }
      repaint();
    }
  }
  for (int p = 0; p < 4; ++p) axes_[p]->SetMinMax(lo[p], hi[p]);
  zoomed_ = true;
  Invalidate();
  if (OnZoom) OnZoom(*this);
}

void TChart::UndoZoom() {
  if (!restored_) {
    for (int p = 0; p < 4; ++p) {
      TChartAxis &a = *axes_[p];
      a.SetAutomatic(saved_[p].Automatic);
      a.SetAutomaticMinimum(saved_[p].AutomaticMinimum);
      a.SetAutomaticMaximum(saved_[p].AutomaticMaximum);
      a.SetMinimum(saved_[p].Minimum);
      a.SetMaximum(saved_[p].Maximum);
    }
    restored_ = true;
  }
  if (OnUndoZoom) OnUndoZoom(*this);
  Invalidate();
  zoomed_ = false;
}

bool TChart::PressAllowed(const QPoint &at) {
  const TChartLayout &l = ScreenLayout();
  if (l.ChartRect.contains(at)) return true;
  for (int p = 0; p < 4; ++p)
    if (axes_[p]->Visible() && l.AxisRects[p].contains(at)) return true;
  return false;
}

void TChart::EndPanning() {
  pan_.Active = false;
  unsetCursor();
}

void TChart::mousePressEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (e->modifiers() & (Qt::ShiftModifier | Qt::ControlModifier | Qt::AltModifier)) return;
    if (zoom_.Active || pan_.Active) return;
    if (e->button() == Qt::LeftButton && allowZoom_) {
      if (!PressAllowed(at)) return;
      SetCursorIndex(-1);  // the readout gives way to the band
      zoom_ = {true, at.x(), at.y(), at.x(), at.y()};
      setCursor(Qt::ArrowCursor);
      update();
    } else if (e->button() == Qt::RightButton && allowPanning_ != pmNone) {
      if (!PressAllowed(at)) return;
      SetCursorIndex(-1);
      pan_ = {true, at.x(), at.y(), at.x(), at.y()};
    }
  });
}

void TChart::mouseMoveEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (zoom_.Active) {
      if (at.x() == zoom_.X1 && at.y() == zoom_.Y1) return;
      zoom_.X1 = at.x();
      zoom_.Y1 = at.y();
      update();  // the cached picture plus the band at its new place
      return;
    }
    if (!pan_.Active) {
      CursorAtPointer(at);
      return;
    }
    const TChartLayout &l = ScreenLayout();
    if (!l.ChartRect.contains(at)) {
      EndPanning();
      return;
    }
    if (at.x() == pan_.X0 && at.y() == pan_.Y0) return;
    const bool horiz = allowPanning_ == pmHorizontal || allowPanning_ == pmBoth;
    const bool vert = allowPanning_ == pmVertical || allowPanning_ == pmBoth;
    // Work out every axis from the layout the user is looking at, then apply.
    struct TMove {
      TChartAxis *Axis;
      double Minimum, Maximum;
    };
    std::vector<TMove> moves;
    for (int p = 0; p < 4; ++p) {
      TChartAxis &a = *axes_[p];
      if (a.Horizontal() ? !horiz : !vert) continue;
      const double delta = a.Horizontal() ? a.CalcPosPoint(pan_.X0) - a.CalcPosPoint(at.x())
                                          : a.CalcPosPoint(pan_.Y0) - a.CalcPosPoint(at.y());
      if (delta == 0) continue;
      moves.push_back({&a, a.IMinimum() + delta, a.IMaximum() + delta});
    }
    pan_.X0 = pan_.X1 = at.x();
    pan_.Y0 = pan_.Y1 = at.y();
    bool moved = false;
    for (TMove &m : moves) {
      bool allow = true;
      if (OnAllowScroll) OnAllowScroll(*m.Axis, m.Minimum, m.Maximum, allow);
      if (!allow) continue;
      SaveScales();
      m.Axis->SetMinMax(m.Minimum, m.Maximum);
      moved = true;
    }
    if (moved) {
      if (OnScroll) OnScroll(*this);
      Invalidate();
    }
  });
}

void TChart::mouseReleaseEvent(QMouseEvent *e) {
  const QPoint at = e->position().toPoint();
  RunHandler([&] {
    if (pan_.Active) EndPanning();
    if (!zoom_.Active || e->button() != Qt::LeftButton) return;
    zoom_.Active = false;
    zoom_.X1 = at.x();
    zoom_.Y1 = at.y();
    unsetCursor();
    update();  // the band goes with the next paint
    if (std::abs(zoom_.X1 - zoom_.X0) > 16 && std::abs(zoom_.Y1 - zoom_.Y0) > 16) {
      if (zoom_.X0 < zoom_.X1 && zoom_.Y0 < zoom_.Y1)
        ZoomRect(QRect(QPoint(zoom_.X0, zoom_.Y0), QPoint(zoom_.X1, zoom_.Y1)));
      else UndoZoom();
    }
  });
}
