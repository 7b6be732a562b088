// GRABAR: the main window's part of recording the live readings. It sits
// right of the connect switch, where the window had nothing; the status line
// below the connect switch shows only while recording.

#include "app/live_recording.h"
#include "app/main_window.h"
#include "runtime/form_font.h"
#include "runtime/user_settings.h"
#include "serial/serial_port.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_rocker_switch.h"

#include <QLocale>

namespace {

const char *const kIntervalKey = "grabacion/intervalo";

QString IntervalText(int seconds) {
  return seconds < 60 ? QString("%1 s").arg(seconds) : QString("%1 min").arg(seconds / 60);
}

}  // namespace

void TForm1::BuildRecording() {
  InsRockerSwitch2 = new TInsRockerSwitch(this);
  // As the connect switch looks, smaller.
  InsRockerSwitch2->SetOrientation(boVertical);
  InsRockerSwitch2->SetMode(mSwitch);
  InsRockerSwitch2->setFont(FormFont("Arial", 7, true));
  InsRockerSwitch2->SetFontColor(clMaroon);
  InsRockerSwitch2->SetLEDHeight(6);
  InsRockerSwitch2->SetLEDColorOn(clRed);
  InsRockerSwitch2->SetLEDColorOff(clMaroon);
  InsRockerSwitch2->SetBtnBevelWidth(2);
  InsRockerSwitch2->SetBtnBevel2Width(2);
  InsRockerSwitch2->SetBtnColorFaceHi(ColorFromRGB(14540253));
  InsRockerSwitch2->SetBtnColorFaceSh(clBtnFace());
  InsRockerSwitch2->BevelOuter().SetStyle(bsLowered);
  InsRockerSwitch2->BevelOuter().SetWidth(1);
  InsRockerSwitch2->BevelOuter().SetSpacing(1);
  InsRockerSwitch2->BevelOuter().SetBevelLine(blInner);
  InsRockerSwitch2->BevelOuter().SetColor(clBtnShadow());
  InsRockerSwitch2->setGeometry(480, 243, 72, 58);
  InsRockerSwitch2->SetText("GRABAR");
  InsRockerSwitch2->setToolTip(QString::fromUtf8(
      "Guarda las lecturas en vivo en el archivo histórico, una por intervalo (con el logger conectado)"));
  InsRockerSwitch2->setCursor(Qt::PointingHandCursor);
  InsRockerSwitch2->setEnabled(false);
  InsRockerSwitch2->OnClick = [this](QObject *) { InsRockerSwitch2Click(); };

  RecordInterval = new QComboBox(this);
  RecordInterval->setGeometry(480, 304, 72, 22);
  RecordInterval->setFont(FormFont("Arial", 8));
  RecordInterval->setToolTip("Intervalo entre lecturas grabadas");
  for (int seconds : kRecordIntervals) RecordInterval->addItem(IntervalText(seconds), seconds);
  const int saved = UserSettings().value(kIntervalKey, kDefaultRecordInterval).toInt();
  const int index = RecordInterval->findData(ValidRecordInterval(saved) ? saved : kDefaultRecordInterval);
  RecordInterval->setCurrentIndex(index);
  QObject::connect(RecordInterval, &QComboBox::activated, this, [this](int i) { RecordIntervalChange(i); });

  RecordStatus = new QLabel(this);
  RecordStatus->setGeometry(318, 328, 236, 28);
  RecordStatus->setAlignment(Qt::AlignCenter);
  RecordStatus->setFont(FormFont("Arial", 7, true));
  RecordStatus->setStyleSheet("QLabel { color: #FFFFFF; background: #800000; }");
  RecordStatus->setVisible(false);
}

int TForm1::RecordIntervalSeconds() const { return RecordInterval->currentData().toInt(); }

bool TForm1::Recording() const {
  TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr;
  return recording && recording->Recording();
}

void TForm1::RecordIntervalChange(int index) {
  const int seconds = RecordInterval->itemData(index).toInt();
  UserSettings().setValue(kIntervalKey, seconds);
  if (TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr) recording->SetInterval(seconds);
  ShowRecordCount();
}

void TForm1::InsRockerSwitch2Click() {
  TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr;
  const bool start = recording && !recording->Recording() && IsConnected();
  if (recording && !start) recording->Stop();
  if (start) {
    recording->OnKept = [this] { ShowRecordCount(); };
    recording->Start(SerialPort1->Port(), RecordIntervalSeconds());
  }
  // The switch shows what is, whatever the press did to it.
  InsRockerSwitch2->SetChecked(start);
  ShowRecordCount();
}

void TForm1::RecordingConnected(bool on) {
  if (!InsRockerSwitch2) return;
  InsRockerSwitch2->setEnabled(on);
  if (on) return;
  // The line gone, whether by the switch, the close or a lost device: the
  // recording ends, what it took still goes to the archive.
  if (TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr) recording->Stop();
  InsRockerSwitch2->SetChecked(false);
  ShowRecordCount();
}

void TForm1::RecordFrame(const TLiveFrame &frame) {
  if (TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr)
    recording->Frame(frame, PcClockMs ? PcClockMs() : 0);
}

void TForm1::ShowRecordCount() {
  TLiveRecording *recording = LiveRecording ? LiveRecording() : nullptr;
  const bool on = recording && recording->Recording();
  RecordStatus->setVisible(on);
  if (!on) return;
  // Only what the archive committed counts as kept; readings taken and not
  // yet committed (a batch filling, an archive that fails) are told apart.
  const std::int64_t kept = recording->Kept(), waiting = recording->Waiting();
  const QLocale spanish(QLocale::Spanish);
  QString text = QString::fromUtf8("GRABANDO cada %1\n%2 %3")
                     .arg(IntervalText(recording->Interval()), spanish.toString(static_cast<qlonglong>(kept)),
                          kept == 1 ? "lectura guardada" : "lecturas guardadas");
  if (waiting > 0) text += QString::fromUtf8(", %1 en espera").arg(spanish.toString(static_cast<qlonglong>(waiting)));
  RecordStatus->setText(text);
}
