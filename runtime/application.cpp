#include "runtime/application.h"

#include <QFont>
#include <QMessageBox>

namespace {

ExceptionPresenter &Presenter() {
  static ExceptionPresenter presenter;
  return presenter;
}

}  // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) { InstallFontSubstitutes(); }

void InstallFontSubstitutes() {
  // The windows ask for the classic Windows faces; on Linux the metric twin
  // of Arial is the closest match for all of them (fontconfig alone would pick
  // a much wider face for "MS Sans Serif" and "System").
  const QStringList twins{"Liberation Sans", "Arimo", "Arial"};
  QFont::insertSubstitutions("MS Sans Serif", twins);
  QFont::insertSubstitutions("System", twins);
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Arimo"});
}

std::string TApplication::Title() const { return ApplicationTitle(); }

void TApplication::SetTitle(const std::string &title) { SetApplicationTitle(title); }

bool TApplication::notify(QObject *receiver, QEvent *event) {
  try {
    return QApplication::notify(receiver, event);
  } catch (const std::exception &e) {
    ShowException(e);
  }
  return false;
}

namespace {
// Kept apart from Qt's display name, which Qt would append to every window's
// caption.
std::string &TitleStore() {
  static std::string title;
  return title;
}
}  // namespace

std::string ApplicationTitle() { return TitleStore(); }

void SetApplicationTitle(const std::string &title) {
  TitleStore() = title;
  if (qApp) qApp->setApplicationName(QString::fromStdString(title));
}

void SetExceptionPresenter(ExceptionPresenter presenter) { Presenter() = std::move(presenter); }

void ShowException(const std::exception &e) {
  const std::string title = ApplicationTitle();
  if (Presenter()) {
    Presenter()(title, e.what());
    return;
  }
  QMessageBox box(QMessageBox::Critical, QString::fromStdString(title), QString::fromUtf8(e.what()), QMessageBox::Ok);
  box.exec();
}

void RunHandler(const std::function<void()> &handler) {
  if (!handler) return;
  try {
    handler();
  } catch (const std::exception &e) {
    ShowException(e);
  }
}

std::exception_ptr RunCapturing(const std::function<void()> &handler) {
  if (!handler) return nullptr;
  try {
    handler();
  } catch (...) {
    return std::current_exception();
  }
  return nullptr;
}
