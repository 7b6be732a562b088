#include "data/dump_decoder.h"
#include "data/text_file_writer.h"
#include "dump_samples.h"

#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <csignal>
#include <cstdlib>
#include <dirent.h>
#include <fstream>
#include <sstream>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace dump_samples;

namespace {

std::string ReadFile(const std::string &path) {
  std::ifstream in(path, std::ios::binary);
  std::stringstream ss;
  ss << in.rdbuf();
  return ss.str();
}

void PutFile(const std::string &path, const std::string &bytes) {
  std::ofstream(path, std::ios::binary) << bytes;
}

std::vector<std::string> FolderEntries(const std::string &folder) {
  std::vector<std::string> names;
  if (DIR *d = opendir(folder.c_str())) {
    while (dirent *e = readdir(d)) {
      const std::string n = e->d_name;
      if (n != "." && n != "..") names.push_back(n);
    }
    closedir(d);
  }
  std::sort(names.begin(), names.end());
  return names;
}

// A fresh folder per test, removed afterwards.
class TempFolder : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    char tmpl[] = "/tmp/talvex-save-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder = tmpl;
  }
  void TearDown() override { std::system(("rm -rf '" + folder + "'").c_str()); }
  std::string folder;
};

// A decoded table of `records` records, all values 25,0 on 15/03/2004 from
// 10:35:00 on.
TDataTable Table(int records) {
  ApplyProgramFormats();
  static std::string dump;
  std::vector<std::string> recs(records + 1, Record("002238", "002238"));
  dump = Dump(Header(4, 3, 15, 0, 30, 10, 2), recs);
  TDataTable t(DataColumns, records + 1);
  TDumpHeader h;
  DOSCANALESLM35(SplitDumpLines(dump), t, h);
  return t;
}

std::vector<std::string> SplitCrLf(const std::string &bytes) {
  std::vector<std::string> lines;
  size_t start = 0, at;
  while ((at = bytes.find("\r\n", start)) != std::string::npos) {
    lines.push_back(bytes.substr(start, at - start));
    start = at + 2;
  }
  EXPECT_EQ(start, bytes.size()) << "every line, the last included, ends in CR LF";
  return lines;
}

TEST(TextFile, HeaderIsExactly119Characters) {
  const std::string header = TEXT_FILE_HEADER;
  EXPECT_EQ(header.size(), 119u);
  EXPECT_EQ(header.substr(0, 22), "FECHA        HORA     ");
  // CH10 is one blank wider than its neighbours; everything after it sits
  // one column further right.
  EXPECT_EQ(header.find("CH10"), 22u + 9 * 6);
  EXPECT_EQ(header.find("CH11"), 22u + 9 * 6 + 7);
  EXPECT_EQ(header.substr(113), "CH16  ");
}

TEST(TextFile, EmptyTableGivesHeaderAndEmptyLine) {
  const TDataTable t = Table(0);
  for (int records : {0, -1, -2}) {
    EXPECT_EQ(BuildTextFile(t, records), std::string(TEXT_FILE_HEADER) + "\r\n\r\n") << records;
  }
}

TEST(TextFile, RecordLinesCarryEveryFieldWithTwoBlanks) {
  const auto lines = SplitCrLf(BuildTextFile(Table(3), 3));
  ASSERT_EQ(lines.size(), 5u);
  EXPECT_EQ(lines[0], TEXT_FILE_HEADER);
  EXPECT_EQ(lines[1], "");
  std::string expected = "15/03/2004  10:35:00  ";
  for (int k = 0; k < 16; ++k) expected += "25,0  ";
  EXPECT_EQ(lines[2], expected);
  EXPECT_EQ(lines[2].size(), 118u);
  EXPECT_EQ(lines[4].substr(0, 22), "15/03/2004  10:45:00  ");
}

TEST(TextFile, FieldsAreWrittenAsTheyStandWithoutAlignment) {
  TDataTable t = Table(1);
  t.SetCells(3, 1, "-10,0");
  t.SetCells(4, 1, "0,0");
  t.SetCells(0, 1, "999");  // the running number is never written
  const auto lines = SplitCrLf(BuildTextFile(t, 1));
  EXPECT_EQ(lines[2].substr(0, 35), "15/03/2004  10:35:00  -10,0  0,0  2");
  EXPECT_EQ(lines[2].find("999"), std::string::npos);
}

TEST(TextFile, DraggedColumnsAreWrittenInTheirShownPlace) {
  TDataTable t = Table(1);
  t.SetCells(3, 1, "1,0");
  t.SetCells(18, 1, "16,0");
  // Position 1 shows channel 1, position 3 the date: as if the user dragged
  // the CH1 column to the front.
  std::vector<int> order(DataColumns);
  for (int p = 0; p < DataColumns; ++p) order[p] = p;
  order[1] = 3;
  order[2] = 1;
  order[3] = 2;
  const auto lines = SplitCrLf(BuildTextFile(t, 1, order));
  EXPECT_EQ(lines[2].substr(0, 28), "1,0  15/03/2004  10:35:00  2");
  EXPECT_EQ(lines[2].substr(lines[2].size() - 6), "16,0  ");
}

TEST(TextFile, MessagesNameTheCause) {
  EXPECT_EQ(InOutErrorMessage(EACCES), "File access denied");
  EXPECT_EQ(InOutErrorMessage(ENOSPC), "Disk full");
  EXPECT_EQ(InOutErrorMessage(ENOENT), "Path not found");
  EXPECT_EQ(InOutErrorMessage(EIO), "I/O error 5");
}

TEST_F(TempFolder, SaveWritesTheBytesAndLeavesNothingElse) {
  const std::string path = folder + "/datos.txt";
  const TDataTable t = Table(20);
  SaveTextFile(path, t, 20);
  EXPECT_EQ(ReadFile(path), BuildTextFile(t, 20));
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"datos.txt"});
}

TEST_F(TempFolder, ReplacingKeepsNoTailOfTheLongerOldFile) {
  const std::string path = folder + "/datos.txt";
  PutFile(path, std::string(100000, 'x'));
  chmod(path.c_str(), 0640);
  WriteFileAtomically(path, "short\r\n");
  EXPECT_EQ(ReadFile(path), "short\r\n");
  struct stat st;
  ASSERT_EQ(stat(path.c_str(), &st), 0);
  EXPECT_EQ(st.st_mode & 07777, 0640u) << "the user's permissions stay";
}

TEST_F(TempFolder, SymbolicLinkKeepsPointingAtItsTarget) {
  const std::string target = folder + "/real.txt";
  const std::string link = folder + "/link.txt";
  PutFile(target, "old");
  ASSERT_EQ(symlink(target.c_str(), link.c_str()), 0);
  WriteFileAtomically(link, "new");
  struct stat st;
  ASSERT_EQ(lstat(link.c_str(), &st), 0);
  EXPECT_TRUE(S_ISLNK(st.st_mode));
  EXPECT_EQ(ReadFile(target), "new");
}

TEST_F(TempFolder, MissingFolderAndFolderTargetFail) {
  try {
    WriteFileAtomically(folder + "/nope/datos.txt", "x");
    ADD_FAILURE() << "no failure";
  } catch (const EInOutError &e) {
    EXPECT_EQ(e.Message(), "Path not found");
  }
  try {
    WriteFileAtomically(folder, "x");
    ADD_FAILURE() << "no failure";
  } catch (const EInOutError &e) {
    EXPECT_EQ(e.Message(), "File access denied");
  }
}

// The file size limit makes the write fail half-way like a full disk; with
// SIGXFSZ ignored the write returns EFBIG instead of killing the process.
class SizeLimit {
public:
  explicit SizeLimit(rlim_t bytes) {
    getrlimit(RLIMIT_FSIZE, &Old_);
    OldHandler_ = std::signal(SIGXFSZ, SIG_IGN);
    rlimit lim = Old_;
    lim.rlim_cur = bytes;
    setrlimit(RLIMIT_FSIZE, &lim);
  }
  ~SizeLimit() {
    setrlimit(RLIMIT_FSIZE, &Old_);
    std::signal(SIGXFSZ, OldHandler_);
  }

private:
  rlimit Old_;
  void (*OldHandler_)(int);
};

TEST_F(TempFolder, FailedWriteLeavesTheOldFileExactlyAsItWas) {
  const std::string path = folder + "/datos.txt";
  const std::string old = BuildTextFile(Table(5), 5);
  PutFile(path, old);
  const TDataTable big = Table(200);
  std::string message;
  {
    SizeLimit limit(4096);
    try {
      SaveTextFile(path, big, 200);
    } catch (const EInOutError &e) {
      message = e.Message();
    }
  }
  EXPECT_EQ(message, "Disk full");
  EXPECT_EQ(ReadFile(path), old);
  EXPECT_EQ(FolderEntries(folder), std::vector<std::string>{"datos.txt"}) << "no temporary file left";
  // And the same save goes through once there is room.
  SaveTextFile(path, big, 200);
  EXPECT_EQ(ReadFile(path), BuildTextFile(big, 200));
}

}  // namespace
