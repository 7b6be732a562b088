// An Escape that stays down: the data window and the graph window it opens,
// both modal, with the key press and its repeats delivered the way the window
// system delivers them.

#include "app/main_window.h"
#include "app/program.h"
#include "data/data_window.h"
#include "graph/graph_window.h"
#include "runtime/application.h"
#include "serial/serial_port.h"

#include "data/dump_samples.h"

#include <QApplication>
#include <QTimer>
#include <QToolButton>
#include <QtTest>

#include <gtest/gtest.h>

#include <functional>
#include <string>
#include <vector>

namespace {

void PressEscape(QWidget &window, bool repeat) {
  qt_handleKeyEvent(window.windowHandle(), QEvent::KeyPress, Qt::Key_Escape, Qt::NoModifier, QString(), repeat);
}

// Runs `step` inside the nested loop of `window` once it is the modal window
// on top. If it never gets there the test fails, and whatever modal window is
// up is closed so that every loop unwinds.
void WhenOnTop(QWidget &window, std::function<void()> step) {
  auto *timer = new QTimer(qApp);
  auto tries = std::make_shared<int>(0);
  QObject::connect(timer, &QTimer::timeout, timer, [timer, tries, &window, step = std::move(step)] {
    if (QApplication::activeModalWidget() == &window && window.isVisible()) {
      timer->deleteLater();
      timer->stop();
      step();
    } else if (++*tries > 2000) {
      timer->deleteLater();
      timer->stop();
      ADD_FAILURE() << "the window never came up on top";
      while (QWidget *modal = QApplication::activeModalWidget()) static_cast<QDialog *>(modal)->reject();
    }
  });
  timer->start(5);
}

class HeldEscape : public ::testing::Test {
protected:
  void SetUp() override {
    InstallKeyboardGuard();
    SetExceptionPresenter([this](const std::string &, const std::string &m) { messages.push_back(m); });
    TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
    program = std::make_unique<TProgram>();
    TForm1 &main = program->Form1();
    main.PUERTOFIJADO = true;
    main.RichEdit1 = dump_samples::LongDump(6);
    main.DATOSLISTOS = true;  // the button reads VER DATOS
  }
  void TearDown() override {
    program.reset();
    TCustomSerialPort::SetupDialog = nullptr;
    SetExceptionPresenter(nullptr);
  }
  void VerDatos() {
    RunHandler([this] { program->Form1().InsColBitBtn4Click(); });
  }
  std::unique_ptr<TProgram> program;
  std::vector<std::string> messages;
};

TEST_F(HeldEscape, ClosesOnlyTheWindowItWasPressedInAndTheDataWindowOpensAgain) {
  TForm5 &data = program->Form5();
  TForm6 &graph = program->Form6();
  bool graphOpened = false, dataOutlivedRepeats = false, closedByNewPress = false;

  WhenOnTop(data, [&] {
    WhenOnTop(graph, [&] {
      graphOpened = true;
      // The press closes the graph window; the key stays down and repeats
      // into whichever window has the keyboard next.
      PressEscape(graph, false);
      WhenOnTop(data, [&] {
        for (int i = 0; i < 5; ++i) PressEscape(data, true);
        dataOutlivedRepeats = data.isVisible();
        PressEscape(data, false);  // released and pressed again: this one closes it
        closedByNewPress = !data.isVisible();
      });
    });
    data.SpeedButton2->click();  // GRAFICAR
  });
  VerDatos();
  EXPECT_TRUE(graphOpened);
  EXPECT_FALSE(graph.isVisible());
  EXPECT_TRUE(dataOutlivedRepeats);
  EXPECT_TRUE(closedByNewPress);

  // The key still down, VER DATOS opens the window again, and it stays until
  // closed on purpose.
  bool reopened = false;
  WhenOnTop(data, [&] {
    for (int i = 0; i < 5; ++i) PressEscape(data, true);
    reopened = data.isVisible();
    data.reject();
  });
  VerDatos();
  EXPECT_TRUE(reopened);
  EXPECT_TRUE(messages.empty()) << messages.front();
}

}  // namespace
