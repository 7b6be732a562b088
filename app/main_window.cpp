#include "app/main_window.h"

#include "app/history_worker.h"
#include "app/live_recording.h"
#include "app/main_window_look.h"
#include "logger/download_session.h"
#include "logger/logger_commands.h"
#include "logger/logger_line.h"
#include "runtime/application.h"
#include "runtime/date_format.h"
#include "runtime/exceptions.h"
#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "runtime/number_format.h"
#include "serial/serial_port.h"
#include "widgets/flash_timer.h"
#include "widgets/gauge.h"
#include "widgets/ins_clock.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_led.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"
#include "widgets/start_edit.h"

#include <QApplication>
#include <QCloseEvent>
#include <QEvent>
#include <QScreen>
#include <QTimer>

#include <exception>

namespace {

// Component number (1..16) of the indicator that shows each channel; the
// indicators are laid out in rows but were not numbered in channel order.
constexpr int kIndicatorOfChannel[16] = {1, 2, 9, 10, 3, 4, 11, 12, 5, 6, 13, 14, 7, 8, 15, 16};

// Runs `onFailure` when the scope is left by an exception.
class OnFailure {
public:
  explicit OnFailure(std::function<void()> f) : f_(std::move(f)), count_(std::uncaught_exceptions()) {}
  ~OnFailure() {
    if (std::uncaught_exceptions() > count_) f_();
  }

private:
  std::function<void()> f_;
  int count_;
};

void StyleBox(QLineEdit *e, const QString &text, const QString &fg, const QString &bg, bool bold) {
  e->setText(text);
  // Grey while what the box shows is stale (the logger went quiet).
  e->setStyleSheet(QString("QLineEdit { color: %1; background: %2; %3 } QLineEdit[stale=\"true\"] { color: #808080; }")
                       .arg(fg, bg, bold ? "font-weight: bold;" : ""));
}

QLabel *MakeLabel(QWidget *parent, const QString &text, int x, int y, const QString &fg, const QString &bg) {
  auto *l = new QLabel(text, parent);
  l->setStyleSheet(QString("QLabel { color: %1; background: %2; }").arg(fg, bg));
  l->adjustSize();
  l->move(x, y);
  return l;
}

}  // namespace

TForm1::TForm1(QWidget *parent) : QWidget(parent), SerialPort1(std::make_unique<TSerialPort>()) {
  setObjectName("Form1");
  setWindowTitle(QString::fromUtf8("TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA "));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  resize(560, 461);
  // Sizeable, but never smaller than the form: below it everything is cut.
  setMinimumSize(560, 461);
  setFont(FormFont("Arial", 8));
  QPalette pal = palette();
  pal.setColor(QPalette::WindowText, Qt::red);
  setPalette(pal);

  BuildComponents();
  BuildHealth();
  BuildAlarms();
  ApplyMainWindowLook(*this);
  ApplyMainWindowDialsLook(*this);
  BuildRecording();

  // The port as the window describes it: 115200 8N1, no handshake, RTS and
  // DTR low, nulls discarded, every line event watched.
  TSerialPort &port = *SerialPort1;
  port.SetPort("COM1");
  ConfigureLoggerLine(port);
  port.OnRxChar = [this](TCustomSerialPort *, int count) { SerialPort1RxChar(count); };
  port.OnLineLost = [this](TCustomSerialPort *) { PortLineLost(); };

  Timer2 = new TTimer(this, kDumpStartDelayMs);
  Timer2->OnTimer = [this](TTimer *) { Timer2Timer(); };
  Timer3 = new TTimer(this, kClockSendDelayMs);
  Timer3->OnTimer = [this](TTimer *) { Timer3Timer(); };

  ClockText = [] { return PcClockText(); };

  // Centred on the desktop at first showing.
  if (QScreen *screen = QGuiApplication::primaryScreen()) {
    const QRect avail = screen->availableGeometry();
    move(avail.center() - QPoint(574 / 2, 501 / 2));
  }
}

TForm1::~TForm1() {
  // The port's event thread must be gone before the handlers it calls.
  if (SerialPort1) SerialPort1->Close();
  TInsFlashTimer::Forget(&alarmLooks_);
}

void TForm1::BuildComponents() {
  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(0, 0, 560, 461);

  Splitter1 = new QFrame(this);
  Splitter1->setFrameShape(QFrame::VLine);
  Splitter1->setFrameShadow(QFrame::Raised);
  Splitter1->setGeometry(308, 0, 3, 461);
  Splitter1->setCursor(Qt::SplitHCursor);

  auto colBtn = [this](const QRect &r, const QString &text, const QString &hint, bool hand) {
    auto *b = new TInsColBitBtn(this);
    b->setGeometry(r);
    b->SetTextOn(text);
    b->SetTextOff(text);
    if (!hint.isEmpty()) b->setToolTip(hint);
    if (hand) b->setCursor(Qt::PointingHandCursor);
    return b;
  };
  InsColBitBtn1 = colBtn({56, 5, 166, 33}, " REPORTADO POR EL LOGGER", {}, false);
  Edit4 = new QLineEdit(this);
  Edit4->setGeometry(18, 43, 91, 24);
  Edit4->setReadOnly(true);
  Edit4->setToolTip("Fecha reportada por el logger");
  StyleBox(Edit4, "DD/MM/AAAA", "#FF00FF", "#000000", true);
  Edit3 = new QLineEdit(this);
  Edit3->setGeometry(168, 44, 91, 24);
  Edit3->setReadOnly(true);
  Edit3->setToolTip("Hora reportada por el logger");
  StyleBox(Edit3, "HH:MM:SS", "#FF00FF", "#000000", true);
  InsLED1 = new TInsLED(this);
  InsLED1->setGeometry(126, 38, 28, 34);
  InsColBitBtn7 = colBtn({65, 73, 151, 24}, "      CANALES EN LINEA", {}, false);

  const int xs[4] = {2, 77, 153, 229};
  const int ys[4] = {103, 144, 185, 226};
  for (int channel = 1; channel <= 16; ++channel) {
    const int component = kIndicatorOfChannel[channel - 1];
    auto *ind = new TInsValueInd(this);
    const int row = (channel - 1) / 4, col = (channel - 1) % 4;
    ind->setGeometry(xs[col], ys[row], 70, 34);
    ind->SignalSettings().SetName1(QString("CANAL %1").arg(channel));
    ind->SignalSettings().SetValueUnit(QString::fromUtf8("ºC"));
    ind->SignalSettings().SetValueFormat("##0.0");
    ind->setObjectName(QString("InsValueInd%1").arg(component));
    InsValueInd[component - 1] = ind;
  }

  InsColBitBtn8 = colBtn({4, 264, 133, 25}, QString::fromUtf8("Indicadores gráficos"), {}, false);
  // The history of every logger kept in the archive; it needs no logger on
  // the line, so it sits with the live readings but never waits for them.
  InsColBitBtn9 = colBtn({156, 264, 133, 25}, QStringLiteral("HISTORIAL"),
                         QString::fromUtf8("Historial de los registradores guardados en el archivo histórico"), true);

  RadioGroup1 = new TRadioGroup(this);
  RadioGroup1->setGeometry(17, 296, 103, 87);
  {
    // Mint green, through the palette: a style sheet here would also swap
    // the items' font for the platform's.
    QPalette rp = RadioGroup1->palette();
    rp.setColor(QPalette::Window, QColor(0xC0, 0xDC, 0xC0));
    rp.setColor(QPalette::WindowText, Qt::black);
    RadioGroup1->setPalette(rp);
    RadioGroup1->setAutoFillBackground(true);
  }
  RadioGroup1->SetItems({"15 MINUTOS", "30 MINUTOS", "60 MINUTOS"});
  RadioGroup1->setToolTip("Tasa de muestreo reportada por el logger");
  RadioGroup1->setCursor(Qt::PointingHandCursor);

  InsDB120Meter1 = new TInsDB120Meter(this);
  InsDB120Meter1->setGeometry(160, 292, 129, 105);
  InsDB120Meter1->SignalSettings().SetName1(QString::fromUtf8("Nivel de batería"));

  InsColBitBtn3 = colBtn({7, 401, 130, 33}, "   CAMBIO DE TASA", "Cambia la tasa de muestreo", false);
  Label2 = MakeLabel(this, " Memoria ocupada: ", 170, 405, "#000000", "#00FF00");
  Edit1 = new TStartEdit(this);
  Edit1->setGeometry(169, 422, 37, 24);
  Edit1->setToolTip("Cantidad de posiciones de memoria utilizadas");
  StyleBox(Edit1, "0000", "#00FF00", "#000000", false);
  Label3 = MakeLabel(this, QString::fromUtf8(" Máx: %1 ").arg(kLoggerCapacity), 217, 429, "#00FF00", "#000000");

  // Without a logger the same button opens saved data: the hint says so.
  InsColBitBtn4 = colBtn({333, 5, 166, 33}, "       DESCARGAR DATOS",
                         "Descarga los datos del logger\n(sin logger conectado: abre datos guardados)", true);
  Gauge1 = new TGauge(this);
  Gauge1->setGeometry(503, 6, 31, 28);
  Gauge1->SetMaxValue(50);
  CheckBox1 = new QCheckBox("Forzar descarga completa", this);
  CheckBox1->setGeometry(339, 48, 157, 17);
  InsColBitBtn2 = colBtn({337, 78, 166, 33}, "     FECHA Y HORA ACTUAL", "Transfiere fecha y hora al logger", true);
  Label4 = MakeLabel(this, "Fecha de PC", 389, 120, "#FF0000", "transparent");
  InsClock2 = new TInsClock(this);
  InsClock2->setGeometry(375, 137, 101, 28);
  Label1 = MakeLabel(this, "Hora de PC", 395, 180, "#FF0000", "transparent");
  InsClock1 = new TInsClock(this);
  InsClock1->setGeometry(375, 195, 101, 28);

  InsRockerSwitch1 = new TInsRockerSwitch(this);
  InsRockerSwitch1->setGeometry(381, 241, 91, 85);
  InsRockerSwitch1->SetText("CONECTAR");
  InsRockerSwitch1->setToolTip("Conectar/desconectar con el logger");
  InsRockerSwitch1->setCursor(Qt::PointingHandCursor);

  InsColBitBtn6 = colBtn({364, 357, 130, 33}, "    TALVEX", "Ayuda para el uso del programa", true);
  InsColBitBtn5 = colBtn({341, 412, 177, 33}, "talvex.example", "Nuestra empresa", true);

  // Handlers.
  InsRockerSwitch1->OnClick = [this](QObject *) { InsRockerSwitch1Click(); };
  InsRockerSwitch1->OnMouseUp = [this](QObject *, Qt::MouseButton, int, int) { InsRockerSwitch1MouseUp(); };
  InsColBitBtn2->OnClick = [this](QObject *) {
    if (ShowClockSetWindow) ShowClockSetWindow();
  };
  InsColBitBtn3->OnClick = [this](QObject *) {
    if (ShowRateWindow) ShowRateWindow();
  };
  InsColBitBtn4->OnClick = [this](QObject *) { InsColBitBtn4Click(); };
  InsColBitBtn5->OnClick = [this](QObject *) {
    if (ShowAbout) ShowAbout();
  };
  InsColBitBtn6->OnClick = [this](QObject *) {
    if (ShowHelp) ShowHelp();
  };
  InsColBitBtn8->OnClick = [this](QObject *) {
    if (ShowThermometers) ShowThermometers();
  };
  InsColBitBtn9->OnClick = [this](QObject *) {
    if (ShowHistory) ShowHistory();
  };
}

bool TForm1::IsConnected() const { return InsRockerSwitch1->Checked(); }

TInsValueInd *TForm1::ChannelIndicator(int channel) const { return InsValueInd[kIndicatorOfChannel[channel - 1] - 1]; }

void TForm1::changeEvent(QEvent *event) {
  QWidget::changeEvent(event);
  if (event->type() == QEvent::ActivationChange && isActiveWindow()) {
    // At once, so the activation's work is done before the click that may
    // have caused it is handled (a download click must not be undone by it);
    // only its modal dialog waits until the window system's event is over.
    deferSetupDialog_ = true;
    RunHandler([this] { FormActivate(); });
    deferSetupDialog_ = false;
  }
}

void TForm1::closeEvent(QCloseEvent *event) {
  if (OnCloseQuery && !OnCloseQuery()) {
    event->ignore();
    return;
  }
  RunHandler([this] { FormClose(); });
  event->accept();
  // Closing the main window ends the program, whatever else is open.
  QTimer::singleShot(0, qApp, &QCoreApplication::quit);
}

void TForm1::resizeEvent(QResizeEvent *event) {
  QWidget::resizeEvent(event);
  // The frame is sizeable: the background fills whatever the client area
  // becomes, and the splitter runs its full height.
  InsGradient1->setGeometry(rect());
  Splitter1->setGeometry(Splitter1->x(), 0, Splitter1->width(), height());
}

void TForm1::FormActivate() {
  ApplyProgramFormats();
  DESCARGANDO = false;
  Gauge1->setVisible(false);
  if (setupJustClosed_) {
    // The first activation after the dialog closed is the return from the
    // dialog itself (at once under a window manager, at the next click on a
    // bare X server): it must not open the dialog again.
    setupJustClosed_ = false;
  } else if (!PUERTOFIJADO) {
    if (deferSetupDialog_) QTimer::singleShot(0, this, [this] { RunHandler([this] { ShowSetupDialog(); }); });
    else ShowSetupDialog();
  }
}

void TForm1::ShowSetupDialog() {
  // Never over another modal window (a click that activated this window may
  // have opened one before the deferred dialog's turn came): the setup waits
  // for the activation that follows that window's close.
  if (QApplication::activeModalWidget()) return;
  struct Release {
    TForm1 *self;
    ~Release() { self->setupJustClosed_ = true; }
  } release{this};
  SerialPort1->ShowSetup();
}

void TForm1::ShowConnected(bool on) {
  InsRockerSwitch1->SetText(on ? "DESCONECTAR" : "CONECTAR");
  InsRockerSwitch1->SetChecked(on);
  InsColBitBtn7->SetChecked(on);
  InsColBitBtn1->SetChecked(on);
  RecordingConnected(on);
}

void TForm1::InsRockerSwitch1Click() {
  Edit4->clear();
  Edit3->clear();
  DESCARGANDO = false;
  if (SerialPort1->Connected()) {
    SerialPort1->FlowControl().SetControlRTS(rtsDisable);
    SerialPort1->Close();
    ShowConnected(false);
    HealthConnected(false);
    AlarmConnected(false);
    return;
  }
  // A failed open must not leave the switch reading "on" over a closed port.
  OnFailure uncheck([this] { InsRockerSwitch1->SetChecked(false); });
  SerialPort1->FlowControl().SetControlRTS(rtsEnable);
  SerialPort1->Open();
  ShowConnected(true);
  Edit2.Clear();
  HealthConnected(true);
  AlarmConnected(true);
}

void TForm1::InsRockerSwitch1MouseUp() { setCursor(Qt::ArrowCursor); }

void TForm1::PortLineLost() {
  // The device vanished under us (adapter pulled, peer hung up): what was
  // received is kept; the window stops claiming a connection and says so once.
  SerialPort1->Close();
  Edit4->clear();
  Edit3->clear();
  DESCARGANDO = false;
  ShowConnected(false);
  HealthConnected(false);
  AlarmConnected(false);
  InsLED1->SetChecked(false);
  setCursor(Qt::ArrowCursor);
  ShowException(Exception("Se perdió la conexión con el puerto serie."));
}

void TForm1::SerialPort1RxChar(int count) {
  InsLED1->SetChecked(true);
  if (DESCARGANDO) {
    Gauge1->setVisible(true);
    DESCARGAR(count);
  } else {
    Gauge1->setVisible(false);
    std::string text;
    SerialPort1->ReadText(text, count);
    LiveText(text);
  }
  if (HORAPENDIENTE) Timer3->SetEnabled(true);
}

void TForm1::LiveText(const std::string &text) {
  if (auto frame = Edit2.Feed(text)) {
    // A frame with noise in it is dropped whole; the next good one shows.
    InsLED1->SetChecked(false);
    if (auto decoded = DecodeLiveFrame(*frame)) ShowFrame(*decoded);
  }
}

void TForm1::ShowFrame(const TLiveFrame &frame) {
  InsLED1->SetChecked(false);
  Edit3->clear();
  Edit4->clear();
  for (int channel = 1; channel <= 16; ++channel) {
    const float value = static_cast<float>(frame.Channels[channel - 1]);
    ChannelIndicator(channel)->SetValue(value);
    if (TInsThermometer *t = ChannelThermometers[channel - 1]) t->SetValue(value);
  }
  Edit1->setText(QString::fromStdString(FloatToStr(frame.MemoryCount)));
  // A count wider than the box ("7,03125") must show its start, not the
  // digits a text box scrolls to for its caret.
  Edit1->setCursorPosition(0);
  Edit4->setText(QString::fromStdString(frame.DateText()));
  Edit3->setText(QString::fromStdString(frame.TimeText()));

  InsDB120Meter1->SetValue(static_cast<float>(frame.BatteryLevel()));
  if (InsDB120Meter1->Value() > 100) InsDB120Meter1->SetValue(100);
  if (InsDB120Meter1->Value() > 76) InsDB120Meter1->SignalSettings().SetName1(QString::fromUtf8("Nivel de Batería"));
  if (InsDB120Meter1->Value() < 76) InsDB120Meter1->SignalSettings().SetName1("REEMPLAZAR PILAS");

  switch (frame.RateCode) {
    case 4: RadioGroup1->SetItemIndex(0); break;
    case 5: RadioGroup1->SetItemIndex(1); break;
    case 6: RadioGroup1->SetItemIndex(2); break;
    default: break;
  }
  HealthFrame(frame);
  RecordFrame(frame);
  AlarmFrame(frame);
}

void TForm1::HORAAPIC() {
  Edit2.Clear();
  Edit5 = ClockText();
  // Only the digit positions are sent, whatever the separators of this PC are.
  SendClock(*SerialPort1, Edit5);
  Edit5.clear();
  HealthClockSent();
}

void TForm1::Timer3Timer() {
  HORAPENDIENTE = false;
  // Stopped first so that a failed send does not repeat at every tick.
  Timer3->SetEnabled(false);
  HORAAPIC();
}

void TForm1::InsColBitBtn4Click() {
  Gauge1->setVisible(true);
  if (DATOSLISTOS) {
    if (ShowDataWindow) ShowDataWindow();
    return;
  }
  RichEdit1.clear();
  if (!IsConnected()) {
    if (ShowSavedData) ShowSavedData();
    return;
  }
  // A request the logger never got must not leave the window waiting for a
  // dump: no hourglass, and no Timer2 to turn live frames into one later.
  OnFailure abandon([this] {
    Timer2->SetEnabled(false);
    DESCARGANDO = false;
    setCursor(Qt::ArrowCursor);
  });
  setCursor(Qt::WaitCursor);
  Timer2->SetEnabled(true);
  SerialPort1->ClearBuffers(true, false);
  RichEdit1.clear();
  setCursor(Qt::WaitCursor);
  SendDownloadRequest(*SerialPort1, CheckBox1->isChecked(), DownloadCommandGapMs, [this] { DESCARGANDO = true; });
  Gauge1->setVisible(true);
}

void TForm1::Timer2Timer() {
  DESCARGANDO = true;
  Timer2->SetEnabled(false);
  DiscardBeforeDump(*SerialPort1, RichEdit1);
}

void TForm1::DESCARGAR(int count) {
  std::string text;
  SerialPort1->ReadText(text, count);
  if (CollectDownloadRead(RichEdit1, text)) {
    // An acknowledgement the line does not take is told, but the download
    // still ends here: the dump is whole, and failing the receive handler
    // would leave the window waiting for more and the records unseen.
    const std::exception_ptr ackFailed = RunCapturing([this] { SendDownloadAck(*SerialPort1); });
    DESCARGANDO = false;
    Gauge1->setVisible(false);
    setCursor(Qt::ArrowCursor);
    InsColBitBtn4->SetTextOff("              VER DATOS");
    InsColBitBtn4->SetTextOn("                VER DATOS");
    DATOSLISTOS = true;
    if (ackFailed) RunHandler([&] { std::rethrow_exception(ackFailed); });
    CheckDownloadCount();
    if (ShowDataWindow) ShowDataWindow();
    return;
  }
  int progress = Gauge1->Progress() + 1;
  if (progress == 50) progress = 0;
  Gauge1->SetProgress(progress);
}

void TForm1::FormClose() {
  SerialPort1->FlowControl().SetControlRTS(rtsDisable);
  SerialPort1->Close();
  ShowConnected(false);
  HealthConnected(false);
  AlarmConnected(false);
  // The readings taken are in the queue on disk before the program goes.
  if (TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr) recording->Finish();
}
