// The setup dialog the port falls back on while no richer one has registered
// itself: the device path, typed or picked from the terminals present.

#include "serial/serial_port.h"

#ifdef _WIN32
#include "serial/port_list.h"
#endif

#include <QComboBox>
#include <QDialog>
#include <QDialogButtonBox>
#include <QDir>
#include <QFormLayout>
#include <QLineEdit>
#include <QPushButton>

void TCustomSerialPort::ShowDefaultSetup() {
  QDialog dialog;
  dialog.setWindowTitle(QStringLiteral("Setup"));
  auto *layout = new QFormLayout(&dialog);
  auto *combo = new QComboBox(&dialog);
  combo->setEditable(true);
  combo->setInsertPolicy(QComboBox::NoInsert);
  combo->setObjectName(QStringLiteral("Combo1"));
#ifdef _WIN32
  // COM names from the system's serial map.
  std::vector<std::string> ports;
  ListPorts(ports);
  for (const std::string &name : ports) combo->addItem(QString::fromStdString(name));
#else
  const QStringList devices =
      QDir(QStringLiteral("/dev"))
          .entryList({QStringLiteral("ttyUSB*"), QStringLiteral("ttyACM*"), QStringLiteral("ttyS*")},
                     QDir::System | QDir::Files | QDir::Readable | QDir::Writable, QDir::Name | QDir::IgnoreCase);
  for (const QString &name : devices) combo->addItem(QStringLiteral("/dev/") + name);
#endif
  combo->setCurrentText(QString::fromStdString(Port()));
  layout->addRow(QStringLiteral("Port"), combo);
  auto *buttons = new QDialogButtonBox(QDialogButtonBox::Ok | QDialogButtonBox::Cancel, &dialog);
  buttons->button(QDialogButtonBox::Ok)->setText(QStringLiteral("OK"));
  buttons->button(QDialogButtonBox::Cancel)->setText(QStringLiteral("Cancel"));
  QObject::connect(buttons, &QDialogButtonBox::accepted, &dialog, &QDialog::accept);
  QObject::connect(buttons, &QDialogButtonBox::rejected, &dialog, &QDialog::reject);
  layout->addRow(buttons);
  if (dialog.exec() != QDialog::Accepted) return;
  const std::string chosen = combo->currentText().trimmed().toStdString();
  // Nothing typed: keep the port as it was rather than storing an empty name.
  if (chosen.empty()) return;
  ChangeSettings([&] { SetPort(chosen); });
}
