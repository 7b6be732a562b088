#include "data/data_window.h"

#include "data/dump_lines.h"
#include "data/text_file_writer.h"
#include "runtime/application.h"
#include "runtime/form_font.h"
#include "widgets/ins_gradient.h"

#include <QDir>
#include <QFile>
#include <QFileDialog>
#include <QFileInfo>
#include <QGuiApplication>
#include <QLabel>
#include <QLineEdit>
#include <QPainter>
#include <QPainterPath>
#include <QScreen>
#include <QShowEvent>
#include <QTimer>
#include <QToolButton>

#include <algorithm>

namespace {

const QColor Teal(0, 128, 128);
const QColor Lime(0, 255, 0);
const QColor MediumGrey(160, 160, 164);
const QColor MoneyGreen(192, 220, 192);
const QColor Red(255, 0, 0);

const int GridColumnWidths[DataColumns] = {37, 52, 39, 31, 31, 28, 28, 30, 29, 31,
                                           29, 30, 29, 30, 29, 29, 29, 28, 28};
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

QToolButton *SpeedButton(QWidget *parent, const char *caption, const char *hint, const QPixmap &picture, int x,
                         int y) {
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

QString DefaultSaveDialog(TForm5 &form) {
  QFileDialog &dialog = form.SaveDialog1();
  dialog.setDefaultSuffix(QStringLiteral("txt"));
  // The root of the file system, as the program always started its saves at
  // the root of the system drive.
  dialog.setDirectory(QDir::rootPath());
  if (dialog.exec() != QDialog::Accepted) return {};
  const QStringList files = dialog.selectedFiles();
  return files.isEmpty() ? QString() : files.first();
}

QMessageBox::StandardButton DefaultQuestion(TForm5 &form, const QString &question) {
  QMessageBox box(QMessageBox::Question, QString::fromStdString(ApplicationTitle()), question,
                  QMessageBox::Yes | QMessageBox::No | QMessageBox::Cancel, &form);
  return static_cast<QMessageBox::StandardButton>(box.exec());
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

  connect(SpeedButton1, &QToolButton::clicked, this, [this] { RunHandler([this] { SpeedButton1Click(); }); });
  connect(SpeedButton2, &QToolButton::clicked, this, [this] { GraphClicked(); });
}

TForm5::~TForm5() = default;

QFileDialog &TForm5::SaveDialog1() {
  // Made at the first save rather than with the window: a file dialog reads
  // the folder, its icons and the MIME database and watches the folder, a
  // good part of the program's start-up for a dialog many runs never open.
  if (!SaveDialog1_) {
    SaveDialog1_ = new QFileDialog(this);
    SaveDialog1_->setAcceptMode(QFileDialog::AcceptSave);
    SaveDialog1_->setFileMode(QFileDialog::AnyFile);
    // The window asks its own overwrite question.
    SaveDialog1_->setOption(QFileDialog::DontConfirmOverwrite, true);
  }
  return *SaveDialog1_;
}

int TForm5::RecordCount() const { return ::RecordCount(CountDumpLines(Dump_)); }

void TForm5::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous()) {
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

void TForm5::SpeedButton1Click() {
  const QString name = ExecuteSaveDialog ? ExecuteSaveDialog(*this) : QString();
  if (name.isEmpty()) return;
  const QFileInfo info(name);
  if (info.exists() || info.isSymLink()) {
    if (!AskQuestion || AskQuestion(*this, QStringLiteral("El archivo existe, sobreescribo?")) != QMessageBox::Yes)
      return;
  }
  // The file gets the columns in the order they are shown.
  SaveTextFile(QFile::encodeName(name).toStdString(), StringGrid1->Table(), RecordCount(),
               StringGrid1->ColumnOrder());
}

void TForm5::SpeedButton2Click() {
  if (OnGraph) OnGraph();
}

void TForm5::GraphClicked() {
  RunHandler([this] { SpeedButton2Click(); });
  // Back from the graph window, this window is the active one again and
  // rebuilds its table, as on any activation.
  RunHandler([this] { FormActivate(); });
}
