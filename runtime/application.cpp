#include "runtime/application.h"

#include "runtime/form_font.h"

#include <QAbstractNativeEventFilter>
#include <QFont>
#include <QFontMetrics>
#include <QGridLayout>
#include <QKeyEvent>
#include <QLibraryInfo>
#include <QMessageBox>
#include <QPointer>
#include <QToolButton>
#include <QTranslator>
#include <QWindow>

#include <algorithm>
#include <map>

#if __has_include(<xcb/xcb.h>)
#include <xcb/xcb.h>
#define TALVEX_HAVE_XCB 1
#endif

namespace {

ExceptionPresenter &Presenter() {
  static ExceptionPresenter presenter;
  return presenter;
}

class TKeyboardGuard : public QObject, public QAbstractNativeEventFilter {
public:
  explicit TKeyboardGuard(QObject *parent) : QObject(parent) {
    if (auto *gui = qobject_cast<QGuiApplication *>(QCoreApplication::instance())) {
      keyboardWindow_ = QGuiApplication::focusWindow();
      connect(gui, &QGuiApplication::focusWindowChanged, this, &TKeyboardGuard::FocusWindowChanged);
    }
  }

  bool eventFilter(QObject *receiver, QEvent *event) override {
    const QEvent::Type type = event->type();
    if (type == QEvent::Show || type == QEvent::Hide) {
      // A window coming or going moves the keyboard, whether or not the
      // window system says so at once (without a window manager it may not).
      if (receiver->isWidgetType() && !IsPopup(static_cast<QWidget *>(receiver)->windowType()) &&
          static_cast<QWidget *>(receiver)->isWindow())
        ++windowChanges_;
      return false;
    }
    if (type != QEvent::KeyPress && type != QEvent::ShortcutOverride) return false;
    auto *key = static_cast<QKeyEvent *>(event);
    const bool repeat = key->isAutoRepeat() || IsRepeat(key->nativeScanCode(), key->timestamp());
    if (!repeat) {
      // The press itself; the shortcut override before it may have been
      // made up by Qt without the key's own code and time.
      if (type != QEvent::KeyPress) return false;
      held_[key->key()] = windowChanges_;
      return RunToolButton(receiver, *key);
    }
    // A repeat goes on only to the window the key went down in, and only
    // while that window has kept the keyboard: once another window came up
    // (a message box, a dialog, the same window shown again) the key being
    // down is no longer anything the user meant for it.
    const auto down = held_.find(key->key());
    if (down != held_.end() && down->second == windowChanges_) return false;
    // Taken (an accepted shortcut override keeps any shortcut from firing),
    // and given to nobody.
    key->accept();
    return true;
  }

  bool nativeEventFilter(const QByteArray &eventType, void *message, qintptr *) override {
#ifdef TALVEX_HAVE_XCB
    if (eventType != "xcb_generic_event_t") return false;
    const auto *event = static_cast<const xcb_generic_event_t *>(message);
    const int kind = event->response_type & ~0x80;  // the high bit marks a sent event
    if (kind != XCB_KEY_PRESS && kind != XCB_KEY_RELEASE) return false;
    // The X window the key was reported for; Qt itself would only look at
    // the window that has its focus.
    const auto *key = reinterpret_cast<const xcb_key_press_event_t *>(event);
    // Only the server's own events can be repeats; a sent one carries
    // whatever time its sender put in.
    if (!(event->response_type & 0x80)) NoteKey(kind == XCB_KEY_PRESS, key->detail, key->time);
    const xcb_window_t target = key->event;
    for (QWindow *window : QGuiApplication::allWindows())
      if (window->handle() && window->winId() == target) return !KeyboardMayReach(window);
#else
    (void)eventType;
    (void)message;
#endif
    return false;
  }

private:
  static bool IsPopup(Qt::WindowType type) { return type == Qt::Popup || type == Qt::ToolTip; }

  void FocusWindowChanged(QWindow *window) {
    // A popup (a completer's list, a combo box's) belongs to the window under
    // it: keys held while it comes and goes still belong there.
    if (window && IsPopup(window->type())) return;
    if (window == keyboardWindow_) return;
    keyboardWindow_ = window;
    ++windowChanges_;
  }

  // Return runs a tool button with the keyboard as it runs a push button; Qt
  // gives tool buttons Space only.
  static bool RunToolButton(QObject *receiver, QKeyEvent &key) {
    if (key.key() != Qt::Key_Return && key.key() != Qt::Key_Enter) return false;
    if (key.modifiers() & ~Qt::KeypadModifier) return false;
    auto *button = qobject_cast<QToolButton *>(receiver);
    if (!button || !button->hasFocus() || !button->isEnabled()) return false;
    key.accept();
    button->click();
    return true;
  }

  // A held key repeats as a release and a press with the same time. Qt looks
  // for the press when it handles the release, and misses it when the two
  // came in separate reads: such a repeat reaches the windows as a fresh
  // press. Here the press is judged when it comes, against the release
  // before it.
  void NoteKey(bool press, quint32 code, quint32 time) {
    if (code >= kCodes) return;
    if (!press) {
      releaseTime_[code] = time;
      released_[code] = true;
      return;
    }
    if (released_[code] && releaseTime_[code] == time) repeats_[next_++ % kKept] = {code, time};
    released_[code] = false;
  }

  bool IsRepeat(quint32 code, quint64 time) const {
    for (const TRepeat &r : repeats_)
      if (r.time != 0 && r.code == code && r.time == time) return true;
    return false;
  }

  static constexpr quint32 kCodes = 256;  // X key codes are one byte
  static constexpr int kKept = 8;         // repeats not yet seen by the key filter
  struct TRepeat {
    quint32 code = 0;
    quint64 time = 0;
  };
  quint32 releaseTime_[kCodes] = {};
  bool released_[kCodes] = {};
  TRepeat repeats_[kKept];
  unsigned next_ = 0;
  // Each key that went down by itself (not as a repeat), and the count of
  // keyboard window changes at the time.
  std::map<int, quint64> held_;
  QPointer<QWindow> keyboardWindow_;
  quint64 windowChanges_ = 0;
};

// Widens each message box as it is shown: Qt sizes one by its text and
// buttons only, and a window manager then cuts the title to what fits.
class TMessageBoxSizing : public QObject {
public:
  explicit TMessageBoxSizing(QObject *parent) : QObject(parent) {}

  bool eventFilter(QObject *object, QEvent *event) override {
    if (event->type() == QEvent::Show)
      if (auto *box = qobject_cast<QMessageBox *>(object)) Widen(*box);
    return false;
  }

private:
  static void Widen(QMessageBox &box) {
    auto *grid = qobject_cast<QGridLayout *>(box.layout());
    if (!grid) return;
    const QMargins margins = grid->contentsMargins();
    const int width = MessageBoxWidthForTitle(box.windowTitle()) - margins.left() - margins.right();
    // The box sizes itself from its layout whenever it is shown, and builds
    // the layout anew when its texts change: a strut in the layout holds in
    // both cases, where a minimum width on the box would be overwritten.
    for (int i = 0; i < grid->count(); ++i)
      if (QSpacerItem *strut = grid->itemAt(i)->spacerItem(); strut && strut->sizeHint() == QSize(width, 0)) return;
    grid->addItem(new QSpacerItem(width, 0, QSizePolicy::Minimum, QSizePolicy::Fixed), grid->rowCount(), 0, 1,
                  std::max(1, grid->columnCount()));
  }
};

QPointer<TMessageBoxSizing> &TheMessageBoxSizing() {
  static QPointer<TMessageBoxSizing> sizing;
  return sizing;
}

QPointer<TKeyboardGuard> &TheKeyboardGuard() {
  static QPointer<TKeyboardGuard> guard;
  return guard;
}

}  // namespace

TApplication::TApplication(int &argc, char **argv) : QApplication(argc, argv) {
  InstallFontSubstitutes();
  InstallKeyboardGuard();
  InstallMessageBoxSizing();
}

void InstallMessageBoxSizing() {
  QCoreApplication *app = QCoreApplication::instance();
  if (!app || TheMessageBoxSizing()) return;
  auto *sizing = new TMessageBoxSizing(app);
  app->installEventFilter(sizing);
  TheMessageBoxSizing() = sizing;
}

int MessageBoxWidthForTitle(const QString &title) {
  // Title bars use a larger, bold face than the windows, and put the window's
  // icon and its buttons beside the title: room for those is reckoned
  // generously, as it is the window manager's and unknown here.
  QFont font = QApplication::font();
  font.setFamily(QStringLiteral("Sans Serif"));
  font.setPointSize(11);
  font.setBold(true);
  constexpr int kTitleBarFurniture = 140;
  return QFontMetrics(font).horizontalAdvance(title) + kTitleBarFurniture;
}

bool InstallQtTranslations() {
  static QPointer<QTranslator> installed;
  if (installed) return true;
  if (!QCoreApplication::instance()) return false;
  auto *translator = new QTranslator(QCoreApplication::instance());
  if (!translator->load(QStringLiteral("qtbase_es"), QLibraryInfo::path(QLibraryInfo::TranslationsPath))) {
    delete translator;
    return false;
  }
  QCoreApplication::installTranslator(translator);
  installed = translator;
  return true;
}

void InstallKeyboardGuard() {
  QCoreApplication *app = QCoreApplication::instance();
  if (!app || TheKeyboardGuard()) return;
  auto *guard = new TKeyboardGuard(app);
  app->installEventFilter(guard);
  app->installNativeEventFilter(guard);
  TheKeyboardGuard() = guard;
}

bool KeyboardMayReach(const QWindow *window) {
  const QWindow *modal = QGuiApplication::modalWindow();
  if (!modal || !window) return true;
  if (window->type() == Qt::Popup || window->type() == Qt::ToolTip) return true;
  for (const QWindow *w = window; w; w = w->transientParent())
    if (w == modal) return true;
  return false;
}

void InstallFontSubstitutes() {
  // The windows ask for the classic Windows faces; on Linux the metric twin
  // of Arial is the closest match for all of them (fontconfig alone would pick
  // a much wider face for "MS Sans Serif" and "System").
  const QStringList twins{"Liberation Sans", "Arimo", "Arial"};
  QFont::insertSubstitutions("MS Sans Serif", twins);
  QFont::insertSubstitutions("System", twins);
  QFont::insertSubstitutions("Arial", {"Liberation Sans", "Arimo"});
  // A window or control that names no font takes the application's, which is
  // the desktop's ("Sans Serif", DejaVu Sans here) and a quarter wider than
  // the forms' faces; so would every control under a style sheet, which
  // drops the font it inherited. The forms' own default is MS Sans Serif 8 pt.
  QApplication::setFont(FormFont("MS Sans Serif", 8));
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

namespace {
void ShowMessage(QMessageBox::Icon icon, const std::string &message) {
  const std::string title = ApplicationTitle();
  if (Presenter()) {
    Presenter()(title, message);
    return;
  }
  QMessageBox box(icon, QString::fromStdString(title), QString::fromStdString(message), QMessageBox::Ok);
  box.exec();
}
}  // namespace

void ShowException(const std::exception &e) { ShowMessage(QMessageBox::Critical, e.what()); }

void ShowWarning(const std::string &message) { ShowMessage(QMessageBox::Warning, message); }

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
