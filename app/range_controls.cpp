#include "app/range_controls.h"

#include "runtime/form_font.h"

#include <QCalendarWidget>
#include <QDateTimeEdit>
#include <QLabel>
#include <QLocale>
#include <QPushButton>

QLabel *RangeCaption(QWidget *parent, const char *text, int x, int y, int w) {
  auto *l = new QLabel(QString::fromUtf8(text), parent);
  l->setFont(FormFont("Arial", 8, true));
  l->setGeometry(x, y, w, 18);
  return l;
}

QPushButton *RangeButton(QWidget *parent, const char *text, int x, int y, int w, int h) {
  auto *b = new QPushButton(QString::fromUtf8(text), parent);
  b->setGeometry(x, y, w, h);
  return b;
}

QDateTimeEdit *RangeEdit(QWidget *parent, int x, int y) {
  auto *e = new QDateTimeEdit(parent);
  e->setGeometry(x, y, 150, 24);
  e->setDisplayFormat("dd/MM/yyyy HH:mm:ss");
  e->setCalendarPopup(true);
  const QLocale spanish(QLocale::Spanish, QLocale::Spain);
  e->setLocale(spanish);
  e->calendarWidget()->setLocale(spanish);
  e->calendarWidget()->setFirstDayOfWeek(Qt::Monday);
  return e;
}

TStamp StampOf(const QDateTime &d) {
  return TStamp{d.date().year(), d.date().month(),  d.date().day(),
                d.time().hour(), d.time().minute(), d.time().second()};
}

QDateTime DateTimeOf(const TStamp &s) {
  return QDateTime(QDate(s.Year, s.Month, s.Day), QTime(s.Hour, s.Minute, s.Second));
}
