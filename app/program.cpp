#include "app/program.h"

#include "app/about_window.h"
#include "app/alarm_texts.h"
#include "app/alarm_window.h"
#include "app/clock_set_window.h"
#include "app/data_window_report.h"
#include "app/desktop_notifier.h"
#include "app/download_archive.h"
#include "app/help_window.h"
#include "app/history_window.h"
#include "app/live_recording.h"
#include "app/main_window.h"
#include "app/rate_window.h"
#include "app/thermometer_window.h"
#include "archive/archive.h"
#include "archive/archive_address.h"
#include "chart/chart_preview.h"
#include "data/data_window.h"
#include "graph/graph_window.h"
#include "logger/demo_port.h"
#include "runtime/application.h"
#include "runtime/form.h"
#include "runtime/format_settings.h"
#include "serial/serial_port.h"

#include <QCheckBox>
#include <QCoreApplication>
#include <QDateTime>
#include <QEvent>
#include <QTimer>
#include <QWidget>

#include <functional>
#include <memory>
#include <utility>

const char *const kApplicationTitle = "TALVEX CANALES";

namespace {

// Waits for the main window's first paint, then lets the other windows be
// made once the events already waiting (the paint's flush among them) are
// through. The main window itself is wholly covered by its background, so the
// paint looked for is that of anything in it.
class TFirstPaintWatch : public QObject {
public:
  TFirstPaintWatch(QWidget &watched, std::function<void()> then) : watched_(watched), then_(std::move(then)) {
    QCoreApplication::instance()->installEventFilter(this);
  }

protected:
  bool eventFilter(QObject *object, QEvent *event) override {
    if (event->type() == QEvent::Paint && then_ && object->isWidgetType() &&
        static_cast<QWidget *>(object)->window() == &watched_) {
      QCoreApplication::instance()->removeEventFilter(this);
      QTimer::singleShot(0, this, std::exchange(then_, nullptr));
    }
    return false;
  }

private:
  QWidget &watched_;
  std::function<void()> then_;
};

}  // namespace

TProgram::TProgram() {
  // The file, message and printer dialogs are Qt's: in Spanish like the rest.
  InstallQtTranslations();
  // The port setup dialog offers the demo port from its first showing.
  RegisterDemoPort();
  // The first showing paints values before the main window's activation has
  // run; give them the program's number formats from the start.
  ApplyProgramFormats();
  form1_ = std::make_unique<TForm1>();

  TForm1 &main = *form1_;
  main.ShowAbout = [this] { Form2().exec(); };
  main.ShowHelp = [this] { Form3().exec(); };
  main.ShowRateWindow = [this] { Form7().exec(); };
  main.ShowClockSetWindow = [this] {
    TForm8 &f = Form8();
    f.show();
    f.raise();
    f.activateWindow();
  };
  main.ShowThermometers = [this] {
    TForm4 &f = Form4();
    f.show();
    f.raise();
    f.activateWindow();
  };
  main.ShowHistory = [this] {
    THistoryWindow &f = HistoryWindow();
    f.show();
    f.raise();
    f.activateWindow();
  };
  main.ShowAlarms = [this] {
    TAlarmWindow &f = AlarmWindow();
    f.show();
    f.raise();
    f.activateWindow();
  };
  // An alarm that starts or ends is told on the desktop as well, where the
  // user may not be looking at the window.
  notifier_ = std::make_unique<TDesktopNotifier>();
  main.OnAlarm = [this](const TAlarmNotice &notice) {
    const TNotificationText text = AlarmNotificationText(notice);
    notifier_->Notify(text.Summary, text.Body,
                      notice.Started ? TDesktopNotifier::TUrgency::Critical : TDesktopNotifier::TUrgency::Normal);
  };
  main.ShowDataWindow = [this] { Form5().exec(); };
  main.SetDataWindowHint = [this](const QString &hint) { Form5().setToolTip(hint); };
  // The clock-set and rate windows, once made, follow the logger's health.
  main.OnHealthChange = [this] {
    if (!AllWindowsCreated()) return;
    form8_->ShowDrift();
    form7_->ShowDurations();
  };
  main.ShowSavedData = [this] { Form5().ExecWithoutDownload(); };
  main.OnCloseQuery = [this] { return endingBySignal_ || !form5_ || form5_->CloseQuery(); };
  firstPaintWatch_ = std::make_unique<TFirstPaintWatch>(main, [this] { CreateAllWindows(); });
}

namespace {

// The alarm limits of the logger the data window's records belong to: a
// download's is the logger the archive keeps it under (the one last seen on
// the port, else the port's name); an opened file's, the logger last seen on
// the chosen port, if any. Empty when that logger has no limit at all.
std::optional<TAlarmLimitSet> ShownLoggerAlarmLimits(const std::string &port, bool openedFile) {
  TArchive archive(ConfiguredArchiveAddress());
  std::optional<std::string> logger = archive.LoggerOnPort(port);
  if (!logger && !openedFile && !port.empty()) logger = port;
  if (!logger) return std::nullopt;
  return LimitsIfAny(archive.AlarmLimits(*logger));
}

}  // namespace

void TProgram::CreateAllWindows() {
  if (AllWindowsCreated()) return;
  form2_ = std::make_unique<TForm2>(form1_.get());
  form3_ = std::make_unique<TForm3>(form1_.get());
  form5_ = std::make_unique<TForm5>(form1_->RichEdit1, form1_.get());
  form6_ = std::make_unique<TForm6>(*form5_->StringGrid1, form5_.get());
  form7_ = std::make_unique<TForm7>(*form1_, form1_.get());
  form8_ = std::make_unique<TForm8>(*form1_, form1_.get());
  form4_ = std::make_unique<TForm4>(*form1_, form1_.get());

  for (int channel = 1; channel <= 16; ++channel)
    form1_->ChannelThermometers[channel - 1] = form4_->ChannelThermometer(channel);
  form5_->OnGraph = [this] { form6_->exec(); };
  // Made before the data window can decode anything; its first pass stores
  // what earlier runs left in the queue.
  downloadArchive_ = std::make_unique<TDownloadArchive>();
  downloadArchive_->NoteOwner = [this]() -> QWidget * {
    if (form5_->isVisible()) return form5_.get();
    return form1_.get();
  };
  // GRABAR's batches go through the same writer, from the recording's own
  // thread; the history window hears of every batch or download kept.
  liveRecording_ = std::make_unique<TLiveRecording>(
      [keeper = downloadArchive_.get()](TArchiveJob job) { return keeper->KeepLive(std::move(job)); });
  downloadArchive_->OnResult = [this](const TArchiveJobResult &result) {
    if (liveRecording_) liveRecording_->Result(result);
    if (history_ && result.Kind == TArchiveJobResult::TKind::Kept) history_->ArchiveChanged();
    if (alarms_ && result.Kind == TArchiveJobResult::TKind::Kept) alarms_->ArchiveChanged();
  };
  // The history window may have pointed the archive elsewhere.
  liveRecording_->OnStart = [this] { downloadArchive_->FollowConfiguredArchive(); };
  form1_->LiveRecording = [this] { return liveRecording_.get(); };
  // The report says when a download was received: the first time it decodes whole.
  auto receivedAt = std::make_shared<std::int64_t>(QDateTime::currentSecsSinceEpoch());
  form5_->OnDownloadDecoded = [this, receivedAt](const TDataTable &table, int records) {
    *receivedAt = QDateTime::currentSecsSinceEpoch();
    downloadArchive_->Keep(table, records, form1_->SerialPort1->Port());
  };
  form5_->OnReport = [this, receivedAt] {
    std::array<bool, kAlarmChannels> shown{};
    for (int k = 0; k < kAlarmChannels; ++k) shown[static_cast<size_t>(k)] = form6_->CheckBox[k]->isChecked();
    const std::string path = AskReportFileName(form5_.get());
    if (path.empty()) return;
    WriteDataWindowReport(*form5_, shown, TDataReportSource{form1_->SerialPort1->Port(), *receivedAt, {}}, path);
  };
  form5_->AlarmLimits = [this](const TForm5 &sender) -> std::optional<TAlarmLimitSet> {
    // While connected, the limits the main window already read off the UI
    // thread serve: the archive is not opened here again, where a server
    // out of reach would stall the window.
    const std::string port = form1_->SerialPort1->Port();
    const TLiveAlarms &live = form1_->LiveAlarms();
    if (form1_->AlarmLimitsHeld() && !live.Logger().empty() && (!sender.ShowsFile() || live.Logger() != port))
      return LimitsIfAny(live.Limits());
    return ShownLoggerAlarmLimits(port, sender.ShowsFile());
  };
  form6_->PrintPreview = [](QWidget *owner, TChart &chart) { ChartPreview(owner, chart); };
}

THistoryWindow &TProgram::HistoryWindow() {
  if (!history_) {
    history_ = std::make_unique<THistoryWindow>(form1_.get());
    history_->PrintPreview = [](QWidget *owner, TChart &chart) { ChartPreview(owner, chart); };
  }
  return *history_;
}

TAlarmWindow &TProgram::AlarmWindow() {
  if (!alarms_) {
    alarms_ = std::make_unique<TAlarmWindow>(form1_.get());
    alarms_->ConnectedPort = [this] { return form1_->IsConnected() ? form1_->SerialPort1->Port() : std::string(); };
    // Limits saved for the logger on the line are weighed from its next frame.
    alarms_->OnLimitsSaved = [this](const std::string &) { form1_->ReadAlarmLimits(); };
  }
  return *alarms_;
}

void TProgram::EndBySignal() {
  if (endingBySignal_) return;
  endingBySignal_ = true;
  // The close ends every loop, a modal window's too, and a window opened
  // after it returns at once.
  form1_->close();
  QCoreApplication::quit();
}

TProgram::~TProgram() {
  // The port's thread may still call into the main window: stop it first.
  if (form1_) form1_->FormClose();
}
