#include "widgets/captions.h"

#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

TCaptionBoxes OwnerDrawnCaptions(QWidget *w) {
  if (auto *b = dynamic_cast<TInsColBitBtn *>(w)) return b->Captions();
  if (auto *s = dynamic_cast<TInsRockerSwitch *>(w)) return s->Captions();
  if (auto *m = dynamic_cast<TInsRMeter *>(w)) return m->Captions();
  if (auto *t = dynamic_cast<TInsThermometer *>(w)) return t->Captions();
  if (auto *v = dynamic_cast<TInsValueInd *>(w)) return v->Captions();
  return {};
}
