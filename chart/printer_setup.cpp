#include "chart/printer_setup.h"

#include "runtime/form_font.h"

#include <QComboBox>
#include <QDialogButtonBox>
#include <QFormLayout>
#include <QGroupBox>
#include <QHBoxLayout>
#include <QLabel>
#include <QPrinterInfo>
#include <QPushButton>
#include <QRadioButton>
#include <QVBoxLayout>

namespace {

QString PdfEntry() { return QStringLiteral("(sin impresora: archivo PDF)"); }

// What a PDF file (or a printer that lists nothing) is offered: the sizes
// people here print reports on.
QList<QPageSize> UsualPapers() {
  QList<QPageSize> papers;
  for (QPageSize::PageSizeId id : {QPageSize::A4, QPageSize::A3, QPageSize::A5, QPageSize::B5, QPageSize::Letter,
                                   QPageSize::Legal, QPageSize::Executive, QPageSize::Tabloid})
    papers.append(QPageSize(id));
  return papers;
}

}  // namespace

QList<QPageSize> PapersFor(const QString &printer) {
  if (!printer.isEmpty()) {
    QList<QPageSize> own = QPrinterInfo::printerInfo(printer).supportedPageSizes();
    if (!own.isEmpty()) return own;
  }
  return UsualPapers();
}

TPrinterSetupDialog::TPrinterSetupDialog(const QStringList &printers, const TPrinterSetup &current, QWidget *parent)
    : QDialog(parent), pdf_(printers.isEmpty()) {
  setWindowTitle(QStringLiteral("Printer Setup"));
  setFont(FormFont("MS Sans Serif", 8));
  auto *outer = new QVBoxLayout(this);

  auto *printerBox = new QGroupBox(QStringLiteral("Printer"), this);
  auto *printerForm = new QFormLayout(printerBox);
  Name = new QComboBox(printerBox);
  Name->setMinimumWidth(220);
  if (pdf_) {
    Name->addItem(PdfEntry());
    Name->setEnabled(false);
  } else {
    Name->addItems(printers);
    const int at = static_cast<int>(printers.indexOf(current.Printer));
    Name->setCurrentIndex(at < 0 ? 0 : at);
  }
  auto *nameLabel = new QLabel(QStringLiteral("&Name:"), printerBox);
  nameLabel->setBuddy(Name);
  printerForm->addRow(nameLabel, Name);
  Type = new QLabel(printerBox);
  Where = new QLabel(printerBox);
  Comment = new QLabel(printerBox);
  printerForm->addRow(QStringLiteral("Type:"), Type);
  printerForm->addRow(QStringLiteral("Where:"), Where);
  printerForm->addRow(QStringLiteral("Comment:"), Comment);
  outer->addWidget(printerBox);

  auto *row = new QHBoxLayout;
  auto *paperBox = new QGroupBox(QStringLiteral("Paper"), this);
  auto *paperForm = new QFormLayout(paperBox);
  Size = new QComboBox(paperBox);
  auto *sizeLabel = new QLabel(QStringLiteral("Si&ze:"), paperBox);
  sizeLabel->setBuddy(Size);
  paperForm->addRow(sizeLabel, Size);
  row->addWidget(paperBox, 1);

  auto *orientationBox = new QGroupBox(QStringLiteral("Orientation"), this);
  auto *orientationColumn = new QVBoxLayout(orientationBox);
  Portrait = new QRadioButton(QStringLiteral("P&ortrait"), orientationBox);
  Landscape = new QRadioButton(QStringLiteral("&Landscape"), orientationBox);
  orientationColumn->addWidget(Portrait);
  orientationColumn->addWidget(Landscape);
  (current.Orientation == QPageLayout::Portrait ? Portrait : Landscape)->setChecked(true);
  row->addWidget(orientationBox);
  outer->addLayout(row);

  auto *buttons = new QDialogButtonBox(this);
  OK = buttons->addButton(QStringLiteral("OK"), QDialogButtonBox::AcceptRole);
  Cancel = buttons->addButton(QStringLiteral("Cancel"), QDialogButtonBox::RejectRole);
  OK->setDefault(true);
  outer->addWidget(buttons);
  connect(buttons, &QDialogButtonBox::accepted, this, &QDialog::accept);
  connect(buttons, &QDialogButtonBox::rejected, this, &QDialog::reject);

  NameChange();
  FillPapers(current.Paper);
  connect(Name, &QComboBox::currentIndexChanged, this, [this] {
    NameChange();
    // Another printer keeps the paper when it takes it too.
    FillPapers(papers_.value(Size->currentIndex()));
  });
}

void TPrinterSetupDialog::NameChange() {
  if (pdf_) {
    Type->setText(QStringLiteral("PDF"));
    Where->setText(QStringLiteral("archivo"));
    Comment->clear();
    return;
  }
  const QPrinterInfo info = QPrinterInfo::printerInfo(Name->currentText());
  Type->setText(info.makeAndModel());
  Where->setText(info.location());
  Comment->setText(info.description());
}

void TPrinterSetupDialog::FillPapers(const QPageSize &keep) {
  papers_ = PapersFor(pdf_ ? QString() : Name->currentText());
  int at = -1;
  if (keep.isValid()) {
    // One sheet goes by several names ("US Letter", "Letter", "ANSI A"):
    // the entry with the kept paper's own name first, as the printer matches
    // it, and only then one of the same size.
    for (int i = 0; i < papers_.size() && at < 0; ++i)
      if (papers_[i].isEquivalentTo(keep) && papers_[i].name() == keep.name()) at = i;
    for (int i = 0; i < papers_.size() && at < 0; ++i)
      if (papers_[i].isEquivalentTo(keep)) {
        // Offered under the name it was chosen by: the printer takes the
        // size either way.
        papers_[i] = keep;
        at = i;
      }
    // A paper the list lacks (a custom size set elsewhere) is kept as it is.
    if (at < 0) {
      papers_.prepend(keep);
      at = 0;
    }
  }
  Size->clear();
  for (const QPageSize &p : papers_) Size->addItem(p.name());
  Size->setCurrentIndex(at < 0 ? 0 : at);
}

TPrinterSetup TPrinterSetupDialog::Setup() const {
  TPrinterSetup s;
  s.Printer = pdf_ ? QString() : Name->currentText();
  s.Paper = papers_.value(Size->currentIndex(), QPageSize(QPageSize::A4));
  s.Orientation = Portrait->isChecked() ? QPageLayout::Portrait : QPageLayout::Landscape;
  return s;
}
