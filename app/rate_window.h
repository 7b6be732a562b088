#pragma once

#include "runtime/form.h"
#include "runtime/radio_group.h"

#include <QLabel>
#include <QPushButton>

class TForm1;

// Changes the logger's sampling rate: every selection sends its command at
// once while connected.
class TForm7 : public TForm {
public:
  explicit TForm7(TForm1 &main, QWidget *parent = nullptr);

  QLabel *Label1 = nullptr;
  TRadioGroup *RadioGroup1 = nullptr;
  QPushButton *BitBtn1 = nullptr;

  void FormActivate() override;
  void RadioGroup1Click();

private:
  TForm1 &main_;
};
