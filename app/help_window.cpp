#include "app/help_window.h"

#include "app/about_window.h"
#include "runtime/form_font.h"
#include "widgets/gradient.h"
#include "widgets/ins_gradient.h"

#include <QToolTip>

QStringList TForm3::HelpLines() {
  return {
      QString::fromUtf8("                   TALVEX -  DATALOGGER DE 16 CANALES DE 12 BITS"),
      QString(),
      QString::fromUtf8("Este software permite la descarga de datos de Llos loggers de 16 canales de  "),
      QString::fromUtf8("12 "),
      QString::fromUtf8("bits de ") + kMakerAddress + ".",
      QString::fromUtf8("El uso de este programa es muy sencillo:"),
      QString(),
      QString::fromUtf8("*Conecte el cable INTERFASE al logger."),
      QString::fromUtf8("*Conecte el cable INTERFASE a la PC puerto serial libre disponible."),
      QString::fromUtf8("*Ejecute el software."),
      QString::fromUtf8("*Seleccione el puerto serial  (COM 1,2,3,4,5, etc) donde fue conectado el logger."),
      QString::fromUtf8("*Haga click en Ok"),
      QString::fromUtf8("*Haga click en conectar. Aguarde 2 segundos y verá los canales del logger \"ON"),
      QString::fromUtf8("LINE\"."),
      QString(),
      QString::fromUtf8("También verá las posiciones de memoria utilizadas y los datos de fecha "),
      QString::fromUtf8("reportados por el logger y los de la PC que está usando."),
      QString::fromUtf8("Haciendo click en descargar podrña ver los datos descargados y ver un gráfico"),
      QString::fromUtf8("preliminar."),
      QString::fromUtf8("Podrá ver asimismo la tasa de muestreo, fecha y hora de inicio de logeo."),
      QString::fromUtf8("Todos los canales son de lilivoltios o temperatura. Puede registrar datos entre "),
      QString::fromUtf8("-40 y + 125 ºC."),
      QString(),
      QString::fromUtf8("Los tiempos de muestreo son de 15,30 y 60 minutos."),
      QString::fromUtf8("Ingresando a \"Cambio de tasa\" podrá cambiar la misma."),
  };
}

TForm3::TForm3(QWidget *parent) : TForm(parent) {
  setObjectName("Form3");
  setWindowTitle("Ayuda soble el uso del programa");
  setWindowFlags(Qt::Dialog | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  SetOuterSize(433, 360);
  setFont(FormFont("MS Sans Serif", 8));

  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(0, 0, width(), height());
  InsGradient1->GradSettings().SetStyle(gsHorizontal1);

  Memo1 = new QPlainTextEdit(this);
  Memo1->setGeometry(1, 25, 418, 295);
  Memo1->setFont(FormFont("Arial", 8));
  Memo1->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOn);
  Memo1->setLineWrapMode(QPlainTextEdit::WidgetWidth);
  QPalette pal = Memo1->palette();
  pal.setColor(QPalette::Base, QToolTip::palette().color(QPalette::ToolTipBase));
  Memo1->setPalette(pal);
  Memo1->setPlainText(HelpLines().join('\n'));
  CenterOnDesktop();
}
