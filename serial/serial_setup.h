#pragma once

// The port setup dialog: six drop-down lists, each bound to one setting of a
// port, written into the port only when the dialog is closed with OK.

#include "serial/serial_port.h"

#include <QComboBox>
#include <QDialog>

#include <functional>
#include <string>
#include <vector>

class QGroupBox;
class QLabel;
class QPushButton;

// Which setting a list edits.
enum TSerialProperty : int { cpNone = 0, cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl };

// The logic behind one list: what it offers, which item stands for the
// port's current value, and the value the user chose. It works on the
// combo's own items (shared, not owned).
class TSerialSelect {
public:
  explicit TSerialSelect(QComboBox &items);
  TSerialSelect(const TSerialSelect &) = delete;
  TSerialSelect &operator=(const TSerialSelect &) = delete;

  // Binding a port selects its current value (ReadFromPort); nullptr unbinds.
  TCustomSerialPort *SerialPort() const { return port_; }
  void SetSerialPort(TCustomSerialPort *port);
  // The bound port has gone: forget it without touching it.
  void ForgetPort() { port_ = nullptr; }

  // Setting another property refills the list.
  TSerialProperty SerialProperty() const { return property_; }
  void SetSerialProperty(TSerialProperty v);

  bool AutoApply() const { return autoApply_; }
  void SetAutoApply(bool v) { autoApply_ = v; }

  // Clears the list and adds the items of the property (the port list for
  // cpPort, which may raise code 23); then selects the first item when no
  // port is bound, or the port's current value when one is.
  void FillList();
  // The user picked an item: remember its value; with AutoApply write it
  // into the port at once.
  void TakeSelection();
  // Writes the remembered value through the port's setter (an unchanged value
  // does nothing). An empty remembered port name leaves Port as it is.
  void ApplyToPort();
  // Selects the item that stands for the port's current value and remembers
  // that item's value: the item spelled exactly so, else (for a "COMn" port
  // name) the device path it stands for, else the one item that reads the
  // same ignoring case (for a port name on Windows only: device paths
  // elsewhere differ by case). When no item matches, or several do once case
  // is ignored, nothing is selected and the remembered value stays.
  void ReadFromPort();

  // Remembered values, one per kind.
  const std::string &PortName() const { return portName_; }
  TBaudRate BaudRate() const { return baudRate_; }
  TDataBits DataBits() const { return dataBits_; }
  TStopBits StopBits() const { return stopBits_; }
  TParityBits Parity() const { return parity_; }
  TFlowControl FlowControl() const { return flowControl_; }

  // Where the port list comes from: ListPorts unless replaced (tests).
  static std::function<void(std::vector<std::string> &)> PortLister;

private:
  std::string CurrentText() const;  // the port's value as list text
  void Remember(const std::string &text);

  QComboBox &items_;
  TCustomSerialPort *port_ = nullptr;
  TSerialProperty property_ = cpNone;
  bool autoApply_ = false;
  std::string portName_;
  TBaudRate baudRate_ = brCustom;
  TDataBits dataBits_ = dbFive;
  TStopBits stopBits_ = sbOneStopBit;
  TParityBits parity_ = prNone;
  TFlowControl flowControl_ = fcHardware;
};

// A drop-down list (no free text) bound to one setting of a port.
class TSerialComboBox : public QComboBox {
public:
  explicit TSerialComboBox(QWidget *parent = nullptr);
  ~TSerialComboBox() override;

  // Not owned. The combo is told when the port is destroyed: it forgets it
  // and selects its first item.
  TCustomSerialPort *SerialPort() const { return select_.SerialPort(); }
  void SetSerialPort(TCustomSerialPort *port);
  TSerialProperty SerialProperty() const { return select_.SerialProperty(); }
  void SetSerialProperty(TSerialProperty v) { select_.SetSerialProperty(v); }
  bool AutoApply() const { return select_.AutoApply(); }
  void SetAutoApply(bool v) { select_.SetAutoApply(v); }

  // The selected item's text, empty when nothing is selected. Writing
  // selects the item with exactly that text, else the one item that reads
  // the same ignoring case (not for port names but on Windows), and
  // otherwise does nothing; it is not a choice of the user.
  QString Text() const;
  void SetText(const QString &text);

  void ApplySetting() { select_.ApplyToPort(); }
  void ReadSetting() { select_.ReadFromPort(); }

  // What a user's pick does: select the item, take it, tell OnChange.
  void PickItem(int index);

  TSerialSelect &Select() { return select_; }
  const TSerialSelect &Select() const { return select_; }

  // After the user's choice was taken.
  std::function<void(TSerialComboBox *sender)> OnChange;

private:
  void Unbind();
  void UserPicked();
  TSerialSelect select_;
  int freeNotification_ = -1;
};

// The dialog itself. Built without a modal loop so it can be driven from
// code: construct, Bind, change the combos, ApplyChoice.
class TSerialSetupFrm : public QDialog {
public:
  // Fills the lists; raises code 23 when the ports cannot be listed.
  TSerialSetupFrm();

  // Binds the six combos to port, in order, then reads the port's settings
  // into them once more.
  void Bind(TCustomSerialPort &port);
  // The OK path: the six remembered values written into the port inside the
  // settings-change bracket, port first. The bracket is closed on every
  // path; a failure (a new port that cannot be opened) reaches the caller.
  void ApplyChoice(TCustomSerialPort &port);

  QGroupBox *GroupBox1 = nullptr;
  QLabel *Label1 = nullptr, *Label2 = nullptr, *Label3 = nullptr, *Label4 = nullptr, *Label5 = nullptr,
         *Label6 = nullptr;
  TSerialComboBox *Combo1 = nullptr, *Combo2 = nullptr, *Combo3 = nullptr, *Combo4 = nullptr, *Combo5 = nullptr,
                  *Combo6 = nullptr;
  QPushButton *Button1 = nullptr, *Button2 = nullptr;

  TSerialComboBox *Combo(int n) const;  // 1..6
};

// Shows the dialog modally for port and applies the choice on OK; true when
// the user pressed OK.
bool ShowSerialSetup(TCustomSerialPort &port);

// Makes ShowSetup of every port use this dialog. Call once at start-up.
void RegisterSerialSetupDialog();
