#pragma once

#include "data/data_statistics.h"

#include <QDialog>

#include <array>
#include <functional>
#include <optional>
#include <string>

class QLabel;
class QLineEdit;
class QPushButton;
class QTableWidget;
class TStringGrid;

// What the table shows, wherever it was computed: a download's figures from
// the grid, a range of the history's from the archive.
struct TStatisticsFigures {
  std::string Heading;  // said before the records' count; empty for none
  TDataStatistics Stats;
  // When each channel's lowest and highest first happened, as shown.
  std::array<std::string, 16> MinAt, MaxAt;
};

// "ESTADÍSTICAS": the summary of every channel of the records the data window
// shows, with the two limits the user may set for the time spent above and
// below them. Opened modally from the data window; the limits stay for the
// rest of the run (the XLSX export's statistics use them too).
class TForm9 : public QDialog {
public:
  // `grid` is the data window's; `limits` its limits, which this window sets.
  TForm9(const TStringGrid &grid, TStatLimits &limits, QWidget *parent = nullptr);
  // Without a grid: the figures come through ShowFigures, and "CALCULAR"
  // asks for them again through OnCalculate once the limits are taken.
  TForm9(TStatLimits &limits, QWidget *parent = nullptr);

  QLabel *Label1;        // records and the step between them
  QLabel *Label2;        // "Límite superior (°C):"
  QLabel *Label3;        // "Límite inferior (°C):"
  QLineEdit *Edit1;      // upper limit, empty for none
  QLineEdit *Edit2;      // lower limit, empty for none
  QPushButton *Button1;  // "CALCULAR"
  QTableWidget *Table1;  // one row a channel
  QLabel *Label4;        // "Energía de activación (kJ/mol):"
  QLineEdit *Edit3;      // the MKT's activation energy, remembered for the user

  // The alarm limits of the logger the grid's records belong to, when they
  // are known; the window then counts the alarm events. The program's
  // windows set it (the data window knows no archive).
  std::function<std::optional<TAlarmLimitSet>()> AlarmLimits;
  // The activation energy taken last (from the user's settings at first).
  double ActivationEnergy() const { return Energy_; }

  // Fills the table from the grid as it is shown.
  void FormActivate();
  // Takes the limits and the energy typed and fills the table again. A limit
  // that is not a temperature, or an energy the MKT cannot use, raises, and
  // everything stays as it was.
  void Button1Click();

  const TDataStatistics &Statistics() const { return Stats_; }

  void ShowFigures(const TStatisticsFigures &figures);
  std::function<void()> OnCalculate;

protected:
  void showEvent(QShowEvent *event) override;

private:
  const TStringGrid *Grid_;
  TStatLimits &Limits_;
  TDataStatistics Stats_;
  double Energy_;
};
