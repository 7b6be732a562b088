// Writes the fuzzers' starting inputs into <dir>/<fuzzer>/: live frames and
// dumps as the simulated logger sends them, number pictures and texts the
// program uses, port settings as the program saves them. Small and made
// afresh at every build, so no corpus lives in the repository.

#include "data/data_export.h"
#include "data/dump_decoder.h"
#include "data/dump_lines.h"
#include "data/text_file_writer.h"
#include "runtime/format_settings.h"
#include "serial/serial_ini.h"
#include "serial/serial_port.h"
#include "sim/logger_simulator.h"

#include <cstdint>
#include <cstdio>
#include <cstring>
#include <filesystem>
#include <fstream>
#include <string>
#include <vector>

namespace fs = std::filesystem;

namespace {

fs::path Root;

void Put(const std::string &fuzzer, int n, const std::string &bytes) {
  const fs::path dir = Root / fuzzer;
  fs::create_directories(dir);
  std::ofstream out(dir / ("seed-" + std::to_string(n)), std::ios::binary | std::ios::trunc);
  out.write(bytes.data(), static_cast<std::streamsize>(bytes.size()));
  if (!out) throw std::runtime_error("cannot write " + (dir / ("seed-" + std::to_string(n))).string());
}

// Pieces as the live fuzzer reads them: a length byte before each.
std::string Pieces(const std::string &text, const std::vector<std::size_t> &sizes) {
  std::string out;
  std::size_t at = 0;
  for (std::size_t i = 0; at < text.size(); ++i) {
    std::size_t n = sizes.empty() ? text.size() - at : sizes[i % sizes.size()];
    if (n > 255) n = 255;
    if (n > text.size() - at) n = text.size() - at;
    out += static_cast<char>(n);
    out.append(text, at, n);
    at += n;
  }
  return out;
}

TLoggerState State(std::int64_t ms, std::uint64_t seed, int rate, long memory) {
  TLoggerState s;
  s.Clock = TSimDateTime::FromMs(ms);
  s.Battery = 120 + static_cast<int>(seed % 77);
  s.RateCode = rate;
  s.Readings = ChannelReadings(ms, seed);
  s.MemoryCount = memory;
  return s;
}

void LiveSeeds() {
  const std::int64_t t0 = TSimDateTime{2004, 3, 15, 10, 30, 0}.ToMs();
  int n = 0;
  const std::string one = MakeLiveFrame(State(t0, 1, 4, 0));
  Put("live_frame", n++, Pieces(one, {}));
  Put("live_frame", n++, Pieces(one, {1}));
  Put("live_frame", n++, Pieces(one, {103, 1}));
  Put("live_frame", n++, Pieces(one, {7, 13, 64}));
  std::string three;
  for (int k = 0; k < 3; ++k) three += MakeLiveFrame(State(t0 + k * 60000, 7, 4 + k, 1999L * k));
  Put("live_frame", n++, Pieces(three, {104}));
  Put("live_frame", n++, Pieces(three, {50, 54}));
  Put("live_frame", n++, Pieces(three, {255}));
  // A frame joined late: the tail of one, then whole ones.
  Put("live_frame", n++, Pieces(three.substr(40), {64, 104}));
}

void DumpSeeds() {
  int n = 0;
  for (int rate = 1; rate <= 6; ++rate) {
    for (int records : {0, 1, 3}) {
      TSimDumpHeader h;
      h.Start = TSimDateTime{2004 + rate, rate * 2, 28, 23, 57 - rate, rate};
      h.RateCode = rate;
      std::vector<TReadings> recs;
      for (int r = 0; r < records; ++r) recs.push_back(ChannelReadings(r * 60000LL, rate));
      Put("dump_decoder", n++, MakeDump(h, recs, ChannelReadings(records * 60000LL, rate)) + kEndMark);
    }
  }
  // The same dump with lone LF and lone CR line ends.
  TSimDumpHeader h;
  std::string d = MakeDump(h, {ChannelReadings(0, 3)}, ChannelReadings(1, 3)) + kEndMark;
  std::string lf, cr;
  for (char c : d) {
    if (c != '\r') lf += c;
    if (c != '\n') cr += c;
  }
  Put("dump_decoder", n++, lf);
  Put("dump_decoder", n++, cr);
}

// Files the program saves and exports, and what an editor makes of them.
void DataFileSeeds() {
  ApplyProgramFormats();
  int n = 0;
  for (int rate : {2, 6, 9}) {
    TSimDumpHeader h;
    h.Start = TSimDateTime{2004, 2, 28, 22, 57, 0};
    h.RateCode = rate;
    std::vector<TReadings> recs;
    for (int r = 0; r < 4; ++r) recs.push_back(ChannelReadings(r * 60000LL, rate));
    const std::string dump = MakeDump(h, recs, ChannelReadings(4 * 60000LL, rate)) + kEndMark;
    const TDumpLines lines = SplitDumpLines(dump);
    TDataTable table(DataColumns, static_cast<int>(lines.size()) - 2);
    TDumpHeader header;
    DOSCANALESLM35(lines, table, header);
    const int records = static_cast<int>(lines.size()) - 3;
    const std::string text = BuildTextFile(table, records);
    Put("data_file", n++, text);
    // The date dragged behind channel 1.
    Put("data_file", n++,
        BuildTextFile(table, records, {0, 2, 3, 1, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17, 18}));
    std::string lf;
    for (char c : text)
      if (c != '\r') lf += c == ',' ? '.' : c;
    Put("data_file", n++, lf);
    Put("data_file", n++, BuildCsv({table, records, {}}, TCsvStyle::Comma));
    Put("data_file", n++, "\xEF\xBB\xBF" + BuildCsv({table, records, {}}, TCsvStyle::Semicolon));
  }
  Put("data_file", n++,
      "FECHA;HORA;CH1;CH2;CH3;CH4;CH5;CH6;CH7;CH8;CH9;CH10;CH11;CH12;CH13;CH14;CH15;CH16;\n"
      "15/03/2004;10:35;\"25,0\";1;1;1;1;1;1;1;1;1;1;1;1;1;1;1;\n");
}

void NumberSeeds() {
  struct Seed {
    bool program;
    double value;
    const char *text;
  };
  const Seed seeds[] = {
      {true, 25.25, "0.0"},
      {true, -1234567.891, "#,##0.00"},
      {false, 0.05, "#.##"},
      {true, 0.0, "0.0;-0.0;\"cero\""},
      {true, -3.5, "'T' 0.0 'C'"},
      {false, 1e20, "1E20"},
      {true, 98.0, "25,5"},
      {false, 2.03125, "-12"},
      {false, 1e-5, "$FF"},
      {false, -0.0, "0x7FFFFFFF"},
      {true, 123456.5, " -2147483648 "},
      {true, 4.9e-324, "1,5E-3"},
  };
  int n = 0;
  for (const Seed &s : seeds) {
    std::string bytes(1, s.program ? '\1' : '\0');
    char raw[sizeof(double)];
    std::memcpy(raw, &s.value, sizeof raw);
    bytes.append(raw, sizeof raw);
    bytes += s.text;
    Put("number_format", n++, bytes);
  }
}

void IniSeeds() {
  const fs::path tmp = Root / "ini-work.ini";
  int n = 0;
  auto save = [&](TCustomSerialPort &port, const std::string &before) {
    {
      std::ofstream out(tmp, std::ios::binary | std::ios::trunc);
      out << before;
    }
    SaveToIni(port, tmp.string());
    std::ifstream in(tmp, std::ios::binary);
    std::string text((std::istreambuf_iterator<char>(in)), std::istreambuf_iterator<char>());
    Put("serial_ini", n++, std::string(1, static_cast<char>(port.StoredGroups().Bits())) + text);
  };
  TCustomSerialPort port;
  port.SetStoredGroups(TStoredGroups::FromBits(0x3f));
  save(port, "");
  port.SetPort("/dev/ttyUSB0");
  port.SetBaudRate(brCustom);
  port.SetCustomBaudRate(250000);
  port.FlowControl().SetXonXoffIn(true);
  port.FlowControl().SetXonChar('#');
  port.Parity().SetReplaceChar('\x7f');
  save(port, "; kept\r\n[Other]\r\nPort=COM3\r\n");
  port.SetStoredGroups({sgBasic});
  save(port, "");
  std::error_code ec;
  fs::remove(tmp, ec);
}

}  // namespace

int main(int argc, char **argv) {
  if (argc != 2) {
    std::fprintf(stderr, "usage: %s <corpus dir>\n", argv[0]);
    return 2;
  }
  try {
    Root = argv[1];
    LiveSeeds();
    DumpSeeds();
    DataFileSeeds();
    NumberSeeds();
    IniSeeds();
  } catch (const std::exception &e) {
    std::fprintf(stderr, "%s: %s\n", argv[0], e.what());
    return 1;
  }
  return 0;
}
