#include "app/main_window.h"
#include "app/program.h"
#include "data/data_window.h"
#include "data/string_grid.h"
#include "runtime/application.h"
#include "runtime/number_format.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_value_ind.h"

#include "common/pty_pair.h"

#include <gtest/gtest.h>

namespace {

// The whole road a user takes, against the simulated logger on a real pty:
// live frames, a download, the data window with the logger's records.
TEST(DownloadFromTheLogger, EndsInTheDataWindowWithTheLoggersRecords) {
  std::vector<std::string> messages;
  SetExceptionPresenter([&](const std::string &, const std::string &m) { messages.push_back(m); });
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };

  TSimConfig config;
  config.FrameIntervalMs = 100;
  config.StoredRecords = 40;
  config.RateCode = 2;
  config.DownloadChunkPauseMs = 5;
  TLoggerSimulator sim(config);
  sim.Start();

  {
    TProgram program;
    TForm1 &main = program.Form1();
    main.DownloadCommandGapMs = 200;
    int dataShown = 0;
    main.ShowDataWindow = [&] {
      ++dataShown;
      program.Form5().FormActivate();
    };
    main.SerialPort1->SetPort(sim.SlavePath());
    RunHandler([&] { main.InsRockerSwitch1Click(); });
    ASSERT_TRUE(main.SerialPort1->Connected());

    ASSERT_TRUE(PumpUntil([&] { return main.Edit4->text() == "15/03/2004"; }, 5000));
    for (int k = 1; k <= 16; ++k) {
      const float v = main.ChannelIndicator(k)->Value();
      EXPECT_GT(v, 0.0f);
      EXPECT_LT(v, 70.0f);
    }
    EXPECT_EQ(main.Edit1->text(), "40");

    RunHandler([&] { main.InsColBitBtn4Click(); });
    ASSERT_TRUE(PumpUntil([&] { return dataShown == 1; }, 15000));
    EXPECT_TRUE(main.DATOSLISTOS);
    EXPECT_EQ(main.InsColBitBtn4->TextOff(), "              VER DATOS");
    ASSERT_TRUE(sim.WaitFor([](const TSimSnapshot &s) { return s.AcksReceived == 1; }, 3000));
    EXPECT_EQ(sim.ReceivedBytes().substr(0, 3), "8Xx");

    const TStringGrid &grid = *program.Form5().StringGrid1;
    const auto records = sim.Records();
    ASSERT_EQ(records.size(), 40u);
    // 40 stored records plus the one in progress: N = L - 3 = 40 shown rows.
    EXPECT_EQ(grid.RowCount(), 41);
    EXPECT_EQ(program.Form5().Edit8->text(), "CADA 5 MINUTOS");
    for (int r = 1; r <= 40; ++r) {
      EXPECT_EQ(grid.Cells(0, r), std::to_string(r));
      for (int k = 1; k <= 16; ++k) {
        const double celsius = (records[r - 1][k - 1] - 500) / 10.0;
        ASSERT_EQ(grid.Cells(k + 2, r), FormatFloat("0.0", celsius)) << "row " << r << " channel " << k;
      }
    }

    // "VER DATOS" only opens the window again; nothing goes to the logger.
    const std::string sentBefore = sim.ReceivedBytes();
    RunHandler([&] { main.InsColBitBtn4Click(); });
    EXPECT_EQ(dataShown, 2);
    PumpUntil([] { return false; }, 200);
    EXPECT_EQ(sim.ReceivedBytes(), sentBefore);
    EXPECT_TRUE(messages.empty());
  }
  sim.Stop();
  TCustomSerialPort::SetupDialog = nullptr;
  SetExceptionPresenter(nullptr);
}

}  // namespace
