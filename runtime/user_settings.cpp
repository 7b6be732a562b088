#include "runtime/user_settings.h"

QSettings UserSettings() { return QSettings(QSettings::IniFormat, QSettings::UserScope, "talvex", "talvex"); }
