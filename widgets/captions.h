#pragma once

#include <QFont>
#include <QRect>
#include <QString>

#include <vector>

class QWidget;

// A line of text an owner-drawn widget paints: in the font it paints it in,
// where it puts it (the line's advance by the font's height), and the room it
// has to stay inside (the face within the widget's frames and bevels).
struct TCaptionBox {
  QString Text;
  QFont Font;
  QRect Drawn;
  QRect Room;
};
using TCaptionBoxes = std::vector<TCaptionBox>;

// The captions of this folder's owner-drawn widgets as they paint them now;
// nothing for any other widget.
TCaptionBoxes OwnerDrawnCaptions(QWidget *w);
