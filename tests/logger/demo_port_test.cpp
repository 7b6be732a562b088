#include "logger/demo_port.h"
#include "serial/serial_port.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

#include <algorithm>
#include <cctype>
#include <vector>

namespace {

// The program registers the port at start-up; so does each test here.
class DemoPort : public ::testing::Test {
protected:
  void SetUp() override { RegisterDemoPort(); }
};

}  // namespace

TEST_F(DemoPort, SettingsMakeALivelyLogger) {
  const TSimConfig cfg = DemoSimulatorConfig();
  EXPECT_NO_THROW(cfg.Validate());
  EXPECT_EQ(cfg.FrameIntervalMs, 1000);
  EXPECT_GE(cfg.StoredRecords, 100);
  EXPECT_LT(cfg.StoredRecords, cfg.Capacity);
  // The logger's clock runs with the PC's, so the two clocks on the main
  // window agree and a clock set is seen to take.
  EXPECT_DOUBLE_EQ(cfg.TimeAcceleration, 1.0);
  EXPECT_GE(cfg.RateCode, 4) << "a rate the main window can show";
  EXPECT_TRUE(IsDemoPortName("DEMO"));
  EXPECT_TRUE(IsDemoPortName("demo"));
  EXPECT_FALSE(IsDemoPortName("DEMO1"));
  EXPECT_FALSE(IsDemoPortName("/dev/DEMO"));
}

TEST_F(DemoPort, OpeningDemoRunsTheSimulatorAndDeliversLiveFrames) {
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
  EXPECT_TRUE(std::all_of(frame.begin(), frame.end() - 1, [](char c) {
    return std::isdigit(static_cast<unsigned char>(c));
  })) << frame;
  EXPECT_EQ(port.WriteText("6"), 1);  // commands go down the same line

  port.Close();
  EXPECT_EQ(TDemoPort::Running(), 0);

  // And again: a fresh simulator on a fresh terminal.
  port.Open();
  EXPECT_EQ(TDemoPort::Running(), 1);
  port.Close();
  EXPECT_EQ(TDemoPort::Running(), 0);
}

TEST_F(DemoPort, ADownloadComesDownTheSameLine) {
  TSerialPort port;
  port.SetPort("DEMO");
  port.SetBaudRate(br115200);
  std::vector<std::string> reads;
  port.OnRxChar = [&](TCustomSerialPort *sender, int count) {
    std::string chunk;
    sender->ReadText(chunk, count);
    reads.push_back(chunk);
  };
  port.Open();
  port.WriteText("E");
  port.WriteText("X");
  // The download ends with a read that brings the end mark alone.
  ASSERT_TRUE(PumpUntil([&] { return !reads.empty() && reads.back() == kEndMark; }, 20000));
  port.WriteText("x");

  std::string text;
  for (const std::string &r : reads) text += r;
  const std::size_t header = text.find('*');
  ASSERT_NE(header, std::string::npos);
  std::size_t records = 0, at = text.find("\r\n", header) + 2;
  for (std::size_t end; (end = text.find("\r\n", at)) != std::string::npos; at = end + 2) {
    const std::string line = text.substr(at, end - at);
    ASSERT_EQ(line.size(), static_cast<std::size_t>(kRecordLineDigits)) << "record " << records;
    ++records;
  }
  // The stored records, those added while the test ran, and the one in progress.
  EXPECT_GE(records, static_cast<std::size_t>(DemoSimulatorConfig().StoredRecords + 1));
  EXPECT_LT(records, static_cast<std::size_t>(DemoSimulatorConfig().StoredRecords + 10));
}

TEST_F(DemoPort, ThePortsDestructorStopsTheSimulator) {
  {
    TSerialPort port;
    port.SetPort("demo");
    port.Open();
    EXPECT_EQ(TDemoPort::Running(), 1);
  }
  EXPECT_EQ(TDemoPort::Running(), 0);
}

TEST_F(DemoPort, AFailedOpenLeavesNoSimulatorBehind) {
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
