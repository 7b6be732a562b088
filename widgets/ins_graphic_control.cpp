#include "widgets/ins_graphic_control.h"

TInsGraphicControl::TInsGraphicControl(QWidget *parent) : QWidget(parent) {}

void TInsGraphicControl::BeginUpdate() { ++updateCount_; }

void TInsGraphicControl::EndUpdate() {
  if (updateCount_ == 0) return;
  if (--updateCount_ == 0) Change();
}

void TInsGraphicControl::Change() {
  if (updateCount_ == 0) SettingsChanged();
}
