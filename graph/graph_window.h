#pragma once

#include "graph/graph_chart.h"

#include <QDialog>
#include <QString>

#include <cstdint>
#include <functional>

class QCheckBox;
class QPoint;
class QWidget;
class TChart;
class TInsColBitBtn;
class TInsGradient;
class TStringGrid;

// "GRAFICO DE LOS VALORES DESCARGADOS": the 16 channels of the downloaded
// records as 16 lines of temperature against sample number. It reads the
// downloaded-data window's grid, never the dump, and refills the lines when it
// opens and when the print preview opened from it closes.
class TForm6 : public QDialog {
public:
  explicit TForm6(const TStringGrid &grid, QWidget *parent = nullptr);

  TInsGradient *InsGradient1;
  TChart *Chart1;
  QCheckBox *CheckBox[16];       // CheckBox[0] is CheckBox1, "CANAL1"
  TInsColBitBtn *InsColBitBtn1;  // "Copiar"
  TInsColBitBtn *InsColBitBtn2;  // "Zoom"
  TInsColBitBtn *InsColBitBtn3;  // "Mover"
  TInsColBitBtn *InsColBitBtn4;  // "Imprimir"
  QCheckBox *TiempoReal;         // the bottom axis in date and time instead of sample numbers

  // Activation: clears and refills the 16 series from the grid. A cell that
  // is not a number stops the refill with EConvertError.
  void FormActivate();
  // Check box n (1 .. 16) shows or hides series n.
  void CheckBoxClick(int n);
  void InsColBitBtn1Click();
  void InsColBitBtn2Click();
  void InsColBitBtn3Click();
  void InsColBitBtn4Click();
  void TiempoRealClick();

  // The print preview, handed in by the program (the preview lives in a
  // later part of it).
  std::function<void(QWidget *owner, TChart &chart)> PrintPreview;
  // Shows a plain message (no icon, application title, one OK button);
  // tests put their own here. Empty: a message box.
  std::function<void(TForm6 &sender, const QString &text)> ShowMessage;

  static const char *const kZoomMessage;
  static const char *const kMoveMessage;

protected:
  void showEvent(QShowEvent *event) override;

private:
  void Message(const QString &text);
  void PrintClicked();

  const TStringGrid &grid_;
  TGraphTimes times_;
  // The records the lines were last filled from: a zoom is kept across
  // refills of the same records, and let go when others come.
  std::uint64_t shownData_ = 0;
  // Where the last refill's values stopped (Record 0: they did not): the
  // record, the caption of its column and the cell's text.
  struct TValuesStop {
    int Record = 0;
    QString Column, Text;
  } valuesStop_;
};

// The window's 16 channel boxes ("CANAL1" ...), each caption in its line's
// colour, in two rows of eight from `origin`; the caller connects them.
// Other windows that draw the channels the same way use them too.
void MakeGraphChannelBoxes(QWidget *parent, const QPoint &origin, QCheckBox *boxes[16]);
// Its four buttons on the chart: Copiar, Zoom, Mover, Imprimir.
void MakeGraphButtons(TChart *chart, TInsColBitBtn *buttons[4]);
// Its "Tiempo real" box, on the chart right of the bottom axis' title,
// where nothing else is.
QCheckBox *MakeGraphTimeBox(TChart *chart);
