#include "serial/port_list.h"
#include "serial/serial_setup.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QGroupBox>
#include <QLabel>
#include <QPushButton>
#include <QTest>
#include <QTimer>

#include <cstdlib>
#include <memory>

namespace {

// A port that counts how often the whole set of settings reaches the device.
class CountingPort : public TSerialPort {
public:
  int applies = 0;

protected:
  void ApplySettings() override {
    if (Connected() && SettingsChangeCount() == 0) ++applies;
    TSerialPort::ApplySettings();
  }
};

QStringList Items(const QComboBox &c) {
  QStringList out;
  for (int i = 0; i < c.count(); ++i) out << c.itemText(i);
  return out;
}

// Port names are one name in any case on Windows only; device paths
// elsewhere differ by case.
#ifdef _WIN32
constexpr bool kPortNamesIgnoreCase = true;
#else
constexpr bool kPortNamesIgnoreCase = false;
#endif

// The machine's ports, as the tests want them.
class SetupDialog : public ::testing::Test {
protected:
  void SetUp() override {
    saved_ = TSerialSelect::PortLister;
    SetPorts({"COM2", "COM10", "COM1", "DEMO"});
  }
  void TearDown() override { TSerialSelect::PortLister = saved_; }
  void SetPorts(const std::vector<std::string> &ports) {
    TSerialSelect::PortLister = [ports](std::vector<std::string> &out) {
      out = ports;
      SortPortNames(out);
    };
  }
  // Runs action on the modal dialog once it is up.
  static void WhenShown(const std::function<void(TSerialSetupFrm &)> &action) {
    QTimer::singleShot(0, [action] {
      auto *dialog = dynamic_cast<TSerialSetupFrm *>(QApplication::activeModalWidget());
      ASSERT_NE(dialog, nullptr);
      action(*dialog);
    });
  }

  std::function<void(std::vector<std::string> &)> saved_;
};

}  // namespace

TEST_F(SetupDialog, LayoutCaptionsAndTabOrder) {
  TSerialSetupFrm f;
  EXPECT_EQ(f.windowTitle(), "Setup");
  EXPECT_EQ(f.size(), QSize(231, 216));
  EXPECT_EQ(f.minimumSize(), f.maximumSize());
  EXPECT_EQ(f.font().family(), "MS Sans Serif");
  EXPECT_EQ(f.font().pixelSize(), 11);
  EXPECT_EQ(f.parent(), nullptr);
  EXPECT_EQ(f.GroupBox1->title(), " Settings ");
  EXPECT_EQ(f.GroupBox1->geometry(), QRect(8, 8, 217, 169));

  const char *captions[] = {"Port", "Baud rate", "Data bits", "Stop bits", "Parity", "Flow control"};
  const TSerialProperty props[] = {cpPort, cpBaudRate, cpDataBits, cpStopBits, cpParity, cpFlowControl};
  QLabel *labels[] = {f.Label1, f.Label2, f.Label3, f.Label4, f.Label5, f.Label6};
  for (int i = 0; i < 6; ++i) {
    TSerialComboBox *c = f.Combo(i + 1);
    EXPECT_EQ(labels[i]->text(), captions[i]);
    EXPECT_EQ(labels[i]->parentWidget(), f.GroupBox1);
    EXPECT_EQ(labels[i]->pos(), QPoint(8, 24 + 24 * i));
    EXPECT_EQ(c->parentWidget(), f.GroupBox1);
    EXPECT_EQ(c->geometry(), QRect(80, 16 + 24 * i, 129, 21));
    EXPECT_EQ(c->SerialProperty(), props[i]);
    EXPECT_FALSE(c->AutoApply());
    EXPECT_FALSE(c->isEditable());
    EXPECT_EQ(c->currentIndex(), 0) << "an unbound list shows its first item";
  }
  EXPECT_EQ(f.Button1->text(), "OK");
  EXPECT_EQ(f.Button1->geometry(), QRect(70, 184, 75, 25));
  EXPECT_TRUE(f.Button1->isDefault());
  EXPECT_EQ(f.Button2->text(), "Cancel");
  EXPECT_EQ(f.Button2->geometry(), QRect(150, 184, 75, 25));

  QWidget *expected[] = {f.Combo1, f.Combo2, f.Combo3, f.Combo4, f.Combo5, f.Combo6, f.Button1, f.Button2};
  for (int i = 0; i + 1 < 8; ++i) {
    QWidget *next = expected[i]->nextInFocusChain();
    while (next && next->focusPolicy() == Qt::NoFocus) next = next->nextInFocusChain();
    EXPECT_EQ(next, expected[i + 1]) << "after " << expected[i]->objectName().toStdString();
  }

  // Rendered: the group box frame and the texts leave the face uneven.
  const QImage shot = f.grab().toImage();
  EXPECT_EQ(shot.size(), QSize(231, 216));
  QSet<QRgb> colours;
  for (int y = 0; y < shot.height(); y += 3)
    for (int x = 0; x < shot.width(); x += 3) colours.insert(shot.pixel(x, y));
  EXPECT_GT(colours.size(), 3);
  if (const char *dir = std::getenv("TALVEX_SHOTS")) shot.save(QString::fromLocal8Bit(dir) + "/setup_dialog.png");
}

TEST_F(SetupDialog, EachListOffersItsValues) {
  TSerialComboBox c;
  EXPECT_EQ(c.count(), 0);
  c.SetSerialProperty(cpPort);
  EXPECT_EQ(Items(c), QStringList({"COM1", "COM10", "COM2", "DEMO"}));
  c.SetSerialProperty(cpBaudRate);
  EXPECT_EQ(Items(c), QStringList({"Custom", "110", "300", "600", "1200", "2400", "4800", "9600", "14400", "19200",
                                   "38400", "56000", "57600", "115200", "128000", "256000"}));
  c.SetSerialProperty(cpDataBits);
  EXPECT_EQ(Items(c), QStringList({"5", "6", "7", "8"}));
  c.SetSerialProperty(cpStopBits);
  EXPECT_EQ(Items(c), QStringList({"1", "1.5", "2"}));
  c.SetSerialProperty(cpParity);
  EXPECT_EQ(Items(c), QStringList({"None", "Odd", "Even", "Mark", "Space"}));
  c.SetSerialProperty(cpFlowControl);
  EXPECT_EQ(Items(c), QStringList({"Hardware", "Software", "None", "Custom"}));
  c.SetSerialProperty(cpNone);
  EXPECT_EQ(c.count(), 0);
  EXPECT_EQ(c.Text(), "");
}

TEST_F(SetupDialog, ListsShowThePortsCurrentValues) {
  TSerialPort p;
  p.SetPort(kPortNamesIgnoreCase ? "com10" : "COM10");
  p.SetBaudRate(br115200);
  p.SetDataBits(dbSeven);
  p.SetStopBits(sbOne5StopBits);
  p.Parity().SetBits(prMark);
  TSerialSetupFrm f;
  f.Bind(p);
  EXPECT_EQ(f.Combo1->Text(), "COM10");
  EXPECT_EQ(f.Combo1->Select().PortName(), "COM10") << "the listed spelling is remembered";
  EXPECT_EQ(f.Combo2->Text(), "115200");
  EXPECT_EQ(f.Combo3->Text(), "7");
  EXPECT_EQ(f.Combo4->Text(), "1.5");
  EXPECT_EQ(f.Combo5->Text(), "Mark");
  EXPECT_EQ(f.Combo6->Text(), "None");

  p.SetBaudRate(brCustom);
  p.FlowControl().SetControlRTS(rtsEnable);  // as while connected
  f.Combo2->ReadSetting();
  f.Combo6->ReadSetting();
  EXPECT_EQ(f.Combo2->Text(), "Custom");
  EXPECT_EQ(f.Combo6->Text(), "Custom");
  p.FlowControl().SetFlowControl(fcHardware);
  f.Combo6->ReadSetting();
  EXPECT_EQ(f.Combo6->Text(), "Hardware");
}

TEST_F(SetupDialog, ComNameShowsTheDeviceItStandsFor) {
  SetPorts({"/dev/ttyS0", "/dev/ttyS1", "/dev/ttyUSB0", "DEMO"});
  TSerialPort p;
  p.SetPort("com2");
  TSerialSetupFrm f;
  f.Bind(p);
  EXPECT_EQ(f.Combo1->Text(), "/dev/ttyS1");
  f.ApplyChoice(p);
  EXPECT_EQ(p.Port(), "/dev/ttyS1");

  p.SetPort("COM3");  // no ttyS2 here
  f.Combo1->ReadSetting();
  EXPECT_EQ(f.Combo1->currentIndex(), -1);
}

TEST_F(SetupDialog, PortNameMatchesExactlyBeforeIgnoringCase) {
  // Device paths are case-sensitive: two names that differ only in case are
  // two devices, and OK without a change must stay on the one the port has,
  // even when it is not plugged in. Only Windows names ignore case.
  const struct {
    std::vector<std::string> listed;
    const char *port;
    const char *shown;    // selected for the port; "" for none
    const char *written;  // selected by writing the port's name as the text
  } cases[] = {
      {{"/dev/ttyV0", "/dev/ttyv0", "DEMO"}, "/dev/ttyv0", "/dev/ttyv0", "/dev/ttyv0"},
      {{"/dev/ttyV0", "/dev/ttyv0", "DEMO"}, "/dev/ttyV0", "/dev/ttyV0", "/dev/ttyV0"},
      {{"/dev/ttyV0", "/dev/ttyv0", "DEMO"}, "/dev/TTYV0", "", ""},  // two look alike: neither is guessed
      {{"/dev/ttyUSB0", "/dev/ttyusb1"},
       "/dev/TTYUSB1",
       kPortNamesIgnoreCase ? "/dev/ttyusb1" : "",
       kPortNamesIgnoreCase ? "/dev/ttyusb1" : ""},
      {{"/dev/ttyV0", "DEMO"},
       "/dev/ttyv0",
       kPortNamesIgnoreCase ? "/dev/ttyV0" : "",
       kPortNamesIgnoreCase ? "/dev/ttyV0" : ""},
      {{"COM1", "COM10", "COM2"}, "com10", kPortNamesIgnoreCase ? "COM10" : "", kPortNamesIgnoreCase ? "COM10" : ""},
      // The device the name opens comes before a name that only looks alike.
      {{"/dev/ttyS0", "com1"}, "COM1", "/dev/ttyS0", kPortNamesIgnoreCase ? "com1" : ""},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.port);
    SetPorts(c.listed);
    TSerialPort p;
    p.SetPort(c.port);
    TSerialSetupFrm f;
    f.Bind(p);
    EXPECT_EQ(f.Combo1->Text().toStdString(), c.shown);
    f.ApplyChoice(p);
    EXPECT_EQ(p.Port(), *c.shown ? c.shown : c.port);

    f.Combo1->setCurrentIndex(-1);
    f.Combo1->SetText(QString::fromLatin1(c.port));
    EXPECT_EQ(f.Combo1->Text().toStdString(), c.written);
  }
}

TEST_F(SetupDialog, UnlistedPortShowsNoSelectionAndOkKeepsTheName) {
  TSerialPort p;
  p.SetPort("/dev/ttyUSB7");
  TSerialSetupFrm f;
  f.Bind(p);
  EXPECT_EQ(f.Combo1->currentIndex(), -1);
  EXPECT_EQ(f.Combo1->Text(), "");
  EXPECT_EQ(f.Combo1->Select().PortName(), "");
  f.ApplyChoice(p);
  EXPECT_EQ(p.Port(), "/dev/ttyUSB7");
}

TEST_F(SetupDialog, ChoicesReachThePortOnlyOnOk) {
  TSerialPort p;
  TSerialSetupFrm f;
  f.Bind(p);
  f.Combo1->PickItem(f.Combo1->findText("COM2"));
  f.Combo2->PickItem(0);  // "Custom"
  f.Combo3->PickItem(f.Combo3->findText("6"));
  f.Combo4->PickItem(f.Combo4->findText("2"));
  f.Combo5->PickItem(f.Combo5->findText("Odd"));
  f.Combo6->PickItem(f.Combo6->findText("Software"));
  EXPECT_EQ(p.Port(), "COM1");
  EXPECT_EQ(p.BaudRate(), br9600);
  EXPECT_EQ(p.FlowControl().FlowControl(), fcNone);

  f.ApplyChoice(p);
  EXPECT_EQ(p.Port(), "COM2");
  EXPECT_EQ(p.BaudRate(), brCustom);
  EXPECT_EQ(p.DataBits(), dbSix);
  EXPECT_EQ(p.StopBits(), sbTwoStopBits);
  EXPECT_EQ(p.Parity().Bits(), prOdd);
  EXPECT_TRUE(p.FlowControl().XonXoffIn());
  EXPECT_TRUE(p.FlowControl().XonXoffOut());
  EXPECT_EQ(p.SettingsChangeCount(), 0);
}

TEST_F(SetupDialog, FlowControlCustomLeavesTheFieldsNoneClearsThem) {
  TSerialPort p;
  p.FlowControl().SetControlRTS(rtsEnable);
  p.FlowControl().SetXonXoffIn(true);
  p.FlowControl().SetOutDSRFlow(true);
  TSerialSetupFrm f;
  f.Bind(p);
  ASSERT_EQ(f.Combo6->Text(), "Custom");
  f.Combo6->PickItem(f.Combo6->findText("Custom"));
  f.ApplyChoice(p);
  EXPECT_EQ(p.FlowControl().ControlRTS(), rtsEnable);
  EXPECT_TRUE(p.FlowControl().XonXoffIn());

  f.Combo6->PickItem(f.Combo6->findText("None"));
  f.ApplyChoice(p);
  EXPECT_EQ(p.FlowControl().ControlRTS(), rtsDisable);
  EXPECT_FALSE(p.FlowControl().XonXoffIn());
  EXPECT_FALSE(p.FlowControl().XonXoffOut());
  EXPECT_FALSE(p.FlowControl().OutCTSFlow());
  EXPECT_TRUE(p.FlowControl().OutDSRFlow()) << "not part of the preset";
}

TEST_F(SetupDialog, KeyboardPickIsAChoiceAndWritingTextIsNot) {
  TSerialPort p;
  TSerialSetupFrm f;
  f.Bind(p);
  int changes = 0;
  f.Combo2->OnChange = [&](TSerialComboBox *sender) {
    EXPECT_EQ(sender, f.Combo2);
    ++changes;
  };
  QTest::keyClick(f.Combo2, Qt::Key_Down);  // 9600 -> 14400
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(f.Combo2->Select().BaudRate(), br14400);

  f.Combo2->SetText("300");
  EXPECT_EQ(f.Combo2->Text(), "300");
  f.Combo2->SetText("12345");  // not in the list: nothing happens
  EXPECT_EQ(f.Combo2->Text(), "300");
  EXPECT_EQ(changes, 1);
  EXPECT_EQ(f.Combo2->Select().BaudRate(), br14400);
}

TEST_F(SetupDialog, AutoApplyWritesEachPickAtOnce) {
  TSerialPort p;
  TSerialComboBox c;
  c.SetSerialProperty(cpParity);
  c.SetSerialPort(&p);
  c.SetAutoApply(true);
  c.PickItem(c.findText("Even"));
  EXPECT_EQ(p.Parity().Bits(), prEven);
}

TEST_F(SetupDialog, ComboForgetsADestroyedPort) {
  TSerialComboBox c;
  c.SetSerialProperty(cpStopBits);
  {
    TSerialPort p;
    p.SetStopBits(sbTwoStopBits);
    c.SetSerialPort(&p);
    EXPECT_EQ(c.Text(), "2");
  }
  EXPECT_EQ(c.SerialPort(), nullptr);
  EXPECT_EQ(c.currentIndex(), 0);
  c.PickItem(1);
  c.ApplySetting();  // nothing bound: nothing happens

  // The other way round: a combo that goes first leaves no call behind.
  auto p = std::make_unique<TSerialPort>();
  {
    TSerialComboBox gone;
    gone.SetSerialProperty(cpPort);
    gone.SetSerialPort(p.get());
  }
  p.reset();

  // Rebinding moves the request from one port to the other.
  TSerialPort a, b;
  c.SetSerialPort(&a);
  c.SetSerialPort(&b);
  c.SetSerialPort(nullptr);
  EXPECT_EQ(c.SerialPort(), nullptr);
}

TEST_F(SetupDialog, ShowSetupCancelAndCloseChangeNothing) {
  RegisterSerialSetupDialog();
  TSerialPort p;
  p.SetPort("COM1");
  WhenShown([](TSerialSetupFrm &f) {
    f.Combo1->PickItem(f.Combo1->findText("COM2"));
    f.Combo2->PickItem(f.Combo2->findText("300"));
    QTest::mouseClick(f.Button2, Qt::LeftButton);
  });
  p.ShowSetup();
  EXPECT_EQ(p.Port(), "COM1");
  EXPECT_EQ(p.BaudRate(), br9600);

  WhenShown([](TSerialSetupFrm &f) {
    f.Combo5->PickItem(f.Combo5->findText("Odd"));
    f.close();
  });
  p.ShowSetup();
  EXPECT_EQ(p.Parity().Bits(), prNone);
}

TEST_F(SetupDialog, ShowSetupOkAppliesTheChoice) {
  RegisterSerialSetupDialog();
  TSerialPort p;
  WhenShown([](TSerialSetupFrm &f) {
    f.Combo1->PickItem(f.Combo1->findText("COM10"));
    f.Combo2->PickItem(f.Combo2->findText("115200"));
    QTest::keyClick(&f, Qt::Key_Return);  // OK is the default button
  });
  p.ShowSetup();
  EXPECT_EQ(p.Port(), "COM10");
  EXPECT_EQ(p.BaudRate(), br115200);
  for (QWidget *w : QApplication::topLevelWidgets())
    EXPECT_EQ(dynamic_cast<TSerialSetupFrm *>(w), nullptr) << "the dialog outlived ShowSetup";
}

TEST_F(SetupDialog, PortsThatCannotBeListedStopTheDialogBeforeItShows) {
  RegisterSerialSetupDialog();
  TSerialSelect::PortLister = [](std::vector<std::string> &) { throw ESerialPort(ecRegistry, 2); };
  TSerialPort p;
  try {
    p.ShowSetup();
    FAIL() << "the dialog showed without a port list";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 23);
  }
  EXPECT_EQ(p.Port(), "COM1");
  EXPECT_EQ(QApplication::activeModalWidget(), nullptr);
}

TEST_F(SetupDialog, OkWhileOpenSendsTheSettingsOnceOrMovesToTheNewDevice) {
  PtyPair first, second;
  SetPorts({first.SlavePath(), second.SlavePath(), "/dev/talvex-no-such-port"});
  CountingPort p;
  p.SetPort(first.SlavePath());
  p.SetEvents(TSerialEvents());
  p.Open();
  ASSERT_TRUE(p.Connected());
  p.applies = 0;

  {
    // Nothing changed: every setter sees its own value, the bracket's end
    // still sends the whole set once.
    TSerialSetupFrm f;
    f.Bind(p);
    f.ApplyChoice(p);
    EXPECT_EQ(p.applies, 1);
    EXPECT_EQ(p.Port(), first.SlavePath());
  }
  {
    TSerialSetupFrm f;
    f.Bind(p);
    f.Combo1->PickItem(f.Combo1->findText(QString::fromStdString(second.SlavePath())));
    f.Combo2->PickItem(f.Combo2->findText("57600"));
    p.applies = 0;
    f.ApplyChoice(p);
    EXPECT_TRUE(p.Connected());
    EXPECT_EQ(p.Port(), second.SlavePath());
    EXPECT_EQ(p.BaudRate(), br57600);
    EXPECT_EQ(p.applies, 1) << "the new device is configured once, at the end";
  }
  {
    // A port that cannot be opened: the error reaches the caller, the
    // bracket is closed, the dialog goes.
    auto f = std::make_unique<TSerialSetupFrm>();
    f->Bind(p);
    f->Combo1->PickItem(f->Combo1->findText("/dev/talvex-no-such-port"));
    try {
      f->ApplyChoice(p);
      FAIL() << "opening a missing device succeeded";
    } catch (const ESerialPort &e) {
      EXPECT_EQ(e.Code(), 1);
    }
    f.reset();
    EXPECT_EQ(p.SettingsChangeCount(), 0);
    EXPECT_FALSE(p.Connected());
  }
}
