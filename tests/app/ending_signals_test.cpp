// The window program told to end by a signal, connected to a simulated
// logger with a download nobody saved: it ends as at a normal close, with
// no question asked and no lock file left, a modal window open or not.

#include "app/ending_signals.h"
#include "app/main_window.h"
#include "app/program.h"
#include "data/data_window.h"
#include "runtime/application.h"
#include "serial/serial_device.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include "common/pty_pair.h"

#include <QApplication>
#include <QDir>
#include <QTemporaryDir>
#include <QTimer>

#include <gtest/gtest.h>

#include <csignal>

#include <unistd.h>

namespace {

// Exit codes of the child, each naming what went wrong.
enum : int { kEndedWell = 0, kStillOpen = 3, kLockLeft = 4, kAsked = 5, kNotConnected = 6, kNoLockHeld = 7 };

int LockFiles(const QString &folder) {
  return static_cast<int>(QDir(folder).entryList(QDir::Files | QDir::Hidden | QDir::System).size());
}

void EndBySignal(int sig, bool modalOpen) {
  ::alarm(20);  // an end that never comes fails by the alarm's signal
  QTemporaryDir locks;
  SetSerialLockFolder(locks.path().toStdString());
  SetExceptionPresenter([](const std::string &, const std::string &) {});
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  TSimConfig cfg;
  cfg.FrameIntervalMs = 100;
  TLoggerSimulator sim(cfg);
  sim.Start();

  // Never destroyed, like the program's on main's stack at exit().
  auto *program = new TProgram;
  program->CreateAllWindows();
  TForm1 &form = program->Form1();
  form.SerialPort1->SetPort(sim.SlavePath());
  program->Form5().AskUnsaved = [](TForm5 &, const QString &) -> QMessageBox::StandardButton { ::_exit(kAsked); };
  form.show();
  RunHandler([&] { form.InsRockerSwitch1Click(); });
  if (!form.SerialPort1->Connected()) ::_exit(kNotConnected);
  PumpUntil([&] { return !form.Edit4->text().isEmpty(); }, 5000);
  if (LockFiles(locks.path()) != 1) ::_exit(kNoLockHeld);
  // A download that ended and was never saved: a close asks about it.
  form.RichEdit1 = "*24-03-15 00:30:10 R4\r\nA";

  TEndingSignals ending([program](int) { program->EndBySignal(); });
  if (modalOpen) QTimer::singleShot(0, [&form] { form.ShowAbout(); });
  QTimer::singleShot(300, [sig] { ::kill(::getpid(), sig); });
  QApplication::exec();

  if (form.SerialPort1->Connected()) ::_exit(kStillOpen);
  if (LockFiles(locks.path()) != 0) ::_exit(kLockLeft);
  ::_exit(kEndedWell);
}

}  // namespace

TEST(EndingSignals, EndTheProgramAsACloseWithoutAskingAndLeaveNoLock) {
  GTEST_FLAG_SET(death_test_style, "threadsafe");
  const struct {
    int sig;
    bool modal;
  } cases[] = {{SIGTERM, false}, {SIGHUP, true}, {SIGINT, true}};
  for (const auto &c : cases)
    EXPECT_EXIT(EndBySignal(c.sig, c.modal), ::testing::ExitedWithCode(kEndedWell), "")
        << "signal " << c.sig << (c.modal ? " under a modal window" : "");
}
