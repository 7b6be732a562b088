#pragma once

// "ALARMAS": the alarm limits of a logger's sixteen channels, set and
// stored in the history archive (so the window, the recorder and the
// reports share them), and the alarm events the archive found in its
// readings, each of which a user may acknowledge with a comment. An
// acknowledgement is signed with the user's login name and the PC's time and
// is never edited after. It works with or without a logger on the line; the
// connected one is chosen first. Every reading and writing of the archive
// runs on a thread of its own with an archive of its own.

#include "app/history_worker.h"
#include "archive/archive.h"

#include <QDialog>
#include <QString>

#include <functional>
#include <string>
#include <vector>

class QComboBox;
class QDateTimeEdit;
class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class QTreeWidget;
class TInsGradient;

class TAlarmWindow : public QDialog {
public:
  explicit TAlarmWindow(QWidget *parent = nullptr);
  ~TAlarmWindow() override;

  TInsGradient *InsGradient1;
  QLabel *ArchiveLabel;  // the archive in use
  QComboBox *LoggerBox;  // the archive's loggers, the connected one first chosen
  // CH1 to CH16: low, high (°C, empty for none), delay (min), hysteresis (°C).
  QTableWidget *LimitsTable;
  QPushButton *SaveButton;  // "Guardar"
  QLabel *LimitsNote;       // why a row was refused, or what was stored
  QDateTimeEdit *FromEdit, *ToEdit;
  QPushButton *ShowButton;  // "VER"
  QPushButton *AllButton;   // "Todo"
  QTreeWidget *EventList;   // newest first
  QLineEdit *CommentEdit;
  QPushButton *AckButton;  // "Reconocer"
  QLabel *EventNote;

  // Handlers, public so that tests drive them as the clicks would.
  void FormActivate();  // the loggers, limits and events read again
  void SelectLogger(const std::string &name);
  void SaveButtonClick();
  void ShowButtonClick();
  void AllButtonClick();
  void AckButtonClick();
  // A download or a batch of readings went into the archive: the events
  // are read again while the window shows.
  void ArchiveChanged();

  // The port of the logger on the line, empty without one; the program
  // hands it in.
  std::function<std::string()> ConnectedPort;
  // Told after limits were stored for `logger` (the main window weighs them
  // from then on).
  std::function<void(const std::string &logger)> OnLimitsSaved;
  // Shows a plain message; tests put their own here. Empty: a message box.
  std::function<void(const QString &text)> ShowMessage;

  // What the window shows now.
  const std::vector<TArchivedLogger> &Loggers() const { return loggers_; }
  const std::string &Logger() const { return logger_; }
  const TAlarmLimitSet &Limits() const { return limits_; }
  const std::vector<TArchivedAlarmEvent> &Events() const { return events_; }  // newest first
  bool Busy() const { return readWorker_.Busy() || writeWorker_.Busy(); }

protected:
  void showEvent(QShowEvent *event) override;

private:
  void BuildLimitsPart();
  void BuildEventsPart();
  void Message(const QString &text);
  // Reads the loggers, then the chosen one's limits (into the table when
  // `fillLimits`) and the events of the range.
  void Read(bool fillLimits, bool wholeSpan);
  void ShowLimits();
  void ShowEvents();
  void SetLimitsNote(const QString &text, bool problem);
  void SetEventNote(const QString &text, bool problem);
  void EnableWrites();

  std::string address_;
  std::vector<TArchivedLogger> loggers_;
  std::string logger_;
  TAlarmLimitSet limits_{};
  std::vector<TArchivedAlarmEvent> events_;
  QString afterRead_;  // said with the count once the events are read again
  // Reads take the place of the reads before them; writes go one at a
  // time on a worker of their own, never dropped for a read.
  THistoryWorker readWorker_, writeWorker_;
};

// A row of the limits table as the user typed it: the texts of low, high,
// delay and hysteresis. Empty low or high: none; empty delay: 0; empty
// hysteresis: the rules' default. Raises Exception, naming the channel and
// the cell, for a text that is not a number or for limits the rules refuse
// (AlarmLimitsProblem's words).
TAlarmLimits ParseAlarmLimitsRow(int channel, const QString &low, const QString &high, const QString &delay,
                                 const QString &hysteresis);
