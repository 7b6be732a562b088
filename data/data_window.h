#pragma once

#include "data/dump_decoder.h"
#include "data/string_grid.h"

#include <QDialog>
#include <QMessageBox>
#include <QString>

#include <functional>
#include <string>

class QFileDialog;
class QLabel;
class QLineEdit;
class QToolButton;
class TInsGradient;

// The downloaded-data window: start date, start time and rate of the
// recording above the grid of all records. It decodes the main window's dump
// afresh every time it is activated, saves the grid as a text file and opens
// the graph window.
class TForm5 : public QDialog {
public:
  // `dump` is the main window's dump text; it is read on every activation and
  // must outlive the window.
  explicit TForm5(const std::string &dump, QWidget *parent = nullptr);
  ~TForm5() override;

  TInsGradient *InsGradient1;
  QLabel *Label7, *Label8, *Label9, *Label10;
  QLineEdit *Edit1;  // start date
  QLineEdit *Edit2;  // start time
  QLineEdit *Edit8;  // rate text
  QToolButton *SpeedButton2;  // "GRAFICAR"
  QToolButton *SpeedButton1;  // "GUARDAR"
  TStringGrid *StringGrid1;   // the data table; the graph window reads it
  // The six start fields, as hidden labels holding their integers.
  QLabel *Label1, *Label2, *Label3, *Label4, *Label5, *Label6;
  QFileDialog &SaveDialog1();  // made at first use

  // Opens the graph window modally and returns when it is closed.
  std::function<void()> OnGraph;
  // The save dialog and the overwrite question. They show the real dialogs;
  // tests put their own answers here. An empty name means the user cancelled.
  std::function<QString(TForm5 &sender)> ExecuteSaveDialog;
  std::function<QMessageBox::StandardButton(TForm5 &sender, const QString &question)> AskQuestion;

  // Handlers; the window calls them under the standard exception handler.
  void FormActivate();
  void SpeedButton1Click();  // save
  void SpeedButton2Click();  // graph

  // Records of the dump as it is now (negative when there are none).
  int RecordCount() const;

protected:
  void showEvent(QShowEvent *event) override;

private:
  void ShowHeader();
  void GraphClicked();

  const std::string &Dump_;
  QFileDialog *SaveDialog1_ = nullptr;
  TDumpHeader Header_;
};
