#include "serial/port_list.h"
#include "serial/port_registry.h"
#include "serial/serial_port.h"

#include "pty_peer.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <cerrno>
#include <filesystem>
#include <fstream>
#include <memory>

namespace fs = std::filesystem;

namespace {

// A sysfs tty class and a device folder of our own, shaped like a machine
// with two real UARTs, one placeholder UART, a USB adapter, a modem, a
// console, and a few links in /dev.
class FakeMachine {
public:
  FakeMachine() {
    root_ = fs::path(dir_.path().toStdString());
    roots_.SysClassTty = (root_ / "sys/class/tty").string();
    roots_.Dev = (root_ / "dev").string();
    fs::create_directories(roots_.SysClassTty);
    fs::create_directories(root_ / "sys/devices/platform");
    fs::create_directories(root_ / "dev/pts");
  }

  // A terminal in the class; device = false for one with nothing behind it.
  void Tty(const std::string &name, bool device, const char *uartType = nullptr, bool node = true) {
    const fs::path entry = fs::path(roots_.SysClassTty) / name;
    fs::create_directories(entry);
    if (device) fs::create_directory_symlink(root_ / "sys/devices/platform", entry / "device");
    if (uartType) std::ofstream(entry / "type") << uartType << "\n";
    if (node) Touch(fs::path(roots_.Dev) / name);
  }
  void Touch(const fs::path &p) { std::ofstream(p.string()) << ""; }
  void Link(const std::string &name, const std::string &target) {
    fs::create_symlink(target, fs::path(roots_.Dev) / name);
  }
  std::string Dev(const std::string &name) const { return roots_.Dev + "/" + name; }
  const TPortListRoots &Roots() const { return roots_; }

private:
  QTemporaryDir dir_;
  fs::path root_;
  TPortListRoots roots_;
};

// A name the application adds, as the program adds its demo port, for the
// length of one test.
class RegisteredName {
public:
  explicit RegisteredName(std::string name, TPortProvider provider = nullptr) : name_(std::move(name)) {
    if (!provider) provider = []() -> TProvidedDevice { throw ESerialPort(ecOpenFailed, ENODEV); };
    RegisterPortName(name_, std::move(provider));
  }
  ~RegisteredName() { UnregisterPortName(name_); }

private:
  std::string name_;
};

}  // namespace

TEST(PortList, ListsRealDevicesAndPseudoTerminalLinksSortedThenDemo) {
  RegisteredName demo("DEMO");
  FakeMachine m;
  m.Tty("ttyS0", true, "4");
  m.Tty("ttyS1", true, "0");         // reserved by the kernel, no UART behind it
  m.Tty("ttyS2", true, "4", false);  // a UART without a device node
  m.Tty("ttyUSB0", true);
  m.Tty("ttyACM0", true);
  m.Tty("tty0", false);  // virtual console
  m.Tty("console", false);
  m.Touch(m.Dev("pts/3"));
  m.Touch(m.Dev("pts/4"));
  m.Touch(m.Dev("pts/ptmx"));
  m.Link("ttyV0", m.Dev("pts/3"));     // absolute, as talvex-sim --link makes it
  m.Link("vcom", "pts/4");             // relative, as some pair makers do
  m.Link("chain", "ttyV0");            // a link to a link to a pty
  m.Link("stale", m.Dev("pts/9"));     // its terminal is gone
  m.Link("ptmx", "pts/ptmx");          // the multiplexer, not a terminal
  m.Link("stdin", "/proc/self/fd/0");  // the standard streams are no ports
  m.Link("usbserial", "ttyUSB0");      // a link to a real device: listed by its own name

  std::vector<std::string> ports = {"old entry"};
  ListPorts(ports, m.Roots());
  const std::vector<std::string> expected = {m.Dev("chain"), m.Dev("ttyACM0"), m.Dev("ttyS0"), m.Dev("ttyUSB0"),
                                             m.Dev("ttyV0"), m.Dev("vcom"),    "DEMO"};
  EXPECT_EQ(ports, expected);
}

TEST(PortList, EmptyMachineStillOffersTheDemoPort) {
  RegisteredName demo("DEMO");
  FakeMachine m;
  std::vector<std::string> ports;
  ListPorts(ports, m.Roots());
  EXPECT_EQ(ports, std::vector<std::string>{"DEMO"});
}

TEST(PortList, UnreadableFoldersRaiseCode23AndKeepTheList) {
  FakeMachine m;
  TPortListRoots roots = m.Roots();
  roots.SysClassTty += "/missing";
  std::vector<std::string> ports = {"keep"};
  try {
    ListPorts(ports, roots);
    FAIL() << "listing a missing folder succeeded";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 23);
    EXPECT_EQ(e.OsCode(), ENOENT);
    EXPECT_EQ(e.Message(), "Registry error (win error code: " + std::to_string(ENOENT) + ")");
  }
  EXPECT_EQ(ports, std::vector<std::string>{"keep"});

  roots = m.Roots();
  roots.Dev += "/missing";
  EXPECT_THROW(ListPorts(ports, roots), ESerialPort);
  EXPECT_EQ(ports, std::vector<std::string>{"keep"});
}

TEST(PortList, SortIgnoresCaseSoCom10ComesBeforeCom2) {
  std::vector<std::string> names = {"COM2", "com10", "COM1", "/dev/ttyUSB0", "/dev/TTYS0", "com1"};
  SortPortNames(names);
  const std::vector<std::string> expected = {"/dev/TTYS0", "/dev/ttyUSB0", "COM1", "com1", "com10", "COM2"};
  EXPECT_EQ(names, expected);
  EXPECT_EQ(ComparePortNames("com1", "COM1"), 0);
  EXPECT_LT(ComparePortNames("COM1", "COM10"), 0);
  EXPECT_GT(ComparePortNames("COM2", "com10"), 0);
}

TEST(PortList, RunningMachineListsWithoutFailingAndEndsWithDemo) {
  RegisteredName demo("DEMO");
  std::vector<std::string> ports;
  ListPorts(ports);
  ASSERT_FALSE(ports.empty());
  EXPECT_EQ(ports.back(), "DEMO");
  for (std::size_t i = 0; i + 1 < ports.size(); ++i) EXPECT_EQ(ports[i].rfind("/dev/", 0), 0u) << ports[i];
}

TEST(PortList, RegisteredNamesComeLastAndOpenTheTerminalTheirProviderGives) {
  PtyPeer peer;
  ASSERT_TRUE(peer.Ok());
  auto served = std::make_shared<int>(0);  // stands for what serves the port (the demo's simulator)
  int provided = 0;
  RegisteredName first("DEMO", [&]() -> TProvidedDevice {
    ++provided;
    return {peer.Path(), served};
  });
  RegisteredName second("SIM2");
  FakeMachine m;
  m.Tty("ttyS0", true, "4");
  std::vector<std::string> ports;
  ListPorts(ports, m.Roots());
  EXPECT_EQ(ports, (std::vector<std::string>{m.Dev("ttyS0"), "DEMO", "SIM2"}));

  // Opened in any letter case; held while open, let go at close.
  TSerialPort port;
  port.SetPort("demo");
  port.SetEvents({});
  port.Open();
  EXPECT_EQ(provided, 1);
  EXPECT_EQ(served.use_count(), 2);
  EXPECT_EQ(port.WriteText("hi"), 2);
  EXPECT_EQ(peer.Read(2), "hi");
  port.Close();
  EXPECT_EQ(served.use_count(), 1);

  // A provider that cannot provide fails the open as a device would.
  port.SetPort("SIM2");
  try {
    port.Open();
    FAIL() << "opened a port nobody could provide";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), ecOpenFailed);
    EXPECT_EQ(e.OsCode(), ENODEV);
  }
  EXPECT_FALSE(port.Connected());

  UnregisterPortName("SIM2");
  ListPorts(ports, m.Roots());
  EXPECT_EQ(ports.back(), "DEMO");
  // Without a registration the name is an ordinary (missing) device.
  EXPECT_THROW(port.Open(), ESerialPort);
}
