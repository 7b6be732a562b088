#pragma once

#include "runtime/form.h"

#include <QLabel>
#include <QPushButton>

class TForm1;

// Confirms setting the logger's clock from the PC. The clock is sent later,
// once the logger has sent something (see TForm1::Timer3Timer).
class TForm8 : public TForm {
public:
  explicit TForm8(TForm1 &main, QWidget *parent = nullptr);

  QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr;
  QPushButton *Button1 = nullptr;  // "PONER EN HORA"
  QPushButton *Button2 = nullptr;  // "REGRESAR"

  void Button1Click();
  void Button2Click();

  // How far the logger's clock is off, from the main window's live frames;
  // empty while nothing is known. Kept current while the window is open.
  QLabel *Label4 = nullptr;
  void ShowDrift();

protected:
  void FormActivate() override;

private:
  TForm1 &main_;
};
