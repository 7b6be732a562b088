#include "serial/demo_port.h"
#include "serial/serial_port.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>

TEST(DemoPort, SettingsMakeALivelyLogger) {
  const TSimConfig cfg = DemoSimulatorConfig();
  EXPECT_NO_THROW(cfg.Validate());
  EXPECT_EQ(cfg.FrameIntervalMs, 1000);
  EXPECT_GE(cfg.StoredRecords, 100);
  EXPECT_LT(cfg.StoredRecords, cfg.Capacity);
  // A record is stored at least every half minute of real time.
  const double realSecondsPerRecord = RateStepMinutes(cfg.RateCode) * 60.0 / cfg.TimeAcceleration;
  EXPECT_LE(realSecondsPerRecord, 30.0);
  EXPECT_GE(cfg.RateCode, 4) << "a rate the main window can show";
  EXPECT_TRUE(IsDemoPortName("DEMO"));
  EXPECT_TRUE(IsDemoPortName("demo"));
  EXPECT_FALSE(IsDemoPortName("DEMO1"));
  EXPECT_FALSE(IsDemoPortName("/dev/DEMO"));
}

TEST(DemoPort, OpeningDemoRunsTheSimulatorAndDeliversLiveFrames) {
  ASSERT_EQ(TDemoPort::Running(), 0);
  TSerialPort port;
  port.SetPort("DEMO");
  port.SetBaudRate(br115200);
  port.Timeouts().SetReadInterval(1);
  std::string received;
  port.OnRxChar = [&](TCustomSerialPort *sender, int count) {
    std::string chunk;
    sender->ReadText(chunk, count);
    received += chunk;
  };
  port.Open();
  ASSERT_TRUE(port.Connected());
  EXPECT_EQ(TDemoPort::Running(), 1);

  // Two frame ends: what lies between them is one whole frame.
  ASSERT_TRUE(PumpUntil([&] { return std::count(received.begin(), received.end(), kFrameEnd) >= 2; }, 5000))
      << "received: " << received;
  const std::size_t first = received.find(kFrameEnd);
  const std::string frame = received.substr(first + 1, received.find(kFrameEnd, first + 1) - first);
  ASSERT_EQ(frame.size(), static_cast<std::size_t>(kLiveFrameLength));
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end() - 1, [](char c) { return std::isdigit(static_cast<unsigned char>(c)); }))
      << frame;
  EXPECT_EQ(port.WriteText("6"), 1);  // commands go down the same line

  port.Close();
  EXPECT_EQ(TDemoPort::Running(), 0);

  // And again: a fresh simulator on a fresh terminal.
  port.Open();
  EXPECT_EQ(TDemoPort::Running(), 1);
  port.Close();
  EXPECT_EQ(TDemoPort::Running(), 0);
}

TEST(DemoPort, ThePortsDestructorStopsTheSimulator) {
  {
    TSerialPort port;
    port.SetPort("demo");
    port.Open();
    EXPECT_EQ(TDemoPort::Running(), 1);
  }
  EXPECT_EQ(TDemoPort::Running(), 0);
}

TEST(DemoPort, AFailedOpenLeavesNoSimulatorBehind) {
  TSerialPort port;
  port.SetPort("DEMO");
  port.Buffer().SetInputSize(-2);  // refused when the settings reach the device
  try {
    port.Open();
    FAIL() << "a negative queue size was accepted";
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 9);
  }
  EXPECT_FALSE(port.Connected());
  EXPECT_EQ(TDemoPort::Running(), 0);
}
