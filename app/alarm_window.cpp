#include "app/alarm_window.h"

#include "app/range_controls.h"

#include "app/alarm_texts.h"
#include "archive/archive_address.h"
#include "archive/archive_writer.h"
#include "data/record_values.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/form_font.h"
#include "widgets/ins_gradient.h"

#include <QComboBox>
#include <QDateTime>
#include <QDateTimeEdit>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>
#include <QTreeWidget>

#include <algorithm>
#include <memory>
#include <utility>

namespace {

QString Text(const std::string &s) { return QString::fromStdString(s); }

QString FailureText(const std::exception_ptr &failure) {
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception &e) {
    return QString::fromUtf8(e.what());
  } catch (...) {
    return QString::fromUtf8("error desconocido");
  }
}

enum TLimitColumn { kLow, kHigh, kDelay, kHysteresis, kLimitColumns };
const char *const kLimitWhat[kLimitColumns] = {"el mínimo", "el máximo", "el retardo", "la histéresis"};

std::optional<std::int32_t> TenthsCell(int channel, int column, const QString &text) {
  const std::string t = text.trimmed().toStdString();
  if (t.empty()) return std::nullopt;
  std::int64_t tenths = 0;
  // A limit as far off as an int holds is no temperature a logger reads.
  if (!ParseTenths(t, tenths) || tenths < -100000 || tenths > 100000)
    throw Exception(AlarmChannelName(channel).toStdString() + ": " + kLimitWhat[column] + " \"" + t +
                    "\" no es una temperatura en grados con un decimal (por ejemplo 8,5)");
  return static_cast<std::int32_t>(tenths);
}

QString LimitText(const std::optional<std::int32_t> &tenths) {
  return tenths ? Text(TenthsText(*tenths, ',')) : QString();
}

QString PcTimeText(std::int64_t utc) {
  return QDateTime::fromSecsSinceEpoch(utc).toLocalTime().toString("dd/MM/yyyy HH:mm:ss");
}

}  // namespace

TAlarmLimits ParseAlarmLimitsRow(int channel, const QString &low, const QString &high, const QString &delay,
                                 const QString &hysteresis) {
  TAlarmLimits l;
  l.Low = TenthsCell(channel, kLow, low);
  l.High = TenthsCell(channel, kHigh, high);
  if (const QString d = delay.trimmed(); !d.isEmpty()) {
    bool ok = false;
    const int minutes = d.toInt(&ok);
    if (!ok)
      throw Exception(AlarmChannelName(channel).toStdString() + ": el retardo \"" + d.toStdString() +
                      "\" no es un número entero de minutos");
    l.DelayMinutes = minutes;
  }
  if (const std::optional<std::int32_t> h = TenthsCell(channel, kHysteresis, hysteresis)) l.Hysteresis = *h;
  if (const std::string problem = AlarmLimitsProblem(l); !problem.empty())
    throw Exception(AlarmChannelName(channel).toStdString() + ": " + problem);
  return l;
}

TAlarmWindow::TAlarmWindow(QWidget *parent) : QDialog(parent), readWorker_(this), writeWorker_(this) {
  setWindowTitle(QStringLiteral("ALARMAS"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFont(FormFont("MS Sans Serif", 8));
  setFixedSize(1000, 580);

  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(rect());
  InsGradient1->GradSettings().SetStyle(gsHorizontal1);

  RangeCaption(this, "Archivo histórico:", 8, 8, 120);
  ArchiveLabel = new QLabel(this);
  ArchiveLabel->setGeometry(130, 8, 862, 18);
  ArchiveLabel->setTextInteractionFlags(Qt::TextSelectableByMouse);
  RangeCaption(this, "Registrador:", 8, 36, 90);
  LoggerBox = new QComboBox(this);
  LoggerBox->setGeometry(100, 33, 240, 24);
  LoggerBox->setToolTip(QString::fromUtf8("Los registradores del archivo histórico; el conectado, el primero elegido"));
  connect(LoggerBox, &QComboBox::activated, this, [this](int index) {
    const std::string name = LoggerBox->itemText(index).toStdString();
    RunHandler([this, name] { SelectLogger(name); });
  });

  BuildLimitsPart();
  BuildEventsPart();
}

TAlarmWindow::~TAlarmWindow() = default;

void TAlarmWindow::BuildLimitsPart() {
  RangeCaption(this, "Límites de alarma:", 8, 66, 300);
  LimitsTable = new QTableWidget(16, kLimitColumns, this);
  LimitsTable->setGeometry(8, 86, 428, 398);
  LimitsTable->setFont(FormFont("Arial", 8));
  LimitsTable->setHorizontalHeaderLabels({QString::fromUtf8("Mínimo (°C)"), QString::fromUtf8("Máximo (°C)"),
                                          "Retardo (min)", QString::fromUtf8("Histéresis (°C)")});
  QStringList rows;
  for (int k = 0; k < 16; ++k) rows << AlarmChannelName(k);
  LimitsTable->setVerticalHeaderLabels(rows);
  LimitsTable->verticalHeader()->setDefaultSectionSize(22);
  LimitsTable->verticalHeader()->setSectionResizeMode(QHeaderView::Fixed);
  for (int c = 0; c < kLimitColumns; ++c) LimitsTable->setColumnWidth(c, 92);
  LimitsTable->setToolTip(
      QString::fromUtf8("Vacío: sin ese límite. El retardo es el tiempo fuera del límite antes de contar como "
                        "alarma; la histéresis, cuánto debe volver dentro para que termine."));
  for (int k = 0; k < 16; ++k)
    for (int c = 0; c < kLimitColumns; ++c) {
      auto *item = new QTableWidgetItem();
      item->setTextAlignment(Qt::AlignRight | Qt::AlignVCenter);
      LimitsTable->setItem(k, c, item);
    }
  SaveButton = RangeButton(this, "Guardar", 8, 492, 100);
  SaveButton->setToolTip(QString::fromUtf8("Guarda los límites en el archivo histórico y busca de nuevo las alarmas"));
  LimitsNote = new QLabel(this);
  LimitsNote->setGeometry(116, 490, 320, 82);
  LimitsNote->setWordWrap(true);
  LimitsNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  LimitsNote->setTextInteractionFlags(Qt::TextSelectableByMouse);
  connect(SaveButton, &QPushButton::clicked, this, [this] { RunHandler([this] { SaveButtonClick(); }); });
}

void TAlarmWindow::BuildEventsPart() {
  RangeCaption(this, "Desde:", 452, 36, 44);
  FromEdit = RangeEdit(this, 496, 33);
  RangeCaption(this, "Hasta:", 656, 36, 44);
  ToEdit = RangeEdit(this, 700, 33);
  ShowButton = RangeButton(this, "VER", 860, 32, 60);
  ShowButton->setToolTip(QString::fromUtf8("Las alarmas ocurridas en el rango elegido"));
  AllButton = RangeButton(this, "Todo", 926, 32, 66);
  AllButton->setToolTip(QString::fromUtf8("Todo lo que el archivo guarda del registrador"));
  RangeCaption(this, "Alarmas ocurridas (las más nuevas primero):", 452, 66, 400);
  EventList = new QTreeWidget(this);
  EventList->setGeometry(452, 86, 540, 398);
  EventList->setRootIsDecorated(false);
  EventList->setFont(FormFont("Arial", 8));
  EventList->setSelectionMode(QAbstractItemView::SingleSelection);
  EventList->setEditTriggers(QAbstractItemView::NoEditTriggers);
  EventList->setHeaderLabels({"Canal", "Tipo", "Inicio", "Fin", QString::fromUtf8("Duración"), "Extremo",
                              "Momento del extremo", "Reconocida por", "Reconocida el", "Comentario"});
  const int widths[10] = {44, 40, 120, 120, 80, 64, 120, 100, 120, 200};
  for (int c = 0; c < 10; ++c) EventList->setColumnWidth(c, widths[c]);
  EventList->header()->setStretchLastSection(true);
  RangeCaption(this, "Comentario:", 452, 495, 80);
  CommentEdit = new QLineEdit(this);
  CommentEdit->setGeometry(534, 492, 356, 24);
  CommentEdit->setPlaceholderText(QString::fromUtf8("Qué se hizo o por qué ocurrió (obligatorio)"));
  AckButton = RangeButton(this, "Reconocer", 896, 491, 96);
  AckButton->setToolTip(
      QString::fromUtf8("Reconoce la alarma elegida con su nombre de usuario y la hora del PC; no se puede "
                        "modificar después"));
  EventNote = new QLabel(this);
  EventNote->setGeometry(452, 522, 540, 50);
  EventNote->setWordWrap(true);
  EventNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  EventNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

  const QDateTime now = QDateTime::currentDateTime();
  ToEdit->setDateTime(now);
  FromEdit->setDateTime(now.addDays(-30));
  connect(ShowButton, &QPushButton::clicked, this, [this] { RunHandler([this] { ShowButtonClick(); }); });
  connect(AllButton, &QPushButton::clicked, this, [this] { RunHandler([this] { AllButtonClick(); }); });
  connect(AckButton, &QPushButton::clicked, this, [this] { RunHandler([this] { AckButtonClick(); }); });
  connect(CommentEdit, &QLineEdit::returnPressed, this, [this] { RunHandler([this] { AckButtonClick(); }); });
}

void TAlarmWindow::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) RunHandler([this] { FormActivate(); });
    });
}

void TAlarmWindow::Message(const QString &text) {
  if (ShowMessage) {
    ShowMessage(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, Text(ApplicationTitle()), text, QMessageBox::Ok, this);
  box.exec();
}

void TAlarmWindow::SetLimitsNote(const QString &text, bool problem) {
  LimitsNote->setStyleSheet(problem ? "QLabel { color: #C00000; font-weight: bold; }" : "QLabel { color: #000000; }");
  LimitsNote->setText(text);
}

void TAlarmWindow::SetEventNote(const QString &text, bool problem) {
  EventNote->setStyleSheet(problem ? "QLabel { color: #C00000; font-weight: bold; }" : "QLabel { color: #000000; }");
  EventNote->setText(text);
}

void TAlarmWindow::FormActivate() {
  address_ = ConfiguredArchiveAddress();
  ArchiveLabel->setText(Text(ArchiveDisplayName(address_)));
  // The connected logger is chosen anew at each opening; its name comes
  // with the archive's list.
  logger_.clear();
  Read(true, true);
}

void TAlarmWindow::SelectLogger(const std::string &name) {
  if (name == logger_) return;
  logger_ = name;
  Read(true, true);
}

void TAlarmWindow::ShowButtonClick() {
  if (logger_.empty()) return;
  Read(false, false);
}

void TAlarmWindow::AllButtonClick() {
  if (logger_.empty()) return;
  Read(false, true);
}

void TAlarmWindow::ArchiveChanged() {
  if (!isVisible() || logger_.empty() || readWorker_.Busy()) return;
  Read(false, false);
}

void TAlarmWindow::Read(bool fillLimits, bool wholeSpan) {
  struct TRead {
    std::vector<TArchivedLogger> Loggers;
    std::string Logger;
    TAlarmLimitSet Limits{};
    TStamp From, To;
    std::vector<TArchivedAlarmEvent> Events;
  };
  auto read = std::make_shared<TRead>();
  read->Logger = logger_;
  read->From = StampOf(FromEdit->dateTime());
  read->To = StampOf(ToEdit->dateTime());
  const std::string port = ConnectedPort ? ConnectedPort() : std::string();
  SetEventNote(QString::fromUtf8("Leyendo el archivo histórico..."), false);
  readWorker_.Start(
      address_,
      [read, port, wholeSpan](TArchive &archive, const std::atomic<bool> &) {
        read->Loggers = archive.Loggers();
        if (read->Logger.empty() && !port.empty()) read->Logger = archive.LoggerOnPort(port).value_or(port);
        if (read->Logger.empty() && !read->Loggers.empty()) read->Logger = read->Loggers.front().Name;
        if (read->Logger.empty()) return;
        read->Limits = archive.AlarmLimits(read->Logger);
        // A logger on the line that nothing was kept of yet has limits to
        // set, but no history to read.
        if (std::none_of(read->Loggers.begin(), read->Loggers.end(),
                         [&](const TArchivedLogger &l) { return l.Name == read->Logger; }))
          return;
        if (wholeSpan) {
          if (const auto span = archive.Span(read->Logger)) {
            read->From = span->first;
            read->To = span->second;
          }
        }
        read->Events = archive.AlarmEvents(read->Logger, read->From, read->To);
      },
      [this, read, fillLimits](const std::exception_ptr &failure) {
        if (failure) {
          SetEventNote(QString::fromUtf8("No se pudo leer el archivo histórico: ") + FailureText(failure), true);
          return;
        }
        loggers_ = read->Loggers;
        logger_ = read->Logger;
        LoggerBox->clear();
        for (const TArchivedLogger &l : loggers_) LoggerBox->addItem(Text(l.Name));
        // The connected logger may have nothing in the archive yet: its
        // limits can still be set.
        if (!logger_.empty() && LoggerBox->findText(Text(logger_)) < 0) LoggerBox->addItem(Text(logger_));
        LoggerBox->setCurrentIndex(LoggerBox->findText(Text(logger_)));
        if (fillLimits || !(read->Limits == limits_)) {
          limits_ = read->Limits;
          ShowLimits();
        }
        FromEdit->setDateTime(DateTimeOf(read->From));
        ToEdit->setDateTime(DateTimeOf(read->To));
        events_ = std::move(read->Events);
        // Newest first: what just happened is what the user came for.
        std::stable_sort(
            events_.begin(), events_.end(),
            [](const TArchivedAlarmEvent &a, const TArchivedAlarmEvent &b) { return a.Event.Start > b.Event.Start; });
        ShowEvents();
        const QString count = logger_.empty()
                                  ? QString::fromUtf8("El archivo histórico no tiene registradores todavía.")
                                  : QString::fromUtf8("%1 alarmas en el rango.").arg(events_.size());
        SetEventNote(afterRead_.isEmpty() ? count : afterRead_ + " " + count, false);
        afterRead_.clear();
        EnableWrites();
      });
}

void TAlarmWindow::EnableWrites() {
  const bool can = !logger_.empty() && !writeWorker_.Busy();
  SaveButton->setEnabled(can);
  AckButton->setEnabled(can);
}

void TAlarmWindow::ShowLimits() {
  for (int k = 0; k < 16; ++k) {
    const TAlarmLimits &l = limits_[static_cast<std::size_t>(k)];
    LimitsTable->item(k, kLow)->setText(LimitText(l.Low));
    LimitsTable->item(k, kHigh)->setText(LimitText(l.High));
    LimitsTable->item(k, kDelay)->setText(QString::number(l.DelayMinutes));
    LimitsTable->item(k, kHysteresis)->setText(Text(TenthsText(l.Hysteresis, ',')));
  }
}

void TAlarmWindow::ShowEvents() {
  EventList->clear();
  for (const TArchivedAlarmEvent &a : events_) {
    const TAlarmEvent &e = a.Event;
    QStringList by, when, comment, hint;
    for (const TAlarmAcknowledgement &ack : a.Acknowledgements) {
      by << Text(ack.User);
      when << PcTimeText(ack.PcTimeUtc);
      comment << Text(ack.Comment);
      hint << QString::fromUtf8("Reconocida por %1 el %2: %3").arg(by.back(), when.back(), comment.back());
    }
    auto *item = new QTreeWidgetItem(
        EventList,
        {AlarmChannelName(e.Channel), QString::fromUtf8(AlarmKindWord(e.Kind)), AlarmStampText(e.Start),
         e.End ? AlarmStampText(*e.End) : QString::fromUtf8("en curso"), AlarmDurationText(e.Seconds),
         AlarmDegreesText(e.Extreme), AlarmStampText(e.ExtremeAt), by.join("; "), when.join("; "), comment.join("; ")});
    item->setData(0, Qt::UserRole, QVariant::fromValue<qlonglong>(a.Id));
    // The acknowledgements sit right of a wide row: the hint shows them
    // wherever the pointer is.
    if (hint.isEmpty()) hint << QString::fromUtf8("Sin reconocer");
    for (int c = 0; c < EventList->columnCount(); ++c) item->setToolTip(c, hint.join("\n"));
  }
}

void TAlarmWindow::SaveButtonClick() {
  if (logger_.empty()) throw Exception("Elija primero un registrador.");
  // Every row is read before anything is stored: one bad row stores none.
  TAlarmLimitSet limits{};
  for (int k = 0; k < 16; ++k) {
    try {
      limits[static_cast<std::size_t>(k)] =
          ParseAlarmLimitsRow(k, LimitsTable->item(k, kLow)->text(), LimitsTable->item(k, kHigh)->text(),
                              LimitsTable->item(k, kDelay)->text(), LimitsTable->item(k, kHysteresis)->text());
    } catch (const Exception &e) {
      LimitsTable->setCurrentCell(k, 0);
      LimitsTable->selectRow(k);
      SetLimitsNote(QString::fromUtf8("No se guardó nada. ") + QString::fromUtf8(e.what()), true);
      return;
    }
  }
  std::vector<int> changed;
  for (int k = 0; k < 16; ++k)
    if (limits[static_cast<std::size_t>(k)] != limits_[static_cast<std::size_t>(k)]) changed.push_back(k);
  if (changed.empty()) {
    SetLimitsNote(QString::fromUtf8("Nada que guardar: los límites son los del archivo."), false);
    return;
  }
  const std::string logger = logger_;
  auto stored = std::make_shared<TAlarmLimitSet>();
  SaveButton->setEnabled(false);
  AckButton->setEnabled(false);
  SetLimitsNote(QString::fromUtf8("Guardando y buscando las alarmas de nuevo..."), false);
  writeWorker_.Start(
      address_,
      [logger, limits, changed, stored](TArchive &archive, const std::atomic<bool> &) {
        // Each channel's events are found again over the whole history:
        // only the channels that changed.
        for (int k : changed) archive.SetAlarmLimits(logger, k, limits[static_cast<std::size_t>(k)]);
        *stored = archive.AlarmLimits(logger);
      },
      [this, logger, changed, stored](const std::exception_ptr &failure) {
        EnableWrites();
        if (failure) {
          SetLimitsNote(QString::fromUtf8("No se pudieron guardar los límites: ") + FailureText(failure), true);
          // What the archive holds now, whatever got in before the failure.
          if (logger == logger_) Read(true, false);
          return;
        }
        QStringList names;
        for (int k : changed) names << AlarmChannelName(k);
        SetLimitsNote(QString::fromUtf8("Límites guardados (%1).").arg(names.join(", ")), false);
        if (logger == logger_) {
          limits_ = *stored;
          ShowLimits();
          Read(false, false);
        }
        if (OnLimitsSaved) OnLimitsSaved(logger);
      });
}

void TAlarmWindow::AckButtonClick() {
  QTreeWidgetItem *item = EventList->currentItem();
  if (!item) throw Exception("Elija en la lista la alarma que reconoce.");
  const QString comment = CommentEdit->text().trimmed();
  if (comment.isEmpty()) {
    SetEventNote(QString::fromUtf8("Escriba un comentario: una alarma se reconoce diciendo qué se hizo."), true);
    CommentEdit->setFocus();
    return;
  }
  const std::int64_t id = item->data(0, Qt::UserRole).toLongLong();
  const std::string user = LoginName();
  SaveButton->setEnabled(false);
  AckButton->setEnabled(false);
  writeWorker_.Start(
      address_,
      [id, user, text = comment.toStdString()](TArchive &archive, const std::atomic<bool> &) {
        archive.AcknowledgeAlarmEvent(id, user, text);
      },
      [this, user](const std::exception_ptr &failure) {
        EnableWrites();
        if (failure) {
          SetEventNote(QString::fromUtf8("No se pudo reconocer la alarma: ") + FailureText(failure), true);
          return;
        }
        CommentEdit->clear();
        afterRead_ = QString::fromUtf8("Alarma reconocida por %1.").arg(Text(user));
        Read(false, false);
      });
}
