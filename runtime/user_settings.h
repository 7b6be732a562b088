#pragma once

#include <QSettings>

// The program's own settings file in the user's configuration folder
// (~/.config/talvex/talvex.ini), shared by the window and talvex-cli; the
// windows of the documents store nothing in it.
QSettings UserSettings();
