#pragma once

#include "runtime/form.h"

#include <QPlainTextEdit>

class TInsGradient;

// How to use the program, as a page of text. The text may be edited while the
// window is open; nothing reads it back or saves it.
class TForm3 : public TForm {
public:
  explicit TForm3(QWidget *parent = nullptr);

  TInsGradient *InsGradient1 = nullptr;
  QPlainTextEdit *Memo1 = nullptr;

  static QStringList HelpLines();
};
