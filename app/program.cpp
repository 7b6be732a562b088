#include "app/program.h"

#include "app/about_window.h"
#include "app/clock_set_window.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/rate_window.h"
#include "app/thermometer_window.h"
#include "chart/chart_preview.h"
#include "data/data_window.h"
#include "graph/graph_window.h"
#include "runtime/form.h"
#include "runtime/format_settings.h"

const char *const kApplicationTitle = "TALVEX CANALES";

TProgram::TProgram() {
  // The first showing paints values before the main window's activation has
  // run; give them the program's number formats from the start.
  ApplyProgramFormats();
  form1_ = std::make_unique<TForm1>();
  form2_ = std::make_unique<TForm2>(form1_.get());
  form3_ = std::make_unique<TForm3>(form1_.get());
  form5_ = std::make_unique<TForm5>(form1_->RichEdit1, form1_.get());
  form6_ = std::make_unique<TForm6>(*form5_->StringGrid1, form5_.get());
  form7_ = std::make_unique<TForm7>(*form1_, form1_.get());
  form8_ = std::make_unique<TForm8>(*form1_, form1_.get());
  form4_ = std::make_unique<TForm4>(*form1_, form1_.get());

  TForm1 &main = *form1_;
  for (int channel = 1; channel <= 16; ++channel)
    main.ChannelThermometers[channel - 1] = form4_->ChannelThermometer(channel);
  main.ShowAbout = [this] { form2_->exec(); };
  main.ShowHelp = [this] { form3_->exec(); };
  main.ShowRateWindow = [this] { form7_->exec(); };
  main.ShowClockSetWindow = [this] {
    form8_->show();
    form8_->raise();
    form8_->activateWindow();
  };
  main.ShowThermometers = [this] {
    form4_->show();
    form4_->raise();
    form4_->activateWindow();
  };
  main.ShowDataWindow = [this] { form5_->exec(); };
  form5_->OnGraph = [this] { form6_->exec(); };
  form6_->PrintPreview = [](QWidget *owner, TChart &chart) { ChartPreview(owner, chart); };
}

TProgram::~TProgram() {
  // The port's thread may still call into the main window: stop it first.
  if (form1_) form1_->FormClose();
}
