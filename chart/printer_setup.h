#pragma once

#include <QDialog>
#include <QList>
#include <QPageLayout>
#include <QPageSize>
#include <QString>
#include <QStringList>

class QComboBox;
class QLabel;
class QPushButton;
class QRadioButton;

// What a printer setup chooses: the printer (empty: the PDF file written
// when no printer is installed), its paper and the orientation.
struct TPrinterSetup {
  QString Printer;
  QPageSize Paper{QPageSize::A4};
  QPageLayout::Orientation Orientation = QPageLayout::Landscape;
};

// The papers offered for `printer`: those it says it takes, or the usual
// ones for the PDF file and for a printer that says nothing.
QList<QPageSize> PapersFor(const QString &printer);

// Printer and page setup: which printer, which paper, which way up. It
// prints nothing, so its confirming button says "OK", not "Print".
class TPrinterSetupDialog : public QDialog {
public:
  // `printers` empty: there is only the PDF file to set up.
  TPrinterSetupDialog(const QStringList &printers, const TPrinterSetup &current, QWidget *parent = nullptr);

  TPrinterSetup Setup() const;

  QComboBox *Name;
  QLabel *Type, *Where, *Comment;
  QComboBox *Size;
  QRadioButton *Portrait, *Landscape;
  QPushButton *OK, *Cancel;

private:
  void NameChange();
  void FillPapers(const QPageSize &keep);

  bool pdf_;
  QList<QPageSize> papers_;
};
