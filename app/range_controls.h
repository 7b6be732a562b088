#pragma once

// The plain controls the archive's windows (HISTORIAL, ALARMAS) lay out
// alike: bold captions, buttons, and the from/to edits of a range with
// their Spanish calendar.

#include "data/record_values.h"

#include <QDateTime>

class QDateTimeEdit;
class QLabel;
class QPushButton;
class QWidget;

QLabel *RangeCaption(QWidget *parent, const char *text, int x, int y, int w);
QPushButton *RangeButton(QWidget *parent, const char *text, int x, int y, int w, int h = 26);
// "dd/MM/yyyy HH:mm:ss", 150 x 24, with a calendar that starts on Monday.
QDateTimeEdit *RangeEdit(QWidget *parent, int x, int y);

TStamp StampOf(const QDateTime &d);
QDateTime DateTimeOf(const TStamp &s);
