#include "widgets/captions.h"

#include "widgets/binary_control.h"
#include "widgets/ins_graphic_control.h"

// Each owner-drawn widget knows its captions; the two bases are all there
// is to ask.
TCaptionBoxes OwnerDrawnCaptions(QWidget *w) {
  if (auto *g = dynamic_cast<TInsGraphicControl *>(w)) return g->Captions();
  if (auto *b = dynamic_cast<TInsBinGControl *>(w)) return b->Captions();
  return {};
}
