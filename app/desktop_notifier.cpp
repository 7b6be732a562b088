#include "app/desktop_notifier.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QStringList>
#include <QVariantMap>

#include <sys/stat.h>

#include <cstdlib>
#include <utility>

namespace {

// Notifications that wait while the bus does not answer; older ones go
// first, an alarm's latest news being what counts.
constexpr std::size_t kMostWaiting = 64;

}  // namespace

std::string SessionBusAddress() {
  if (const char *address = std::getenv("DBUS_SESSION_BUS_ADDRESS"); address && *address) return address;
  // Where systemd's user session keeps the bus, for a program started
  // without the variable (a desktop file, a terminal without the session's
  // environment).
  if (const char *runtime = std::getenv("XDG_RUNTIME_DIR"); runtime && runtime[0] == '/') {
    const std::string path = std::string(runtime) + "/bus";
    struct stat st {};
    if (stat(path.c_str(), &st) == 0 && S_ISSOCK(st.st_mode)) return "unix:path=" + path;
  }
  return std::string();
}

TDesktopNotifier::TDesktopNotifier(std::string busAddress) : address_(std::move(busAddress)) {}

TDesktopNotifier::~TDesktopNotifier() {
  {
    const std::lock_guard<std::mutex> lock(mutex_);
    stop_ = true;
  }
  wake_.notify_all();
  if (thread_.joinable()) thread_.join();
}

void TDesktopNotifier::Notify(const QString &summary, const QString &body, TUrgency urgency) {
  const std::lock_guard<std::mutex> lock(mutex_);
  if (address_.empty()) {
    ++dropped_;
    return;
  }
  if (notes_.size() >= kMostWaiting) {
    notes_.pop_front();
    ++dropped_;
  }
  notes_.push_back(TNote{summary, body, urgency});
  // The thread only once there is something to say: most runs never alarm.
  if (!thread_.joinable()) thread_ = std::thread([this] { Run(); });
  wake_.notify_all();
}

std::int64_t TDesktopNotifier::Sent() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return sent_;
}

std::int64_t TDesktopNotifier::Dropped() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return dropped_;
}

bool TDesktopNotifier::Idle() const {
  const std::lock_guard<std::mutex> lock(mutex_);
  return notes_.empty() && !busy_;
}

void TDesktopNotifier::Run() {
  const QString name = QString("talvex-avisos-%1").arg(reinterpret_cast<quintptr>(this), 0, 16);
  std::unique_lock<std::mutex> lock(mutex_);
  for (;;) {
    wake_.wait(lock, [this] { return stop_ || !notes_.empty(); });
    if (stop_) break;
    const TNote note = notes_.front();
    notes_.pop_front();
    busy_ = true;
    lock.unlock();
    // Connected on this thread, and afresh after a bus that went away or
    // never was: the user may log in to a desktop after the program started.
    QDBusConnection bus = QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    if (!bus.isConnected()) {
      QDBusConnection::disconnectFromBus(name);
      bus = QDBusConnection::connectToBus(QString::fromStdString(address_), name);
    }
    const bool connected = bus.isConnected();
    bool sent = false;
    if (connected) {
      QDBusMessage call = QDBusMessage::createMethodCall(
          "org.freedesktop.Notifications", "/org/freedesktop/Notifications", "org.freedesktop.Notifications", "Notify");
      QVariantMap hints;
      hints.insert("urgency", QVariant::fromValue(static_cast<uchar>(note.Urgency)));
      hints.insert("category", QString("device"));
      call << QString("TALVEX") << 0u << QString("dialog-warning") << note.Summary << note.Body << QStringList()
           << hints << -1;
      // Sent, not called: the answer (or the error of a bus where nobody
      // serves notifications) is never waited for.
      sent = bus.send(call);
    }
    lock.lock();
    busy_ = false;
    ++(sent ? sent_ : dropped_);
  }
  lock.unlock();
  QDBusConnection::disconnectFromBus(name);
}
