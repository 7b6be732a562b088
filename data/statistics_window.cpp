#include "data/statistics_window.h"

#include "data/record_values.h"
#include "data/string_grid.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "runtime/form_font.h"

#include <QHeaderView>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QShowEvent>
#include <QTableWidget>
#include <QTimer>

#include <cstdio>

namespace {

const char *const kColumns[] = {"Canal",          "Registros",        "Mínimo", "Fecha del mínimo",
                                "Máximo",         "Fecha del máximo", "Media",  "Desv. poblacional",
                                "Tiempo sobre",   "Tiempo bajo",      "MKT",    "Alarmas",
                                "En alarma alta", "En alarma baja"};
// The standard deviation says it is the population's (of all the records,
// not of a sample): its column takes that room from the two dates'.
const int kWidths[] = {52, 62, 56, 115, 56, 115, 56, 104, 92, 92, 56, 56, 92, 92};
constexpr int kColumnCount = static_cast<int>(sizeof kWidths / sizeof kWidths[0]);
// The alarm columns came after the first ten: the window grew to the right
// by their width, nothing before them moved.
constexpr int kAddedWidth = 56 + 56 + 92 + 92;

QString Degrees(double value, int decimals) {
  char buf[64];
  std::snprintf(buf, sizeof buf, "%.*f", decimals, value);
  // The program's decimal comma.
  return QString::fromLatin1(buf).replace('.', ',');
}

QString LimitText(const std::optional<std::int64_t> &limit) {
  return limit ? QString::fromStdString(TenthsText(*limit)) : QString();
}

std::optional<std::int64_t> LimitOf(const QString &typed, const char *which) {
  const std::string text = typed.trimmed().toStdString();
  if (text.empty()) return std::nullopt;
  std::int64_t tenths;
  if (!ParseTenths(text, tenths))
    throw Exception(std::string("Límite ") + which + " no válido: \"" + text +
                    "\". Escriba una temperatura con un decimal como mucho (25,0) o deje el cuadro vacío.");
  return tenths;
}

}  // namespace

TForm9::TForm9(const TStringGrid &grid, TStatLimits &limits, QWidget *parent) : TForm9(limits, parent) {
  Grid_ = &grid;
}

TForm9::TForm9(TStatLimits &limits, QWidget *parent)
    : QDialog(parent), Grid_(nullptr), Limits_(limits), Energy_(SavedActivationEnergy()) {
  setWindowTitle(QString::fromUtf8("ESTADÍSTICAS"));
  setFont(FormFont("MS Sans Serif", 8));
  setFixedSize(826 + kAddedWidth, 452);

  Label1 = new QLabel(this);
  Label1->setGeometry(8, 8, 560, 16);
  Label1->setFont(FormFont("Arial", 8, true));
  Label2 = new QLabel(QString::fromUtf8("Límite superior (°C):"), this);
  Label2->setGeometry(8, 34, 124, 20);
  Edit1 = new QLineEdit(this);
  Edit1->setGeometry(134, 32, 60, 24);
  Label3 = new QLabel(QString::fromUtf8("Límite inferior (°C):"), this);
  Label3->setGeometry(214, 34, 124, 20);
  Edit2 = new QLineEdit(this);
  Edit2->setGeometry(338, 32, 60, 24);
  for (QLineEdit *e : {Edit1, Edit2}) e->setToolTip(QString::fromUtf8("Vacío: sin límite"));
  Button1 = new QPushButton(QString::fromUtf8("CALCULAR"), this);
  Button1->setGeometry(418, 31, 90, 26);
  Button1->setDefault(true);

  Label4 = new QLabel(QString::fromUtf8("Energía de activación (kJ/mol):"), this);
  Label4->setGeometry(528, 34, 180, 20);
  Edit3 = new QLineEdit(QString::fromStdString(ActivationEnergyText(Energy_)), this);
  Edit3->setGeometry(710, 32, 70, 24);
  Edit3->setToolTip(QString::fromUtf8("La de la temperatura cinética media (MKT); 83,144 kJ/mol por omisión"));

  Table1 = new QTableWidget(16, kColumnCount, this);
  Table1->setGeometry(8, 66, 810 + kAddedWidth, 378);
  Table1->setEditTriggers(QAbstractItemView::NoEditTriggers);
  Table1->verticalHeader()->hide();
  Table1->verticalHeader()->setDefaultSectionSize(22);
  Table1->setFont(FormFont("Arial", 8));
  for (int c = 0; c < kColumnCount; ++c) {
    Table1->setHorizontalHeaderItem(c, new QTableWidgetItem(QString::fromUtf8(kColumns[c])));
    Table1->setColumnWidth(c, kWidths[c]);
  }
  Table1->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);

  connect(Button1, &QPushButton::clicked, this, [this] { RunHandler([this] { Button1Click(); }); });
}

void TForm9::showEvent(QShowEvent *event) {
  QDialog::showEvent(event);
  if (!event->spontaneous())
    QTimer::singleShot(0, this, [this] {
      if (isVisible()) RunHandler([this] { FormActivate(); });
    });
}

void TForm9::Button1Click() {
  // Both read before either is kept: a bad one changes nothing.
  TStatLimits limits;
  limits.Upper = LimitOf(Edit1->text(), "superior");
  limits.Lower = LimitOf(Edit2->text(), "inferior");
  const double energy = ParseActivationEnergy(Edit3->text().trimmed().toStdString());
  Limits_ = limits;
  if (energy != Energy_) SaveActivationEnergy(energy);
  Energy_ = energy;
  Edit3->setText(QString::fromStdString(ActivationEnergyText(Energy_)));
  if (Grid_ == nullptr) {
    Edit1->setText(LimitText(Limits_.Upper));
    Edit2->setText(LimitText(Limits_.Lower));
    if (OnCalculate) OnCalculate();
    return;
  }
  FormActivate();
}

void TForm9::FormActivate() {
  Edit1->setText(LimitText(Limits_.Upper));
  Edit2->setText(LimitText(Limits_.Lower));
  if (Grid_ == nullptr) return;
  TStatisticsFigures figures;
  TAlarmOptions alarms;
  alarms.ActivationEnergy = Energy_;
  if (AlarmLimits) alarms.Limits = AlarmLimits();
  figures.Stats = ComputeStatistics(Grid_->Table(), Grid_->RowCount() - 1, Grid_->ColumnOrder(), Limits_, alarms);
  for (size_t k = 0; k < 16; ++k) {
    const TChannelStats &c = figures.Stats.Channels[k];
    if (c.Count == 0) continue;
    figures.MinAt[k] = RecordStampText(Grid_->Table(), c.MinRow);
    figures.MaxAt[k] = RecordStampText(Grid_->Table(), c.MaxRow);
  }
  ShowFigures(figures);
}

void TForm9::ShowFigures(const TStatisticsFigures &figures) {
  Stats_ = figures.Stats;
  QString summary = QString::fromStdString(figures.Heading) + QString::number(Stats_.Records) + " registros";
  // Irregular records are said so: each counts for the time to the next.
  summary += Stats_.IntervalsKnown ? ", " + QString::fromStdString(Stats_.SpacingText())
                                   : QString::fromUtf8(", intervalo desconocido (el tiempo no se puede medir)");
  if (Stats_.Irregular) summary += QString::fromUtf8("; cada registro cuenta hasta el siguiente");
  Label1->setText(summary);
  Label1->setToolTip(summary);  // a long range's line may not fit
  for (int row = 0; row < 16; ++row) {
    const TChannelStats &c = Stats_.Channels[static_cast<size_t>(row)];
    QStringList cells = {QString::fromStdString(c.Name), QString::number(c.Count)};
    if (c.Count > 0) {
      cells << QString::fromStdString(TenthsText(c.Min))
            << QString::fromStdString(figures.MinAt[static_cast<size_t>(row)])
            << QString::fromStdString(TenthsText(c.Max))
            << QString::fromStdString(figures.MaxAt[static_cast<size_t>(row)]) << Degrees(c.Mean, 2)
            << Degrees(c.StdDev, 2);
    } else {
      cells << ""
            << ""
            << ""
            << ""
            << ""
            << "";
    }
    auto duration = [&](const std::optional<std::int64_t> &limit, const std::optional<std::int64_t> &minutes) {
      if (!limit) return QString::fromUtf8("sin límite");
      if (!minutes) return QString::fromUtf8("desconocido");
      return QString::fromStdString(DurationText(*minutes));
    };
    cells << duration(Limits_.Upper, Stats_.MinutesAbove(c)) << duration(Limits_.Lower, Stats_.MinutesBelow(c));
    cells << (c.Alarm.Mkt ? Degrees(*c.Alarm.Mkt, 2) : QString());
    QString eventsHint;
    if (Stats_.AlarmsApply(c)) {
      cells << QString::number(c.Alarm.HighEvents + c.Alarm.LowEvents)
            << QString::fromStdString(DurationText(c.Alarm.SecondsAbove / 60))
            << QString::fromStdString(DurationText(c.Alarm.SecondsBelow / 60));
      eventsHint = QString::fromUtf8("%1 de alta, %2 de baja").arg(c.Alarm.HighEvents).arg(c.Alarm.LowEvents);
    } else {
      cells << QString::fromUtf8("no aplica") << QString() << QString();
      eventsHint = !Stats_.Alarms.Limits ? QString::fromUtf8("Sin límites de alarma conocidos para estos datos")
                   : !Stats_.EventsKnown ? QString::fromUtf8("Sin fechas y horas válidas no se pueden hallar")
                                         : QString::fromUtf8("El canal no tiene límites de alarma");
    }
    for (int col = 0; col < cells.size(); ++col) {
      auto *item = new QTableWidgetItem(cells[col]);
      if (col == 11) item->setToolTip(eventsHint);
      item->setTextAlignment(col == 0 || col == 3 || col == 5 ? Qt::AlignLeft | Qt::AlignVCenter
                                                              : Qt::AlignRight | Qt::AlignVCenter);
      Table1->setItem(row, col, item);
    }
  }
}
