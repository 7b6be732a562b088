// GRABAR in the main window: on only while connected, the interval the user
// picked remembered, the readings counted once in the archive, and every way
// the line ends ending the recording with its readings kept.

#include "app/live_recording.h"
#include "app/main_window.h"
#include "app/program.h"
#include "archive/archive.h"
#include "archive/archive_writer.h"
#include "runtime/application.h"
#include "runtime/user_settings.h"
#include "serial/serial_port.h"
#include "widgets/ins_rocker_switch.h"

#include "program_on_pty.h"

#include <QTemporaryDir>

#include <cstdlib>

namespace {

// 25/12/2003 14:30:SS, channel 1 at 25.0 degrees, the rest at 0.
std::string FrameAtSecond(int second) {
  const std::string ss = (second < 10 ? "0" : "") + std::to_string(second);
  std::string f = "3014251203" + ss + "18005" + "02238";
  for (int k = 2; k <= 16; ++k) f += "00500";
  return f + "000095\n";
}

class RecordWindow : public ProgramOnPty {
protected:
  void SetUp() override {
    archive = dir.filePath("archivo.sqlite").toStdString();
    setenv("TALVEX_DB", archive.c_str(), 1);
    UserSettings().remove("grabacion/intervalo");
    ProgramOnPty::SetUp();
  }
  void TearDown() override {
    ProgramOnPty::TearDown();
    unsetenv("TALVEX_DB");
  }
  TLiveRecording &recording() { return *form().LiveRecording(); }
  // The PC's clock a second on at each frame, and a batch per reading: the
  // test need not wait for either.
  void PinClock() {
    form().PcClockMs = [this] { return pcMs; };
    recording().BatchSeconds = 1;
  }
  void PickInterval(int seconds) {
    form().RecordInterval->setCurrentIndex(form().RecordInterval->findData(seconds));
    form().RecordIntervalChange(form().RecordInterval->currentIndex());
  }
  // Sends frames at these seconds, each once the window showed the last
  // (the logger sends one a second).
  void Send(std::initializer_list<int> seconds) {
    for (int s : seconds) {
      form().Edit3->clear();
      pcMs += 1000;
      pty.Write(FrameAtSecond(s));
      const QString shown = QString("14:30:%1").arg(s, 2, 10, QChar('0'));
      ASSERT_TRUE(PumpUntil([&] { return form().Edit3->text() == shown; }, 3000));
    }
  }
  std::int64_t InArchive() {
    TArchive a(archive);
    const auto logger = a.LoggerOnPort(pty.SlavePath());
    if (!logger) return 0;
    EXPECT_EQ(*logger, pty.SlavePath()) << "no name remembered: the port's";
    return a.Count(*logger, TStamp{2003, 12, 25, 0, 0, 0}, TStamp{2003, 12, 26, 0, 0, 0});
  }

  QTemporaryDir dir;
  std::string archive;
  std::int64_t pcMs = 1'765'000'000'000;
};

TEST_F(RecordWindow, TheSwitchRecordsOnlyWhileConnectedAndCountsWhatTheArchiveKept) {
  TInsRockerSwitch &grabar = *form().InsRockerSwitch2;
  EXPECT_FALSE(grabar.isEnabled());
  RunHandler([this] { form().InsRockerSwitch2Click(); });
  EXPECT_FALSE(grabar.Checked()) << "nothing to record without a logger";
  EXPECT_FALSE(form().Recording());

  Connect();
  PinClock();
  EXPECT_TRUE(grabar.isEnabled());
  PickInterval(1);
  RunHandler([this] { form().InsRockerSwitch2Click(); });
  EXPECT_TRUE(grabar.Checked());
  EXPECT_TRUE(form().Recording());
  EXPECT_FALSE(form().RecordStatus->isHidden());
  EXPECT_EQ(form().RecordStatus->text(), "GRABANDO cada 1 s\n0 lecturas guardadas");

  Send({7, 8, 9});
  EXPECT_TRUE(
      PumpUntil([&] { return form().RecordStatus->text() == "GRABANDO cada 1 s\n3 lecturas guardadas"; }, 10000))
      << form().RecordStatus->text().toStdString();
  EXPECT_EQ(InArchive(), 3);

  // Off by the switch itself: the line stays, the recording ends.
  RunHandler([this] { form().InsRockerSwitch2Click(); });
  EXPECT_FALSE(grabar.Checked());
  EXPECT_TRUE(form().RecordStatus->isHidden());
  Send({20});
  PumpUntil([] { return false; }, 300);
  EXPECT_EQ(InArchive(), 3);
}

TEST_F(RecordWindow, TheIntervalPickedIsRememberedAndTenSecondsAtFirst) {
  EXPECT_EQ(form().RecordIntervalSeconds(), 10);
  PickInterval(60);
  EXPECT_EQ(UserSettings().value("grabacion/intervalo").toInt(), 60);
  program.reset();
  program = std::make_unique<TProgram>();
  EXPECT_EQ(form().RecordIntervalSeconds(), 60);
  UserSettings().setValue("grabacion/intervalo", 7);  // not offered
  program.reset();
  program = std::make_unique<TProgram>();
  EXPECT_EQ(form().RecordIntervalSeconds(), 10);
}

TEST_F(RecordWindow, EveryEndOfTheLineEndsTheRecordingWithItsReadingsKept) {
  const struct {
    const char *Name;
    std::function<void()> End;
  } ends[] = {
      {"disconnect", [this] { RunHandler([&] { form().InsRockerSwitch1Click(); }); }},
      {"program closed", [this] { program.reset(); }},
      // Last: the pair's master stays closed.
      {"line lost",
       [this] {
         pty.CloseMaster();
         ASSERT_TRUE(PumpUntil([&] { return !form().SerialPort1->Connected(); }, 5000));
       }},
  };
  int sent = 0;
  for (const auto &end : ends) {
    SCOPED_TRACE(end.Name);
    if (!program) {
      program = std::make_unique<TProgram>();
      program->CreateAllWindows();
      form().SerialPort1->SetPort(pty.SlavePath());
    }
    Connect();
    PinClock();
    PickInterval(1);
    RunHandler([this] { form().InsRockerSwitch2Click(); });
    ASSERT_TRUE(form().Recording());
    Send({10 + sent, 11 + sent});
    sent += 2;
    end.End();
    if (program) {
      EXPECT_FALSE(form().Recording());
      EXPECT_FALSE(form().InsRockerSwitch2->Checked());
      EXPECT_FALSE(form().InsRockerSwitch2->isEnabled());
      EXPECT_TRUE(form().RecordStatus->isHidden());
    }
    // What was taken is in the archive, or in the queue for the next start.
    if (!program) TArchiveQueueFlush(TArchiveQueue()).Pass([](const TArchiveJobResult &) {});
    EXPECT_TRUE(PumpUntil([&] { return InArchive() == sent; }, 10000)) << InArchive() << " of " << sent;
  }
}

}  // namespace
