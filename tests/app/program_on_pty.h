#pragma once

// The whole program with its port on a pty whose master the test holds.

#include "app/main_window.h"
#include "app/program.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "widgets/ins_value_ind.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <memory>
#include <string>
#include <vector>

// Message boxes and the setup dialog are replaced by recorders.
class ProgramOnPty : public ::testing::Test {
protected:
  void SetUp() override {
    SetExceptionPresenter([this](const std::string &, const std::string &m) { messages.push_back(m); });
    TCustomSerialPort::SetupDialog = [this](TCustomSerialPort &) {
      ++setupShown;
      return false;
    };
    program = std::make_unique<TProgram>();
    program->CreateAllWindows();  // as after the first paint: the thermometers are fed too
    form().SerialPort1->SetPort(pty.SlavePath());
    form().ShowDataWindow = [this] { ++dataWindowShown; };
    form().ShowSavedData = [this] { ++savedDataShown; };
    form().DownloadCommandGapMs = 50;
  }
  void TearDown() override {
    program.reset();
    TCustomSerialPort::SetupDialog = nullptr;
    SetExceptionPresenter(nullptr);
  }
  TForm1 &form() { return program->Form1(); }
  void Connect() {
    RunHandler([this] { form().InsRockerSwitch1Click(); });
    ASSERT_TRUE(form().SerialPort1->Connected());
  }
  float Channel(int k) { return form().ChannelIndicator(k)->Value(); }

  PtyPair pty;
  std::unique_ptr<TProgram> program;
  std::vector<std::string> messages;
  int setupShown = 0;
  int dataWindowShown = 0;
  int savedDataShown = 0;
};
