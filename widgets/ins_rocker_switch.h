#pragma once

#include "widgets/bevel.h"
#include "widgets/binary_control.h"
#include "widgets/captions.h"
#include "widgets/ins_colors.h"

#include <QImage>

enum TBtnOrientation { boHorizontal, boVertical };

// A switch face in a sunken frame; a left press on the right half toggles
// it. The face is composed off-screen so a state change repaints only it.
class TInsSwitch : public TInsBinGControl {
public:
  explicit TInsSwitch(QWidget *parent = nullptr);

  TInsSBevel &BevelOuter() { return bevelOuter_; }
  QColor BtnColorHighlight() const { return btnHighlight_; }
  void SetBtnColorHighlight(const QColor &c);
  QColor BtnColorShadow() const { return btnShadow_; }
  void SetBtnColorShadow(const QColor &c);
  QColor BtnColorFace() const { return btnFace_; }
  void SetBtnColorFace(const QColor &c);
  int BtnBevelWidth() const { return btnBevelWidth_; }
  void SetBtnBevelWidth(int v);  // negative ignored
  TBtnOrientation Orientation() const { return orientation_; }
  void SetOrientation(TBtnOrientation o);  // swaps width and height
  bool SwapGraphic() const { return swapGraphic_; }
  void SetSwapGraphic(bool v);

  // The switch face area inside the outer frame.
  QRect FaceRect() const;
  int FacePaintCount() const { return facePaints_; }

protected:
  // Draws the face into r (a canvas of the face's own size).
  virtual void DrawSwitch(QPainter &p, const QRect &r, bool vertical, bool on);
  void DrawState() override;
  void PressAction(const QPoint &pos) override;
  QPoint KeyClickPoint() const override;
  void paintEvent(QPaintEvent *e) override;
  void StateChangedRedraw();

private:
  TInsSBevel bevelOuter_;
  QColor btnHighlight_ = clBtnHighlight(), btnShadow_ = clBtnShadow(), btnFace_ = clBtnFace();
  int btnBevelWidth_ = 2;
  TBtnOrientation orientation_ = boVertical;
  bool swapGraphic_ = false;
  int facePaints_ = 0;
};

class TInsRockerSwitch : public TInsSwitch {
public:
  explicit TInsRockerSwitch(QWidget *parent = nullptr);

  QString Text() const { return text_; }
  void SetText(const QString &t);
  int TextX() const { return textX_; }
  void SetTextX(int v);
  int TextY() const { return textY_; }
  void SetTextY(int v);
  int LEDHeight() const { return ledHeight_; }
  void SetLEDHeight(int v);  // negative ignored
  QColor LEDColorOn() const { return ledOn_; }
  void SetLEDColorOn(const QColor &c);
  QColor LEDColorOff() const { return ledOff_; }
  void SetLEDColorOff(const QColor &c);
  QColor BtnColorFaceHi() const { return faceHi_; }
  void SetBtnColorFaceHi(const QColor &c);
  QColor BtnColorFaceSh() const { return faceSh_; }
  void SetBtnColorFaceSh(const QColor &c);
  int BtnBevel2Width() const { return bevel2Width_; }
  void SetBtnBevel2Width(int v);  // negative ignored
  QColor FontColor() const { return fontColor_; }
  void SetFontColor(const QColor &c);

  // The lamp strip within the face rectangle (empty without one).
  QRect LampStripRect(const QRect &face) const;

  // The face inside the switch's frame, less the lamp strip: the caption
  // stays inside it.
  QRect CaptionRect() const;
  // The widget's font, or a pixel or two smaller where the caption would
  // not fit inside the frame otherwise.
  QFont CaptionFont() const;
  // Each line of the caption where the switch draws it.
  TCaptionBoxes Captions() override;

protected:
  void DrawSwitch(QPainter &p, const QRect &r, bool vertical, bool on) override;

private:
  // In the coordinates of a face canvas `face`.
  QRect CaptionRoom(const QRect &face) const;
  QPoint CaptionAnchor(const QRect &face, int textHeight) const;

  QString text_;
  int textX_ = 0, textY_ = 0;
  int ledHeight_ = 8;
  QColor ledOn_ = clLime, ledOff_ = clGreen;
  QColor faceHi_{0xDD, 0xDD, 0xDD}, faceSh_ = clBtnFace();
  int bevel2Width_ = 3;
  QColor fontColor_ = clBlack;
};
