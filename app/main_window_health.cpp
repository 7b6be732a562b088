// The main window's side of the logger's health: hints that say how far the
// logger's clock is off and when its memory will be full, values greyed once
// the logger has gone quiet, and the check of a download against the
// logger's count. Nothing here moves or adds a visible component.

#include "app/main_window.h"

#include "runtime/application.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <QDateTime>
#include <QLabel>
#include <QLineEdit>
#include <QStyle>

#include <algorithm>

namespace {

QString Lines(const QString &first, const std::string &second, const std::string &third = {}) {
  QString text = first;
  for (const std::string *line : {&second, &third})
    if (!line->empty()) text += (text.isEmpty() ? "" : "\n") + QString::fromStdString(*line);
  return text;
}

void SetHint(QWidget *w, const QString &hint) {
  if (w->toolTip() != hint) w->setToolTip(hint);
}

// The boxes grey their text through a rule of their style sheet.
void SetBoxStale(QLineEdit *box, bool stale) {
  box->setProperty("stale", stale);
  box->style()->unpolish(box);
  box->style()->polish(box);
}

}  // namespace

void TForm1::BuildHealth() {
  PcClockMs = [] { return QDateTime::currentMSecsSinceEpoch(); };
  baseHints_ = {Edit4->toolTip(), Edit3->toolTip(), Edit1->toolTip()};
  StaleTimer = new TTimer(this, kStaleAfterMs);
  StaleTimer->OnTimer = [this](TTimer *) { StaleTimerTimer(); };
}

void TForm1::HealthConnected(bool on) {
  if (on) {
    Health.Freshness.Connected(PcClockMs());
    ArmStaleTimer();
  } else {
    // Disconnected, the window is as it always was: nothing greyed, and the
    // date and time boxes, emptied, say nothing of a clock.
    Health.Freshness.Disconnected();
    Health.Drift.Reset();
    StaleTimer->SetEnabled(false);
    ShowStale(false);
  }
  ShowHealth();
}

void TForm1::HealthFrame(const TLiveFrame &frame) {
  Health.Frame(frame, PcClockMs());
  ShowStale(false);
  ArmStaleTimer();
  ShowHealth();
}

void TForm1::HealthClockSent() {
  // The frames before the set no longer say anything of the clock.
  Health.Drift.Reset();
  ShowHealth();
}

void TForm1::ArmStaleTimer() {
  const std::optional<std::int64_t> at = Health.Freshness.StaleAtMs();
  StaleTimer->SetEnabled(false);
  if (!at) return;
  StaleTimer->SetInterval(static_cast<int>(std::clamp<std::int64_t>(*at - PcClockMs(), 1, kStaleAfterMs)));
  StaleTimer->SetEnabled(true);
}

void TForm1::StaleTimerTimer() {
  StaleTimer->SetEnabled(false);
  if (!IsConnected() || !Health.Freshness.Watching()) return;
  if (Health.Freshness.Stale(PcClockMs())) {
    ShowStale(true);
    ShowHealth();
  } else {
    ArmStaleTimer();  // the PC clock went back: look again later
  }
}

void TForm1::ShowStale(bool stale) {
  if (stale == stale_) return;
  stale_ = stale;
  const QString hint = QString::fromStdString(StaleText(Health.Freshness.SinceMs()));
  std::vector<TInsAnalogGControl *> values(InsValueInd.begin(), InsValueInd.end());
  for (TInsThermometer *t : ChannelThermometers)
    if (t) values.push_back(t);
  if (stale) staleSavedHints_.clear();
  for (std::size_t i = 0; i < values.size(); ++i) {
    TInsAnalogGControl *w = values[i];
    w->SetStale(stale);
    if (stale) {
      staleSavedHints_.push_back(w->toolTip());
      w->setToolTip(hint);
    } else if (i < staleSavedHints_.size() && w->toolTip() == staleHint_) {
      // Unless the widget's own hint has been made afresh meanwhile.
      w->setToolTip(staleSavedHints_[i]);
    }
  }
  staleHint_ = stale ? hint : QString();
  SetBoxStale(Edit4, stale);
  SetBoxStale(Edit3, stale);
}

void TForm1::ShowHealth() {
  std::string drift, memory, stale;
  if (const std::optional<double> s = Health.Drift.Seconds(); s && IsConnected()) drift = ClockDriftText(*s);
  if (const auto f = Health.Memory.Forecast(PcClockMs())) memory = MemoryForecastText(*f);
  if (stale_) stale = StaleText(Health.Freshness.SinceMs());
  SetHint(Edit4, Lines(baseHints_[0], drift, stale));
  SetHint(Edit3, Lines(baseHints_[1], drift, stale));
  SetHint(Edit1, Lines(baseHints_[2], memory));
  SetHint(Label2, Lines(QString(), memory));
  if (OnHealthChange) OnHealthChange();
}

void TForm1::CheckDownloadCount() {
  const TDownloadCheck check = CheckDownload(RichEdit1, Health.Memory.Count());
  if (SetDataWindowHint) SetDataWindowHint(QString::fromStdString(check.Summary()));
  // Told once, when the download ends; the records all stay for the user.
  if (const std::string warning = check.Warning(); !warning.empty()) ShowWarning(warning);
}
