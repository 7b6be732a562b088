// ALARMAS on an archive of the test's own: a bad row refused with the
// rules' words and nothing stored, limits stored and read back, the events
// newest first, and acknowledgements that need a comment, carry the user's
// login name and stay as they were made.

#include "app/alarm_window.h"
#include "app/alarm_texts.h"
#include "archive/archive.h"

#include "common/pty_pair.h"

#include <QComboBox>
#include <QLabel>
#include <QLineEdit>
#include <QTableWidget>
#include <QTemporaryDir>
#include <QTreeWidget>

#include <gtest/gtest.h>

#include <cstdlib>

namespace {

class AlarmWindow : public ::testing::Test {
protected:
  void SetUp() override {
    address = dir.filePath("archivo.sqlite").toStdString();
    setenv("TALVEX_DB", address.c_str(), 1);
    TArchive a(address);
    TAlarmLimits high;
    high.High = 80;
    a.SetAlarmLimits("CAMARA", 0, high);
    // CH1 above 8,0 twice: 14:01 to 14:03 and 14:05 to 14:06.
    const int values[] = {70, 90, 95, 70, 70, 85, 60};
    std::vector<TArchiveRecord> records;
    for (int i = 0; i < 7; ++i) {
      TArchiveRecord r;
      r.Instant = TStamp{2026, 12, 8, 14, i, 0};
      r.Values[0] = values[i];
      records.push_back(r);
    }
    a.StoreRecords("CAMARA", std::string(), TArchiveOrigin(), records);
    window = std::make_unique<TAlarmWindow>();
    window->ShowMessage = [this](const QString &m) { messages.push_back(m); };
    window->OnLimitsSaved = [this](const std::string &logger) { saved.push_back(logger); };
  }
  void TearDown() override {
    window.reset();
    unsetenv("TALVEX_DB");
  }
  void Settle() {
    ASSERT_TRUE(PumpUntil([&] { return !window->Busy(); }, 10000));
  }
  void Open() {
    window->FormActivate();
    Settle();
  }
  void Cell(int row, int column, const char *text) { window->LimitsTable->item(row, column)->setText(text); }

  QTemporaryDir dir;
  std::string address;
  std::unique_ptr<TAlarmWindow> window;
  std::vector<QString> messages;
  std::vector<std::string> saved;
};

TEST_F(AlarmWindow, ABadRowIsRefusedWithTheRulesWordsAndNothingIsStored) {
  Open();
  ASSERT_EQ(window->Logger(), "CAMARA");
  EXPECT_EQ(window->LimitsTable->item(0, 1)->text(), "8,0");
  EXPECT_EQ(window->LimitsTable->verticalHeaderItem(15)->text(), "CH16");

  Cell(1, 1, "30");  // sound
  Cell(3, 0, "9");   // crosses the high one
  Cell(3, 1, "2");
  window->SaveButtonClick();
  Settle();
  EXPECT_TRUE(window->LimitsNote->text().contains(
      QString::fromUtf8("CH4: el límite inferior (9,0 °C) está por encima del superior (2,0 °C)")))
      << window->LimitsNote->text().toStdString();
  EXPECT_EQ(window->LimitsTable->currentRow(), 3) << "the row is shown";
  EXPECT_FALSE(TArchive(address).AlarmLimits("CAMARA")[1].Any()) << "not even the sound row";
  EXPECT_TRUE(saved.empty());

  Cell(3, 0, "");
  Cell(3, 1, "");
  window->SaveButtonClick();
  Settle();
  EXPECT_TRUE(window->LimitsNote->text().contains("CH2")) << window->LimitsNote->text().toStdString();
  const TAlarmLimitSet stored = TArchive(address).AlarmLimits("CAMARA");
  EXPECT_EQ(stored[1].High, 300);
  EXPECT_EQ(stored[0].High, 80) << "the others as they were";
  EXPECT_FALSE(stored[3].Any());
  EXPECT_EQ(saved, std::vector<std::string>{"CAMARA"});
  EXPECT_TRUE(messages.empty());
}

TEST_F(AlarmWindow, EventsNewestFirstAndAcknowledgementsKeptAsMade) {
  Open();
  ASSERT_EQ(window->Events().size(), 2u);
  EXPECT_GT(window->Events()[0].Event.Start, window->Events()[1].Event.Start);
  QTreeWidgetItem *newest = window->EventList->topLevelItem(0);
  EXPECT_EQ(newest->text(0), "CH1");
  EXPECT_EQ(newest->text(1), "alta");
  EXPECT_EQ(newest->text(2), "08/12/2026 14:05:00");
  EXPECT_EQ(newest->text(5), QString::fromUtf8("8,5 °C"));
  EXPECT_EQ(window->EventList->topLevelItem(1)->text(5), QString::fromUtf8("9,5 °C"));

  // No comment, no acknowledgement.
  window->EventList->setCurrentItem(newest);
  window->CommentEdit->setText("   ");
  window->AckButtonClick();
  Settle();
  EXPECT_TRUE(window->EventNote->text().contains("comentario")) << window->EventNote->text().toStdString();
  const TStamp from{2026, 12, 8, 0, 0, 0}, to{2026, 12, 9, 0, 0, 0};
  for (const TArchivedAlarmEvent &e : TArchive(address).AlarmEvents("CAMARA", from, to))
    EXPECT_TRUE(e.Acknowledgements.empty());

  window->CommentEdit->setText("Puerta abierta durante la carga");
  window->AckButtonClick();
  Settle();
  EXPECT_TRUE(window->CommentEdit->text().isEmpty());
  ASSERT_EQ(window->Events()[0].Acknowledgements.size(), 1u);
  EXPECT_EQ(window->Events()[0].Acknowledgements[0].User, LoginName());
  EXPECT_EQ(window->EventList->topLevelItem(0)->text(7), QString::fromStdString(LoginName()));
  EXPECT_EQ(window->EventList->topLevelItem(0)->text(9), "Puerta abierta durante la carga");

  // A later acknowledgement stands beside the first, which stays as made;
  // nothing in the list can be edited.
  window->EventList->setCurrentItem(window->EventList->topLevelItem(0));
  window->CommentEdit->setText("Revisado");
  window->AckButtonClick();
  Settle();
  const auto &acks = window->Events()[0].Acknowledgements;
  ASSERT_EQ(acks.size(), 2u);
  EXPECT_EQ(acks[0].Comment, "Puerta abierta durante la carga");
  EXPECT_EQ(acks[1].Comment, "Revisado");
  EXPECT_EQ(window->EventList->editTriggers(), QAbstractItemView::NoEditTriggers);
  EXPECT_FALSE(window->EventList->topLevelItem(0)->flags() & Qt::ItemIsEditable);
  EXPECT_TRUE(window->Events()[1].Acknowledgements.empty());
  EXPECT_TRUE(messages.empty());
}

TEST_F(AlarmWindow, TheConnectedLoggerIsChosenFirstEvenWithNothingInTheArchive) {
  TArchive(address).SeeLogger("OTRO", "/dev/ttyUSB7");
  window->ConnectedPort = [] { return std::string("/dev/ttyUSB7"); };
  Open();
  EXPECT_EQ(window->Logger(), "OTRO");
  EXPECT_TRUE(window->Events().empty());

  window->ConnectedPort = [] { return std::string("/dev/ttyUSB9"); };
  Open();
  EXPECT_EQ(window->Logger(), "/dev/ttyUSB9") << "the port's name, as a download would keep it";
  EXPECT_EQ(window->LoggerBox->currentText(), "/dev/ttyUSB9");
  Cell(5, 0, "-1,5");
  window->SaveButtonClick();
  Settle();
  EXPECT_EQ(TArchive(address).AlarmLimits("/dev/ttyUSB9")[5].Low, -15);
}

}  // namespace
