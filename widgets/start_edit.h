#pragma once

#include <QLineEdit>

// A text box too narrow for some of its texts (the memory count "7,03125")
// that shows their start when the keyboard comes to it: Qt selects the
// whole text then with the cursor at its end and scrolls the end into view.
// The whole text is still selected, the cursor at its start.
class TStartEdit : public QLineEdit {
public:
  using QLineEdit::QLineEdit;

protected:
  void focusInEvent(QFocusEvent *e) override;
};
