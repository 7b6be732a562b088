#include "app/alarm_texts.h"

#include "data/record_values.h"

#include <pwd.h>
#include <unistd.h>

#include <cstdlib>

namespace {

QString Two(std::int64_t n) { return QString("%1").arg(n, 2, 10, QChar('0')); }

}  // namespace

QString AlarmChannelName(int channel) { return QString("CH%1").arg(channel + 1); }

QString AlarmDegreesText(std::int32_t tenths) {
  return QString::fromStdString(TenthsText(tenths, ',')) + QString::fromUtf8(" °C");
}

QString AlarmStampText(std::int64_t seconds) {
  const TStamp s = StampFromSeconds(seconds);
  return QString::fromStdString(ProgramDateText(s) + " " + ProgramTimeText(s));
}

QString AlarmDurationText(std::int64_t seconds) {
  if (seconds < 0) seconds = 0;
  if (seconds < 60) return QString("%1 s").arg(seconds);
  if (seconds < 3600) return QString("%1 min %2 s").arg(seconds / 60).arg(Two(seconds % 60));
  if (seconds < 86400) return QString("%1 h %2 min").arg(seconds / 3600).arg(Two(seconds % 3600 / 60));
  return QString("%1 d %2 h").arg(seconds / 86400).arg(Two(seconds % 86400 / 3600));
}

std::optional<std::int32_t> AlarmLimitOf(const TAlarmLimits &limits, TAlarmKind kind) {
  return kind == TAlarmKind::High ? limits.High : limits.Low;
}

QString AlarmHintText(const TAlarmEvent &event, const std::optional<std::int32_t> &limit) {
  const bool high = event.Kind == TAlarmKind::High;
  QString text =
      QString("Alarma %1 desde %2 (").arg(QString::fromUtf8(AlarmKindWord(event.Kind)), AlarmStampText(event.Start));
  if (limit) text += QString::fromUtf8("límite ") + AlarmDegreesText(*limit) + ", ";
  text += QString::fromUtf8(high ? "máximo " : "mínimo ") + AlarmDegreesText(event.Extreme) + ")";
  return text;
}

TNotificationText AlarmNotificationText(const TAlarmNotice &notice) {
  const TAlarmEvent &e = notice.Event;
  const QString kind = QString::fromUtf8(AlarmKindWord(e.Kind));
  const QString channel = AlarmChannelName(e.Channel);
  const QString limit =
      notice.Limit ? QString::fromUtf8("límite ") + AlarmDegreesText(*notice.Limit) : QString::fromUtf8("sin límite");
  TNotificationText t;
  const QString logger = QString::fromUtf8("Registrador %1: ").arg(QString::fromStdString(notice.Logger));
  if (notice.Started) {
    t.Summary = QString("TALVEX: alarma %1 en %2").arg(kind, channel);
    t.Body =
        logger + QString::fromUtf8("%1 (%2) a las %3, fuera desde las %4")
                     .arg(AlarmDegreesText(notice.Value), limit, AlarmStampText(notice.At), AlarmStampText(e.Start));
  } else {
    t.Summary = QString("TALVEX: fin de la alarma %1 en %2").arg(kind, channel);
    t.Body = logger +
             QString::fromUtf8("%1 (%2) a las %3; duró %4, %5 %6")
                 .arg(AlarmDegreesText(notice.Value), limit, AlarmStampText(notice.At), AlarmDurationText(e.Seconds),
                      QString::fromUtf8(e.Kind == TAlarmKind::High ? "máximo" : "mínimo"), AlarmDegreesText(e.Extreme));
  }
  return t;
}

std::string LoginName() {
  // The account, not what the environment claims: an acknowledgement is
  // signed with it.
  if (const passwd *pw = getpwuid(geteuid()); pw && pw->pw_name && *pw->pw_name) return pw->pw_name;
  for (const char *name : {"LOGNAME", "USER"})
    if (const char *v = std::getenv(name); v && *v) return v;
  return std::to_string(geteuid());
}
