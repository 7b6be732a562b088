#include "runtime/radio_group.h"

#include "runtime/application.h"

TRadioGroup::TRadioGroup(QWidget *parent) : QGroupBox(parent) {}

void TRadioGroup::SetItems(const QStringList &items) {
  for (auto *b : buttons_) delete b;
  buttons_.clear();
  itemIndex_ = -1;
  for (int i = 0; i < items.size(); ++i) {
    auto *b = new QRadioButton(items[i], this);
    // Exclusivity is ours: Qt's auto-exclusive buttons cannot return to
    // "nothing selected", which the rate window needs on every activation.
    b->setAutoExclusive(false);
    QObject::connect(b, &QRadioButton::clicked, this, [this, i](bool) { Select(i, true); });
    b->show();
    buttons_.push_back(b);
  }
  Layout();
}

QString TRadioGroup::Item(int index) const {
  if (index < 0 || index >= Count()) return {};
  return buttons_[index]->text();
}

void TRadioGroup::SetItemIndex(int index) { Select(index, true); }

void TRadioGroup::Select(int index, bool notify) {
  if (index < -1 || index >= Count()) index = -1;
  if (updating_) return;
  updating_ = true;
  for (int i = 0; i < Count(); ++i) buttons_[i]->setChecked(i == index);
  updating_ = false;
  if (index == itemIndex_) return;
  itemIndex_ = index;
  if (notify && OnClick) RunHandler([this] { OnClick(this); });
}

void TRadioGroup::resizeEvent(QResizeEvent *event) {
  QGroupBox::resizeEvent(event);
  Layout();
}

void TRadioGroup::Layout() {
  if (buttons_.empty()) return;
  // Items share the height below the caption evenly, as a radio group does.
  const int top = title().isEmpty() ? 4 : fontMetrics().height();
  const int avail = height() - top - 4;
  const int step = avail / Count();
  for (int i = 0; i < Count(); ++i) {
    const int h = buttons_[i]->sizeHint().height();
    buttons_[i]->setGeometry(8, top + i * step + (step - h) / 2, width() - 12, h);
  }
}
