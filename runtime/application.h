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

// The application title (the task-bar text), also the caption of the
// standard handler's message box.
std::string ApplicationTitle();
void SetApplicationTitle(const std::string &title);

// Shows the message of an exception the way the standard handler does.
// Tests can replace the presenter to see what would have been shown without
// a modal box.
void ShowException(const std::exception &e);
using ExceptionPresenter = std::function<void(const std::string &title, const std::string &message)>;
void SetExceptionPresenter(ExceptionPresenter presenter);  // empty: message box

// Runs an event handler under the standard handler. Widgets, timers and
// windows call their events through this, so no handler needs its own
// try/catch.
void RunHandler(const std::function<void()> &handler);

// Runs a handler and returns what it threw, if anything; for callers that must
// carry the failure elsewhere (the serial event thread).
std::exception_ptr RunCapturing(const std::function<void()> &handler);
