#include "data/data_window.h"

#include "data/dump_lines.h"
#include "data/statistics_window.h"
#include "data/text_file_writer.h"
#include "runtime/application.h"
#include "runtime/form_font.h"
#include "runtime/last_folder.h"
#include "widgets/ins_gradient.h"

#include <QAbstractItemView>
#include <QCompleter>
#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QPushButton>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>
#include <cerrno>

namespace {

const QColor Teal(0, 128, 128);
const QColor Lime(0, 255, 0);
const QColor MediumGrey(160, 160, 164);
const QColor MoneyGreen(192, 220, 192);
const QColor Red(255, 0, 0);

const int GridColumnWidths[DataColumns] = {37, 52, 39, 31, 31, 28, 28, 30, 29, 31, 29, 30, 29, 30, 29, 29, 29, 28, 28};
const int RowsBeforeFirstActivation = 2048;

QLabel *CaptionLabel(QWidget *parent, const char *text, int x, int y, int w, int h) {
  auto *l = new QLabel(QString::fromUtf8(text), parent);
  l->setGeometry(x, y, w, h);
  l->setFont(FormFont("Arial", 10, true));
  QPalette pal = l->palette();
  pal.setColor(QPalette::WindowText, Qt::white);
  l->setPalette(pal);
  l->setAttribute(Qt::WA_TranslucentBackground);
  return l;
}

QLineEdit *ReadOnlyBox(QWidget *parent, const char *family, int x, int y, int w, int h) {
  auto *e = new QLineEdit(parent);
  e->setGeometry(x, y, w, h);
  e->setReadOnly(true);
  e->setFont(FormFont(family, 10, true));
  QPalette pal = e->palette();
  pal.setColor(QPalette::Base, Teal);
  pal.setColor(QPalette::Text, Lime);
  e->setPalette(pal);
  return e;
}

// Picture of the graph button: a small chart with two traces.
QPixmap GraphPicture() {
  QPixmap pm(26, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.fillRect(QRect(3, 1, 22, 20), Qt::white);
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(3, 1, 3, 21);
  p.drawLine(3, 21, 25, 21);
  for (int y = 5; y < 21; y += 5) p.drawLine(1, y, 3, y);
  p.setPen(QPen(Red, 2));
  p.drawPolyline(QPolygon({{5, 16}, {9, 9}, {13, 12}, {17, 5}, {23, 8}}));
  p.setPen(QPen(QColor(0, 0, 255), 2));
  p.drawPolyline(QPolygon({{5, 19}, {10, 15}, {15, 17}, {19, 12}, {23, 14}}));
  return pm;
}

// Picture of the save button: a diskette.
QPixmap SavePicture() {
  QPixmap pm(24, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  QPainterPath body;
  body.moveTo(2, 2);
  body.lineTo(19, 2);
  body.lineTo(22, 5);
  body.lineTo(22, 22);
  body.lineTo(2, 22);
  body.closeSubpath();
  p.fillPath(body, QColor(0, 0, 128));
  p.setPen(QPen(Qt::black, 1));
  p.drawPath(body);
  p.fillRect(QRect(6, 3, 12, 7), QColor(192, 192, 192));
  p.fillRect(QRect(14, 4, 3, 5), QColor(0, 0, 128));
  p.fillRect(QRect(5, 13, 14, 9), Qt::white);
  p.setPen(QPen(QColor(128, 128, 128), 1));
  for (int y = 15; y <= 20; y += 2) p.drawLine(7, y, 17, y);
  return pm;
}

// Picture of the open button: an open folder.
QPixmap OpenPicture() {
  QPixmap pm(26, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(Qt::black, 1));
  p.setBrush(QColor(192, 160, 64));
  p.drawPolygon(QPolygon({{2, 5}, {9, 5}, {11, 7}, {20, 7}, {20, 21}, {2, 21}}));
  p.setBrush(QColor(255, 224, 128));
  p.drawPolygon(QPolygon({{5, 11}, {24, 11}, {20, 21}, {2, 21}}));
  p.fillRect(QRect(9, 1, 9, 8), Qt::white);
  p.drawRect(QRect(9, 1, 9, 8));
  return pm;
}

// Picture of the export button: a sheet of cells with an arrow leaving it.
QPixmap ExportPicture() {
  QPixmap pm(26, 24);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.fillRect(QRect(2, 2, 16, 20), Qt::white);
  p.setPen(QPen(QColor(0, 128, 0), 1));
  p.drawRect(QRect(2, 2, 16, 20));
  for (int y = 7; y < 22; y += 5) p.drawLine(2, y, 18, y);
  p.drawLine(8, 2, 8, 22);
  p.setRenderHint(QPainter::Antialiasing);
  p.setPen(QPen(QColor(0, 0, 255), 2));
  p.drawLine(12, 16, 23, 16);
  p.drawPolyline(QPolygon({{19, 12}, {23, 16}, {19, 20}}));
  return pm;
}

// Picture of the statistics button: bars.
QPixmap StatisticsPicture() {
  QPixmap pm(18, 16);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QPen(Qt::black, 1));
  p.drawLine(1, 15, 17, 15);
  const int heights[4] = {6, 11, 8, 13};
  const QColor colours[4] = {Red, QColor(0, 0, 255), QColor(0, 128, 0), QColor(128, 0, 128)};
  for (int i = 0; i < 4; ++i) p.fillRect(QRect(2 + i * 4, 15 - heights[i], 3, heights[i]), colours[i]);
  return pm;
}

// Picture of the report button: a page with a line of a chart on it.
QPixmap ReportPicture() {
  QPixmap pm(16, 18);
  pm.fill(Qt::transparent);
  QPainter p(&pm);
  p.setPen(QPen(Qt::black, 1));
  p.fillRect(QRect(2, 1, 12, 16), Qt::white);
  p.drawRect(QRect(2, 1, 12, 16));
  for (int y = 12; y < 17; y += 2) p.drawLine(4, y, 12, y);
  p.setPen(QPen(Red, 1));
  p.drawPolyline(QPolygon({{4, 9}, {6, 5}, {8, 7}, {10, 3}, {12, 6}}));
  return pm;
}

QToolButton *SpeedButton(QWidget *parent, const char *caption, const char *hint, const QPixmap &picture, int x, int y) {
  auto *b = new QToolButton(parent);
  b->setGeometry(x, y, 49, 52);
  b->setText(QString::fromUtf8(caption));
  b->setToolTip(QString::fromUtf8(hint));
  b->setIcon(QIcon(picture));
  b->setIconSize(picture.size());
  b->setToolButtonStyle(Qt::ToolButtonTextUnderIcon);
  b->setFont(FormFont("Arial", 6));
  return b;
}

QLabel *HiddenLabel(QWidget *parent) {
  auto *l = new QLabel(parent);
  l->hide();
  return l;
}

// A save dialog for any name, or an open dialog for an existing file.
QFileDialog *FileDialog(QWidget *parent, const QString &title, bool save) {
  auto *dialog = new QFileDialog(parent, title);
  dialog->setAcceptMode(save ? QFileDialog::AcceptSave : QFileDialog::AcceptOpen);
  dialog->setFileMode(save ? QFileDialog::AnyFile : QFileDialog::ExistingFile);
  // The window asks its own overwrite question.
  if (save) dialog->setOption(QFileDialog::DontConfirmOverwrite, true);
  return dialog;
}

// Runs a file dialog. A name typed in full that the dialog's completer
// offered too is accepted with its list still up; the list would stay on the
// screen over the window and take the next click.
bool ExecFileDialog(QFileDialog &dialog) {
  const bool accepted = dialog.exec() == QDialog::Accepted;
  for (QCompleter *completer : dialog.findChildren<QCompleter *>())
    if (completer->popup()) completer->popup()->hide();
  if (!accepted || dialog.selectedFiles().isEmpty()) return false;
  // The next file dialog, of this run or the next, opens there.
  RememberFileDialogFolder(dialog.selectedFiles().first());
  return true;
}

QString DefaultSaveDialog(TForm5 &form) {
  QFileDialog &dialog = form.SaveDialog1();
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  // Where the last file was saved or opened; at first the user's home, the
  // folder of their own that the system drive's root, where the program
  // always started its saves, stands for.
  dialog.setDirectory(FileDialogFolder());
  return ExecFileDialog(dialog) ? dialog.selectedFiles().first() : QString();
}

QMessageBox::StandardButton DefaultQuestion(TForm5 &form, const QString &question) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(ApplicationTitle()), question,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, &form);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

QMessageBox::StandardButton DefaultUnsavedQuestion(TForm5 &form, const QString &question) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(ApplicationTitle()), question,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, form.parentWidget());
  box.button(QMessageBox::Yes)->setText(QString::fromUtf8("Sí"));
  box.button(QMessageBox::No)->setText(QStringLiteral("No"));
  box.button(QMessageBox::Cancel)->setText(QStringLiteral("Cancelar"));
  box.setDefaultButton(QMessageBox::Yes);
  return static_cast<QMessageBox::StandardButton>(box.exec());
}

const char *const kDataFilter = "Datos guardados (*.txt *.csv *.TXT *.CSV)";
const char *const kAllFilter = "Todos los archivos (*)";
const char *const kXlsxFilter = "Libro de Excel (*.xlsx)";
const char *const kCommaFilter = "CSV, separador coma y punto decimal (*.csv)";
const char *const kSemicolonFilter = "CSV, separador punto y coma y coma decimal (*.csv)";

// A folder to start the open and export dialogs in: where the last file was
// saved or opened, else that of the file shown, else the user's own.
QString StartFolder(const TForm5 &form) {
  if (form.ShowsFile()) return FileDialogFolder(QFileInfo(QFile::decodeName(form.FileShown().c_str())).absolutePath());
  return FileDialogFolder();
}

QString DefaultOpenDialog(TForm5 &form) {
  QFileDialog &dialog = form.OpenDialog1();
  dialog.setDirectory(StartFolder(form));
  return ExecFileDialog(dialog) ? dialog.selectedFiles().first() : QString();
}

TForm5::TExportChoice DefaultExportDialog(TForm5 &form) {
  QFileDialog &dialog = form.ExportDialog1();
  dialog.setDirectory(StartFolder(form));
  // The CSV filter of this PC's locale comes first of the two, so a name
  // typed with ".csv" under the workbook's filter gets it too.
  const bool semicolon = LocaleCsvStyle() == TCsvStyle::Semicolon;
  dialog.setNameFilters({QString::fromUtf8(kXlsxFilter), QString::fromUtf8(semicolon ? kSemicolonFilter : kCommaFilter),
                         QString::fromUtf8(semicolon ? kCommaFilter : kSemicolonFilter)});
  dialog.selectNameFilter(QString::fromUtf8(kXlsxFilter));
  dialog.setDefaultSuffix(QStringLiteral("xlsx"));
  TForm5::TExportChoice choice;
  if (!ExecFileDialog(dialog)) return choice;
  choice.Name = dialog.selectedFiles().first();
  choice.Format = ExportFormatOf(QFile::encodeName(choice.Name).toStdString());
  const QString filter = dialog.selectedNameFilter();
  choice.Style = filter == QString::fromUtf8(kSemicolonFilter) ? TCsvStyle::Semicolon
                 : filter == QString::fromUtf8(kCommaFilter)   ? TCsvStyle::Comma
                                                               : LocaleCsvStyle();
  // A name without one of the two extensions is exported as the filter says.
  if (choice.Format == TExportFormat::Text)
    choice.Format = filter == QString::fromUtf8(kXlsxFilter) ? TExportFormat::Xlsx : TExportFormat::Csv;
  return choice;
}

}  // namespace

TForm5::TForm5(const std::string &dump, QWidget *parent) : QDialog(parent), Dump_(dump) {
  setWindowTitle(QStringLiteral("DATOS DESCARGADOS"));
  setFont(FormFont("MS Sans Serif", 8));
  setFixedSize(691, 402);  // the client area of a 699 x 429 window

  InsGradient1 = new TInsGradient(this);
  InsGradient1->setGeometry(rect());
  InsGradient1->GradSettings().SetColorFrom(Teal);
  InsGradient1->GradSettings().SetColorTo(MediumGrey);
  InsGradient1->GradSettings().SetStyle(gsHorizontal1);
  InsGradient1->lower();

  Label7 = CaptionLabel(this, "G  R  I  L  L  A    D  E    D  A  T  O  S", 212, 6, 222, 16);
  Label8 = CaptionLabel(this, " Fecha de inicio ", 15, 36, 106, 16);
  Label9 = CaptionLabel(this, " Hora de inicio ", 147, 36, 97, 16);
  Label10 = CaptionLabel(this, " Tasa de muestreo ", 273, 36, 121, 16);

  Edit1 = ReadOnlyBox(this, "Arial", 6, 54, 121, 24);
  Edit2 = ReadOnlyBox(this, "MS Sans Serif", 135, 54, 121, 24);
  Edit8 = ReadOnlyBox(this, "Arial", 273, 54, 136, 24);

  SpeedButton2 = SpeedButton(this, "GRAFICAR", "Muestra gráfico preliminar", GraphPicture(), 429, 39);
  SpeedButton1 = SpeedButton(this, "GUARDAR", "Guarda los datos en disco", SavePicture(), 507, 39);
  // The form's own controls keep their places: the new buttons take the room
  // right of "GUARDAR", the statistics above the other two.
  SpeedButton3 = SpeedButton(this, "ABRIR", "Abre datos guardados (archivo de texto o CSV)", OpenPicture(), 566, 39);
  SpeedButton4 =
      SpeedButton(this, "EXPORTAR", "Exporta los datos a una hoja de cálculo (XLSX o CSV)", ExportPicture(), 626, 39);
  SpeedButton5 = SpeedButton(this, "ESTADÍSTICAS", "Mínimo, máximo, media y tiempo fuera de límites de cada canal",
                             StatisticsPicture(), 566, 8);
  SpeedButton5->setGeometry(566, 8, 109, 26);
  SpeedButton5->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);
  // The report beside it, left of the statistics, where nothing was.
  SpeedButton6 = SpeedButton(this, "INFORME",
                             "Informe PDF de los canales a la vista: gráfico con límites de alarma, "
                             "cifras por canal, eventos y la huella de los datos",
                             ReportPicture(), 452, 8);
  SpeedButton6->setGeometry(452, 8, 104, 26);
  SpeedButton6->setToolButtonStyle(Qt::ToolButtonTextBesideIcon);

  StringGrid1 = new TStringGrid(this, DataColumns, RowsBeforeFirstActivation);
  StringGrid1->setGeometry(4, 99, 677, 286);
  StringGrid1->setFont(FormFont("Arial", 7, true));
  StringGrid1->SetFontColor(Red);
  StringGrid1->SetColor(MoneyGreen);
  StringGrid1->SetDefaultColWidth(37);
  StringGrid1->SetDefaultRowHeight(20);
  StringGrid1->SetGridLineWidth(3);
  for (int c = 0; c < DataColumns; ++c) StringGrid1->SetColWidths(c, GridColumnWidths[c]);

  Label1 = HiddenLabel(this);
  Label2 = HiddenLabel(this);
  Label3 = HiddenLabel(this);
  Label4 = HiddenLabel(this);
  Label5 = HiddenLabel(this);
  Label6 = HiddenLabel(this);

  ExecuteSaveDialog = DefaultSaveDialog;
  AskQuestion = DefaultQuestion;
  ExecuteOpenDialog = DefaultOpenDialog;
  ExecuteExportDialog = DefaultExportDialog;
  ShowStatistics = [](TForm9 &window) { window.exec(); };
  AskUnsaved = DefaultUnsavedQuestion;

  connect(SpeedButton1, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButton1Click(); }); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { GraphClicked(); });
  connect(SpeedButton3, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButton3Click(); }); });
  connect(SpeedButton4, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButton4Click(); }); });
  connect(SpeedButton5, &QToolButton::clicked, this, [this] { ThenActivate(&TForm5::SpeedButton5Click); });
  connect(SpeedButton6, &QToolButton::clicked, this, [this] { ThenActivate(&TForm5::SpeedButton6Click); });
}

TForm5::~TForm5() = default;

QFileDialog &TForm5::SaveDialog1() {
  // Made at the first save rather than with the window: a file dialog reads
  // the folder, its icons and the MIME database and watches the folder, a
  // good part of the program's start-up for a dialog many runs never open.
  if (!SaveDialog1_) SaveDialog1_ = FileDialog(this, QString(), true);
  return *SaveDialog1_;
}

QFileDialog &TForm5::OpenDialog1() {
  if (!OpenDialog1_) {
    OpenDialog1_ = FileDialog(this, QString::fromUtf8("Abrir datos guardados"), false);
    OpenDialog1_->setNameFilters({QString::fromUtf8(kDataFilter), QString::fromUtf8(kAllFilter)});
  }
  return *OpenDialog1_;
}

QFileDialog &TForm5::ExportDialog1() {
  if (!ExportDialog1_) {
    ExportDialog1_ = FileDialog(this, QString::fromUtf8("Exportar a una hoja de cálculo"), true);
    // The extension follows the type picked.
    connect(ExportDialog1_, &QFileDialog::filterSelected, ExportDialog1_, [this](const QString &filter) {
      ExportDialog1_->setDefaultSuffix(filter == QString::fromUtf8(kXlsxFilter) ? "xlsx" : "csv");
    });
  }
  return *ExportDialog1_;
}

TForm9 &TForm5::StatisticsWindow() {
  if (!StatisticsWindow_) {
    StatisticsWindow_ = new TForm9(*StringGrid1, Limits, this);
    StatisticsWindow_->AlarmLimits = [this] { return ShownAlarmLimits(); };
  }
  return *StatisticsWindow_;
}

std::optional<TAlarmLimitSet> TForm5::ShownAlarmLimits() const {
  if (!AlarmLimits) return std::nullopt;
  // A failing archive costs the alarm counts, never the statistics.
  try {
    return AlarmLimits(*this);
  } catch (const std::exception &) {
    return std::nullopt;
  }
}

int TForm5::RecordCount() const { return Opened_ ? Opened_->Records : ::RecordCount(CountDumpLines(Dump_)); }

const std::string &TForm5::FileShown() const {
  static const std::string none;
  return Opened_ ? Opened_->Path : none;
}

void TForm5::ExecWithoutDownload() {
  WithoutDownload_ = true;
  struct Back {
    TForm5 &Form;
    ~Back() { Form.WithoutDownload_ = false; }
  } back{*this};
  exec();
}

void TForm5::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
    // A file opened last time stays behind: the window opens on the
    // download.
    Opened_.reset();
    setWindowTitle(QStringLiteral("DATOS DESCARGADOS"));
    if (const QScreen *screen = QGuiApplication::primaryScreen()) {
      QRect frame = frameGeometry();
      frame.moveCenter(screen->availableGeometry().center());
      move(frame.topLeft());
    }
  }
  // Opening the window activates it. The fill runs once the window is on
  // screen, so a failure's message box stands in front of the window it is
  // about.
  QTimer::singleShot(0, this, [this] {
    if (isVisible()) RunHandler([this] { FormActivate(); });
  });
}

void TForm5::FormActivate() {
  if (Opened_) {
    // The file's table stays in the grid; the columns go back to the order
    // the file had them in, as a download's do to theirs.
    StringGrid1->SetColumnOrder(Opened_->ColumnOrder);
    ShowFileHeader();
    return;
  }
  if (WithoutDownload_) {
    // Nothing to show yet but the captions; "ABRIR" brings a file.
    StringGrid1->ResetColumnOrder();
    TDataTable empty(DataColumns, 1);
    empty.SetCells(1, 0, "FECHA:");
    empty.SetCells(2, 0, "HORA:");
    for (int k = 1; k <= Channels; ++k) empty.SetCells(FirstValueColumn + k - 1, 0, "CH" + std::to_string(k));
    StringGrid1->SetTable(std::move(empty));
    for (QLineEdit *box : {Edit1, Edit2, Edit8}) box->clear();
    for (QLabel *label : {Label1, Label2, Label3, Label4, Label5, Label6}) label->clear();
    return;
  }
  // The rebuilt table is written column by column in its own order, so a
  // column the user dragged away goes back to its place.
  StringGrid1->ResetColumnOrder();
  StringGrid1->Clear();
  const TDumpLines lines = SplitDumpLines(Dump_);
  StringGrid1->SetRowCount(std::max(1, static_cast<int>(lines.size()) - 2));

  // The rate box's text is where a decoding with an unknown rate digit finds
  // the rate of the previous one.
  Header_.RateText = Edit8->text().toStdString();
  // Whatever the header decoding set is shown, also when a record line fails
  // afterwards.
  struct Publish {
    TForm5 &Form;
    ~Publish() { Form.ShowHeader(); }
  } publish{*this};
  StringGrid1->Update([&](TDataTable &table) { DOSCANALESLM35(lines, table, Header_); });
  if (OnDownloadDecoded && DownloadEnded() && Dump_ != DecodedDump_) {
    DecodedDump_ = Dump_;
    OnDownloadDecoded(StringGrid1->Table(), RecordCount());
  }
}

void TForm5::ShowHeader() {
  const TStartFields &f = Header_.Start;
  Label1->setText(QString::number(f.Year));
  Label2->setText(QString::number(f.Month));
  Label3->setText(QString::number(f.Day));
  Label4->setText(QString::number(f.Hour));
  Label5->setText(QString::number(f.Minute));
  Label6->setText(QString::number(f.Second));
  Edit1->setText(QString::fromStdString(Header_.StartDate));
  Edit2->setText(QString::fromStdString(Header_.StartTime));
  Edit8->setText(QString::fromStdString(Header_.RateText));
}

void TForm5::ShowFileHeader() {
  const TDerivedStart &start = Opened_->Start;
  // What the records cannot tell is said so, not left looking like a fault.
  const QString unknown = QStringLiteral("DESCONOCIDA");
  if (start.Known) {
    const TStamp &s = start.Start;
    const int fields[6] = {s.Year % 100, s.Month, s.Day, s.Hour, s.Minute, s.Second};
    QLabel *labels[6] = {Label1, Label2, Label3, Label4, Label5, Label6};
    for (int i = 0; i < 6; ++i) labels[i]->setText(QString::number(fields[i]));
  } else {
    for (QLabel *label : {Label1, Label2, Label3, Label4, Label5, Label6}) label->clear();
  }
  Edit1->setText(start.Known ? QString::fromStdString(ProgramDateText(start.Start)) : unknown);
  Edit2->setText(start.Known ? QString::fromStdString(ProgramTimeText(start.Start)) : unknown);
  Edit8->setText(start.Known ? QString::fromStdString(start.RateText) : unknown);
}

bool TForm5::MayWrite(const QString &name) {
  const QFileInfo info(name);
  if (!info.exists() && !info.isSymLink()) return true;
  return AskQuestion && AskQuestion(*this, QStringLiteral("El archivo existe, sobreescribo?")) == QMessageBox::Yes;
}

TRecordsView TForm5::Shown() const {
  return TRecordsView{StringGrid1->Table(), std::max(0, RecordCount()), StringGrid1->ColumnOrder()};
}

std::vector<int> TForm5::SavedColumnOrder() const {
  // The file gets the columns in the order they are shown. A file's
  // channels nobody moved go back to their own order: the text file names
  // them by place, and a CSV's came in the order of its columns' names.
  std::vector<int> order = StringGrid1->ColumnOrder();
  if (Opened_ && order == Opened_->ColumnOrder) order = ChannelsInOwnOrder(order);
  return order;
}

bool TForm5::SaveShown() {
  const QString name = ExecuteSaveDialog ? ExecuteSaveDialog(*this) : QString();
  if (name.isEmpty() || !MayWrite(name)) return false;
  SaveTextFile(QFile::encodeName(name).toStdString(), StringGrid1->Table(), RecordCount(), SavedColumnOrder());
  if (!Opened_ && !WithoutDownload_) SavedDump_ = Dump_;
  return true;
}

void TForm5::SpeedButton1Click() { SaveShown(); }

void TForm5::SpeedButton6Click() {
  if (OnReport) OnReport();
}

void TForm5::SpeedButton2Click() {
  if (OnGraph) OnGraph();
}

void TForm5::ThenActivate(void (TForm5::*handler)()) {
  RunHandler([this, handler] { (this->*handler)(); });
  // Back from the window it opened, this window is the active one again and
  // rebuilds its table, as on any activation.
  RunHandler([this] { FormActivate(); });
}

void TForm5::GraphClicked() { ThenActivate(&TForm5::SpeedButton2Click); }

void TForm5::SpeedButton3Click() {
  const QString name = ExecuteOpenDialog ? ExecuteOpenDialog(*this) : QString();
  if (name.isEmpty()) return;
  const std::string path = QFile::encodeName(name).toStdString();
  TOpenedData data;
  try {
    // Read whole before anything changes: a refused file leaves the grid as
    // it was.
    data = ReadDataFile(path);
  } catch (const EDataFileError &e) {
    // Chosen in the dialog a moment ago: gone since.
    const bool gone = e.OsCode() == ENOENT || e.OsCode() == ENOTDIR;
    throw Exception("No se puede abrir \"" + QFileInfo(name).fileName().toStdString() + "\": " + e.Message() +
                    (gone ? " (¿se borró o se movió después de elegirlo?)" : "") + ".");
  }
  Opened_ = TOpenedFile{path, data.Records, data.ColumnOrder, data.Start};
  StringGrid1->SetTable(std::move(data.Table));
  setWindowTitle(QStringLiteral("DATOS DESCARGADOS - ") + QFileInfo(name).fileName());
  FormActivate();
}

void TForm5::SpeedButton4Click() {
  const TExportChoice choice = ExecuteExportDialog ? ExecuteExportDialog(*this) : TExportChoice();
  if (choice.Name.isEmpty() || !MayWrite(choice.Name)) return;
  TAlarmOptions alarms;
  alarms.Limits = ShownAlarmLimits();
  alarms.ActivationEnergy = StatisticsWindow_ ? StatisticsWindow_->ActivationEnergy() : SavedActivationEnergy();
  SaveRecords(QFile::encodeName(choice.Name).toStdString(), choice.Format, Shown(), choice.Style, Limits, alarms);
  if (!Opened_ && !WithoutDownload_) SavedDump_ = Dump_;
}

void TForm5::SpeedButton5Click() {
  if (ShowStatistics) ShowStatistics(StatisticsWindow());
}

bool TForm5::DownloadEnded() const {
  // A download that ended holds its end mark last; one still being received
  // or none at all has nothing to lose here.
  return !Dump_.empty() && Dump_.back() == 'A';
}

bool TForm5::DownloadUnsaved() const { return DownloadEnded() && Dump_ != SavedDump_; }

bool TForm5::CloseQuery() {
  if (!DownloadUnsaved()) return true;
  const QMessageBox::StandardButton answer =
      AskUnsaved
          ? AskUnsaved(*this, QString::fromUtf8("Hay datos descargados sin guardar. ¿Desea guardarlos antes de salir?"))
          : QMessageBox::Cancel;
  if (answer == QMessageBox::No) return true;
  if (answer != QMessageBox::Yes) return false;
  // The download is what gets saved, whatever the window showed last.
  Opened_.reset();
  setWindowTitle(QStringLiteral("DATOS DESCARGADOS"));
  RunHandler([this] { FormActivate(); });
  bool saved = false;
  RunHandler([&] { saved = SaveShown(); });
  // A save cancelled or failed keeps the program open, the download with it.
  return saved;
}
