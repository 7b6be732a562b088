#include "app/history_window.h"

#include "app/range_controls.h"

#include "archive/archive_address.h"
#include "archive/archive_error.h"
#include "data/statistics_window.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/form_font.h"
#include "runtime/format_settings.h"
#include "runtime/last_folder.h"
#include "widgets/ins_gradient.h"

#include <QCheckBox>
#include <QComboBox>
#include <QDateTimeEdit>
#include <QFileDialog>
#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QMessageBox>
#include <QPlainTextEdit>
#include <QProgressBar>
#include <QPushButton>
#include <QShowEvent>
#include <QTimer>
#include <QTreeWidget>

#include <cstdlib>
#include <utility>

namespace {

QString Text(const std::string &s) { return QString::fromStdString(s); }

QString StampText(const std::optional<TStamp> &s) {
  return s ? Text(ProgramDateText(*s) + " " + ProgramTimeText(*s)) : QString("-");
}

// The environment's archive wins over the window's setting, and says so
// (the archive itself is named beside it).
QString EnvironmentNote() {
  const char *fromEnvironment = std::getenv("TALVEX_DB");
  if (fromEnvironment == nullptr || *fromEnvironment == '\0') return QString();
  return QString::fromUtf8("Lo fija la variable TALVEX_DB, que manda sobre este ajuste.");
}

}  // namespace

THistoryWindow::THistoryWindow(QWidget *parent)
    : QDialog(parent), listWorker_(this), chartWorker_(this), zoomWorker_(this), taskWorker_(this) {
  setWindowTitle(QStringLiteral("HISTORIAL"));
  setWindowFlags(Qt::Window | Qt::WindowTitleHint | Qt::WindowSystemMenuHint | Qt::WindowMinimizeButtonHint |
                 Qt::WindowCloseButtonHint);
  setFont(FormFont("MS Sans Serif", 8));
  setFixedSize(1040, 592);

  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(rect());
  InsGradient1->GradSettings().SetStyle(gsHorizontal1);

  BuildArchivePart();
  BuildRangePart();
  BuildChartPart();
  BuildTaskPart();
  BuildReportPart();
}

THistoryWindow::~THistoryWindow() = default;

void THistoryWindow::BuildArchivePart() {
  RangeCaption(this, "Archivo histórico:", 8, 8, 292);
  ArchiveEdit = new QLineEdit(this);
  ArchiveEdit->setGeometry(8, 26, 292, 24);
  ArchiveEdit->setPlaceholderText(QString::fromUtf8("Vacío: el archivo propio del usuario"));
  ArchiveEdit->setToolTip(
      QString::fromUtf8("Un archivo SQLite (/ruta/archivo.sqlite) o un servidor PostgreSQL "
                        "(postgresql://usuario@servidor:5432/talvex)"));
  ArchiveBrowse = RangeButton(this, "Examinar...", 8, 54, 96);
  ArchiveApply = RangeButton(this, "Usar", 110, 54, 96);
  ArchiveNote = new QLabel(this);
  ArchiveNote->setGeometry(8, 84, 292, 50);
  ArchiveNote->setWordWrap(true);
  ArchiveNote->setAlignment(Qt::AlignLeft | Qt::AlignTop);
  ArchiveNote->setTextInteractionFlags(Qt::TextSelectableByMouse);

  RangeCaption(this, "Registradores:", 8, 136, 292);
  LoggerList = new QTreeWidget(this);
  LoggerList->setGeometry(8, 154, 292, 170);
  LoggerList->setRootIsDecorated(false);
  LoggerList->setHeaderLabels({"Registrador", "Puerto", "Registros", "Primero", QString::fromUtf8("Último")});
  LoggerList->setFont(FormFont("Arial", 8));
  const int widths[5] = {100, 90, 70, 120, 120};
  for (int c = 0; c < 5; ++c) LoggerList->setColumnWidth(c, widths[c]);
  LoggerList->header()->setStretchLastSection(false);
  NewName = new QLineEdit(this);
  NewName->setGeometry(8, 330, 190, 24);
  NewName->setToolTip(QString::fromUtf8("El nombre nuevo del registrador elegido: su historia lo sigue"));
  RenameButton = RangeButton(this, "Cambiar nombre", 204, 329, 96);

  connect(ArchiveBrowse, &QPushButton::clicked, this, [this] { RunHandler([this] { ArchiveBrowseClick(); }); });
  connect(ArchiveApply, &QPushButton::clicked, this, [this] { RunHandler([this] { ArchiveApplyClick(); }); });
  connect(ArchiveEdit, &QLineEdit::returnPressed, this, [this] { RunHandler([this] { ArchiveApplyClick(); }); });
  connect(RenameButton, &QPushButton::clicked, this, [this] { RunHandler([this] { RenameButtonClick(); }); });
  connect(LoggerList, &QTreeWidget::currentItemChanged, this, [this](QTreeWidgetItem *item) {
    if (item) RunHandler([this, item] { SelectLogger(item->text(0).toStdString()); });
  });
}

void THistoryWindow::BuildRangePart() {
  RangeCaption(this, "Desde:", 310, 11, 44);
  FromEdit = RangeEdit(this, 354, 8);
  RangeCaption(this, "Hasta:", 514, 11, 44);
  ToEdit = RangeEdit(this, 558, 8);
  ShowButton = RangeButton(this, "VER", 716, 7, 60);
  ShowButton->setToolTip(QString::fromUtf8("Dibuja el rango elegido"));
  DayButton = RangeButton(this, "Último día", 310, 38, 100);
  WeekButton = RangeButton(this, "Última semana", 416, 38, 100);
  MonthButton = RangeButton(this, "Último mes", 522, 38, 100);
  AllButton = RangeButton(this, "Todo", 628, 38, 100);
  for (QPushButton *b : {DayButton, WeekButton, MonthButton})
    b->setToolTip(QString::fromUtf8("Contado hacia atrás desde el último registro del registrador"));
  Seguir = new QCheckBox(QStringLiteral("Seguir"), this);
  Seguir->setGeometry(736, 41, 80, 20);
  Seguir->setFont(FormFont("Arial", 8, true));
  Seguir->setToolTip(QString::fromUtf8("El rango sigue a las lecturas más nuevas a medida que se guardan"));
  connect(ShowButton, &QPushButton::clicked, this, [this] { RunHandler([this] { ShowButtonClick(); }); });
  connect(Seguir, &QCheckBox::clicked, this, [this](bool on) {
    if (on && !logger_.empty()) RunHandler([this] { SelectLogger(logger_); });
  });
  const std::pair<QPushButton *, THistorySpan> spans[4] = {{DayButton, THistorySpan::Day},
                                                           {WeekButton, THistorySpan::Week},
                                                           {MonthButton, THistorySpan::Month},
                                                           {AllButton, THistorySpan::All}};
  for (const auto &[button, span] : spans) {
    const THistorySpan s = span;
    connect(button, &QPushButton::clicked, this, [this, s] { RunHandler([this, s] { SpanClick(s); }); });
  }
}

void THistoryWindow::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) RunHandler([this] { FormActivate(); });
    });
}

bool THistoryWindow::Busy() const {
  return listWorker_.Busy() || chartWorker_.Busy() || zoomWorker_.Busy() || taskWorker_.Busy();
}

void THistoryWindow::SetOnJobThread(const std::function<void()> &hold) {
  listWorker_.OnJobThread = hold;
  chartWorker_.OnJobThread = hold;
  zoomWorker_.OnJobThread = hold;
  taskWorker_.OnJobThread = hold;
}

void THistoryWindow::Message(const QString &text) {
  if (ShowMessage) {
    ShowMessage(text);
    return;
  }
  QMessageBox box(QMessageBox::NoIcon, Text(ApplicationTitle()), text, QMessageBox::Ok, this);
  box.exec();
}

void THistoryWindow::FormActivate() {
  ApplyProgramFormats();
  address_ = ConfiguredArchiveAddress();
  ArchiveEdit->setText(Text(ArchiveAddressSetting()));
  ReadLoggers();
}

void THistoryWindow::ArchiveChanged() {
  // A hidden window reads them when it shows.
  if (isVisible()) ReadLoggers();
}

void THistoryWindow::ReadLoggers() {
  auto loggers = std::make_shared<std::vector<TArchivedLogger>>();
  auto name = std::make_shared<std::string>();
  auto readOnly = std::make_shared<bool>(false);
  listWorker_.Start(
      address_,
      [loggers, name, readOnly](TArchive &archive, const std::atomic<bool> &) {
        *name = archive.Name();
        *readOnly = archive.ReadOnly();
        *loggers = archive.Loggers();
      },
      [this, loggers, name, readOnly](const std::exception_ptr &failure) {
        if (failure) {
          ShowArchiveFailure(failure);
          return;
        }
        ShowArchiveInUse(*name, *readOnly);
        loggers_ = *loggers;
        ShowLoggers();
      });
}

void THistoryWindow::ShowArchiveInUse(const std::string &name, bool readOnly) {
  archiveName_ = name;
  failureShown_.clear();
  QString note = QString::fromUtf8("En uso: ") + Text(name) + ".";
  if (!EnvironmentNote().isEmpty()) note += " " + EnvironmentNote();
  if (readOnly) note += QString::fromUtf8(" Es de una versión más nueva del programa: solo se puede leer.");
  ArchiveNote->setStyleSheet(QString());
  ArchiveNote->setText(note);
  ArchiveNote->setToolTip(note);
}

void THistoryWindow::ShowArchiveFailure(const std::exception_ptr &failure) {
  std::string why;
  try {
    std::rethrow_exception(failure);
  } catch (const std::exception &e) {
    why = Exception::VisibleText(e.what());
  }
  // Told once, where it stays in sight; the window goes on working with
  // what it showed, and the setting can be changed.
  if (why == failureShown_) return;
  failureShown_ = why;
  ArchiveNote->setStyleSheet("QLabel { color: #C00000; }");
  QString note = Text(why);
  if (!EnvironmentNote().isEmpty()) note += " " + EnvironmentNote();
  ArchiveNote->setText(note);
  ArchiveNote->setToolTip(note);
}

void THistoryWindow::ShowLoggers() {
  const QSignalBlocker quiet(LoggerList);
  LoggerList->clear();
  QTreeWidgetItem *current = nullptr;
  ImportLogger->clear();
  const std::string wanted = select_.empty() ? logger_ : std::exchange(select_, std::string());
  for (const TArchivedLogger &l : loggers_) {
    auto *item = new QTreeWidgetItem(LoggerList, {Text(l.Name), Text(l.Port.empty() ? "-" : l.Port),
                                                  QString::number(l.Records), StampText(l.First), StampText(l.Last)});
    item->setTextAlignment(2, Qt::AlignRight | Qt::AlignVCenter);
    // The list is narrower than its columns: the whole line on the pointer.
    const QString whole = QString::fromUtf8("%1: %2 registros, de %3 a %4; puerto %5")
                              .arg(Text(l.Name))
                              .arg(l.Records)
                              .arg(StampText(l.First), StampText(l.Last), Text(l.Port.empty() ? "-" : l.Port));
    for (int c = 0; c < 5; ++c) item->setToolTip(c, whole);
    if (l.Name == wanted) current = item;
    ImportLogger->addItem(Text(l.Name));
  }
  if (current == nullptr && LoggerList->topLevelItemCount() > 0) current = LoggerList->topLevelItem(0);
  if (current == nullptr) {
    logger_.clear();
    ImportLogger->setEditText(QString());
    return;
  }
  LoggerList->setCurrentItem(current);
  SelectLogger(current->text(0).toStdString());
}

void THistoryWindow::SelectLogger(const std::string &name) {
  const TArchivedLogger *l = nullptr;
  for (const TArchivedLogger &each : loggers_)
    if (each.Name == name) l = &each;
  if (l == nullptr) throw Exception("No hay ningún registrador llamado \"" + name + "\" en el archivo histórico.");
  const bool other = name != logger_;
  logger_ = name;
  NewName->setText(Text(name));
  ImportLogger->setEditText(Text(name));
  if (!l->First) {
    rangeOutline_ = TArchiveOutline();
    versions_.clear();
    versionSeconds_.clear();
    FillHistoryChart(*Chart1, rangeOutline_);
    RangeLabel->setText(QString::fromUtf8("Este registrador no tiene registros."));
    return;
  }
  // Another logger opens on its whole history; the same one, read again
  // after a change, keeps the range shown.
  if (other || range_.From == TStamp()) {
    SpanClick(THistorySpan::All);
  } else if (Seguir->isChecked() && l->Last) {
    // The same width, ending at the newest reading.
    const std::int64_t width = StampSeconds(range_.To) - StampSeconds(range_.From);
    DrawRange(StampFromSeconds(StampSeconds(*l->Last) - width), *l->Last);
  } else {
    DrawRange(range_.From, range_.To);
  }
}

void THistoryWindow::SpanClick(THistorySpan span) {
  for (const TArchivedLogger &l : loggers_) {
    if (l.Name != logger_ || !l.First || !l.Last) continue;
    const THistoryRange r = HistorySpanRange(span, *l.First, *l.Last);
    DrawRange(r.From, r.To);
    return;
  }
  throw Exception("Elija un registrador con registros.");
}

void THistoryWindow::ShowButtonClick() {
  if (logger_.empty()) throw Exception("Elija un registrador.");
  const TStamp from = StampOf(FromEdit->dateTime()), to = StampOf(ToEdit->dateTime());
  if (StampSeconds(to) < StampSeconds(from))
    throw Exception("El rango termina (" + ProgramDateText(to) + " " + ProgramTimeText(to) + ") antes de empezar (" +
                    ProgramDateText(from) + " " + ProgramTimeText(from) + ").");
  DrawRange(from, to);
}

void THistoryWindow::RenameButtonClick() {
  const std::string to = NewName->text().trimmed().toStdString();
  if (logger_.empty()) throw Exception("Elija el registrador al que cambiar el nombre.");
  if (to.empty()) throw Exception("Escriba el nombre nuevo del registrador.");
  if (to == logger_) return;
  const std::string from = logger_;
  auto loggers = std::make_shared<std::vector<TArchivedLogger>>();
  listWorker_.Start(
      address_,
      [from, to, loggers](TArchive &archive, const std::atomic<bool> &) {
        archive.RenameLogger(from, to);
        *loggers = archive.Loggers();
      },
      [this, to, loggers](const std::exception_ptr &failure) {
        if (failure) {
          // A name taken or an archive that would not write: said at once,
          // it is the user's own click.
          RunHandler([failure] { std::rethrow_exception(failure); });
          return;
        }
        loggers_ = *loggers;
        logger_ = to;  // the same history under its new name: the range stays
        ShowLoggers();
      });
}

void THistoryWindow::ArchiveBrowseClick() {
  QString file;
  if (AskArchiveFile) {
    file = AskArchiveFile();
  } else {
    file = QFileDialog::getSaveFileName(this, QString::fromUtf8("Archivo histórico"), FileDialogFolder(),
                                        QString::fromUtf8("Archivo histórico SQLite (*.sqlite *.db);;Todos (*)"),
                                        nullptr, QFileDialog::DontConfirmOverwrite);
    if (!file.isEmpty()) RememberFileDialogFolder(file);
  }
  if (file.isEmpty()) return;
  ArchiveEdit->setText(file);
  ArchiveApplyClick();
}

void THistoryWindow::ArchiveApplyClick() {
  const std::string address = ArchiveEdit->text().trimmed().toStdString();
  // An address that names nothing usable is refused before it is kept.
  if (!address.empty()) ParseArchiveAddress(address);
  SetArchiveAddressSetting(address);
  FormActivate();
}
