#include "data/data_window.h"
#include "runtime/format_settings.h"

#include "data/dump_samples.h"

#include <gtest/gtest.h>

namespace {

using namespace dump_samples;

// What the program archives hears of each download once, whole, however
// often the window is opened on it.
TEST(DataWindowDecodedDownload, IsToldOncePerDownloadThatDecodesWhole) {
  ApplyProgramFormats();
  std::string dump;
  TForm5 form{dump};
  std::vector<int> told;
  form.OnDownloadDecoded = [&](const TDataTable &table, int records) {
    told.push_back(records);
    EXPECT_EQ(table.Cells(2, records), form.StringGrid1->Cells(2, records));
  };
  std::string broken = LongDump(4);
  broken[broken.find("\r\n") + 2] = 'k';
  std::string coming = LongDump(6);
  coming.pop_back();
  const struct {
    const char *Name;
    std::string Dump;
    std::vector<int> Told;
  } steps[] = {
      {"a download", LongDump(5), {5}},
      {"the same one opened again", LongDump(5), {5}},
      {"one still being received", coming, {5}},
      {"a new one", LongDump(7), {5, 7}},
      {"one that does not decode", broken, {5, 7}},
  };
  for (const auto &step : steps) {
    SCOPED_TRACE(step.Name);
    dump = step.Dump;
    try {
      form.FormActivate();
    } catch (const Exception &) {
      // the window's handler shows it; nothing is archived
    }
    EXPECT_EQ(told, step.Told);
  }
}

}  // namespace
