#pragma once

#include "runtime/form.h"

#include <QLabel>

#include <array>

class TForm1;
class TInsGradient;
class TInsThermometer;

// The on-line thermometers: the 16 channels as columns, beside the main
// window. Its values are written by the main window's receive handler
// whether it is shown or not.
class TForm4 : public TForm {
public:
  explicit TForm4(TForm1 &main, QWidget *parent = nullptr);

  TInsGradient *InsGradient1 = nullptr;
  QLabel *Label1 = nullptr;
  // InsThermometer1..16 by component number - 1.
  std::array<TInsThermometer *, 16> InsThermometer{};

  // The thermometer of channel 1..16 (the last row runs 16, 15, 14, 13 in
  // component numbers).
  TInsThermometer *ChannelThermometer(int channel) const;

  void FormActivate() override;
  void FormClose() override;

private:
  TForm1 &main_;
};

// The thermometers' own settings (colours, scales); kept beside the widgets.
void ApplyThermometerWindowLook(TForm4 &form);
