#include "app/rate_window.h"

#include "app/main_window.h"
#include "logger/logger_commands.h"
#include "runtime/form_font.h"
#include "serial/serial_port.h"

#include <QRadioButton>

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

  for (QLabel *&label : DurationLabels) label = new QLabel(this);
  DurationCaption = new QLabel("Llena en:", this);
  DurationCaption->adjustSize();
  DurationCaption->move(RadioGroup1->geometry().right() + 5, RadioGroup1->y());

  BitBtn1 = new QPushButton("OK", this);
  BitBtn1->setGeometry(90, 138, 75, 25);
  BitBtn1->setDefault(true);
  connect(BitBtn1, &QPushButton::clicked, this, &QDialog::accept);
  CenterOnDesktop();
}

void TForm7::FormActivate() {
  RadioGroup1->SetItemIndex(-1);
  ShowDurations();
}

void TForm7::ShowDurations() {
  static constexpr int kMinutes[3] = {15, 30, 60};
  const QList<QRadioButton *> items = RadioGroup1->findChildren<QRadioButton *>(Qt::FindDirectChildrenOnly);
  const std::int64_t now = main_.PcClockMs();
  DurationCaption->setVisible(main_.Health.Memory.Count().has_value());
  for (int i = 0; i < 3; ++i) {
    QLabel *label = DurationLabels[i];
    const std::optional<TMemoryForecast> f = main_.Health.Memory.Forecast(now, kMinutes[i]);
    const QString text = !f        ? QString()
                         : f->Full ? QString("llena")
                                   : QString::fromStdString(MemoryLastsText(f->LeftMs));
    label->setText(text);
    label->setToolTip(f ? QString::fromStdString(MemoryForecastText(*f)) : QString());
    label->adjustSize();
    // Right of the group, level with its item.
    if (i < items.size())
      label->move(RadioGroup1->geometry().right() + 5,
                  RadioGroup1->y() + items[i]->geometry().center().y() - label->height() / 2);
  }
}

void TForm7::RadioGroup1Click() {
  const int item = RadioGroup1->ItemIndex();
  if (item < 0 || item > 2 || !main_.IsConnected()) return;
  SendRate(*main_.SerialPort1, item);
}
