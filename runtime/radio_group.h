#pragma once

#include <QButtonGroup>
#include <QGroupBox>
#include <QRadioButton>
#include <QStringList>

#include <functional>
#include <vector>

// A group of radio buttons addressed by item index, as the windows use it:
// ItemIndex -1 means nothing selected. OnClick fires when the user (or the
// program through SetItemIndex) changes the selection.
class TRadioGroup : public QGroupBox {
public:
  explicit TRadioGroup(QWidget *parent = nullptr);

  void SetItems(const QStringList &items);
  int Count() const { return static_cast<int>(buttons_.size()); }
  QString Item(int index) const;

  int ItemIndex() const { return itemIndex_; }
  void SetItemIndex(int index);

  std::function<void(QObject *Sender)> OnClick;

protected:
  void resizeEvent(QResizeEvent *event) override;

private:
  void Layout();
  void Select(int index, bool notify);

  std::vector<QRadioButton *> buttons_;
  int itemIndex_ = -1;
  bool updating_ = false;
};
