#include "runtime/form.h"

#include "runtime/application.h"

#include <QApplication>
#include <QCloseEvent>
#include <QGuiApplication>
#include <QScreen>
#include <QTimer>

namespace {
// A plain dialog frame: thin borders and a caption bar.
constexpr int kFrameWidth = 8;
constexpr int kFrameHeight = 27;
}  // namespace

TForm::TForm(QWidget *parent) : QDialog(parent) {}

void TForm::SetOuterSize(int width, int height) { resize(width - kFrameWidth, height - kFrameHeight); }

void TForm::CenterOnDesktop() {
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint((width() + kFrameWidth) / 2, (height() + kFrameHeight) / 2));
  }
}

void TForm::changeEvent(QEvent *event) {
  QDialog::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) RunHandler([this] { FormActivate(); });
    });
  }
}

void TForm::done(int result) {
  // Every way of closing (title-bar box, Escape, a button) ends here.
  const bool wasVisible = isVisible();
  if (wasVisible) RunHandler([this] { FormClose(); });
  QDialog::done(result);
  // Hand the focus back to the window this one belongs to, as a window
  // manager would: without one (a bare X server) nothing else does, and the
  // owner's activation would then come late, after the next click in it.
  QWidget *owner = parentWidget() ? parentWidget()->window() : nullptr;
  if (wasVisible && owner && owner->isVisible() && !QApplication::activeWindow()) owner->activateWindow();
}
