// The main window's side of the alarms: the connected logger's limits read
// from the archive (off this thread), weighed on every live frame, and a
// channel in alarm shown on its indicator and thermometer through their own
// colours and the blink service. Only colours and hints change: nothing
// moves, no fixed text changes, and the channel looks as always once its
// alarm ends or the line closes. "ALARMAS" sits right of the PC's clock,
// where the window had room.

#include "app/history_worker.h"
#include "app/main_window.h"
#include "archive/archive.h"
#include "archive/archive_address.h"
#include "logger/live_recorder.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "widgets/flash_timer.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_colors.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <QMessageBox>

#include <exception>

namespace {

// The alarm's colour: red above, a blue light enough to read on black below.
const QColor kHighAlarmColour{0xFF, 0x00, 0x00};
const QColor kLowAlarmColour{0x00, 0x80, 0xFF};
// The thermometer's empty column, tinted for as long as the alarm lasts.
const QColor kHighAlarmTint{0xFF, 0xC8, 0xC8};
const QColor kLowAlarmTint{0xC8, 0xE0, 0xFF};

const QColor &AlarmColour(TAlarmKind kind) { return kind == TAlarmKind::High ? kHighAlarmColour : kLowAlarmColour; }
const QColor &AlarmTint(TAlarmKind kind) { return kind == TAlarmKind::High ? kHighAlarmTint : kLowAlarmTint; }

void SetHint(QWidget *w, const QString &hint) {
  if (w->toolTip() != hint) w->setToolTip(hint);
}

// The value box lit in the alarm's colour, the text white; the other phase
// the box as it was and the text in the alarm's colour: both say "alarm".
void PaintValueBox(TInsValueBoxGControl &w, const QColor &box, TAlarmKind kind, bool phase) {
  w.BevelValue().SetColor(phase ? AlarmColour(kind) : box);
  w.SetFontValueColor(phase ? clWhite : AlarmColour(kind));
}

// The hint as it was, unless something else wrote its own since (the
// values gone stale say so in it); a widget that writes its own from its
// value writes it afresh, the value having moved on meanwhile.
void RestoreHint(TInsAnalogGControl &w, const QString &alarmHint, const QString &before) {
  if (w.toolTip() != alarmHint) return;
  w.setToolTip(before);
  w.RemakeAutoHint();
}

}  // namespace

void TForm1::BuildAlarms() {
  InsColBitBtn10 = new TInsColBitBtn(this);
  InsColBitBtn10->setGeometry(480, 196, 72, 25);
  InsColBitBtn10->SetTextOn(QStringLiteral("ALARMAS"));
  InsColBitBtn10->SetTextOff(QStringLiteral("ALARMAS"));
  alarmButtonHint_ =
      QString::fromUtf8("Límites de alarma de cada canal y las alarmas ocurridas (con o sin logger conectado)");
  InsColBitBtn10->setToolTip(alarmButtonHint_);
  InsColBitBtn10->setCursor(Qt::PointingHandCursor);
  InsColBitBtn10->OnClick = [this](QObject *) {
    if (ShowAlarms) ShowAlarms();
  };
  alarmWorker_ = std::make_unique<THistoryWorker>(this);
}

void TForm1::ReadAlarmLimits() {
  if (!IsConnected()) return;
  const std::string port = SerialPort1->Port();
  struct TRead {
    std::string Logger;
    TAlarmLimitSet Limits{};
  };
  auto read = std::make_shared<TRead>();
  alarmLimitsRead_ = alarmLimitsHeld_ = false;
  alarmWorker_->Start(
      ConfiguredArchiveAddress(),
      [port, read](TArchive &archive, const std::atomic<bool> &) {
        // The name the downloads and GRABAR keep this logger's readings
        // under.
        read->Logger = archive.LoggerOnPort(port).value_or(port);
        read->Limits = archive.AlarmLimits(read->Logger);
      },
      [this, port, read](const std::exception_ptr &failure) {
        alarmLimitsRead_ = true;
        if (!IsConnected() || SerialPort1->Port() != port) return;
        if (failure) {
          QString why;
          try {
            std::rethrow_exception(failure);
          } catch (const std::exception &e) {
            why = QString::fromUtf8(e.what());
          } catch (...) {
            why = QString::fromUtf8("error desconocido");
          }
          const QString text = QString::fromUtf8("No se pudieron leer los límites de alarma del archivo histórico: ") +
                               why +
                               QString::fromUtf8(
                                   "\n\nLos valores se siguen mostrando, pero sin vigilar las alarmas hasta que se "
                                   "vuelva a conectar.");
          InsColBitBtn10->setToolTip(alarmButtonHint_ + "\n\n" + text);
          // Nobody must believe the channels watched when they are not;
          // told once while the archive keeps failing, in a note that
          // stops nothing.
          if (!alarmFailureTold_) {
            alarmFailureTold_ = true;
            if (ShowAlarmNote) {
              ShowAlarmNote(text);
            } else {
              auto *box = new QMessageBox(QMessageBox::Warning, QString::fromStdString(ApplicationTitle()), text,
                                          QMessageBox::Ok, this);
              box->setAttribute(Qt::WA_DeleteOnClose);
              box->setWindowModality(Qt::NonModal);
              box->show();
            }
          }
          return;
        }
        alarmFailureTold_ = false;
        InsColBitBtn10->setToolTip(alarmButtonHint_);
        SetAlarmLimits(read->Logger, read->Limits);
        alarmLimitsHeld_ = true;
      });
}

void TForm1::SetAlarmLimits(const std::string &logger, const TAlarmLimitSet &limits) {
  liveAlarms_.SetLimits(logger, limits);
  ShowChannelAlarms();
}

void TForm1::AlarmConnected(bool on) {
  if (on) {
    ReadAlarmLimits();
    return;
  }
  alarmWorker_->Cancel();
  liveAlarms_.Reset();
  ShowChannelAlarms();
}

void TForm1::AlarmFrame(const TLiveFrame &frame) {
  // Nothing to weigh for a logger without limits: a flag and a loop of
  // sixteen per frame.
  if (!liveAlarms_.AnyLimits()) return;
  // A frame whose date is not on the calendar (a clock never set) has no
  // time to count a delay with.
  const std::optional<TArchiveRecord> reading = LiveReading(frame, 0);
  if (!reading) return;
  const std::vector<TAlarmNotice> notices = liveAlarms_.Feed(StampSeconds(reading->Instant), reading->Values);
  for (const TAlarmNotice &notice : notices)
    if (OnAlarm) OnAlarm(notice);
  ShowChannelAlarms();
}

void TForm1::ShowChannelAlarms() {
  bool any = false;
  for (int k = 0; k < 16; ++k) {
    TAlarmLook &look = alarmLooks_[static_cast<std::size_t>(k)];
    const std::optional<TAlarmEvent> alarm = liveAlarms_.Active(k);
    if (!alarm) {
      if (look.On) EndAlarmLook(look, k);
      continue;
    }
    any = true;
    TInsValueInd *indicator = ChannelIndicator(k + 1);
    TInsThermometer *thermometer = ChannelThermometers[static_cast<std::size_t>(k)];
    if (look.On && look.Kind != alarm->Kind) EndAlarmLook(look, k);
    if (!look.On) {
      look.On = true;
      look.Kind = alarm->Kind;
      look.IndicatorBox = indicator->BevelValue().Color();
      look.IndicatorText = indicator->FontValueColor();
      look.IndicatorHint = indicator->toolTip();
      look.Thermometer = nullptr;
    }
    // The thermometers are made after the main window's first paint: one
    // that came since the alarm began takes its look now.
    if (thermometer != look.Thermometer && thermometer) {
      look.Thermometer = thermometer;
      look.ThermometerBox = thermometer->BevelValue().Color();
      look.ThermometerText = thermometer->FontValueColor();
      look.ThermometerBack = thermometer->BarSettings().BkColor();
      look.ThermometerHint = thermometer->toolTip();
      thermometer->BarSettings().SetBkColor(AlarmTint(look.Kind));
    }
    // Made afresh at every frame: the extreme moves on, and an automatic
    // hint of the indicator's own was written over it with the value.
    look.Hint = AlarmHintText(*alarm, AlarmLimitOf(liveAlarms_.Limits()[static_cast<std::size_t>(k)], alarm->Kind));
    SetHint(indicator, look.Hint);
    if (look.Thermometer) SetHint(look.Thermometer, look.Hint);
    PaintChannelAlarm(k);
  }
  if (any != alarmBlinking_) {
    alarmBlinking_ = any;
    if (any) {
      alarmPhase_ = true;
      TInsFlashTimer::Instance().Register(&alarmLooks_, TInsBinGControl::RateCode(ff1Hz), 0,
                                          [this](int64_t, bool phase) { AlarmBlink(phase); });
    } else {
      TInsFlashTimer::Forget(&alarmLooks_);
    }
  }
}

void TForm1::AlarmBlink(bool phase) {
  alarmPhase_ = phase;
  for (int k = 0; k < 16; ++k)
    if (alarmLooks_[static_cast<std::size_t>(k)].On) PaintChannelAlarm(k);
}

void TForm1::PaintChannelAlarm(int channel) {
  const TAlarmLook &look = alarmLooks_[static_cast<std::size_t>(channel)];
  PaintValueBox(*ChannelIndicator(channel + 1), look.IndicatorBox, look.Kind, alarmPhase_);
  if (look.Thermometer) PaintValueBox(*look.Thermometer, look.ThermometerBox, look.Kind, alarmPhase_);
}

void TForm1::EndAlarmLook(TAlarmLook &look, int channel) {
  TInsValueInd *indicator = ChannelIndicator(channel + 1);
  indicator->BevelValue().SetColor(look.IndicatorBox);
  indicator->SetFontValueColor(look.IndicatorText);
  RestoreHint(*indicator, look.Hint, look.IndicatorHint);
  if (TInsThermometer *t = look.Thermometer; t && t == ChannelThermometers[static_cast<std::size_t>(channel)]) {
    t->BevelValue().SetColor(look.ThermometerBox);
    t->SetFontValueColor(look.ThermometerText);
    t->BarSettings().SetBkColor(look.ThermometerBack);
    RestoreHint(*t, look.Hint, look.ThermometerHint);
  }
  look = TAlarmLook();
}
