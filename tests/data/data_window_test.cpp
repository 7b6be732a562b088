#include "data/data_window.h"
#include "data/statistics_window.h"
#include "data/text_file_writer.h"
#include "dump_samples.h"

#include "common/test_files.h"
#include "runtime/application.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>
#include <QApplication>
#include <QHeaderView>
#include <QImage>
#include <QLabel>
#include <QLineEdit>
#include <QPushButton>
#include <QTableWidget>
#include <QTimer>
#include <QToolButton>

#include <cstdlib>
#include <fstream>
#include <sstream>

using namespace dump_samples;

namespace {

std::string FiveLineDump() {
  return Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238"), Record("001144"), Record("015255")});
}

class DataWindow : public ::testing::Test {
protected:
  void SetUp() override {
    ApplyProgramFormats();
    SetExceptionPresenter([this](const std::string &, const std::string &message) { shown.push_back(message); });
    form.ExecuteSaveDialog = [this](TForm5 &) {
      ++dialogs;
      return saveName;
    };
    form.AskQuestion = [this](TForm5 &, const QString &q) {
      questions.push_back(q.toStdString());
      return answer;
    };
    char tmpl[] = "/tmp/talvex-window-XXXXXX";
    ASSERT_NE(mkdtemp(tmpl), nullptr);
    folder = tmpl;
  }
  void TearDown() override {
    SetExceptionPresenter(nullptr);
    std::system(("rm -rf '" + folder + "'").c_str());
  }

  // Opens the window the way the main window does and lets the activation run.
  void Open() {
    form.show();
    QApplication::processEvents();
  }

  std::vector<std::vector<std::string>> Snapshot() const {
    std::vector<std::vector<std::string>> cells;
    for (int r = 0; r <= form.StringGrid1->RowCount(); ++r) {
      cells.emplace_back();
      for (int c = 0; c < DataColumns; ++c) cells.back().emplace_back(form.StringGrid1->Cells(c, r));
    }
    return cells;
  }

  std::string dump;
  TForm5 form{dump};
  std::vector<std::string> shown;
  std::vector<std::string> questions;
  QString saveName;
  QMessageBox::StandardButton answer = QMessageBox::Yes;
  int dialogs = 0;
  std::string folder;
};

TEST_F(DataWindow, LooksAsLaidOut) {
  EXPECT_EQ(form.windowTitle(), "DATOS DESCARGADOS");
  EXPECT_EQ(form.StringGrid1->ColCount(), 19);
  EXPECT_EQ(form.StringGrid1->RowCount(), 2048) << "before the first activation";
  EXPECT_EQ(form.StringGrid1->geometry(), QRect(4, 99, 677, 286));
  EXPECT_EQ(form.StringGrid1->ColWidths(1), 52);
  EXPECT_EQ(form.StringGrid1->horizontalHeader()->sectionSize(0), 55) << "52 and a 3-pixel line";
  EXPECT_EQ(form.SpeedButton1->text(), "GUARDAR");
  EXPECT_EQ(form.SpeedButton1->toolTip(), "Guarda los datos en disco");
  EXPECT_EQ(form.SpeedButton2->text(), "GRAFICAR");
  EXPECT_EQ(form.SpeedButton2->toolTip(), QString::fromUtf8("Muestra gráfico preliminar"));
  EXPECT_EQ(form.Label7->text(), "G  R  I  L  L  A    D  E    D  A  T  O  S");
  EXPECT_TRUE(form.Edit1->isReadOnly());
  EXPECT_FALSE(form.Label1->isVisibleTo(&form));
}

TEST_F(DataWindow, ActivationFillsTheWindowFromTheDump) {
  dump = FiveLineDump();
  Open();
  EXPECT_TRUE(shown.empty());
  EXPECT_EQ(form.Edit1->text(), "15/03/2004");
  EXPECT_EQ(form.Edit2->text(), "10:30:00");
  EXPECT_EQ(form.Edit8->text(), "CADA 5 MINUTOS");
  EXPECT_EQ(form.Label1->text(), "4");
  EXPECT_EQ(form.Label5->text(), "30");
  const TStringGrid &g = *form.StringGrid1;
  EXPECT_EQ(g.RowCount(), 3);
  EXPECT_EQ(g.model()->rowCount(), 2) << "two records under the fixed row";
  EXPECT_EQ(g.Cells(1, 0), "FECHA:");
  EXPECT_EQ(g.Cells(0, 2), "2");
  EXPECT_EQ(g.Cells(2, 2), "10:40:00");
  EXPECT_EQ(g.Cells(3, 2), "-10,0");
  EXPECT_EQ(g.model()->headerData(2, Qt::Horizontal, Qt::DisplayRole).toString(), "CH1");
  EXPECT_EQ(g.model()->index(1, 2).data().toString(), "-10,0");
  EXPECT_EQ(form.RecordCount(), 2);
}

TEST_F(DataWindow, TwoActivationsOnTheSameDumpGiveTheSameTable) {
  dump = LongDump(300);
  form.FormActivate();
  const auto first = Snapshot();
  form.StringGrid1->SetCells(5, 5, "junk");
  form.StringGrid1->MoveColumn(3, 1);
  form.FormActivate();
  EXPECT_EQ(Snapshot(), first);
  EXPECT_EQ(form.StringGrid1->ColumnAtPosition(1), 1) << "the rebuild puts dragged columns back";
}

TEST_F(DataWindow, ShortDumpsLeaveOnlyTheFixedRow) {
  dump = LongDump(300);
  form.FormActivate();
  dump = Dump(Header(4, 3, 15, 0, 30, 10, 2), {Record("002238")});
  form.FormActivate();
  EXPECT_EQ(form.StringGrid1->RowCount(), 1);
  EXPECT_EQ(form.StringGrid1->Cells(0, 1), "");
  EXPECT_EQ(form.StringGrid1->Cells(1, 200), "") << "nothing of the longer table stays";
  EXPECT_EQ(form.StringGrid1->model()->rowCount(), 0);
}

TEST_F(DataWindow, FailedDecodingShowsItsMessageAndKeepsWhatWasFilled) {
  std::vector<std::string> recs(5, Record("002238"));
  recs[2][0] = 'k';
  dump = Dump(Header(4, 3, 15, 0, 30, 10, 3), recs);
  Open();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "'k' is not a valid integer value");
  EXPECT_TRUE(form.isVisible());
  EXPECT_EQ(form.Edit8->text(), "CADA 10 MINUTOS");
  EXPECT_EQ(form.StringGrid1->Cells(3, 2), "25,0");
  EXPECT_EQ(form.StringGrid1->Cells(3, 3), "");
  EXPECT_EQ(form.StringGrid1->Cells(2, 4), "11:10:00");
  // The message box closing does not decode again and show it again.
  QApplication::processEvents();
  EXPECT_EQ(shown.size(), 1u);
  form.hide();
}

TEST_F(DataWindow, EmptyDumpShowsTheConversionMessage) {
  Open();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "'' is not a valid integer value");
  EXPECT_EQ(form.StringGrid1->RowCount(), 1);
  EXPECT_EQ(form.Edit1->text(), "");
  form.hide();
}

TEST_F(DataWindow, UnknownRateDigitKeepsTheRateBoxText) {
  dump = FiveLineDump();
  form.FormActivate();
  dump = Dump(Header(5, 1, 1, 0, 0, 0, 9), {Record("002238"), Record("002238"), Record("002238")});
  form.FormActivate();
  EXPECT_EQ(form.Edit8->text(), "CADA 5 MINUTOS");
  EXPECT_EQ(form.StringGrid1->Cells(2, 2), "00:10:00");
}

TEST_F(DataWindow, SaveWritesTheShownTable) {
  dump = LongDump(50);
  form.FormActivate();
  saveName = QString::fromStdString(folder + "/datos.txt");
  form.SpeedButton1->click();
  EXPECT_TRUE(shown.empty());
  EXPECT_TRUE(questions.empty());
  EXPECT_EQ(ReadFile(folder + "/datos.txt"), BuildTextFile(form.StringGrid1->Table(), 50));
}

TEST_F(DataWindow, CancelledDialogWritesNothing) {
  dump = FiveLineDump();
  form.FormActivate();
  saveName.clear();
  form.SpeedButton1Click();
  EXPECT_EQ(dialogs, 1);
  EXPECT_TRUE(questions.empty());
}

TEST_F(DataWindow, OverwriteIsAskedAndOnlyYesReplaces) {
  dump = FiveLineDump();
  form.FormActivate();
  const std::string path = folder + "/datos.txt";
  std::ofstream(path) << "keep me";
  saveName = QString::fromStdString(path);
  for (auto no : {QMessageBox::No, QMessageBox::Cancel}) {
    answer = no;
    form.SpeedButton1Click();
    EXPECT_EQ(ReadFile(path), "keep me");
  }
  ASSERT_EQ(questions.size(), 2u);
  EXPECT_EQ(questions[0], "El archivo existe, sobreescribo?");
  answer = QMessageBox::Yes;
  form.SpeedButton1Click();
  EXPECT_EQ(ReadFile(path), BuildTextFile(form.StringGrid1->Table(), 2));
}

TEST_F(DataWindow, DraggedColumnMovesInTheFile) {
  dump = FiveLineDump();
  form.FormActivate();
  form.StringGrid1->MoveColumn(3, 1);  // CH1 in front of the date
  saveName = QString::fromStdString(folder + "/datos.txt");
  form.SpeedButton1Click();
  const std::string bytes = ReadFile(folder + "/datos.txt");
  const size_t first = bytes.find("\r\n\r\n") + 4;
  EXPECT_EQ(bytes.substr(first, 28), "25,0  15/03/2004  10:35:00  ");
}

TEST_F(DataWindow, FailedSaveShowsTheCauseAndKeepsTheWindow) {
  dump = FiveLineDump();
  form.FormActivate();
  saveName = QString::fromStdString(folder + "/missing/datos.txt");
  form.SpeedButton1->click();
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0], "Path not found");
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), "25,0");
}

TEST_F(DataWindow, GraphButtonOpensTheGraphThenRebuilds) {
  dump = FiveLineDump();
  form.FormActivate();
  int graphs = 0;
  form.OnGraph = [&] {
    ++graphs;
    // What the graph window sees: the table as shown, dragged column included.
    EXPECT_EQ(form.StringGrid1->CellsAtPosition(1, 1), "25,0");
    form.StringGrid1->SetCells(3, 1, "changed meanwhile");
  };
  form.StringGrid1->MoveColumn(3, 1);
  form.SpeedButton2->click();
  EXPECT_EQ(graphs, 1);
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), "25,0");
  EXPECT_EQ(form.StringGrid1->ColumnAtPosition(1), 1);
}

TEST_F(DataWindow, RendersTheGridInItsColours) {
  dump = LongDump(2000);
  form.FormActivate();
  form.resize(form.size());
  const QImage shot = form.grab().toImage();
  if (const char *dir = std::getenv("TALVEX_SHOT_DIR")) shot.save(QString::fromUtf8(dir) + "/data_window.png");
  // A cell of the first record, clear of its text, is money green; the area
  // above the grid is part of the teal-to-grey background.
  const QRect grid = form.StringGrid1->geometry();
  const QPoint cell = grid.topLeft() + QPoint(40 + 45, 23 + 18);
  EXPECT_EQ(shot.pixelColor(cell), QColor(192, 220, 192));
  const QColor top = shot.pixelColor(5, 3);
  EXPECT_LT(top.red(), 40);
  EXPECT_GT(top.green(), 100);
  // Some red text is on the cells.
  int red = 0;
  for (int x = grid.left() + 40; x < grid.left() + 300; ++x)
    for (int y = grid.top() + 25; y < grid.top() + 60; ++y) {
      const QColor c = shot.pixelColor(x, y);
      if (c.red() > 150 && c.green() < 120 && c.blue() < 120) ++red;
    }
  EXPECT_GT(red, 50);
}

}  // namespace

namespace {

// A recording of five-minute records, and the file the window saves of it.
class DataWindowFiles : public DataWindow {
protected:
  void SetUp() override {
    DataWindow::SetUp();
    form.ExecuteOpenDialog = [this](TForm5 &) { return openName; };
    form.ExecuteExportDialog = [this](TForm5 &) { return exportChoice; };
    form.AskUnsaved = [this](TForm5 &, const QString &q) {
      questions.push_back(q.toStdString());
      return unsavedAnswer;
    };
  }
  // The rows shown: a download holds one more below them.
  std::vector<std::vector<std::string>> ShownRows() const {
    auto rows = Snapshot();
    rows.resize(static_cast<size_t>(form.StringGrid1->RowCount()));
    return rows;
  }
  std::string Save(const std::string &name) {
    saveName = QString::fromStdString(folder + "/" + name);
    form.SpeedButton1Click();
    return ReadFile(folder + "/" + name);
  }
  void OpenFile(const std::string &path) {
    openName = QString::fromStdString(path);
    form.SpeedButton3->click();
  }
  QString openName;
  TForm5::TExportChoice exportChoice;
  QMessageBox::StandardButton unsavedAnswer = QMessageBox::Cancel;
};

TEST_F(DataWindowFiles, AnOpenedFileShowsInPlaceOfTheDownloadAndSavesBackItsBytes) {
  dump = LongDump(40);
  form.FormActivate();
  form.StringGrid1->MoveColumn(1, 6);  // the date behind channel 4
  const std::string first = Save("datos.txt");
  const auto downloadRows = ShownRows();

  dump = FiveLineDump();  // another download meanwhile
  form.FormActivate();
  OpenFile(folder + "/datos.txt");
  ASSERT_TRUE(shown.empty()) << shown[0];
  EXPECT_TRUE(form.ShowsFile());
  EXPECT_EQ(form.windowTitle(), "DATOS DESCARGADOS - datos.txt");
  EXPECT_EQ(form.RecordCount(), 40);
  EXPECT_EQ(form.StringGrid1->ColumnAtPosition(6), 1) << "the date where it was shown";
  EXPECT_EQ(form.Edit1->text(), "15/03/2004");
  EXPECT_EQ(form.Edit2->text(), "10:30:00");
  EXPECT_EQ(form.Edit8->text(), "CADA 5 MINUTOS");
  EXPECT_EQ(ShownRows(), downloadRows);
  EXPECT_EQ(Save("otra.txt"), first);

  // Back from the graph the file is still what is shown, in its order.
  form.OnGraph = [&] { form.StringGrid1->MoveColumn(6, 1); };
  form.SpeedButton2->click();
  EXPECT_EQ(form.StringGrid1->ColumnAtPosition(6), 1);
  EXPECT_EQ(form.RecordCount(), 40);
  // Opened again, the window shows the download.
  Open();
  EXPECT_FALSE(form.ShowsFile());
  EXPECT_EQ(form.RecordCount(), 2);
  form.hide();
}

TEST_F(DataWindowFiles, ARefusedFileIsNamedAndTheGridKeepsWhatItShowed) {
  dump = FiveLineDump();
  form.FormActivate();
  const auto before = Snapshot();
  const std::string bad = folder + "/malo.txt";
  std::string line = "15/03/2004  10:35:00  2x,0  ";
  for (int k = 2; k <= 16; ++k) line += "25,0  ";
  std::ofstream(bad, std::ios::binary) << TEXT_FILE_HEADER << "\r\n\r\n" << line << "\r\n";
  OpenFile(bad);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_EQ(shown[0].rfind("No se puede abrir \"malo.txt\": línea 3, columna 23: ", 0), 0u) << shown[0];
  OpenFile(folder + "/no-existe.txt");
  ASSERT_EQ(shown.size(), 2u);
  EXPECT_NE(shown[1].find("no existe"), std::string::npos) << shown[1];
  EXPECT_EQ(Snapshot(), before);
  EXPECT_FALSE(form.ShowsFile());
  EXPECT_EQ(form.windowTitle(), "DATOS DESCARGADOS");
  EXPECT_EQ(form.Edit8->text(), "CADA 5 MINUTOS");
}

TEST_F(DataWindowFiles, AStartTheRecordsCannotTellIsShownAsUnknown) {
  const std::string csv = folder + "/uno.csv";
  std::ofstream(csv, std::ios::binary) << "FECHA Y HORA;CH1;CH2;CH3;CH4;CH5;CH6;CH7;CH8;CH9;CH10;CH11;CH12;CH13;CH14;"
                                          "CH15;CH16\n2004-03-15T10:35:00;25;1;1;1;1;1;1;1;1;1;1;1;1;1;1;1\n";
  OpenFile(csv);
  ASSERT_TRUE(shown.empty()) << shown[0];
  EXPECT_EQ(form.StringGrid1->Cells(1, 1), "15/03/2004");
  EXPECT_EQ(form.StringGrid1->Cells(3, 1), "25,0");
  for (QLineEdit *box : {form.Edit1, form.Edit2, form.Edit8}) EXPECT_EQ(box->text(), "DESCONOCIDA");
}

TEST_F(DataWindowFiles, ExportWritesWhatWasChosenAndCountsAsSaved) {
  dump = LongDump(20);
  form.FormActivate();
  EXPECT_TRUE(form.DownloadUnsaved());
  const std::string path = folder + "/datos.csv";
  exportChoice = {QString::fromStdString(path), TExportFormat::Csv, TCsvStyle::Semicolon};
  form.SpeedButton4->click();
  ASSERT_TRUE(shown.empty()) << shown[0];
  EXPECT_EQ(ReadFile(path), BuildCsv({form.StringGrid1->Table(), 20, {}}, TCsvStyle::Semicolon));
  EXPECT_FALSE(form.DownloadUnsaved());
  // An existing file is asked about; No leaves it.
  answer = QMessageBox::No;
  exportChoice.Style = TCsvStyle::Comma;
  form.SpeedButton4Click();
  EXPECT_EQ(questions, std::vector<std::string>{"El archivo existe, sobreescribo?"});
  EXPECT_EQ(ReadFile(path), BuildCsv({form.StringGrid1->Table(), 20, {}}, TCsvStyle::Semicolon));
  // A workbook too; a new download is unsaved again.
  exportChoice = {QString::fromStdString(folder + "/datos.xlsx"), TExportFormat::Xlsx, TCsvStyle::Comma};
  form.SpeedButton4Click();
  EXPECT_EQ(ReadFile(folder + "/datos.xlsx").substr(0, 2), "PK");
  dump = LongDump(21);
  EXPECT_TRUE(form.DownloadUnsaved());
}

TEST_F(DataWindowFiles, ClosingWithAnUnsavedDownloadAsksOnce) {
  const std::string question = "Hay datos descargados sin guardar. ¿Desea guardarlos antes de salir?";
  EXPECT_TRUE(form.CloseQuery()) << "no download, no question";
  EXPECT_TRUE(questions.empty());

  dump = LongDump(10);
  struct Case {
    QMessageBox::StandardButton answer;
    const char *saveAs;  // null: the save dialog is cancelled
    bool closes;
  };
  const Case cases[] = {{QMessageBox::Cancel, nullptr, false},
                        {QMessageBox::No, nullptr, true},
                        {QMessageBox::Yes, nullptr, false},
                        {QMessageBox::Yes, "salida.txt", true}};
  for (const Case &c : cases) {
    questions.clear();
    dialogs = 0;
    unsavedAnswer = c.answer;
    saveName = c.saveAs ? QString::fromStdString(folder + "/" + c.saveAs) : QString();
    EXPECT_EQ(form.CloseQuery(), c.closes);
    EXPECT_EQ(questions, std::vector<std::string>{question});
    EXPECT_EQ(dialogs, c.answer == QMessageBox::Yes ? 1 : 0);
  }
  // Sí saved the download, not the file the window showed last.
  EXPECT_EQ(ReadFile(folder + "/salida.txt"), BuildTextFile(form.StringGrid1->Table(), 10));
  questions.clear();
  EXPECT_TRUE(form.CloseQuery());
  EXPECT_TRUE(questions.empty()) << "saved: nothing to ask";
}

TEST_F(DataWindowFiles, WithoutADownloadTheWindowOffersToOpenAFile) {
  const std::string csv = folder + "/datos.csv";
  dump = LongDump(12);
  form.FormActivate();
  std::ofstream(csv, std::ios::binary) << BuildCsv({form.StringGrid1->Table(), 12, {}}, TCsvStyle::Comma);
  dump.clear();
  int checked = 0;
  QTimer::singleShot(50, &form, [&] {
    ++checked;
    EXPECT_EQ(form.StringGrid1->RowCount(), 1);
    EXPECT_EQ(form.StringGrid1->Cells(3, 0), "CH1");
    EXPECT_EQ(form.Edit1->text(), "");
    EXPECT_TRUE(form.SpeedButton3->isVisible());
    OpenFile(csv);
    EXPECT_EQ(form.RecordCount(), 12);
    form.reject();
  });
  form.ExecWithoutDownload();
  EXPECT_EQ(checked, 1);
  EXPECT_TRUE(shown.empty()) << shown[0] << " (an empty dump is no error here)";
  EXPECT_FALSE(form.DownloadUnsaved());
}

TEST_F(DataWindowFiles, ACsvsChannelsAreSavedInTheirOwnOrderUnlessMoved) {
  dump = LongDump(6);
  form.FormActivate();
  const std::string own = BuildTextFile(form.StringGrid1->Table(), 6);
  const std::vector<int> sixteenFirst = {0, 1, 2, 18, 3, 4, 5, 6, 7, 8, 9, 10, 11, 12, 13, 14, 15, 16, 17};
  std::ofstream(folder + "/otro.csv", std::ios::binary)
      << BuildCsv({form.StringGrid1->Table(), 6, sixteenFirst}, TCsvStyle::Semicolon);
  OpenFile(folder + "/otro.csv");
  ASSERT_TRUE(shown.empty()) << shown[0];
  EXPECT_EQ(form.StringGrid1->ColumnAtPosition(3), 18) << "shown as the file has them";
  EXPECT_EQ(Save("a.txt"), own) << "CH16's values under CH16";
  form.StringGrid1->MoveColumn(4, 18);  // the user puts CH1 last: saved as shown
  EXPECT_EQ(Save("b.txt"), BuildTextFile(form.StringGrid1->Table(), 6, form.StringGrid1->ColumnOrder()));
  EXPECT_NE(ReadFile(folder + "/b.txt"), own);
}

TEST_F(DataWindowFiles, IrregularRecordsAreSaidSoInTheStatistics) {
  dump = LongDump(6);
  form.FormActivate();
  TDataTable joined = form.StringGrid1->Table();
  joined.SetCells(2, 6, "12:00:00");  // the last record an hour and more after the one before
  std::ofstream(folder + "/unidos.txt", std::ios::binary) << BuildTextFile(joined, 6);
  OpenFile(folder + "/unidos.txt");
  TForm9 &window = form.StatisticsWindow();
  window.FormActivate();
  EXPECT_NE(window.Label1->text().indexOf(QString::fromUtf8("6 registros, a intervalos irregulares (de 5 min a ")), -1)
      << window.Label1->text().toStdString();
  EXPECT_NE(window.Table1->horizontalHeaderItem(7)->text().indexOf(QString::fromUtf8("poblacional")), -1);
}

TEST_F(DataWindowFiles, StatisticsOfTheShownRowsWithTheLimitsTyped) {
  dump = LongDump(30);
  form.FormActivate();
  form.StringGrid1->MoveColumn(4, 3);  // CH2 in front of CH1
  int opened = 0;
  // What the user does while the window is up.
  form.ShowStatistics = [&](TForm9 &window) {
    ++opened;
    window.FormActivate();
    EXPECT_EQ(window.windowTitle(), "ESTADÍSTICAS");
    EXPECT_EQ(window.Table1->item(0, 0)->text(), "CH2");
    EXPECT_EQ(window.Table1->item(1, 0)->text(), "CH1");
    EXPECT_EQ(window.Table1->item(1, 1)->text(), "30");
    EXPECT_EQ(window.Table1->item(1, 2)->text(), "0,0") << "record r reads (r - 1) tenths";
    EXPECT_EQ(window.Table1->item(1, 4)->text(), "2,9");
    EXPECT_EQ(window.Table1->item(1, 5)->text(), "15/03/2004 13:00:00");
    EXPECT_EQ(window.Table1->item(1, 8)->text(), "sin límite");
    window.Edit1->setText("2,5");
    window.Button1Click();
    EXPECT_EQ(window.Table1->item(1, 8)->text(), "20 min") << "records 27 to 30, five minutes each";
    window.Edit2->setText("frío");
    window.Button1->click();
  };
  form.SpeedButton5->click();
  EXPECT_EQ(opened, 1);
  ASSERT_EQ(shown.size(), 1u);
  EXPECT_NE(shown[0].find("Límite inferior no válido"), std::string::npos) << shown[0];
  EXPECT_FALSE(form.Limits.Lower);
  EXPECT_EQ(form.Limits.Upper, 25) << "kept for the rest of the run";
  EXPECT_EQ(form.StringGrid1->ColumnAtPosition(3), 3) << "back from the window the table is rebuilt";
}

}  // namespace
