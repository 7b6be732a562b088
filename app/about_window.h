#pragma once

#include "runtime/form.h"

#include <QFrame>
#include <QLabel>
#include <QPushButton>

// "ACERCA DE ...": who made the program. Static; shown modally.
class TForm2 : public TForm {
public:
  explicit TForm2(QWidget *parent = nullptr);

  QFrame *Panel1 = nullptr;
  QLabel *ProgramIcon = nullptr, *ProductName = nullptr, *Label4 = nullptr, *Version = nullptr, *Label1 = nullptr,
         *Label2 = nullptr, *Comments = nullptr, *Label5 = nullptr, *Label3 = nullptr;
  QPushButton *OKButton = nullptr;
};

// The maker's web address, shown on the About window, on the main window's
// button and in the help text.
extern const char *const kMakerAddress;
