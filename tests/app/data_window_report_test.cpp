// INFORME of the data window: an opened file's records as the report, named
// by the file; a window with no records says so and writes nothing.

#include "app/data_window_report.h"
#include "data/data_window.h"
#include "data/text_file_writer.h"
#include "runtime/exceptions.h"
#include "runtime/format_settings.h"

#include <gtest/gtest.h>

#include <QFile>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>

namespace {

std::string PdfText(const std::string &path) {
  std::string text;
  if (FILE *p = popen(("pdftotext -layout '" + path + "' -").c_str(), "r")) {
    char buf[4096];
    while (size_t n = fread(buf, 1, sizeof buf, p)) text.append(buf, n);
    pclose(p);
  }
  return text;
}

TEST(DataWindowReport, AnOpenedFileAndAWindowWithoutRecords) {
  ApplyProgramFormats();
  QTemporaryDir dir;
  ASSERT_TRUE(dir.isValid());
  const std::string data = dir.filePath("bodega.txt").toStdString();
  std::string text = std::string(TEXT_FILE_HEADER) + "\r\n\r\n";
  for (int r = 0; r < 8; ++r) {
    text += "05/05/2026  1" + std::to_string(r) + ":00:00  ";
    for (int k = 0; k < 16; ++k) text += std::to_string(k + r) + ",5  ";
    text += "\r\n";
  }
  std::ofstream(data, std::ios::binary) << text;

  const std::string dump;
  TForm5 form(dump);
  std::array<bool, kAlarmChannels> shown{};
  shown[3] = true;
  const std::string pdf = dir.filePath("informe.pdf").toStdString();
  // Nothing decoded, nothing opened: no records.
  EXPECT_THROW(WriteDataWindowReport(form, shown, TDataReportSource(), pdf), Exception);
  EXPECT_FALSE(QFile::exists(QString::fromStdString(pdf)));

  form.ExecuteOpenDialog = [&data](TForm5 &) { return QString::fromStdString(data); };
  form.SpeedButton3Click();
  ASSERT_TRUE(form.ShowsFile());
  WriteDataWindowReport(form, shown, TDataReportSource(), pdf);
  const std::string report = PdfText(pdf);
  EXPECT_NE(report.find("archivo bodega.txt"), std::string::npos) << report;
  EXPECT_NE(report.find("Registros: 8"), std::string::npos);
  EXPECT_NE(report.find("CANAL4"), std::string::npos);
  EXPECT_EQ(report.find("CANAL5"), std::string::npos);
  EXPECT_NE(report.find("10,5 05/05/2026 17:00:00"), std::string::npos) << report;  // CANAL4's highest, and when
}

}  // namespace
