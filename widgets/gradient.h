#pragma once

#include <QColor>
#include <QRect>

#include <functional>

class QPainter;
class QImage;

enum TGradientStyle {
  gsHorizontal1,
  gsHorizontal2,
  gsHorizontal3,
  gsVertical1,
  gsVertical2,
  gsVertical3,
  gsElliptic1,
  gsElliptic2,
  gsElliptic3,
  gsRectangle,
  gsDiamond1,
  gsDiamond2,
  gsTopLeft,
  gsTopRight
};

// A colour gradient over a rectangle.
class TInsGradSettings {
public:
  TInsGradSettings();

  QColor ColorFrom() const { return from_; }
  void SetColorFrom(const QColor &c);
  QColor ColorTo() const { return to_; }
  void SetColorTo(const QColor &c);
  TGradientStyle Style() const { return style_; }
  void SetStyle(TGradientStyle s);
  bool Visible() const { return visible_; }
  void SetVisible(bool v);

  // Paints the gradient into r through an off-screen image.
  void Paint(QPainter &p, const QRect &r) const;
  // The same gradient as an image of the given size.
  QImage Render(const QSize &size) const;

  std::function<void()> OnChange;

private:
  void Changed() {
    if (OnChange) OnChange();
  }
  QColor from_{0xE2, 0xE2, 0xE2}, to_{0x8F, 0x8F, 0x8F};
  TGradientStyle style_ = gsHorizontal1;
  bool visible_ = false;
};

// The gradient painter on its own, for widgets that keep no settings object.
QImage RenderGradient(const QSize &size, const QColor &from, const QColor &to, TGradientStyle style);
