#pragma once

#include "app/live_alarms.h"
#include "logger/live_frame.h"
#include "logger/logger_health.h"
#include "runtime/radio_group.h"
#include "runtime/ui_timer.h"

#include <QCheckBox>
#include <QColor>
#include <QComboBox>
#include <QFrame>
#include <QLabel>
#include <QLineEdit>
#include <QWidget>

#include <array>
#include <functional>
#include <memory>
#include <string>
#include <vector>

class TSerialPort;
class TInsValueInd;
class TInsThermometer;
class TInsLED;
class TInsRockerSwitch;
class TInsColBitBtn;
class TInsDB120Meter;
class TInsClock;
class TInsGradient;
class TGauge;
class TLiveRecording;
class THistoryWorker;

// The main window: owns the serial port and all program-wide state, shows the
// logger's live readings and offers every command.
class TForm1 : public QWidget {
public:
  explicit TForm1(QWidget *parent = nullptr);
  ~TForm1() override;

  // Program-wide flags, false at start.
  bool DESCARGANDO = false;    // received text goes to the dump
  bool DATOSLISTOS = false;    // a download has completed; only ever set
  bool HORAPENDIENTE = false;  // a confirmed clock set waits for the logger
  bool PUERTOFIJADO = false;   // the setup dialog no longer shows on activation

  // The connected test of every command: the switch, not the port.
  bool IsConnected() const;

  std::unique_ptr<TSerialPort> SerialPort1;

  // Visible components, named as the window knows them.
  TInsGradient *InsGradient1 = nullptr;
  QFrame *Splitter1 = nullptr;
  TInsColBitBtn *InsColBitBtn1 = nullptr, *InsColBitBtn2 = nullptr, *InsColBitBtn3 = nullptr, *InsColBitBtn4 = nullptr,
                *InsColBitBtn5 = nullptr, *InsColBitBtn6 = nullptr, *InsColBitBtn7 = nullptr, *InsColBitBtn8 = nullptr;
  // "HISTORIAL", right of "Indicadores gráficos" where the window had room.
  TInsColBitBtn *InsColBitBtn9 = nullptr;
  QLineEdit *Edit1 = nullptr, *Edit3 = nullptr, *Edit4 = nullptr;
  TInsLED *InsLED1 = nullptr;
  std::array<TInsValueInd *, 16> InsValueInd{};  // InsValueInd1..16 by component number - 1
  TRadioGroup *RadioGroup1 = nullptr;
  TInsDB120Meter *InsDB120Meter1 = nullptr;
  QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr;
  TGauge *Gauge1 = nullptr;
  QCheckBox *CheckBox1 = nullptr;
  TInsClock *InsClock1 = nullptr, *InsClock2 = nullptr;
  TInsRockerSwitch *InsRockerSwitch1 = nullptr;

  // Hidden components: the live-frame accumulator, the clock scratch text and
  // the dump of the last download.
  TFrameAccumulator Edit2;
  std::string Edit5;
  std::string RichEdit1;

  TTimer *Timer2 = nullptr;  // 450 ms: starts the dump proper after a request
  TTimer *Timer3 = nullptr;  // 100 ms: sends a pending clock set

  // The channel's indicator and thermometer, channel 1..16 at index 0..15.
  TInsValueInd *ChannelIndicator(int channel) const;
  std::array<TInsThermometer *, 16> ChannelThermometers{};

  // The other windows, handed in by the program once they exist.
  std::function<void()> ShowAbout;           // modal
  std::function<void()> ShowHelp;            // modal
  std::function<void()> ShowRateWindow;      // modal
  std::function<void()> ShowClockSetWindow;  // modeless
  std::function<void()> ShowThermometers;    // modeless
  std::function<void()> ShowHistory;         // modeless, with or without a logger
  std::function<void()> ShowDataWindow;      // modal
  // The data window with no download in it, where saved files are opened;
  // what the download button does without a logger.
  std::function<void()> ShowSavedData;  // modal
  // Asked before the window closes; false keeps the program open (a
  // download nobody saved).
  std::function<bool()> OnCloseQuery;

  // Handlers (public so tests drive them as the events would).
  void FormActivate();
  void FormClose();
  void InsRockerSwitch1Click();
  void InsRockerSwitch1MouseUp();
  void InsColBitBtn4Click();
  void SerialPort1RxChar(int count);
  void LiveText(const std::string &text);  // received text outside a download
  void ShowFrame(const TLiveFrame &frame);
  void HORAAPIC();
  void DESCARGAR(int count);
  void Timer2Timer();
  void Timer3Timer();
  void PortLineLost();

  // How long the download request blocks between its two commands; tests
  // shorten it.
  int DownloadCommandGapMs = 1000;

  // What the clock set reads: the PC clock; tests pin it.
  std::function<std::string()> ClockText;

  // What the frames tell of the logger's clock and memory and of how current
  // the values shown are (main_window_health.cpp); shown in hints and by
  // greying the values, never by moving anything.
  TLoggerHealth Health;
  // The PC clock in ms since the epoch; tests pin it.
  std::function<std::int64_t()> PcClockMs;
  // Told after every change of Health (the clock-set and rate windows follow it).
  std::function<void()> OnHealthChange;
  // Sets the downloaded-data window's hint after a download.
  std::function<void(const QString &hint)> SetDataWindowHint;
  // GRABAR (main_window_recording.cpp): the live readings kept in the
  // history archive while connected, right of the connect switch where the
  // window had room.
  TInsRockerSwitch *InsRockerSwitch2 = nullptr;  // "GRABAR"
  QComboBox *RecordInterval = nullptr;           // 1 s, 10 s, 1 min, 5 min
  QLabel *RecordStatus = nullptr;                // shown while recording
  // Made by the program once the archive's writer exists; without it GRABAR
  // stays off.
  std::function<TLiveRecording *()> LiveRecording;
  void InsRockerSwitch2Click();
  void RecordIntervalChange(int index);
  bool Recording() const;
  // The interval picked, in seconds, as the user's settings remember it.
  int RecordIntervalSeconds() const;
  void ShowRecordCount();
  TTimer *StaleTimer = nullptr;  // fires when the values would go stale
  void StaleTimerTimer();
  bool ValuesStale() const { return stale_; }

  // ALARMAS (main_window_alarms.cpp): the connected logger's alarm limits,
  // read from the archive off this thread at connect, weighed on every live
  // frame. A channel in alarm blinks on its indicator and thermometer in the
  // widgets' own colours, its hint saying since when; nothing moves.
  TInsColBitBtn *InsColBitBtn10 = nullptr;  // "ALARMAS", right of the PC's clock
  std::function<void()> ShowAlarms;         // modeless, with or without a logger
  // Told of every alarm that starts or ends on a live frame.
  std::function<void(const TAlarmNotice &notice)> OnAlarm;
  // Reads the connected logger's limits again (ALARMAS saved some), off
  // this thread; nothing without a line.
  void ReadAlarmLimits();
  // The limits weighed from now on, for the logger as the archive names it.
  void SetAlarmLimits(const std::string &logger, const TAlarmLimitSet &limits);
  const TLiveAlarms &LiveAlarms() const { return liveAlarms_; }
  // True once the limits asked for at connect (or since) have come.
  bool AlarmLimitsRead() const { return alarmLimitsRead_; }
  // The connected logger's limits were read, and are LiveAlarms()'s.
  bool AlarmLimitsHeld() const { return alarmLimitsHeld_ && IsConnected(); }
  // Tells that the limits could not be read (once while that lasts); by
  // default a note that stops nothing. Tests read the text instead.
  std::function<void(const QString &text)> ShowAlarmNote;
  // One blink phase of the channels in alarm (the blink service's, or a
  // test's).
  void AlarmBlink(bool phase);

protected:
  void changeEvent(QEvent *event) override;
  void closeEvent(QCloseEvent *event) override;
  void resizeEvent(QResizeEvent *event) override;

private:
  void BuildComponents();
  void ShowConnected(bool on);
  void ShowSetupDialog();
  bool setupJustClosed_ = false;
  bool deferSetupDialog_ = false;

  void BuildRecording();
  void RecordingConnected(bool on);
  void RecordFrame(const TLiveFrame &frame);

  void BuildHealth();
  void HealthConnected(bool on);
  void HealthFrame(const TLiveFrame &frame);
  void HealthClockSent();
  void ArmStaleTimer();
  void ShowStale(bool stale);
  void ShowHealth();
  void CheckDownloadCount();
  bool stale_ = false;
  std::array<QString, 3> baseHints_;  // of Edit4, Edit3, Edit1
  std::vector<QString> staleSavedHints_;
  QString staleHint_;

  void BuildAlarms();
  void AlarmConnected(bool on);
  void AlarmFrame(const TLiveFrame &frame);
  void ShowChannelAlarms();
  void PaintChannelAlarm(int channel);
  // What a channel in alarm changed on its widgets, and what they had.
  struct TAlarmLook {
    bool On = false;
    TAlarmKind Kind = TAlarmKind::High;
    QString Hint;
    QColor IndicatorBox, IndicatorText;
    QString IndicatorHint;
    TInsThermometer *Thermometer = nullptr;
    QColor ThermometerBox, ThermometerText, ThermometerBack;
    QString ThermometerHint;
  };
  void EndAlarmLook(TAlarmLook &look, int channel);
  TLiveAlarms liveAlarms_;
  std::array<TAlarmLook, 16> alarmLooks_{};
  bool alarmPhase_ = true, alarmBlinking_ = false, alarmLimitsRead_ = false, alarmLimitsHeld_ = false,
       alarmFailureTold_ = false;
  std::unique_ptr<THistoryWorker> alarmWorker_;
  QString alarmButtonHint_;
};
