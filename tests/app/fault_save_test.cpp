// Saving a real download where the disk will not take it: the file system
// full, the folder read-only. What cannot be saved must leave the old file
// untouched and the user told why; a file that still takes writes in a
// read-only folder is saved in place.

#include "app/main_window.h"
#include "app/program.h"
#include "data/data_window.h"
#include "logger/download_session.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include "common/pty_pair.h"
#include "common/test_files.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <filesystem>
#include <fstream>
#include <iterator>
#include <string>
#include <vector>

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/resource.h>
#include <unistd.h>

namespace {

namespace fs = std::filesystem;

void PutFile(const std::string &path, const std::string &bytes) { std::ofstream(path, std::ios::binary) << bytes; }

std::vector<std::string> Entries(const std::string &folder) {
  std::vector<std::string> names;
  for (const auto &e : fs::directory_iterator(folder)) names.push_back(e.path().filename().string());
  return names;
}

// One download of 150 records done through the real line, then kept for
// every test: the data window is filled from it.
class SaveFaults : public ::testing::Test {
protected:
  static void SetUpTestSuite() {
    TSimConfig config;
    config.StoredRecords = 150;
    config.RateCode = 3;
    config.DownloadChunkPauseMs = 0;
    config.DownloadDelayMs = 50;
    config.EndMarkPauseMs = 100;
    sim_ = new TLoggerSimulator(config);
    sim_->Start();
  }
  static void TearDownTestSuite() {
    delete sim_;
    sim_ = nullptr;
  }

  void SetUp() override {
    SetExceptionPresenter([this](const std::string &, const std::string &m) { messages.push_back(m); });
    TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
    program = std::make_unique<TProgram>();
    TForm1 &main = program->Form1();
    main.DownloadCommandGapMs = 100;
    int shown = 0;
    main.ShowDataWindow = [&shown] { ++shown; };
    main.SerialPort1->SetPort(sim_->SlavePath());
    RunHandler([&] { main.InsRockerSwitch1Click(); });
    ASSERT_TRUE(main.SerialPort1->Connected());
    RunHandler([&] { main.InsColBitBtn4Click(); });
    ASSERT_TRUE(PumpUntil([&] { return shown == 1; }, 15000));
    RunHandler([&] { main.InsRockerSwitch1Click(); });
    main.ShowDataWindow = nullptr;
    ASSERT_TRUE(messages.empty());

    TForm5 &data = program->Form5();
    data.FormActivate();
    ASSERT_EQ(data.RecordCount(), 150);
    expected = DumpTextFile(DecodeDump(main.RichEdit1));
    data.ExecuteSaveDialog = [this](TForm5 &) { return QString::fromStdString(path); };
    data.AskQuestion = [this](TForm5 &, const QString &) {
      ++questions;
      return QMessageBox::Yes;
    };

    folder = fs::temp_directory_path() / ("talvex-save-" + std::to_string(::getpid()));
    fs::remove_all(folder);
    fs::create_directory(folder);
    path = (fs::path(folder) / "datos.txt").string();
  }
  void TearDown() override {
    program.reset();
    fs::remove_all(folder);
    TCustomSerialPort::SetupDialog = nullptr;
    SetExceptionPresenter(nullptr);
  }
  void Save() {
    RunHandler([this] { program->Form5().SpeedButton1Click(); });
  }

  static TLoggerSimulator *sim_;
  std::unique_ptr<TProgram> program;
  std::vector<std::string> messages;
  std::string expected;
  std::string folder, path;
  int questions = 0;
};
TLoggerSimulator *SaveFaults::sim_ = nullptr;

const std::string kOld = "lo que ya estaba\r\n";

// The file size limit makes writes fail part-way like a full disk; with
// SIGXFSZ ignored the write returns EFBIG instead of ending the program.
class SizeLimit {
public:
  explicit SizeLimit(rlim_t bytes) {
    ::getrlimit(RLIMIT_FSIZE, &old_);
    oldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = old_;
    lim.rlim_cur = bytes;
    ::setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~SizeLimit() {
    ::setrlimit(RLIMIT_FSIZE, &old_);
    std::signal(SIGXFSZ, oldHandler_);
  }

private:
  rlimit old_{};
  void (*oldHandler_)(int) = nullptr;
};

TEST_F(SaveFaults, AFullDiskKeepsTheOldFileAndSaysSo) {
  ASSERT_GT(expected.size(), 8192u);
  PutFile(path, kOld);
  {
    SizeLimit limit(4096);
    Save();
  }
  EXPECT_EQ(questions, 1);
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "Disk full");
  EXPECT_EQ(ReadFile(path), kOld);
  EXPECT_EQ(Entries(folder), std::vector<std::string>{"datos.txt"}) << "a temporary file was left";

  // With room again the same click saves the whole download.
  Save();
  EXPECT_EQ(messages.size(), 1u);
  EXPECT_EQ(ReadFile(path), expected);
}

// Makes a folder immutable (even root cannot add, rename or remove in it)
// and always lifts that again.
class Immutable {
public:
  explicit Immutable(const std::string &folder) {
    fd_ = ::open(folder.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd_ < 0) return;
    if (::ioctl(fd_, FS_IOC_GETFLAGS, &flags_) != 0) return;
    int on = flags_ | FS_IMMUTABLE_FL;
    ok_ = ::ioctl(fd_, FS_IOC_SETFLAGS, &on) == 0;
  }
  ~Immutable() {
    if (ok_) ::ioctl(fd_, FS_IOC_SETFLAGS, &flags_);
    if (fd_ >= 0) ::close(fd_);
  }
  bool Ok() const { return ok_; }

private:
  int fd_ = -1;
  int flags_ = 0;
  bool ok_ = false;
};

TEST_F(SaveFaults, AReadOnlyFolderTakesTheSaveInPlaceButNoNewFile) {
  PutFile(path, kOld);
  {
    Immutable lock(folder);
    if (!lock.Ok()) GTEST_SKIP() << "this file system cannot make a folder read-only for root (no immutable flag)";
    // No file can be put in its place, but the file itself takes writes.
    Save();
    EXPECT_EQ(ReadFile(path), expected);
    EXPECT_EQ(Entries(folder), std::vector<std::string>{"datos.txt"});

    // A new name in the same folder cannot be made and leaves nothing.
    path = folder + "/nuevo.txt";
    Save();
    EXPECT_FALSE(fs::exists(path));
  }
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_EQ(messages[0], "File access denied");
  Save();
  EXPECT_EQ(ReadFile(path), expected);
}

}  // namespace
