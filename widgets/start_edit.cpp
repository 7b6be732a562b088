#include "widgets/start_edit.h"

#include <QFocusEvent>

void TStartEdit::focusInEvent(QFocusEvent *e) {
  QLineEdit::focusInEvent(e);
  const int length = static_cast<int>(text().size());
  if (hasSelectedText() && selectionStart() == 0 && selectionLength() == length) setSelection(length, -length);
}
