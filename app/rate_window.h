#pragma once

#include "runtime/form.h"
#include "runtime/radio_group.h"

#include <QLabel>
#include <QPushButton>

#include <array>

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

  // Beside each rate, how long the logger's memory lasts from now at it
  // (from the main window's last memory count; empty while none is known),
  // the date it fills in each one's hint. Kept current while the window is open.
  std::array<QLabel *, 3> DurationLabels{};
  QLabel *DurationCaption = nullptr;  // "Llena en:" above them
  void ShowDurations();

private:
  TForm1 &main_;
};
