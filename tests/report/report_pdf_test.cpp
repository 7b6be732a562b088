// The report as its reader gets it: the PDF's text read back by pdftotext
// and checked against figures Python works out from the same data file,
// its pages and paper by pdfinfo, its first page drawn by pdftoppm, and
// its hash against sha256sum of the file the program saves.

#include "common/test_files.h"
#include "data/data_file_reader.h"
#include "data/record_values.h"
#include "data/text_file_writer.h"
#include "report/report.h"
#include "report/report_sources.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <QImage>
#include <QTemporaryDir>

#include <gtest/gtest.h>

#include <algorithm>
#include <cstdio>
#include <fstream>

namespace {

std::string Shell(const std::string &command) {
  std::string out;
  FILE *p = popen((command + " 2>&1").c_str(), "r");
  if (!p) return out;
  char buf[4096];
  while (size_t n = fread(buf, 1, sizeof buf, p)) out.append(buf, n);
  pclose(p);
  return out;
}

// Twelve records every 15 minutes. CH1 goes above 8,0 twice (45 and 30
// minutes), CH2 drops below 2,0 at the end and stays there, CH3 is never
// shown, CH5 and the rest wander inside.
const char *const kValues[12][16] = {
    {"5,0", "3,0", "1,0", "0,0", "20,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"5,5", "3,2", "1,0", "0,0", "21,3", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"9,0", "3,1", "1,0", "0,0", "22,7", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"9,5", "2,9", "1,0", "0,0", "25,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"8,0", "2,5", "1,0", "0,0", "24,1", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"7,0", "2,4", "1,0", "0,0", "23,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"6,0", "2,6", "1,0", "0,0", "22,2", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"5,0", "2,8", "1,0", "0,0", "21,9", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"8,5", "3,0", "1,0", "0,0", "20,5", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"8,0", "2,2", "1,0", "0,0", "-0,5", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"5,0", "1,5", "1,0", "0,0", "20,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"},
    {"4,0", "1,0", "1,0", "0,0", "20,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0", "1,0"}};

// The data as the program saves it.
std::string SavedFile(int records = 12) {
  std::string out = std::string(TEXT_FILE_HEADER) + "\r\n\r\n";
  for (int r = 0; r < records; ++r) {
    char stamp[32];
    std::snprintf(stamp, sizeof stamp, "01/03/2026  %02d:%02d:00  ", 8 + r * 15 / 60, r * 15 % 60);
    out += stamp;
    for (const char *v : kValues[r]) out += std::string(v) + "  ";
    out += "\r\n";
  }
  return out;
}

TAlarmLimitSet Limits() {
  TAlarmLimitSet limits{};
  limits[0].High = 80;
  limits[0].DelayMinutes = 40;  // the 30-minute excursion is no event
  limits[1].Low = 20;
  limits[2].High = 0;  // CH3 would be in alarm throughout, but is not shown
  return limits;
}

class Report : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    ASSERT_TRUE(dir_.isValid());
    data_ = Path("datos.txt");
    std::ofstream(data_, std::ios::binary) << SavedFile();
  }
  std::string Path(const char *name) const { return dir_.filePath(name).toStdString(); }

  TReport Make(const std::array<bool, kAlarmChannels> &shown) const {
    const TOpenedData data = ReadDataFile(data_);
    TReportArchiveFacts facts;
    facts.Limits = Limits();
    TArchivedAlarmEvent held;
    held.Event.Channel = 0;
    held.Event.Kind = TAlarmKind::High;
    held.Event.Start = StampSeconds(TStamp{2026, 3, 1, 8, 30, 0});
    held.Acknowledgements.push_back({"ana", 1772368200, "Puerta abierta durante la carga"});
    facts.Events.push_back(held);
    return ReportFromTable(data.Table, data.Records, ChannelsInOwnOrder(data.ColumnOrder), shown, "Cámara 1",
                           FileSourceText(data_), facts);
  }

  QTemporaryDir dir_;
  std::string data_;
};

std::array<bool, kAlarmChannels> Channels(std::initializer_list<int> own) {
  std::array<bool, kAlarmChannels> shown{};
  for (int c : own) shown[static_cast<size_t>(c - 1)] = true;
  return shown;
}

// Works the figures out from the saved file alone: lowest, highest, mean,
// MKT (each reading weighted by the time to the next, the last by the step
// before it) and the events under the limits, then finds them on the row of
// each channel in the report's text.
const char *const kFigureCheck = R"PY(
import math, sys, re
data, text = open(sys.argv[1], encoding='latin-1', newline='').read(), open(sys.argv[2], encoding='utf-8').read()
rows = [l.split() for l in data.split('\r\n')[2:] if l.strip()]
def secs(d, t):
    dd, mm, yy = map(int, d.split('/')); h, m, s = map(int, t.split(':'))
    return (((yy * 12 + mm) * 31 + dd) * 24 + h) * 3600 + m * 60 + s
times = [secs(r[0], r[1]) for r in rows]
limits = {1: ('high', 80, 40), 2: ('low', 20, 0)}
def tenths(v): return int(round(float(v.replace(',', '.')) * 10))
def comma(x, d): return ('%.*f' % (d, x)).replace('.', ',')
def dur(s): return '%d min' % (s // 60) if s else '0 min'
figures = text[text.index('Cifras por canal'):]
for ch in (1, 2, 5):
    v = [tenths(r[1 + ch]) for r in rows]
    w = [times[i + 1] - times[i] for i in range(len(times) - 1)]; w.append(w[-1])
    mean = sum(v) / len(v) / 10
    ea = 83.144e3 / 8.314
    mkt = ea / -math.log(sum(wi * math.exp(-ea / (x / 10 + 273.15)) for wi, x in zip(w, v)) / sum(w)) - 273.15
    events = []
    if ch in limits:
        kind, lim, delay = limits[ch]
        beyond = (lambda x: x > lim) if kind == 'high' else (lambda x: x < lim)
        back = (lambda x: x <= lim - 5) if kind == 'high' else (lambda x: x >= lim + 5)
        start = None
        for i, x in enumerate(v):
            if start is None and beyond(x): start = i
            elif start is not None and back(x):
                if times[i] - times[start] >= delay * 60: events.append((start, times[i] - times[start]))
                start = None
        if start is not None:
            d = times[-1] + w[-1] - times[start]
            if d >= delay * 60: events.append((start, d))
    line = next(l for l in figures.splitlines() if l.strip().startswith('CANAL%d ' % ch))
    for want in (comma(min(v) / 10, 1), comma(max(v) / 10, 1), comma(mean, 2)):
        if want not in line.split(): sys.exit('CANAL%d: %s not in %r' % (ch, want, line))
    got = [t for t in line.split() if re.fullmatch(r'-?\d+,\d\d', t)]
    if not any(abs(float(t.replace(',', '.')) - mkt) < 0.006 for t in got):
        sys.exit('CANAL%d: MKT %.3f not in %r' % (ch, mkt, line))
    total = sum(d for _, d in events)
    kind = limits.get(ch, ('high',))[0]
    counts = [str(n) for n in ((len(events), 0) if kind == 'high' else (0, len(events)))]
    if line.split()[-2:] != counts: sys.exit('CANAL%d: events %s not in %r' % (ch, counts, line))
    if dur(total) not in line: sys.exit('CANAL%d: %s beyond not in %r' % (ch, dur(total), line))
    for s, d in events:
        when = rows[s][0] + ' ' + rows[s][1]
        if not re.search(re.escape('CANAL%d' % ch) + r'\s+' + ('alta' if kind == 'high' else 'baja') + r'\s+' + re.escape(when), text):
            sys.exit('CANAL%d: no event starting %s' % (ch, when))
)PY";

TEST_F(Report, TextHoldsEachFigureWorkedOutIndependently) {
  const std::string pdf = Path("informe.pdf");
  WriteReportPdf(Make(Channels({1, 2, 5})), pdf);
  const std::string text = Path("informe.txt");
  Shell("pdftotext -layout '" + pdf + "' '" + text + "'");
  EXPECT_EQ(Python(kFigureCheck, data_, text), "");
  const std::string t = ReadFile(text);
  for (const char *expected :
       {"INFORME DE TEMPERATURAS", "Cámara 1", "01/03/2026 08:00:00 a 01/03/2026 10:45:00", "uno cada 15 min",
        "Registros: 12", "archivo datos.txt", "Reconocido por ana", "Puerta abierta durante la carga", "1 de "})
    EXPECT_NE(t.find(expected), std::string::npos) << expected;
  // Only the channels shown go in; the hidden one's alarm too.
  EXPECT_EQ(t.find("CANAL3"), std::string::npos);
  EXPECT_EQ(t.find("CANAL4"), std::string::npos);
}

TEST_F(Report, HashIsThatOfTheSavedTextFile) {
  const TReport report = Make(Channels({1}));
  const std::string saved = Path("guardado.txt");
  const TOpenedData data = ReadDataFile(data_);
  SaveTextFile(saved, data.Table, data.Records, ChannelsInOwnOrder(data.ColumnOrder));
  const std::string sum = Shell("sha256sum '" + saved + "'").substr(0, 64);
  EXPECT_EQ(report.Sha256, sum);
  EXPECT_EQ(Shell("sha256sum '" + data_ + "'").substr(0, 64), sum);  // the file itself, byte for byte

  const std::string pdf = Path("informe.pdf");
  WriteReportPdf(report, pdf);
  EXPECT_NE(Shell("pdftotext '" + pdf + "' -").find(sum), std::string::npos);
  const std::optional<TReportSeal> seal = ReadReportSeal(pdf);
  ASSERT_TRUE(seal);
  EXPECT_EQ(seal->Sha256, sum);
  EXPECT_EQ(seal->Records, 12);
  EXPECT_FALSE(ReadReportSeal(data_));  // not a PDF, not ours
}

TEST_F(Report, PagesAndPaper) {
  struct {
    QPageSize::PageSizeId Paper;
    const char *Size;
  } cases[] = {{QPageSize::A4, "595 x 842 pts (A4)"}, {QPageSize::Letter, "612 x 792 pts (letter)"}};
  // Many events push the list onto further pages; each says which of all.
  TReport report = Make(Channels({1, 2, 5}));
  for (int i = 0; i < 80; ++i) report.Events.push_back(report.Events.front());
  for (const auto &c : cases) {
    const std::string pdf = Path("paginas.pdf");
    WriteReportPdf(report, pdf, QPageSize(c.Paper));
    const std::string info = Shell("pdfinfo '" + pdf + "'");
    EXPECT_NE(info.find(c.Size), std::string::npos) << info;
    const std::size_t at = info.find("Pages:");
    ASSERT_NE(at, std::string::npos);
    const int pages = std::atoi(info.c_str() + at + 6);
    EXPECT_GE(pages, 2);
    const std::string text = Shell("pdftotext '" + pdf + "' -");
    for (int n = 1; n <= pages; ++n) {
      const std::string mark = std::to_string(n) + " de " + std::to_string(pages);
      EXPECT_NE(text.find(mark), std::string::npos) << mark;
    }
  }
}

TEST_F(Report, ChartLiesInsideItsFrame) {
  const std::string pdf = Path("informe.pdf");
  WriteReportPdf(Make(Channels({1, 2})), pdf);
  const std::string png = Path("pagina");
  Shell("pdftoppm -r 60 -f 1 -l 1 -png '" + pdf + "' '" + png + "'");
  QImage page(QString::fromStdString(png + "-1.png"));
  ASSERT_FALSE(page.isNull());
  // The panel's frame is the chart's blue; CANAL1's line is red and
  // CANAL2's blue is the frame's own, so red is looked for.
  QRect frame, red;
  for (int y = 0; y < page.height(); ++y)
    for (int x = 0; x < page.width(); ++x) {
      const QColor c = page.pixelColor(x, y);
      if (c.blue() > 200 && c.red() < 40 && c.green() < 40) frame |= QRect(x, y, 1, 1);
      if (c.red() > 200 && c.green() < 60 && c.blue() < 60) red |= QRect(x, y, 1, 1);
    }
  ASSERT_FALSE(frame.isEmpty());
  ASSERT_FALSE(red.isEmpty());
  EXPECT_TRUE(frame.contains(red)) << "frame " << frame.x() << "," << frame.y() << " " << frame.width() << "x"
                                   << frame.height() << ", line " << red.x() << "," << red.y() << " " << red.width()
                                   << "x" << red.height();
  EXPECT_GT(frame.width(), page.width() / 2);
  // Drawn as shapes: the document holds no picture at all.
  const std::string images = Shell("pdfimages -list '" + pdf + "'");
  EXPECT_EQ(std::count(images.begin(), images.end(), '\n'), 2) << images;  // the list's two heading lines
}

TEST_F(Report, NothingToReportIsSaid) {
  std::ofstream(data_, std::ios::binary) << SavedFile(0);
  try {
    Make(Channels({1}));
    FAIL() << "a report of no records";
  } catch (const Exception &e) {
    EXPECT_NE(e.Message().find("No hay registros"), std::string::npos) << e.Message();
  }
  std::ofstream(data_, std::ios::binary) << SavedFile();
  EXPECT_THROW(Make(Channels({})), Exception);
}

}  // namespace
