#pragma once

#include <QApplication>

#include <exception>
#include <functional>
#include <string>

// The program's application object. Its one job beyond QApplication is the
// standard exception handler: a click, timer or window-event handler that
// throws has the rest of its steps skipped and its message shown in a message
// box titled with the application title.
class TApplication : public QApplication {
public:
  TApplication(int &argc, char **argv);

  std::string Title() const;
  void SetTitle(const std::string &title);

  // Backstop for exceptions escaping a Qt event handler of ours.
  bool notify(QObject *receiver, QEvent *event) override;
};

// Maps the Windows font names the windows ask for onto installed faces.
void InstallFontSubstitutes();

// Keeps every key with the window it was meant for. The application object
// installs it; tests install it on their own application object (once is
// enough, a second call does nothing).
//  - While a modal window is up, a key the window system reports for any
//    other window of ours is dropped. Qt would hand it to the window that has
//    the focus, the modal one, and an Escape sent to a window beneath would
//    close the window on top instead.
//  - A key that only repeats because it is held down reaches nothing but the
//    window it went down in, and only until another window takes the
//    keyboard. Each repeat would otherwise act on the next window as it came
//    up: an Escape left down (a sender that pressed it and never got to
//    release it) closed every window down to the main one, a Return every
//    message box before anyone saw it.
//  - Return runs the tool button that has the focus, as Space does.
void InstallKeyboardGuard();

// Qt's own texts (file dialogs, standard buttons, the printer dialogs) in
// Spanish, like the rest of the program, from Qt's translations as the
// system installed them. False when they are not installed: Qt then speaks
// English. Once per application object is enough.
bool InstallQtTranslations();

// Message boxes wide enough to show their whole title, as a window manager
// draws it with the title bar's buttons beside it. Installed by the
// application object.
void InstallMessageBoxSizing();
// The least width of a message box titled `title`.
int MessageBoxWidthForTitle(const QString &title);

class QWindow;
// Whether a key reported for `window` may reach it now: no modal window is
// up, or `window` is the top modal one, a window of its own, or a popup.
// A window that is not ours (null) is left to Qt.
bool KeyboardMayReach(const QWindow *window);

// The application title (the task-bar text), also the caption of the
// standard handler's message box.
std::string ApplicationTitle();
void SetApplicationTitle(const std::string &title);

// Shows the message of an exception the way the standard handler does.
// Tests can replace the presenter to see what would have been shown without
// a modal box.
void ShowException(const std::exception &e);
// A warning that is no failure, in the same box with a warning's icon (and
// to the same presenter).
void ShowWarning(const std::string &message);
using ExceptionPresenter = std::function<void(const std::string &title, const std::string &message)>;
void SetExceptionPresenter(ExceptionPresenter presenter);  // empty: message box

// Runs an event handler under the standard handler. Widgets, timers and
// windows call their events through this, so no handler needs its own
// try/catch.
void RunHandler(const std::function<void()> &handler);

// Runs a handler and returns what it threw, if anything; for callers that must
// carry the failure elsewhere (the serial event thread).
std::exception_ptr RunCapturing(const std::function<void()> &handler);
