#include "app/history_window.h"
#include "app/history_chart.h"
#include "app/main_window.h"

#include "archive/archive.h"
#include "archive/archive_address.h"
#include "chart/chart.h"
#include "chart/time_axis.h"
#include "data/statistics_window.h"
#include "graph/graph_chart.h"
#include "runtime/application.h"
#include "runtime/exceptions.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_gradient.h"

#include <gtest/gtest.h>

#include <QCheckBox>
#include <QComboBox>
#include <QCoreApplication>
#include <QDateTimeEdit>
#include <QElapsedTimer>
#include <QFile>
#include <QLabel>
#include <QLineEdit>
#include <QPlainTextEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTest>
#include <QTreeWidget>

#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <fstream>
#include <future>
#include <string>
#include <vector>

namespace {

TStamp At(int year, int month, int day, int hour = 0, int minute = 0) {
  return TStamp{year, month, day, hour, minute, 0};
}

TStamp Plus(const TStamp &s, std::int64_t seconds) { return StampFromSeconds(StampSeconds(s) + seconds); }

// One record an hour from `first`, channel k reading 20.0 + k degrees plus
// a slow wave, so that no two neighbouring records are alike.
std::vector<TArchiveRecord> Hourly(const TStamp &first, int count) {
  std::vector<TArchiveRecord> out;
  for (int i = 0; i < count; ++i) {
    TArchiveRecord r;
    r.Instant = Plus(first, i * 3600LL);
    for (int k = 0; k < 16; ++k) r.Values[static_cast<size_t>(k)] = 200 + 10 * k + (i % 24) * 3;
    out.push_back(r);
  }
  return out;
}

// The window over an archive of the test's own: settings, data and state
// folders in a temporary folder, TALVEX_DB naming the archive there.
struct HistoryWindow : ::testing::Test {
  QTemporaryDir dir;
  std::string db;
  std::vector<std::string> messages;
  std::unique_ptr<THistoryWindow> form;

  void SetUp() override {
    ASSERT_TRUE(dir.isValid());
    for (const char *name : {"XDG_CONFIG_HOME", "XDG_DATA_HOME", "XDG_STATE_HOME"})
      qputenv(name, QFile::encodeName(dir.filePath(name)));
    db = dir.filePath("archivo.sqlite").toStdString();
    qputenv("TALVEX_DB", QByteArray::fromStdString(db));
    SetExceptionPresenter([this](const std::string &, const std::string &m) { messages.push_back(m); });
  }
  void TearDown() override {
    form.reset();
    qunsetenv("TALVEX_DB");
    SetExceptionPresenter(nullptr);
  }

  void Store(const std::string &logger, const std::vector<TArchiveRecord> &records) {
    TArchive archive(db);
    archive.StoreRecords(logger, std::string(), TArchiveOrigin(), records);
  }

  THistoryWindow &Open() {
    form = std::make_unique<THistoryWindow>();
    form->ShowMessage = [this](const QString &text) { messages.push_back(text.toStdString()); };
    form->FormActivate();
    Wait();
    return *form;
  }

  // Until every job of the window has ended and told its end.
  void Wait() {
    QElapsedTimer clock;
    clock.start();
    while (form->Busy() && clock.elapsed() < 60000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    QCoreApplication::processEvents();
    ASSERT_FALSE(form->Busy()) << "a job of the window never ended";
  }

  std::string Report() const { return form->TaskReport->toPlainText().toStdString(); }
};

TEST(HistorySpan, RangesCountBackFromTheNewestRecord) {
  const TStamp longAgo = At(2020, 1, 1);
  struct Case {
    THistorySpan Span;
    TStamp First, Last, From;
  } cases[] = {
      {THistorySpan::Day, longAgo, At(2025, 3, 31, 10), At(2025, 3, 30, 10)},
      {THistorySpan::Week, longAgo, At(2025, 3, 31, 10), At(2025, 3, 24, 10)},
      // A month back from a day the month before does not have: its last.
      {THistorySpan::Month, longAgo, At(2025, 3, 31, 10), At(2025, 2, 28, 10)},
      {THistorySpan::Month, longAgo, At(2024, 3, 30, 10), At(2024, 2, 29, 10)},
      {THistorySpan::Month, longAgo, At(2026, 1, 10, 8), At(2025, 12, 10, 8)},
      {THistorySpan::All, longAgo, At(2025, 3, 31, 10), longAgo},
      // A history shorter than the span starts where it starts.
      {THistorySpan::Week, At(2025, 1, 15), At(2025, 1, 17), At(2025, 1, 15)},
      {THistorySpan::Month, At(2025, 1, 15), At(2025, 2, 1), At(2025, 1, 15)},
  };
  for (const Case &c : cases) {
    const THistoryRange r = HistorySpanRange(c.Span, c.First, c.Last);
    EXPECT_EQ(IsoText(r.From), IsoText(c.From)) << static_cast<int>(c.Span) << " back from " << IsoText(c.Last);
    EXPECT_EQ(IsoText(r.To), IsoText(c.Last));
  }
}

TEST(HistoryAxis, CountsHoursFromTheRangesStartOrNamesDatesAndTimes) {
  TChart chart;
  ConfigureGraphChart(chart);
  const double start = ChartSeconds(At(2025, 3, 1, 6));
  const auto width = [](const std::string &text) { return static_cast<int>(text.size()) * 7; };
  SetHistoryTimeAxis(chart, false, start);
  EXPECT_EQ(chart.BottomAxis().Title().Caption().toStdString(), kHoursAxisTitle);
  TAxisTicks ticks = chart.BottomAxis().LabelSource()(start, start + 48 * 3600, 600, 10, width);
  ASSERT_GE(ticks.Values.size(), 3u);
  for (size_t i = 0; i < ticks.Values.size(); ++i) {
    const double hours = (ticks.Values[i] - start) / 3600;
    EXPECT_EQ(ticks.Texts[i], std::to_string(static_cast<int>(std::lround(hours))));
  }
  SetHistoryTimeAxis(chart, true, start);
  EXPECT_EQ(chart.BottomAxis().Title().Caption().toStdString(), kTimeAxisTitle);
  ticks = chart.BottomAxis().LabelSource()(start, start + 6 * 3600, 600, 10, width);
  ASSERT_FALSE(ticks.Values.empty());
  // Round times, named as the time axis writes them.
  EXPECT_EQ(std::fmod(ticks.Values[0], 1800), 0);
  EXPECT_EQ(ticks.Texts[0], FormatTimeLabel(ticks.Values[0], tlsMinutes));
}

TEST(HistoryButton, OpensTheHistoryWithoutALoggerFromWhereNothingElseWas) {
  TForm1 main;
  int shown = 0;
  main.ShowHistory = [&shown] { ++shown; };
  TInsColBitBtn &button = *main.InsColBitBtn9;
  EXPECT_EQ(button.TextOff(), "HISTORIAL");
  for (QObject *child : main.children()) {
    auto *other = qobject_cast<QWidget *>(child);
    if (other == nullptr || other == &button || other == main.InsGradient1) continue;
    EXPECT_FALSE(other->geometry().intersects(button.geometry())) << other->metaObject()->className();
  }
  ASSERT_FALSE(main.IsConnected());
  QTest::mouseClick(&button, Qt::LeftButton, {}, QPoint(20, 10));
  EXPECT_EQ(shown, 1);
}

TEST_F(HistoryWindow, ListsTheLoggersAndDrawsTheOutlineOfTheirWholeHistory) {
  Store("Horno", Hourly(At(2024, 6, 1), 300));
  Store("Cámara 1", Hourly(At(2025, 1, 15), 1800));
  Open();

  ASSERT_EQ(form->LoggerList->topLevelItemCount(), 2);
  QTreeWidgetItem *first = form->LoggerList->topLevelItem(0);
  EXPECT_EQ(first->text(0).toStdString(), "Cámara 1");
  EXPECT_EQ(first->text(2), "1800");
  EXPECT_EQ(first->text(3), "15/01/2025 00:00:00");
  EXPECT_EQ(first->text(4).toStdString(), ProgramDateText(Plus(At(2025, 1, 15), 1799 * 3600LL)) + " 23:00:00");
  EXPECT_EQ(form->Logger(), "Cámara 1");
  EXPECT_TRUE(messages.empty());

  // The whole history, drawn point for point as the archive outlines it
  // for the plot's width.
  const THistoryRange range = form->Range();
  EXPECT_EQ(IsoText(range.From), "2025-01-15T00:00:00");
  TArchive archive(db);
  const TArchiveOutline expected = archive.Outline("Cámara 1", range.From, range.To, form->Chart1->ChartRect().width());
  EXPECT_EQ(form->RangeOutline().Records, 1800);
  for (int k = 0; k < 16; ++k) {
    const TLineSeries &s = form->Chart1->Series(k);
    const std::vector<TOutlinePoint> &points = expected.Channels[static_cast<size_t>(k)];
    ASSERT_EQ(s.Count(), static_cast<int>(points.size())) << "CANAL" << k + 1;
    ASSERT_LT(s.Count(), 1800) << "the outline, not every record";
    for (int i = 0; i < s.Count(); ++i) {
      ASSERT_EQ(s.XValues()[i], points[static_cast<size_t>(i)].Seconds);
      ASSERT_DOUBLE_EQ(s.YValues()[i], points[static_cast<size_t>(i)].Value / 10.0);
    }
  }

  // Another logger opens on its own whole history.
  form->SelectLogger("Horno");
  Wait();
  EXPECT_EQ(IsoText(form->Range().From), "2024-06-01T00:00:00");
  EXPECT_EQ(form->RangeOutline().Records, 300);
}

TEST_F(HistoryWindow, QuickRangesCountBackFromTheLoggersNewestRecord) {
  // A history that ended long ago: the last day is its last day, not today's.
  Store("Cámara 1", Hourly(At(2025, 1, 15), 1800));
  Open();
  const TStamp last = Plus(At(2025, 1, 15), 1799 * 3600LL);
  const std::pair<THistorySpan, int> spans[] = {
      {THistorySpan::Day, 25}, {THistorySpan::Week, 7 * 24 + 1}, {THistorySpan::All, 1800}};
  for (const auto &[span, records] : spans) {
    form->SpanClick(span);
    Wait();
    EXPECT_EQ(IsoText(form->Range().To), IsoText(last));
    EXPECT_EQ(form->RangeOutline().Records, records) << static_cast<int>(span);
    EXPECT_EQ(form->FromEdit->dateTime().toString("yyyy-MM-ddTHH:mm:ss").toStdString(), IsoText(form->Range().From));
  }
  // A range typed in the boxes; one that ends before it starts is refused.
  form->FromEdit->setDateTime(QDateTime(QDate(2025, 2, 1), QTime(0, 0)));
  form->ToEdit->setDateTime(QDateTime(QDate(2025, 2, 1), QTime(23, 0)));
  form->ShowButtonClick();
  Wait();
  EXPECT_EQ(form->RangeOutline().Records, 24);
  form->FromEdit->setDateTime(QDateTime(QDate(2025, 2, 2), QTime(0, 0)));
  EXPECT_THROW(form->ShowButtonClick(), Exception);
}

TEST_F(HistoryWindow, ASpikeStaysInSightWholeAndZoomedAndVersionsAreShown) {
  std::vector<TArchiveRecord> records = Hourly(At(2025, 1, 15), 1800);
  records[1234].Values[2] = 850;  // CANAL3, one record
  Store("Cámara 1", records);
  // The clock set back: three instants held again with other values.
  std::vector<TArchiveRecord> again(records.begin() + 100, records.begin() + 103);
  for (TArchiveRecord &r : again) r.Values[0] = -55;
  Store("Cámara 1", again);
  Open();

  auto highest = [this](int channel) {
    const TLineSeries &s = form->Chart1->Series(channel - 1);
    double top = -1e9;
    for (int i = 0; i < s.Count(); ++i) top = std::max(top, s.YValues()[i]);
    return top;
  };
  EXPECT_DOUBLE_EQ(highest(3), 85.0);

  // A zoom around the spike asks for that part's own, finer outline.
  TChart &chart = *form->Chart1;
  const double spike = ChartSeconds(records[1234].Instant);
  const QRect plot = chart.ChartRect();
  const int x = chart.BottomAxis().CalcPosValue(spike);
  const int before = chart.Series(2).Count();
  chart.ZoomRect(QRect(QPoint(x - 20, plot.top() + 1), QPoint(x + 20, plot.bottom() - 1)));
  Wait();
  EXPECT_DOUBLE_EQ(highest(3), 85.0);
  EXPECT_NE(chart.Series(2).Count(), before);
  EXPECT_GT(chart.Series(2).XValues().MinValue(), ChartSeconds(records[1100].Instant));
  chart.UndoZoom();
  EXPECT_EQ(chart.Series(2).Count(), before);

  // "Imprimir" hands the print preview this chart, whose summary names the
  // range's extremes, the spike among them.
  TChart *printed = nullptr;
  form->PrintPreview = [&printed](QWidget *, TChart &c) { printed = &c; };
  form->InsColBitBtn4->OnClick(form->InsColBitBtn4);
  ASSERT_EQ(printed, &chart);
  const TPrintSummary summary = chart.PrintSummarySource();
  EXPECT_TRUE(summary.Heading.join(' ').contains(QString::fromUtf8("Registrador: Cámara 1")));
  ASSERT_EQ(summary.Rows.size(), 16);
  EXPECT_EQ(summary.Rows[2][3], "85,0");
  EXPECT_EQ(summary.Rows[2][4].toStdString(),
            ProgramDateText(records[1234].Instant) + " " + ProgramTimeText(records[1234].Instant));

  // The instants with versions, listed and named by the readout.
  ASSERT_EQ(form->InstantsWithVersions().size(), 3u);
  EXPECT_EQ(IsoText(form->InstantsWithVersions()[0]), IsoText(records[100].Instant));
  EXPECT_EQ(form->VersionsList->count(), 4);
  const auto readout = HistoryReadout(chart, ChartSeconds(records[101].Instant), {});
  EXPECT_EQ(readout[0].Text.toStdString(),
            ProgramDateText(records[101].Instant) + " " + ProgramTimeText(records[101].Instant));
  const TStamp versioned = records[101].Instant;
  bool told = false;
  for (const auto &line : chart.OnReadout(0, ChartSeconds(versioned)))
    told = told || line.Text.contains("Varias versiones");
  EXPECT_TRUE(told);
}

TEST_F(HistoryWindow, AZoomAskedForWhileTheRangeIsReadLeavesTheRangeWhole) {
  Store("Cámara 1", Hourly(At(2025, 1, 15), 1800));
  Open();
  form->SpanClick(THistorySpan::Day);
  Wait();
  // Jobs held on their threads: the whole history is asked for, and a zoom
  // of the day still shown comes before it is read.
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  form->SetOnJobThread([gate] { gate.wait(); });
  form->SpanClick(THistorySpan::All);
  TChart &chart = *form->Chart1;
  const QRect plot = chart.ChartRect();
  chart.ZoomRect(QRect(QPoint(plot.left() + 50, plot.top() + 1), QPoint(plot.left() + 150, plot.bottom() - 1)));
  release.set_value();
  Wait();
  EXPECT_EQ(form->RangeOutline().Records, 1800);
  chart.UndoZoom();
  TArchive archive(db);
  const THistoryRange range = form->Range();
  EXPECT_EQ(chart.Series(0).Count(),
            static_cast<int>(
                archive.Outline("Cámara 1", range.From, range.To, chart.ChartRect().width()).Channels[0].size()));
}

TEST_F(HistoryWindow, RenamesALoggerAndKeepsItsHistory) {
  Store("COM1", Hourly(At(2025, 1, 15), 48));
  Store("Horno", Hourly(At(2025, 1, 15), 10));
  Open();
  ASSERT_EQ(form->Logger(), "COM1");
  form->NewName->setText("Cámara norte");
  form->RenameButtonClick();
  Wait();
  EXPECT_EQ(form->Logger(), "Cámara norte");
  EXPECT_EQ(form->LoggerList->currentItem()->text(0).toStdString(), "Cámara norte");
  EXPECT_EQ(form->RangeOutline().Records, 48);
  EXPECT_TRUE(messages.empty());

  // A name already taken is refused, and said.
  form->NewName->setText("Horno");
  form->RenameButtonClick();
  Wait();
  ASSERT_EQ(messages.size(), 1u);
  EXPECT_NE(messages[0].find("Ya hay un registrador llamado \"Horno\""), std::string::npos) << messages[0];
  EXPECT_EQ(form->Logger(), "Cámara norte");
}

TEST_F(HistoryWindow, ImportsFilesTellingWhatEachDid) {
  Open();
  EXPECT_EQ(form->LoggerList->topLevelItemCount(), 0);
  const std::string good = dir.filePath("datos.csv").toStdString();
  {
    std::ofstream f(good, std::ios::binary);
    f << "Fecha y hora,CH1,CH2,CH3,CH4,CH5,CH6,CH7,CH8,CH9,CH10,CH11,CH12,CH13,CH14,CH15,CH16\r\n";
    for (int m = 0; m < 5; ++m)
      f << "2025-03-01T10:0" << m << ":00,1.5,2,3,4,5,6,7,8,9,10,11,12,13,14,15,16." << m << "\r\n";
  }
  const std::string bad = dir.filePath("notas.txt").toStdString();
  std::ofstream(bad) << "nada que ver";
  const QStringList files{QString::fromStdString(good), QString::fromStdString(bad)};

  form->ImportFiles(files, "Cámara sur");
  Wait();
  EXPECT_NE(Report().find(good + ": 5 registros nuevos, 0 ya estaban"), std::string::npos) << Report();
  EXPECT_NE(Report().find("No se puede abrir \"" + bad + "\""), std::string::npos) << Report();
  EXPECT_NE(Report().find("1 de 2 archivos no se guardaron"), std::string::npos) << Report();
  // The new logger is listed and shown.
  EXPECT_EQ(form->Logger(), "Cámara sur");
  EXPECT_EQ(form->RangeOutline().Records, 5);

  form->TaskReport->clear();
  form->ImportFiles({QString::fromStdString(good)}, "Cámara sur");
  Wait();
  EXPECT_NE(Report().find("0 registros nuevos, 5 ya estaban"), std::string::npos) << Report();
}

TEST_F(HistoryWindow, ExportsTheRangeOrCancelsLeavingNoFile) {
  Store("Cámara 1", Hourly(At(2025, 1, 15), 200));
  Open();
  form->SpanClick(THistorySpan::Day);
  Wait();

  const std::string path = dir.filePath("rango.csv").toStdString();
  form->ExportTo(path, TExportFormat::Csv, TCsvStyle::Comma);
  EXPECT_FALSE(form->CancelButton->isEnabled() && !form->Busy());
  Wait();
  EXPECT_NE(Report().find("Exportados 25 registros"), std::string::npos) << Report();
  std::ifstream in(path);
  int lines = 0;
  for (std::string line; std::getline(in, line);) ++lines;
  EXPECT_EQ(lines, 26);

  // Cancelled while its thread has not started writing: no file.
  std::promise<void> release;
  std::shared_future<void> gate = release.get_future().share();
  form->SetOnJobThread([gate] { gate.wait(); });
  const std::string cancelled = dir.filePath("cancelado.xlsx").toStdString();
  form->ExportTo(cancelled, TExportFormat::Xlsx, TCsvStyle::Comma);
  EXPECT_TRUE(form->CancelButton->isEnabled());
  EXPECT_FALSE(form->ExportButton->isEnabled());
  form->CancelButtonClick();
  release.set_value();
  Wait();
  EXPECT_NE(Report().find("Exportación cancelada"), std::string::npos) << Report();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(cancelled)));
  EXPECT_TRUE(form->ExportButton->isEnabled());
}

// INFORME: the range drawn and the channels shown as the PDF report, with
// the archive's limits; a range of no records is said, and no file made.
TEST_F(HistoryWindow, ReportsTheRangeAndTheChannelsShown) {
  Store("Cámara 1", Hourly(At(2025, 1, 15), 48));
  Store("Horno", Hourly(At(2024, 6, 1), 3));
  {
    TArchive archive(db);
    TAlarmLimits high;
    high.High = 260;  // CH2 runs 21,0 to 27,9 each day
    archive.SetAlarmLimits("Cámara 1", 1, high);
  }
  Open();
  form->CheckBox[2]->setChecked(false);
  const std::string path = dir.filePath("informe.pdf").toStdString();
  form->AskReportFile = [&path] { return path; };
  form->ReportButton->click();
  EXPECT_FALSE(form->ReportButton->isEnabled() && form->Busy());
  Wait();
  EXPECT_NE(Report().find("Informe de 48 registros"), std::string::npos) << Report();
  std::string text;
  if (FILE *p = popen(("pdftotext -layout '" + path + "' -").c_str(), "r")) {
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    pclose(p);
  }
  EXPECT_NE(text.find("Cámara 1"), std::string::npos);
  EXPECT_NE(text.find("CANAL2"), std::string::npos);
  EXPECT_EQ(text.find("CANAL3"), std::string::npos);
  EXPECT_NE(text.find("alta"), std::string::npos) << "the archive's events of CANAL2";

  form->CheckBox[2]->setChecked(true);
  form->SelectLogger("Horno");
  Wait();
  form->FromEdit->setDateTime(QDateTime(QDate(2030, 1, 1), QTime(0, 0)));
  form->ToEdit->setDateTime(QDateTime(QDate(2030, 1, 2), QTime(0, 0)));
  form->ShowButtonClick();
  Wait();
  const std::string none = dir.filePath("nada.pdf").toStdString();
  form->ReportTo(none);
  Wait();
  EXPECT_NE(Report().find("no hay nada que informar"), std::string::npos) << Report();
  EXPECT_FALSE(QFile::exists(QString::fromStdString(none)));
}

TEST_F(HistoryWindow, ShowsTheRangesStatistics) {
  std::vector<TArchiveRecord> records = Hourly(At(2025, 1, 15), 48);
  records[30].Values[4] = -123;
  Store("Cámara 1", records);
  Open();
  form->StatsButtonClick();
  Wait();
  TForm9 *stats = form->StatisticsWindow();
  ASSERT_NE(stats, nullptr);
  EXPECT_EQ(stats->Statistics().Records, 48);
  EXPECT_EQ(stats->Statistics().Channels[4].Min, -123);
  EXPECT_EQ(stats->Table1->item(4, 3)->text().toStdString(),
            ProgramDateText(records[30].Instant) + " " + ProgramTimeText(records[30].Instant));
  EXPECT_TRUE(stats->Label1->text().startsWith(QString::fromUtf8("Cámara 1, de 15/01/2025 00:00:00")))
      << stats->Label1->text().toStdString();
  stats->close();
}

TEST_F(HistoryWindow, AnArchiveThatWillNotOpenIsToldOnceAndAnotherCanBeChosen) {
  const std::string broken = dir.filePath("roto.sqlite").toStdString();
  std::ofstream(broken) << "esto no es una base de datos, solo texto de sobra para parecer un archivo";
  qputenv("TALVEX_DB", QByteArray::fromStdString(broken));
  Open();
  const std::string note = form->ArchiveNote->text().toStdString();
  EXPECT_NE(note.find(broken), std::string::npos) << note;
  EXPECT_NE(note.find("TALVEX_DB"), std::string::npos) << note;
  EXPECT_TRUE(messages.empty()) << "no message box: the window says it";
  form->FormActivate();
  Wait();
  EXPECT_EQ(form->ArchiveNote->text().toStdString(), note);

  // Without the variable the window's own setting is used, and kept.
  qunsetenv("TALVEX_DB");
  Store("Horno", Hourly(At(2025, 1, 15), 10));
  form->ArchiveEdit->setText(QString::fromStdString(db));
  form->ArchiveApplyClick();
  Wait();
  EXPECT_EQ(ArchiveAddressSetting(), db);
  EXPECT_EQ(form->Address(), db);
  EXPECT_EQ(form->Logger(), "Horno");
  EXPECT_NE(form->ArchiveNote->text().toStdString().find("En uso: " + db), std::string::npos);
  // An address that names nothing is refused before it is kept.
  form->ArchiveEdit->setText("mysql://servidor/talvex");
  EXPECT_THROW(form->ArchiveApplyClick(), Exception);
  EXPECT_EQ(ArchiveAddressSetting(), db);
}

}  // namespace

namespace {

TEST_F(HistoryWindow, ReadingsKeptWhileItShowsAreListedAndAFollowedRangeMovesOn) {
  Store("Cámara 1", Hourly(At(2025, 1, 15), 48));
  Open();
  form->show();
  form->SpanClick(THistorySpan::Day);
  Wait();
  const std::int64_t width = StampSeconds(form->Range().To) - StampSeconds(form->Range().From);
  const struct {
    bool Follow;
    int More;  // hours kept after the last
    int Records;
    TStamp To;
  } steps[] = {
      // Not followed: the list learns of them, the range stays.
      {false, 2, 50, Plus(At(2025, 1, 15), 47 * 3600LL)},
      // Followed: the same width, ending at the newest.
      {true, 3, 53, Plus(At(2025, 1, 15), 52 * 3600LL)},
  };
  int stored = 48;
  for (const auto &step : steps) {
    SCOPED_TRACE(step.Follow);
    form->Seguir->setChecked(step.Follow);
    const std::vector<TArchiveRecord> all = Hourly(At(2025, 1, 15), stored + step.More);
    Store("Cámara 1", std::vector<TArchiveRecord>(all.begin() + stored, all.end()));
    stored += step.More;
    form->ArchiveChanged();
    Wait();
    ASSERT_EQ(form->Loggers().size(), 1u);
    EXPECT_EQ(form->Loggers()[0].Records, step.Records);
    EXPECT_EQ(IsoText(form->Range().To), IsoText(step.To));
    EXPECT_EQ(StampSeconds(form->Range().To) - StampSeconds(form->Range().From), width);
  }
}

}  // namespace
