#include "serial/serial_setup.h"

#include "runtime/form_font.h"
#include "serial/port_list.h"

#include <QGroupBox>
#include <QLabel>
#include <QPushButton>

namespace {

const char *const kBaudItems[] = {"Custom", "110",   "300",   "600",   "1200",  "2400",   "4800",   "9600",
                                  "14400",  "19200", "38400", "56000", "57600", "115200", "128000", "256000"};
const char *const kDataItems[] = {"5", "6", "7", "8"};
const char *const kStopItems[] = {"1", "1.5", "2"};
const char *const kParityItems[] = {"None", "Odd", "Even", "Mark", "Space"};
const char *const kFlowItems[] = {"Hardware", "Software", "None", "Custom"};

template <std::size_t N>
void AddAll(QComboBox &combo, const char *const (&items)[N]) {
  for (const char *item : items) combo.addItem(QString::fromLatin1(item));
}

int FindExactly(const QComboBox &combo, const QString &text) {
  for (int i = 0; i < combo.count(); ++i)
    if (combo.itemText(i) == text) return i;
  return -1;
}

// Windows port names are the same name in any case ("com1" is COM1); device
// paths here are not (/dev/ttyv0 and /dev/ttyV0 are two devices, and the
// one a port names may just be unplugged), so a port name only ever matches
// as it is spelled.
#ifdef _WIN32
constexpr bool kPortNamesIgnoreCase = true;
#else
constexpr bool kPortNamesIgnoreCase = false;
#endif

bool MayIgnoreCase(TSerialProperty property) { return property != cpPort || kPortNamesIgnoreCase; }

// The one item that reads like text when case is ignored ("custom" for
// "Custom", "com1" for "COM1" on Windows). When two read like text, which
// one is meant cannot be told and neither is taken.
int FindIgnoringCase(const QComboBox &combo, const QString &text) {
  int found = -1;
  for (int i = 0; i < combo.count(); ++i) {
    if (combo.itemText(i).compare(text, Qt::CaseInsensitive) != 0) continue;
    if (found >= 0) return -1;
    found = i;
  }
  return found;
}

// The item spelled as text, else, where the list's names allow it, the one
// that reads like it ignoring case.
int FindItem(const QComboBox &combo, TSerialProperty property, const QString &text) {
  const int exact = FindExactly(combo, text);
  return exact >= 0 || !MayIgnoreCase(property) ? exact : FindIgnoringCase(combo, text);
}

}  // namespace

// ---------------------------------------------------------------------------
// TSerialSelect

std::function<void(std::vector<std::string> &)> TSerialSelect::PortLister = [](std::vector<std::string> &ports) {
  ListPorts(ports);
};

TSerialSelect::TSerialSelect(QComboBox &items) : items_(items) {}

void TSerialSelect::SetSerialPort(TCustomSerialPort *port) {
  port_ = port;
  if (port_) ReadFromPort();
}

void TSerialSelect::SetSerialProperty(TSerialProperty v) {
  if (property_ == v) return;
  property_ = v;
  FillList();
}

void TSerialSelect::FillList() {
  // The port list is read before the old items go, so a failure to list
  // leaves the combo as it was.
  std::vector<std::string> ports;
  if (property_ == cpPort && PortLister) PortLister(ports);
  items_.clear();
  switch (property_) {
    case cpNone: break;
    case cpPort:
      for (const std::string &name : ports) items_.addItem(QString::fromStdString(name));
      break;
    case cpBaudRate: AddAll(items_, kBaudItems); break;
    case cpDataBits: AddAll(items_, kDataItems); break;
    case cpStopBits: AddAll(items_, kStopItems); break;
    case cpParity: AddAll(items_, kParityItems); break;
    case cpFlowControl: AddAll(items_, kFlowItems); break;
  }
  if (items_.count() == 0) return;
  if (port_) ReadFromPort();
  else items_.setCurrentIndex(0);
}

std::string TSerialSelect::CurrentText() const {
  switch (property_) {
    case cpNone: return {};
    case cpPort: return port_->Port();
    case cpBaudRate: return BaudRateToText(port_->BaudRate());
    case cpDataBits: return DataBitsToText(port_->DataBits());
    case cpStopBits: return StopBitsToText(port_->StopBits());
    case cpParity: return ParityToText(port_->Parity().Bits());
    case cpFlowControl: return FlowControlToText(port_->FlowControl().FlowControl());
  }
  return {};
}

void TSerialSelect::Remember(const std::string &text) {
  switch (property_) {
    case cpNone: break;
    case cpPort: portName_ = text; break;
    case cpBaudRate: baudRate_ = TextToBaudRate(text); break;
    case cpDataBits: dataBits_ = TextToDataBits(text); break;
    case cpStopBits: stopBits_ = TextToStopBits(text); break;
    case cpParity: parity_ = TextToParity(text); break;
    case cpFlowControl: flowControl_ = TextToFlowControl(text); break;
  }
}

void TSerialSelect::ReadFromPort() {
  if (!port_ || property_ == cpNone) return;
  const QString text = QString::fromStdString(CurrentText());
  int index = FindExactly(items_, text);
  // The list holds device paths; a port still called by its "COMn" name
  // shows as the device that name stands for. Only then is case ignored
  // (never for a port name but on Windows): the port's own spelling, or the
  // device it opens, must win over a name that merely looks alike, or OK
  // without a change would move to another device.
  if (index < 0 && property_ == cpPort) {
    const std::string device = DevicePathOf(port_->Port());
    if (device != port_->Port()) index = FindExactly(items_, QString::fromStdString(device));
  }
  if (index < 0 && MayIgnoreCase(property_)) index = FindIgnoringCase(items_, text);
  items_.setCurrentIndex(index);
  // The item's own spelling is what gets remembered ("COM1" for a port held
  // as "com1").
  if (index >= 0) Remember(items_.itemText(index).toStdString());
}

void TSerialSelect::TakeSelection() {
  const int index = items_.currentIndex();
  Remember(index >= 0 ? items_.itemText(index).toStdString() : std::string());
  if (autoApply_) ApplyToPort();
}

void TSerialSelect::ApplyToPort() {
  if (!port_) return;
  switch (property_) {
    case cpNone: break;
    case cpPort:
      // Nothing chosen (the port's name is not among the listed ones): the
      // port keeps its name rather than being handed an empty one.
      if (!portName_.empty()) port_->SetPort(portName_);
      break;
    case cpBaudRate: port_->SetBaudRate(baudRate_); break;
    case cpDataBits: port_->SetDataBits(dataBits_); break;
    case cpStopBits: port_->SetStopBits(stopBits_); break;
    case cpParity: port_->Parity().SetBits(parity_); break;
    case cpFlowControl: port_->FlowControl().SetFlowControl(flowControl_); break;
  }
}

// ---------------------------------------------------------------------------
// TSerialComboBox

TSerialComboBox::TSerialComboBox(QWidget *parent) : QComboBox(parent), select_(*this) {
  setEditable(false);  // a list to choose from, never free text
  QObject::connect(this, QOverload<int>::of(&QComboBox::activated), this, [this](int) { UserPicked(); });
}

TSerialComboBox::~TSerialComboBox() { Unbind(); }

void TSerialComboBox::Unbind() {
  if (select_.SerialPort() && freeNotification_ >= 0) select_.SerialPort()->RemoveFreeNotification(freeNotification_);
  freeNotification_ = -1;
}

void TSerialComboBox::SetSerialPort(TCustomSerialPort *port) {
  if (port == select_.SerialPort()) {
    if (port) select_.ReadFromPort();
    return;
  }
  Unbind();
  if (port)
    freeNotification_ = port->AddFreeNotification([this](TCustomSerialPort *) {
      freeNotification_ = -1;
      select_.ForgetPort();
      if (count() > 0) setCurrentIndex(0);
    });
  select_.SetSerialPort(port);
}

QString TSerialComboBox::Text() const { return currentIndex() >= 0 ? itemText(currentIndex()) : QString(); }

void TSerialComboBox::SetText(const QString &text) {
  const int index = FindItem(*this, select_.SerialProperty(), text);
  if (index >= 0) setCurrentIndex(index);
}

void TSerialComboBox::PickItem(int index) {
  if (index < -1 || index >= count()) return;
  setCurrentIndex(index);
  UserPicked();
}

void TSerialComboBox::UserPicked() {
  select_.TakeSelection();
  if (OnChange) OnChange(this);
}

// ---------------------------------------------------------------------------
// TSerialSetupFrm

TSerialSetupFrm::TSerialSetupFrm() : QDialog(nullptr) {
  setObjectName(QStringLiteral("SerialSetupFrm"));
  setWindowTitle(QStringLiteral("Setup"));
  setWindowFlags(Qt::Dialog | Qt::MSWindowsFixedSizeDialogHint | Qt::WindowTitleHint | Qt::WindowCloseButtonHint);
  setFont(FormFont("MS Sans Serif", 8));
  setFixedSize(231, 216);

  GroupBox1 = new QGroupBox(QStringLiteral(" Settings "), this);
  GroupBox1->setObjectName(QStringLiteral("GroupBox1"));
  GroupBox1->setGeometry(8, 8, 217, 169);

  struct Row {
    const char *caption;
    TSerialProperty property;
  };
  const Row rows[6] = {{"Port", cpPort},          {"Baud rate", cpBaudRate}, {"Data bits", cpDataBits},
                       {"Stop bits", cpStopBits}, {"Parity", cpParity},      {"Flow control", cpFlowControl}};
  QLabel **labels[6] = {&Label1, &Label2, &Label3, &Label4, &Label5, &Label6};
  TSerialComboBox **combos[6] = {&Combo1, &Combo2, &Combo3, &Combo4, &Combo5, &Combo6};
  for (int i = 0; i < 6; ++i) {
    auto *label = new QLabel(QString::fromLatin1(rows[i].caption), GroupBox1);
    label->setObjectName(QStringLiteral("Label%1").arg(i + 1));
    label->move(8, 24 + 24 * i);
    label->adjustSize();
    *labels[i] = label;
    auto *combo = new TSerialComboBox(GroupBox1);
    combo->setObjectName(QStringLiteral("Combo%1").arg(i + 1));
    combo->setGeometry(80, 16 + 24 * i, 129, 21);
    combo->SetAutoApply(false);
    *combos[i] = combo;
  }
  // Filling may fail (the ports cannot be listed); the dialog is then never
  // shown and its widgets go with it.
  for (int i = 0; i < 6; ++i) (*combos[i])->SetSerialProperty(rows[i].property);

  Button1 = new QPushButton(QStringLiteral("OK"), this);
  Button1->setObjectName(QStringLiteral("Button1"));
  Button1->setGeometry(70, 184, 75, 25);
  Button1->setDefault(true);
  Button1->setAutoDefault(true);
  Button2 = new QPushButton(QStringLiteral("Cancel"), this);
  Button2->setObjectName(QStringLiteral("Button2"));
  Button2->setGeometry(150, 184, 75, 25);
  QObject::connect(Button1, &QPushButton::clicked, this, &QDialog::accept);
  QObject::connect(Button2, &QPushButton::clicked, this, &QDialog::reject);

  // Group box (its six combos in order), then OK, then Cancel.
  setTabOrder(Combo1, Combo2);
  setTabOrder(Combo2, Combo3);
  setTabOrder(Combo3, Combo4);
  setTabOrder(Combo4, Combo5);
  setTabOrder(Combo5, Combo6);
  setTabOrder(Combo6, Button1);
  setTabOrder(Button1, Button2);
  Combo1->setFocus();
}

TSerialComboBox *TSerialSetupFrm::Combo(int n) const {
  switch (n) {
    case 1: return Combo1;
    case 2: return Combo2;
    case 3: return Combo3;
    case 4: return Combo4;
    case 5: return Combo5;
    case 6: return Combo6;
    default: return nullptr;
  }
}

void TSerialSetupFrm::Bind(TCustomSerialPort &port) {
  for (int n = 1; n <= 6; ++n) Combo(n)->SetSerialPort(&port);
  for (int n = 1; n <= 6; ++n) Combo(n)->ReadSetting();
}

void TSerialSetupFrm::ApplyChoice(TCustomSerialPort &port) {
  // A changed port name re-opens the device at once (while open); the
  // bracket holds the rest back so the new device gets everything together.
  port.ChangeSettings([this] {
    for (int n = 1; n <= 6; ++n) Combo(n)->ApplySetting();
  });
}

bool ShowSerialSetup(TCustomSerialPort &port) {
  TSerialSetupFrm dialog;
  dialog.Bind(port);
  if (dialog.exec() != QDialog::Accepted) return false;
  dialog.ApplyChoice(port);
  return true;
}

void RegisterSerialSetupDialog() { TCustomSerialPort::SetupDialog = ShowSerialSetup; }
