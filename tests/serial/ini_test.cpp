#include "serial/serial_ini.h"

#include <gtest/gtest.h>
#include <QTemporaryDir>

#include <cerrno>
#include <cstdint>
#include <fstream>
#include <sstream>

#include <sys/stat.h>
#include <unistd.h>

namespace {

std::string ReadFile(const std::string &path) {
  std::ifstream in(path);
  std::stringstream s;
  s << in.rdbuf();
  return s.str();
}

void WriteFile(const std::string &path, const std::string &text) { std::ofstream(path) << text; }

const TStoredGroups kAllGroups = {sgBasic, sgOther, sgParity, sgBuffer, sgTimeouts, sgFlow};

// A port with every stored setting away from its constructor value.
void MakeUnusual(TSerialPort &p) {
  p.SetPort("/dev/ttyUSB3");
  p.SetBaudRate(brCustom);
  p.SetCustomBaudRate(250000);
  p.SetStopBits(sbTwoStopBits);
  p.SetDataBits(dbSeven);
  p.Parity().SetBits(prEven);
  p.SetEventChar('#');
  p.SetDiscardNull(true);
  p.Parity().SetCheck(true);
  p.Parity().SetReplace(true);
  p.Parity().SetReplaceChar(' ');
  p.Buffer().SetInputSize(4096);
  p.Buffer().SetOutputSize(2048);
  p.Timeouts().SetReadInterval(5);
  p.Timeouts().SetReadTotalConstant(6);
  p.Timeouts().SetReadTotalMultiplier(7);
  p.Timeouts().SetWriteTotalConstant(8);
  p.Timeouts().SetWriteTotalMultiplier(-1);
  TSerialFlowControl &f = p.FlowControl();
  f.SetControlRTS(rtsToggle);
  f.SetControlDTR(dtrHandshake);
  f.SetDSRSensitivity(true);
  f.SetOutCTSFlow(true);
  f.SetOutDSRFlow(true);
  f.SetTxContinueOnXoff(true);
  f.SetXonXoffIn(true);
  f.SetXonXoffOut(false);
  f.SetXoffChar('\xC8');
  f.SetXonChar('Q');
}

void ExpectSameStoredSettings(const TSerialPort &a, const TSerialPort &b) {
  EXPECT_EQ(a.Port(), b.Port());
  EXPECT_EQ(a.BaudRate(), b.BaudRate());
  EXPECT_EQ(a.CustomBaudRate(), b.CustomBaudRate());
  EXPECT_EQ(a.StopBits(), b.StopBits());
  EXPECT_EQ(a.DataBits(), b.DataBits());
  EXPECT_EQ(a.Parity().Bits(), b.Parity().Bits());
  EXPECT_EQ(a.EventChar(), b.EventChar());
  EXPECT_EQ(a.DiscardNull(), b.DiscardNull());
  EXPECT_EQ(a.Parity().Check(), b.Parity().Check());
  EXPECT_EQ(a.Parity().Replace(), b.Parity().Replace());
  EXPECT_EQ(a.Parity().ReplaceChar(), b.Parity().ReplaceChar());
  EXPECT_EQ(a.Buffer().InputSize(), b.Buffer().InputSize());
  EXPECT_EQ(a.Buffer().OutputSize(), b.Buffer().OutputSize());
  EXPECT_EQ(a.Timeouts().ReadInterval(), b.Timeouts().ReadInterval());
  EXPECT_EQ(a.Timeouts().ReadTotalConstant(), b.Timeouts().ReadTotalConstant());
  EXPECT_EQ(a.Timeouts().ReadTotalMultiplier(), b.Timeouts().ReadTotalMultiplier());
  EXPECT_EQ(a.Timeouts().WriteTotalConstant(), b.Timeouts().WriteTotalConstant());
  EXPECT_EQ(a.Timeouts().WriteTotalMultiplier(), b.Timeouts().WriteTotalMultiplier());
  const TSerialFlowControl &fa = a.FlowControl(), &fb = b.FlowControl();
  EXPECT_EQ(fa.ControlRTS(), fb.ControlRTS());
  EXPECT_EQ(fa.ControlDTR(), fb.ControlDTR());
  EXPECT_EQ(fa.DSRSensitivity(), fb.DSRSensitivity());
  EXPECT_EQ(fa.OutCTSFlow(), fb.OutCTSFlow());
  EXPECT_EQ(fa.OutDSRFlow(), fb.OutDSRFlow());
  EXPECT_EQ(fa.TxContinueOnXoff(), fb.TxContinueOnXoff());
  EXPECT_EQ(fa.XonXoffIn(), fb.XonXoffIn());
  EXPECT_EQ(fa.XonXoffOut(), fb.XonXoffOut());
  EXPECT_EQ(fa.XoffChar(), fb.XoffChar());
  EXPECT_EQ(fa.XonChar(), fb.XonChar());
}

class IniStore : public ::testing::Test {
protected:
  std::string File(const char *name = "port.ini") const { return dir_.filePath(name).toStdString(); }
  QTemporaryDir dir_;
};

}  // namespace

TEST_F(IniStore, EveryGroupSurvivesTheRoundTrip) {
  TSerialPort saved, loaded;
  MakeUnusual(saved);
  saved.SetStoredGroups(kAllGroups);
  loaded.SetStoredGroups(kAllGroups);
  SaveToIni(saved, File());
  LoadFromIni(loaded, File());
  ExpectSameStoredSettings(saved, loaded);
}

TEST_F(IniStore, FileUsesTheKeysAndValueTexts) {
  TSerialPort p;
  MakeUnusual(p);
  p.SetStoredGroups(kAllGroups);
  SaveToIni(p, File());
  const std::string text = ReadFile(File());
  for (const char *line : {"[SerialPort1]\n",
                           "Port=/dev/ttyUSB3\n",
                           "BaudRate=Custom\n",
                           "CustomBaudRate=250000\n",
                           "StopBits=2\n",
                           "DataBits=7\n",
                           "Parity=Even\n",
                           "FlowControl=Custom\n",
                           "EventChar=#35\n",
                           "DiscardNull=Yes\n",
                           "Parity.Check=Yes\n",
                           "Parity.ReplaceChar=#32\n",
                           "Buffer.OutputSize=2048\n",
                           "Buffer.InputSize=4096\n",
                           "Timeouts.WriteTotalMultiplier=-1\n",
                           "FlowControl.ControlRTS=Toggle\n",
                           "FlowControl.ControlDTR=Handshake\n",
                           "FlowControl.XonXoffOut=No\n",
                           "FlowControl.XoffChar=#200\n",
                           "FlowControl.XonChar=Q\n"})
    EXPECT_NE(text.find(line), std::string::npos) << line << "\nin:\n" << text;
}

TEST_F(IniStore, OnlyTheStoredGroupsAreWrittenAndRead) {
  TSerialPort p;
  MakeUnusual(p);
  p.SetBaudRate(br57600);  // no CustomBaudRate key without brCustom
  ASSERT_EQ(p.StoredGroups(), TStoredGroups{sgBasic});
  SaveToIni(p, File());
  const std::string text = ReadFile(File());
  EXPECT_NE(text.find("BaudRate=57600\n"), std::string::npos);
  EXPECT_EQ(text.find("CustomBaudRate"), std::string::npos);
  EXPECT_EQ(text.find("Timeouts."), std::string::npos);
  EXPECT_EQ(text.find("EventChar"), std::string::npos);

  // A file holding every group loads only what the port asks for.
  p.SetStoredGroups(kAllGroups);
  SaveToIni(p, File());
  TSerialPort basicOnly;
  LoadFromIni(basicOnly, File());
  EXPECT_EQ(basicOnly.BaudRate(), br57600);
  EXPECT_EQ(basicOnly.Port(), "/dev/ttyUSB3");
  EXPECT_EQ(basicOnly.Buffer().InputSize(), 1024);
  EXPECT_EQ(basicOnly.Timeouts().ReadInterval(), -1);
  EXPECT_FALSE(basicOnly.DiscardNull());
}

TEST_F(IniStore, SavingKeepsTheRestOfTheFileAndUpdatesInPlace) {
  WriteFile(File(), "; written by hand\n[Other]\nName=x\n\n[serialport1]\nbaudrate=300\nExtra=1\n");
  TSerialPort p;
  p.SetBaudRate(br115200);
  SaveToIni(p, File());
  const std::string text = ReadFile(File());
  EXPECT_EQ(text.rfind("; written by hand\n[Other]\nName=x\n\n[serialport1]\n", 0), 0u) << text;
  EXPECT_NE(text.find("baudrate=115200\n"), std::string::npos) << text;
  EXPECT_EQ(text.find("BaudRate="), std::string::npos) << "the key was added a second time:\n" << text;
  EXPECT_NE(text.find("Extra=1\n"), std::string::npos);
  EXPECT_EQ(text.find("[SerialPort1]"), std::string::npos);

  // Another section name lands beside the first, the first untouched.
  SaveToIni(p, File(), "Backup");
  TSerialPort q;
  LoadFromIni(q, File(), "BACKUP");
  EXPECT_EQ(q.BaudRate(), br115200);
  EXPECT_NE(ReadFile(File()).find("baudrate=115200\n"), std::string::npos);
}

TEST_F(IniStore, LoadingTakesForeignSpellingsAndFallsBackOnUnknownTexts) {
  WriteFile(File(),
            "[SerialPort1]\r\n  BaudRate = custom \r\nStopBits=1.5\r\nDataBits=9\r\nParity=space\r\n"
            "FlowControl=software\r\nPort=COM3\r\n");
  TSerialPort p;
  p.SetCustomBaudRate(1234);
  LoadFromIni(p, File());
  EXPECT_EQ(p.BaudRate(), brCustom);
  EXPECT_EQ(p.CustomBaudRate(), 1234);  // no key: left as it was
  EXPECT_EQ(p.StopBits(), sbOne5StopBits);
  EXPECT_EQ(p.DataBits(), dbEight);  // "9" is no data size
  EXPECT_EQ(p.Parity().Bits(), prSpace);
  EXPECT_EQ(p.FlowControl().FlowControl(), fcSoftware);
  EXPECT_EQ(p.Port(), "COM3");
}

TEST_F(IniStore, LoadFailuresRaiseCode17AndChangeNothing) {
  TSerialPort p;
  try {
    LoadFromIni(p, File("absent.ini"));
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 17);
    EXPECT_EQ(e.OsCode(), ENOENT);
  }

  WriteFile(File(), "[Other]\nBaudRate=300\n");
  EXPECT_THROW(LoadFromIni(p, File()), ESerialPort);
  EXPECT_EQ(p.BaudRate(), br9600);

  // The bad number comes after good keys: none of them may be applied.
  WriteFile(File(), "[SerialPort1]\nPort=/dev/ttyUSB9\nBaudRate=300\nBuffer.InputSize=x12\n");
  p.SetStoredGroups(kAllGroups);
  try {
    LoadFromIni(p, File());
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 17);
    EXPECT_EQ(e.Message().rfind("Failed to load settings", 0), 0u);
  }
  EXPECT_EQ(p.Port(), "COM1");
  EXPECT_EQ(p.BaudRate(), br9600);
  EXPECT_EQ(p.Buffer().InputSize(), 1024);
  EXPECT_EQ(p.SettingsChangeCount(), 0);
}

TEST_F(IniStore, SaveFailureRaisesCode16AndLeavesNoTemporary) {
  TSerialPort p;
  const std::string inMissingFolder = dir_.filePath("no/such/folder/port.ini").toStdString();
  try {
    SaveToIni(p, inMissingFolder);
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 16);
    EXPECT_EQ(e.OsCode(), ENOENT);
  }
  // A folder where the file should be: the old "file" stays and nothing is left beside it.
  QDir(dir_.path()).mkdir("taken.ini");
  EXPECT_THROW(SaveToIni(p, File("taken.ini")), ESerialPort);
  EXPECT_EQ(QDir(dir_.path()).entryList(QDir::AllEntries | QDir::NoDotAndDotDot), QStringList{"taken.ini"});
}

TEST(IniDocument, LinesKeepTheirEndsAndTheByteOrderMarkStays) {
  struct Write {
    const char *section, *key, *value;
  };
  const struct {
    const char *name, *before;
    std::vector<Write> writes;
    const char *after;
  } cases[] = {
      {"CR LF file",
       "[S]\r\nA=1\r\nB=2\r\n",
       {{"S", "A", "9"}, {"S", "C", "3"}, {"T", "D", "4"}},
       "[S]\r\nA=9\r\nB=2\r\nC=3\r\n\r\n[T]\r\nD=4\r\n"},
      {"mostly CR LF: the LF line stays, changed and new lines take CR LF",
       "[S]\r\nA=1\nB=2\nC=3\r\nD=4\r\n",
       {{"S", "B", "8"}, {"S", "E", "5"}},
       "[S]\r\nA=1\nB=8\r\nC=3\r\nD=4\r\nE=5\r\n"},
      {"mostly LF: the CR LF line stays", "[S]\nA=1\r\nB=2\n", {{"S", "B", "9"}}, "[S]\nA=1\r\nB=9\n"},
      {"a tie goes the first line's way", "[S]\r\nA=1\n", {{"S", "B", "2"}}, "[S]\r\nA=1\nB=2\r\n"},
      {"an unchanged last line keeps its missing end",
       "[S]\r\nA=1\r\n[T]\r\nB=2",
       {{"S", "A", "5"}},
       "[S]\r\nA=5\r\n[T]\r\nB=2"},
      {"a last line without end gets one when lines follow", "[S]\r\nA=1", {{"S", "B", "2"}}, "[S]\r\nA=1\r\nB=2\r\n"},
      {"a value written as it was changes nothing", "[S]\r\n  A = 1 \n", {{"S", "a", "1"}}, "[S]\r\n  A = 1 \n"},
      {"byte-order mark", "\xEF\xBB\xBF[S]\r\nA=1\r\n", {{"S", "A", "2"}}, "\xEF\xBB\xBF[S]\r\nA=2\r\n"},
      {"new document", "", {{"S", "A", "1"}}, "[S]\nA=1\n"},
      {"CR alone", "[S]\rA=1\rB=2\r", {{"S", "A", "9"}, {"S", "C", "3"}}, "[S]\rA=9\rB=2\rC=3\r"},
      {"CR alone beside CR LF", "[S]\r\nA=1\rB=2\r", {{"S", "B", "5"}}, "[S]\r\nA=1\rB=5\r"},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.name);
    TIniDocument doc;
    doc.Parse(c.before);
    if (*c.before) {
      std::string value;
      EXPECT_TRUE(doc.Read("S", "A", value)) << "the first section was missed";
    }
    for (const Write &w : c.writes) doc.Write(w.section, w.key, w.value);
    EXPECT_EQ(doc.Text(), c.after);
  }
}

TEST_F(IniStore, CustomBaudRateIsReadOnlyForACustomRate) {
  const struct {
    const char *baudLine;  // nullptr: the file names no baud rate
    const char *customLine;
    TBaudRate before;
    bool loads;
    TBaudRate baud;
    std::int32_t custom;
  } cases[] = {
      {"BaudRate=115200", "CustomBaudRate=250000", br9600, true, br115200, 1234},  // stale
      {"BaudRate=115200", "CustomBaudRate=abc", br9600, true, br115200, 1234},
      {"BaudRate=300", "CustomBaudRate=250000", brCustom, true, br300, 1234},  // the file's rate counts
      {"BaudRate=Custom", "CustomBaudRate=250000", br9600, true, brCustom, 250000},
      {"BaudRate=custom", "CustomBaudRate= 250000 ", br9600, true, brCustom, 250000},
      {nullptr, "CustomBaudRate=250000", brCustom, true, brCustom, 250000},  // the port's rate counts
      {nullptr, "CustomBaudRate=x", br9600, true, br9600, 1234},
      {"BaudRate=Custom", "CustomBaudRate=abc", br9600, false, br9600, 1234},  // in use, and no number
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(std::string(c.baudLine ? c.baudLine : "(no BaudRate)") + " " + c.customLine);
    WriteFile(File(), std::string("[SerialPort1]\n") + c.customLine + "\n" + (c.baudLine ? c.baudLine : "") + "\n");
    TSerialPort p;
    p.SetBaudRate(c.before);
    p.SetCustomBaudRate(1234);
    try {
      LoadFromIni(p, File());
      EXPECT_TRUE(c.loads) << "loaded";
    } catch (const ESerialPort &e) {
      EXPECT_FALSE(c.loads) << e.Message();
      EXPECT_EQ(e.Code(), 17);
    }
    EXPECT_EQ(p.BaudRate(), c.loads ? c.baud : c.before);
    EXPECT_EQ(p.CustomBaudRate(), c.custom);
  }
}

TEST(IniRegistry, RefusesWithStoreAndLoadCodes) {
  TSerialPort p;
  try {
    SaveToRegistry(p, "Software\\Talvex");
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 16);
  }
  try {
    LoadFromRegistry(p, "Software\\Talvex");
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 17);
  }
}

TEST(IniValueTexts, CharactersAndBooleans) {
  EXPECT_EQ(CharToIniText('\0'), "#0");
  EXPECT_EQ(CharToIniText('\x11'), "#17");
  EXPECT_EQ(CharToIniText(' '), "#32");
  EXPECT_EQ(CharToIniText('!'), "!");
  EXPECT_EQ(CharToIniText('#'), "#35");
  EXPECT_EQ(CharToIniText('\xFF'), "#255");
  for (int c = 0; c < 256; ++c) {
    const char ch = static_cast<char>(c);
    EXPECT_EQ(IniTextToChar(CharToIniText(ch)), ch) << c;
  }
  EXPECT_EQ(IniTextToChar(""), '\0');
  EXPECT_EQ(IniTextToChar("#"), '\0');
  EXPECT_EQ(IniTextToChar("#x1"), '\0');
  EXPECT_EQ(IniTextToChar("#300"), '\0');
  EXPECT_EQ(IniTextToChar("#65"), 'A');
  EXPECT_EQ(IniTextToChar("Hello"), 'H');

  EXPECT_EQ(BoolToIniText(true), "Yes");
  EXPECT_EQ(BoolToIniText(false), "No");
  EXPECT_TRUE(IniTextToBool("yes"));
  EXPECT_TRUE(IniTextToBool("YES"));
  EXPECT_FALSE(IniTextToBool("1"));
  EXPECT_FALSE(IniTextToBool("True"));
  EXPECT_FALSE(IniTextToBool(""));
}

TEST_F(IniStore, IntegersReadAsTheWindowsReaderReadsThem) {
  const struct {
    const char *value;
    bool loads;
    std::int32_t got;
  } cases[] = {
      {"1000 ms", true, 1000},
      {" 12x", true, 12},
      {"-1 ; none", true, -1},
      {"+5", true, 5},
      {"2147483647", true, INT32_MAX},
      {"-2147483648", true, INT32_MIN},
      {"x12", false, 0},
      {"", false, 0},
      {"-", false, 0},
      {"2147483648", false, 0},
      {"99999999999999999999", false, 0},
  };
  for (const auto &c : cases) {
    SCOPED_TRACE(c.value);
    // CR alone ends the lines: the section is found all the same.
    WriteFile(File(), std::string("[SerialPort1]\rBaudRate=300\rTimeouts.ReadTotalConstant=") + c.value + "\r");
    TSerialPort p;
    p.SetStoredGroups(kAllGroups);
    try {
      LoadFromIni(p, File());
      EXPECT_TRUE(c.loads) << "loaded";
    } catch (const ESerialPort &e) {
      EXPECT_FALSE(c.loads) << e.Message();
      EXPECT_EQ(e.Code(), 17);
    }
    EXPECT_EQ(p.BaudRate(), c.loads ? br300 : br9600);
    EXPECT_EQ(p.Timeouts().ReadTotalConstant(), c.loads ? c.got : 0);
  }
}

TEST_F(IniStore, SavingThroughALinkWritesTheFileItNames) {
  const std::string real = File("real.ini");
  const struct {
    const char *what;
    std::string link, target;  // target as the link holds it
    bool realExists;
  } cases[] = {
      {"relative link", File("rel.ini"), "real.ini", true},
      {"absolute link", File("abs.ini"), real, true},
      {"link to a link", File("chain.ini"), "rel.ini", true},
      {"link to a file not made yet", File("new.ini"), "real.ini", false},
  };
  ASSERT_EQ(::symlink("real.ini", File("rel.ini").c_str()), 0);
  for (const auto &c : cases) {
    SCOPED_TRACE(c.what);
    if (c.realExists) WriteFile(real, "; mine\n[SerialPort1]\nBaudRate=300\n");
    else ::unlink(real.c_str());
    if (c.link != File("rel.ini")) {
      ASSERT_EQ(::symlink(c.target.c_str(), c.link.c_str()), 0);
    }
    TSerialPort p;
    p.SetBaudRate(br57600);
    SaveToIni(p, c.link);
    struct stat st {};
    ASSERT_EQ(::lstat(c.link.c_str(), &st), 0);
    EXPECT_TRUE(S_ISLNK(st.st_mode)) << "the link became a file";
    const std::string text = ReadFile(real);
    EXPECT_NE(text.find("BaudRate=57600"), std::string::npos) << text;
    if (c.realExists) {
      EXPECT_EQ(text.rfind("; mine\n", 0), 0u) << "the rest of the file was lost:\n" << text;
    }
    TSerialPort q;
    LoadFromIni(q, c.link);
    EXPECT_EQ(q.BaudRate(), br57600);
  }
  // A loop of links is refused, and nothing is made.
  ASSERT_EQ(::symlink("loop-b.ini", File("loop-a.ini").c_str()), 0);
  ASSERT_EQ(::symlink("loop-a.ini", File("loop-b.ini").c_str()), 0);
  TSerialPort p;
  try {
    SaveToIni(p, File("loop-a.ini"));
    FAIL();
  } catch (const ESerialPort &e) {
    EXPECT_EQ(e.Code(), 16);
    EXPECT_EQ(e.OsCode(), ELOOP);
  }
}
