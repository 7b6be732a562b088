#include "app/clock_set_window.h"

#include "app/main_window.h"
#include "runtime/application.h"
#include "runtime/form_font.h"

namespace {
// The drift line under the buttons: the window is that much taller than its
// 544 x 137 of three lines of text and two buttons.
constexpr int kDriftLineTop = 99;
constexpr int kDriftLineHeight = 18;
}  // namespace

TForm8::TForm8(TForm1 &main, QWidget *parent) : TForm(parent), main_(main) {
  setObjectName("Form8");
  setWindowTitle("PUESTA EN HORA DEL LOGGER");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  SetOuterSize(544, 137 + kDriftLineHeight);
  setFont(FormFont("MS Sans Serif", 8, true));
  QPalette pal = palette();
  pal.setColor(QPalette::Window, Qt::white);
  pal.setColor(QPalette::WindowText, Qt::red);
  setPalette(pal);
  setAutoFillBackground(true);

  auto label = [this](const QString &text, int x, int y) {
    auto *l = new QLabel(text, this);
    l->adjustSize();
    l->move(x, y);
    return l;
  };
  Label1 = label(QString::fromUtf8("LA PUESTA EN HORA DEL LOGGER IMPLICA LA TRANSFERENCIA DE DÍA Y HORA"), 27, 6);
  Label2 = label(QString::fromUtf8("DE LA PC AL LOGGER. TAMBIEN PONE A CERO LA CANTIDAD DE MEMORIA UTILIZADA"), 15, 24);
  Label3 = label(QString::fromUtf8("ASEGÚRESE DE DESCARGAR LOS DATOS ANTES DE PROCEDER CON ESTE PUNTO"), 24, 42);

  // Below the buttons, in the colour of the window's text.
  Label4 = new QLabel(this);
  Label4->setGeometry(0, kDriftLineTop, width(), kDriftLineHeight);
  Label4->setAlignment(Qt::AlignHCenter | Qt::AlignTop);

  Button2 = new QPushButton("REGRESAR", this);
  Button2->setGeometry(309, 69, 136, 25);
  Button1 = new QPushButton("PONER EN HORA", this);
  Button1->setGeometry(45, 69, 135, 25);
  // "REGRESAR" takes the first tab position.
  setTabOrder(Button2, Button1);
  Button2->setFocus();
  connect(Button1, &QPushButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });
  connect(Button2, &QPushButton::clicked, this, [this] { RunHandler([this] { Button2Click(); }); });
  CenterOnDesktop();
}

void TForm8::FormActivate() { ShowDrift(); }

void TForm8::ShowDrift() {
  const std::optional<double> drift = main_.IsConnected() ? main_.Health.Drift.Seconds() : std::nullopt;
  const QString text = drift ? QString::fromStdString(ClockDriftText(*drift)) : QString();
  if (Label4->text() != text) Label4->setText(text);
}

void TForm8::Button1Click() {
  if (main_.IsConnected()) main_.HORAPENDIENTE = true;
  main_.PUERTOFIJADO = true;
  close();
}

void TForm8::Button2Click() { close(); }
