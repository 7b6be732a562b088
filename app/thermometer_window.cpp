#include "app/thermometer_window.h"

#include "app/main_window.h"
#include "runtime/form_font.h"
#include "widgets/gradient.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_thermometer.h"

#include <QGuiApplication>
#include <QScreen>

namespace {
// Component number of the thermometer showing each channel.
constexpr int kThermometerOfChannel[16] = {1, 2, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 16, 15, 14, 13};
}  // namespace

TForm4::TForm4(TForm1 &main, QWidget *parent) : TForm(parent), main_(main) {
  setObjectName("Form4");
  // No caption. A blank rather than an empty title: the window system would
  // put the application's name in an empty one.
  setWindowTitle(QStringLiteral(" "));
  // A fixed single frame with the system menu only.
  setWindowFlags(Qt::Tool | Qt::WindowTitleHint | Qt::WindowCloseButtonHint | Qt::MSWindowsFixedSizeDialogHint);
  setFixedSize(296, 535);

  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(0, 0, 296, 535);
  InsGradient1->GradSettings().SetStyle(gsVertical2);

  Label1 = new QLabel("VALORES PUNTUALES ON-LINE", this);
  Label1->setFont(FormFont("Arial", 10, true));
  Label1->setStyleSheet("color: #008080; background: transparent;");
  Label1->adjustSize();
  Label1->move(48, 0);

  const int ys[4] = {24, 152, 280, 408};
  for (int row = 0; row < 4; ++row) {
    const int wide = row % 2 == 0 ? 77 : 73;
    const int xs[4] = {4, 73, 138, 212};
    const int ws[4] = {65, 65, wide, wide};
    for (int col = 0; col < 4; ++col) {
      const int channel = row * 4 + col + 1;
      const int component = kThermometerOfChannel[channel - 1];
      auto *t = new TInsThermometer(this);
      t->setObjectName(QString("InsThermometer%1").arg(component));
      t->setGeometry(xs[col], ys[row], ws[col], 125);
      t->SignalSettings().SetName1(QString("Canal %1").arg(channel));
      t->SignalSettings().SetValueUnit(QString::fromUtf8("°C"));
      t->SignalSettings().SetValueFormat("##0.0");
      InsThermometer[component - 1] = t;
    }
  }
  ApplyThermometerWindowLook(*this);
}

TInsThermometer *TForm4::ChannelThermometer(int channel) const {
  return InsThermometer[kThermometerOfChannel[channel - 1] - 1];
}

void TForm4::FormActivate() {
  main_.InsColBitBtn8->setVisible(false);
  // Side by side: the main window steps right, this one docks at its left.
  main_.move(main_.x() + 130, main_.y());
  const int frame = frameGeometry().width() - width();
  move(main_.frameGeometry().left() - width() - frame, 5);
  main_.PUERTOFIJADO = true;
}

void TForm4::FormClose() {
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    const QRect outer = main_.frameGeometry();
    main_.move(avail.center() - QPoint(outer.width() / 2, outer.height() / 2));
  }
  main_.InsColBitBtn8->setVisible(true);
}
