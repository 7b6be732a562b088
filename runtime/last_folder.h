#pragma once

#include <QString>

// Where the program's file dialogs open: the folder of the last file saved
// or opened through one of them, kept in the user's configuration (it
// outlives the run), else `fallback`, else the user's home folder. A folder
// that is gone since is skipped.
QString FileDialogFolder(const QString &fallback = QString());
// Notes the folder of a file the user just chose in a file dialog.
void RememberFileDialogFolder(const QString &chosenFile);
