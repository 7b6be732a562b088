#include "widgets/binary_control.h"

#include "runtime/application.h"
#include "widgets/flash_timer.h"

#include <QKeyEvent>
#include <QMouseEvent>
#include <QPainter>

namespace {

// One group update at a time in the whole program, so widgets of a group
// setting each other cannot recurse.
bool g_groupUpdate = false;

}  // namespace

TInsBinGControl::TInsBinGControl(QWidget *parent) : QWidget(parent) {}

TInsBinGControl::~TInsBinGControl() { TInsFlashTimer::Forget(this); }

int TInsBinGControl::LowestBit(uint32_t v) {
  if (v == 0) return 32;
  int n = 0;
  while ((v & 1u) == 0) {
    v >>= 1;
    ++n;
  }
  return n;
}

void TInsBinGControl::UpdateFlashRegistration() {
  if (checked_ && flashing_) {
    TInsFlashTimer::Instance().Register(this, RateCode(frequency_), 0, [this](int64_t, bool phase) {
      flashPhase_ = phase;
      FlashState(phase);
    });
  } else {
    TInsFlashTimer::Forget(this);
    flashPhase_ = false;
  }
}

void TInsBinGControl::FlashState(bool) { DrawState(); }

void TInsBinGControl::SetChecked(bool b) {
  if (b == checked_) return;
  checked_ = b;
  UpdateFlashRegistration();
  const uint32_t bit = 1u << statusBit_;
  if (b) statusInt_ = int32_t(mode_ == mRadioButton ? bit : (uint32_t(statusInt_) | bit));
  else if (mode_ != mRadioButton) statusInt_ = int32_t(uint32_t(statusInt_) & ~bit);
  lowestBit_ = LowestBit(uint32_t(statusInt_));
  DrawState();
  if (OnStatusChanged) RunHandler([&] { OnStatusChanged(this); });
}

void TInsBinGControl::SetStatusInt(int32_t i) {
  if (i == statusInt_) return;
  statusInt_ = i;
  SetChecked(((uint32_t(i) >> statusBit_) & 1u) != 0);
  statusInt_ = i;  // SetChecked may have adjusted the bit; the given word stands
  lowestBit_ = LowestBit(uint32_t(i));
  StatusChanged();
  if (OnStatusIntChanged) RunHandler([&] { OnStatusIntChanged(this); });
  if (groupIndex_ != 0 && !g_groupUpdate && parentWidget()) {
    g_groupUpdate = true;
    const auto siblings = parentWidget()->findChildren<TInsBinGControl *>(Qt::FindDirectChildrenOnly);
    for (TInsBinGControl *w : siblings)
      if (w != this && w->groupIndex_ == groupIndex_) w->SetStatusInt(i);
    g_groupUpdate = false;
  }
}

void TInsBinGControl::SetStatusBit(int n) {
  if (n < 0 || n > 31 || n == statusBit_) return;
  statusBit_ = n;
  SetChecked(((uint32_t(statusInt_) >> statusBit_) & 1u) != 0);
  Redraw();
}

void TInsBinGControl::SetMode(TMode m) {
  if (m == mode_) return;
  mode_ = m;
  // A control that takes clicks takes them from the keyboard too; Tab
  // reaches it, a mouse click leaves the focus where it was.
  setFocusPolicy(m == mIndicator ? Qt::NoFocus : Qt::TabFocus);
  if (m == mIndicator && hasFocus()) clearFocus();
  if (m == mButton) SetStatusInt(0);
  if (m == mRadioButton) SetStatusInt(1);
  Redraw();
}

void TInsBinGControl::SetFlashing(bool b) {
  if (b == flashing_) return;
  flashing_ = b;
  UpdateFlashRegistration();
  DrawState();
  if (OnStatusChanged) RunHandler([&] { OnStatusChanged(this); });
}

void TInsBinGControl::SetFrequency(TFlashFreq f) {
  if (f == frequency_) return;
  frequency_ = f;
  UpdateFlashRegistration();
}

void TInsBinGControl::SetGroupIndex(int g) {
  if (g < 0 || g == groupIndex_) return;
  groupIndex_ = g;
  if (g != 0 && parentWidget()) {
    const auto siblings = parentWidget()->findChildren<TInsBinGControl *>(Qt::FindDirectChildrenOnly);
    for (TInsBinGControl *w : siblings) {
      if (w != this && w->groupIndex_ == g) {
        SetStatusInt(w->statusInt_);
        break;
      }
    }
  }
  GroupChanged();
}

void TInsBinGControl::PressAction(const QPoint &) {
  switch (mode_) {
    case mButton: SetChecked(true); break;
    case mSwitch: SetChecked(!checked_); break;
    case mRadioButton: SetStatusInt(int32_t(1u << statusBit_)); break;
    case mIndicator: break;
  }
}

void TInsBinGControl::LeftDown(const QPoint &p) {
  pressed_ = true;
  leftDown_ = true;
  PressAction(p);
}

void TInsBinGControl::LeftUp(const QPoint &p) {
  // The toolkit's part first, as for any control: the click (a left press
  // released inside), then the mouse-up event; the widget's own state
  // changes after both, so handlers still see a held button as checked.
  const bool click = leftDown_ && rect().contains(p);
  leftDown_ = false;
  if (click && OnClick) RunHandler([&] { OnClick(this); });
  if (OnMouseUp) RunHandler([&] { OnMouseUp(this, Qt::LeftButton, p.x(), p.y()); });
  // The pressed flag is cleared in every mode: an indicator left "pressed"
  // after one click would draw sunken for the rest of the run.
  pressed_ = false;
  if (mode_ != mIndicator) {
    if (mode_ == mButton) SetChecked(false);
    DrawState();
  }
}

void TInsBinGControl::mousePressEvent(QMouseEvent *e) {
  const QPoint p = e->position().toPoint();
  if (e->button() == Qt::LeftButton) LeftDown(p);
  if (OnMouseDown) RunHandler([&] { OnMouseDown(this, e->button(), p.x(), p.y()); });
  e->accept();
}

void TInsBinGControl::mouseReleaseEvent(QMouseEvent *e) {
  const QPoint p = e->position().toPoint();
  if (e->button() == Qt::LeftButton) {
    LeftUp(p);
  } else if (OnMouseUp) {
    RunHandler([&] { OnMouseUp(this, e->button(), p.x(), p.y()); });
  }
  e->accept();
}

void TInsBinGControl::keyPressEvent(QKeyEvent *e) {
  const int key = e->key();
  const bool space = key == Qt::Key_Space, enter = key == Qt::Key_Return || key == Qt::Key_Enter;
  if (mode_ == mIndicator || (!space && !enter) || (e->modifiers() & ~Qt::KeypadModifier)) {
    QWidget::keyPressEvent(e);
    return;
  }
  e->accept();
  // A held key clicks once; the mouse and the other key are left alone
  // while one is down.
  if (e->isAutoRepeat() || leftDown_) return;
  // The same steps as a click of the left button, so that whoever listens to
  // the press or the release sees the keyboard's click too.
  const QPoint p = KeyClickPoint();
  LeftDown(p);
  if (OnMouseDown) RunHandler([&] { OnMouseDown(this, Qt::LeftButton, p.x(), p.y()); });
  if (space) spaceDown_ = true;
  else LeftUp(p);
}

void TInsBinGControl::keyReleaseEvent(QKeyEvent *e) {
  if (e->key() != Qt::Key_Space || !spaceDown_ || e->isAutoRepeat()) {
    QWidget::keyReleaseEvent(e);
    return;
  }
  e->accept();
  spaceDown_ = false;
  LeftUp(KeyClickPoint());
}

void TInsBinGControl::focusInEvent(QFocusEvent *e) {
  QWidget::focusInEvent(e);
  update();
}

void TInsBinGControl::focusOutEvent(QFocusEvent *e) {
  QWidget::focusOutEvent(e);
  // Space still down when the focus went elsewhere: released outside, no click.
  if (spaceDown_) {
    spaceDown_ = false;
    LeftUp(QPoint(-1, -1));
  }
  update();
}

void TInsBinGControl::PaintFocusMark(QPainter &p, const QRect &r) const {
  if (!hasFocus() || r.width() < 3 || r.height() < 3) return;
  p.save();
  // Dots that invert what is under them, so the mark shows on any face.
  p.setCompositionMode(QPainter::RasterOp_SourceXorDestination);
  p.setRenderHint(QPainter::Antialiasing, false);
  QPen pen(Qt::white, 1, Qt::DotLine);
  pen.setCosmetic(true);
  p.setPen(pen);
  p.setBrush(Qt::NoBrush);
  p.drawRect(r.adjusted(0, 0, -1, -1));
  p.restore();
}
