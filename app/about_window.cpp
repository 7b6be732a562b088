#include "app/about_window.h"

#include "runtime/form_font.h"

#include <QPainter>
#include <QPixmap>

const char *const kMakerAddress = "talvex.example";

namespace {

// The program's picture: a thermometer beside a strip of 16 channel bars.
QPixmap ProgramPicture() {
  QPixmap pm(65, 57);
  pm.fill(QColor(0, 128, 128));
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::white, 2));
  p.setBrush(Qt::white);
  p.drawRoundedRect(QRectF(9, 6, 8, 36), 4, 4);
  p.drawEllipse(QPointF(13, 46), 7, 7);
  p.setPen(Qt::NoPen);
  p.setBrush(Qt::red);
  p.drawRect(QRectF(11, 20, 4, 24));
  p.drawEllipse(QPointF(13, 46), 5, 5);
  for (int i = 0; i < 16; ++i) {
    const int h = 8 + (i * 7) % 30;
    p.setBrush(i % 2 ? QColor(0, 255, 0) : QColor(255, 255, 0));
    p.drawRect(QRectF(25 + i * 2.3, 50 - h, 1.6, h));
  }
  return pm;
}

QLabel *Text(QWidget *parent, const QString &text, int x, int y) {
  auto *l = new QLabel(text, parent);
  l->adjustSize();
  l->move(x, y);
  return l;
}

QString Spaced(const QString &s) {
  QString out;
  for (int i = 0; i < s.size(); ++i) {
    if (i) out += ' ';
    out += s[i];
  }
  return out;
}

}  // namespace

TForm2::TForm2(QWidget *parent) : TForm(parent) {
  setObjectName("Form2");
  setWindowTitle("ACERCA DE ORVANTIS");
  SetOuterSize(301, 232);
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(FormFont("MS Sans Serif", 8));

  Panel1 = new QFrame(this);
  Panel1->setGeometry(4, 2, 281, 161);
  // Lowered outside, raised inside.
  Panel1->setFrameShape(QFrame::Panel);
  Panel1->setFrameShadow(QFrame::Sunken);
  Panel1->setLineWidth(1);
  auto *inner = new QFrame(Panel1);
  inner->setGeometry(1, 1, 279, 159);
  inner->setFrameShape(QFrame::Panel);
  inner->setFrameShadow(QFrame::Raised);

  ProgramIcon = new QLabel(Panel1);
  ProgramIcon->setGeometry(8, 8, 65, 57);
  ProgramIcon->setScaledContents(true);
  ProgramIcon->setPixmap(ProgramPicture());

  ProductName = Text(Panel1, QString::fromUtf8("Soft de comunicación con loggers de la "), 83, 16);
  Label4 = Text(Panel1, QString::fromUtf8("línea DELMORA."), 83, 28);
  Version = Text(Panel1, "Version 1.1", 83, 44);
  Label1 = Text(Panel1, "Desarrollado por ", 112, 64);

  Label2 = new QLabel(Spaced(kMakerAddress), Panel1);
  QFont big = FormFont("Arial", 12, true, true);
  big.setUnderline(true);
  Label2->setFont(big);
  Label2->setStyleSheet("color: #FF0000;");
  Label2->adjustSize();
  Label2->move(44, 84);

  Comments = new QLabel(Panel1);
  Comments->setWordWrap(true);
  Comments->move(8, 104);

  Label5 = Text(Panel1, "Equipo de desarrollo de TALVEX", 48, 112);

  Label3 = new QLabel(kMakerAddress, Panel1);
  Label3->setFont(FormFont("Arial", 8, true, true));
  Label3->setStyleSheet("color: #800080;");
  Label3->adjustSize();
  Label3->move(100, 132);

  OKButton = new QPushButton("OK", this);
  OKButton->setGeometry(108, 168, 75, 25);
  OKButton->setDefault(true);
  connect(OKButton, &QPushButton::clicked, this, &QDialog::accept);
  CenterOnDesktop();
}
