#include "app/rate_window.h"

#include "app/logger_commands.h"
#include "app/main_window.h"
#include "runtime/form_font.h"
#include "serial/serial_port.h"

TForm7::TForm7(TForm1 &main, QWidget *parent) : TForm(parent), main_(main) {
  setObjectName("Form7");
  setWindowTitle("Cambio de tasa de muestreo");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  SetOuterSize(262, 205);
  setFont(FormFont("MS Sans Serif", 8));
  setStyleSheet("TForm7 { background: #C0DCC0; }");
  setAutoFillBackground(true);
  QPalette pal = palette();
  pal.setColor(QPalette::Window, QColor(0xC0, 0xDC, 0xC0));
  setPalette(pal);

  Label1 = new QLabel("Seleccione la tasa deseada", this);
  Label1->setFont(FormFont("Arial", 10, true));
  Label1->adjustSize();
  Label1->move(39, 6);

  RadioGroup1 = new TRadioGroup(this);
  RadioGroup1->setGeometry(69, 27, 116, 105);
  RadioGroup1->SetItems({"15 MINUTOS", "30 MINUTOS", "60 MINUTOS"});
  RadioGroup1->OnClick = [this](QObject *) { RadioGroup1Click(); };

  BitBtn1 = new QPushButton("OK", this);
  BitBtn1->setGeometry(90, 138, 75, 25);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  CenterOnDesktop();
}

void TForm7::FormActivate() { RadioGroup1->SetItemIndex(-1); }

void TForm7::RadioGroup1Click() {
  const int item = RadioGroup1->ItemIndex();
  if (item < 0 || item > 2 || !main_.IsConnected()) return;
  SendRate(*main_.SerialPort1, item);
}
