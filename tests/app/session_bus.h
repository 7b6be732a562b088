#pragma once

// A session bus of the test's own (dbus-daemon with a configuration that
// activates nothing, in a temporary folder) and a listener that serves
// org.freedesktop.Notifications on it, recording every call.

#include <QDBusArgument>
#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusVirtualObject>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QTemporaryDir>

#include <memory>
#include <mutex>
#include <vector>

class TestSessionBus {
public:
  TestSessionBus() {
    const QString config = dir_.filePath("bus.conf");
    QFile f(config);
    if (!f.open(QIODevice::WriteOnly)) return;
    f.write(QString("<!DOCTYPE busconfig PUBLIC \"-//freedesktop//DTD D-Bus Bus Configuration 1.0//EN\"\n"
                    " \"http://www.freedesktop.org/standards/dbus/1.0/busconfig.dtd\">\n"
                    "<busconfig><type>session</type><listen>unix:dir=%1</listen><auth>EXTERNAL</auth>"
                    "<policy context=\"default\"><allow send_destination=\"*\" eavesdrop=\"true\"/>"
                    "<allow eavesdrop=\"true\"/><allow own=\"*\"/></policy></busconfig>\n")
                .arg(dir_.path())
                .toUtf8());
    f.close();
    daemon_.setProgram("dbus-daemon");
    daemon_.setArguments({"--config-file=" + config, "--print-address=1", "--nofork", "--nopidfile"});
    daemon_.start();
    if (!daemon_.waitForStarted(5000)) return;
    while (!daemon_.canReadLine() && daemon_.waitForReadyRead(5000)) {
    }
    address_ = QString::fromUtf8(daemon_.readLine()).trimmed();
  }
  ~TestSessionBus() {
    if (daemon_.state() != QProcess::NotRunning) {
      daemon_.terminate();
      if (!daemon_.waitForFinished(3000)) daemon_.kill();
      daemon_.waitForFinished(3000);
    }
  }
  // Empty when dbus-daemon could not be started.
  const QString &Address() const { return address_; }

private:
  QTemporaryDir dir_;
  QProcess daemon_;
  QString address_;
};

class NotificationListener : public QDBusVirtualObject {
public:
  struct TCall {
    QString AppName, Summary, Body;
    int Urgency = -1;
  };
  // False when the bus would not take the name.
  bool Serve(const QString &address) {
    bus_ = std::make_unique<QDBusConnection>(QDBusConnection::connectToBus(address, "test-notificaciones"));
    return bus_->isConnected() && bus_->registerService("org.freedesktop.Notifications") &&
           bus_->registerVirtualObject("/org/freedesktop/Notifications", this);
  }
  ~NotificationListener() override {
    if (bus_) {
      bus_->unregisterObject("/org/freedesktop/Notifications");
      bus_.reset();
      QDBusConnection::disconnectFromBus("test-notificaciones");
    }
  }
  QString introspect(const QString &) const override { return QString(); }
  bool handleMessage(const QDBusMessage &message, const QDBusConnection &connection) override {
    if (message.member() != "Notify" || message.arguments().size() != 8) return false;
    const QList<QVariant> a = message.arguments();
    TCall call;
    call.AppName = a[0].toString();
    call.Summary = a[3].toString();
    call.Body = a[4].toString();
    const QVariantMap hints = qdbus_cast<QVariantMap>(a[6]);
    if (hints.contains("urgency")) call.Urgency = hints.value("urgency").toInt();
    uint id = 0;
    {
      // Called on the bus's own thread.
      const std::lock_guard<std::mutex> lock(mutex_);
      calls_.push_back(call);
      id = static_cast<uint>(calls_.size());
    }
    connection.send(message.createReply(QVariant::fromValue(id)));
    return true;
  }
  std::vector<TCall> Calls() const {
    const std::lock_guard<std::mutex> lock(mutex_);
    return calls_;
  }

private:
  mutable std::mutex mutex_;
  std::vector<TCall> calls_;
  std::unique_ptr<QDBusConnection> bus_;
};
