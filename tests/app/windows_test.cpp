#include "app/about_window.h"
#include "app/help_window.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/rate_window.h"
#include "app/clock_set_window.h"
#include "app/thermometer_window.h"
#include "data/data_window.h"
#include "serial/serial_port.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <QApplication>
#include <QFrame>

#include "common/pty_pair.h"

#include <gtest/gtest.h>

namespace {

class Program : public ::testing::Test {
protected:
  void SetUp() override {
    TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  }
  void TearDown() override { TCustomSerialPort::SetupDialog = nullptr; }
  TProgram program;
};

TEST_F(Program, WindowsHaveTheirCaptionsAndTheMainWindowItsSize) {
  EXPECT_EQ(program.Form1().windowTitle(), "TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ");
  EXPECT_EQ(program.Form1().size(), QSize(560, 461));
  EXPECT_EQ(program.Form2().windowTitle(), "ACERCA DE ORVANTIS");
  EXPECT_EQ(program.Form3().windowTitle(), "Ayuda soble el uso del programa");
  EXPECT_EQ(program.Form5().windowTitle(), "DATOS DESCARGADOS");
  EXPECT_EQ(program.Form7().windowTitle(), "Cambio de tasa de muestreo");
  EXPECT_EQ(program.Form8().windowTitle(), "PUESTA EN HORA DEL LOGGER");
  // No caption, yet not an empty title, which the window system fills with
  // the application's name.
  EXPECT_EQ(program.Form4().windowTitle(), " ");
  EXPECT_EQ(program.Form4().size(), QSize(296, 535));
  // Pressed or not, the date-and-time button reads the same.
  EXPECT_EQ(program.Form1().InsColBitBtn2->TextOn(), program.Form1().InsColBitBtn2->TextOff());
}

TEST_F(Program, TheMainWindowBackgroundFollowsTheWindowsSize) {
  TForm1 &main = program.Form1();
  main.show();
  main.resize(700, 560);
  EXPECT_EQ(main.InsGradient1->geometry(), QRect(0, 0, 700, 560));
  EXPECT_EQ(main.Splitter1->height(), 560);
  EXPECT_EQ(main.Splitter1->x(), 308);
  main.hide();
}

TEST_F(Program, ChannelsReachTheRightIndicatorAndThermometer) {
  TForm1 &f = program.Form1();
  program.CreateAllWindows();
  // The indicators were not numbered in channel order.
  EXPECT_EQ(f.ChannelIndicator(3)->objectName(), "InsValueInd9");
  EXPECT_EQ(f.ChannelIndicator(5)->objectName(), "InsValueInd3");
  EXPECT_EQ(f.ChannelIndicator(16)->objectName(), "InsValueInd16");
  EXPECT_EQ(f.ChannelIndicator(3)->SignalSettings().Name1(), "CANAL 3");
  EXPECT_EQ(f.ChannelIndicator(3)->pos(), QPoint(153, 103));
  // The last row of thermometers runs 16, 15, 14, 13 in component numbers.
  EXPECT_EQ(f.ChannelThermometers[12]->objectName(), "InsThermometer16");
  EXPECT_EQ(f.ChannelThermometers[12]->SignalSettings().Name1(), "Canal 13");
  EXPECT_EQ(f.ChannelThermometers[12]->pos(), QPoint(4, 408));
  EXPECT_EQ(f.ChannelThermometers[15]->objectName(), "InsThermometer13");
  EXPECT_EQ(f.ChannelThermometers[15]->width(), 73);
}

TEST_F(Program, ThermometerWindowDocksBesideTheMainWindow) {
  TForm1 &main = program.Form1();
  TForm4 &therm = program.Form4();
  main.move(300, 200);
  const int x0 = main.x();
  therm.FormActivate();
  EXPECT_EQ(main.x(), x0 + 130);
  EXPECT_EQ(therm.y(), 5);
  EXPECT_LE(therm.frameGeometry().right(), main.frameGeometry().left());
  EXPECT_FALSE(main.InsColBitBtn8->isVisibleTo(&main));
  EXPECT_TRUE(main.PUERTOFIJADO);
  therm.FormActivate();  // every activation steps again
  EXPECT_EQ(main.x(), x0 + 260);
  therm.show();
  therm.close();
  EXPECT_TRUE(main.InsColBitBtn8->isVisibleTo(&main));
}

TEST_F(Program, OtherWindowsAreMadeOnceTheMainWindowHasPainted) {
  TForm1 &main = program.Form1();
  EXPECT_FALSE(program.AllWindowsCreated());
  // Frames shown before then skip the thermometers not yet made.
  EXPECT_TRUE(main.ChannelThermometers[0] == nullptr);
  main.show();
  ASSERT_TRUE(PumpUntil([&] { return program.AllWindowsCreated(); }, 5000));
  for (TInsThermometer *t : main.ChannelThermometers) EXPECT_NE(t, nullptr);
  // Made once: asking again gives the same windows.
  TForm4 *therm = &program.Form4();
  program.CreateAllWindows();
  EXPECT_EQ(&program.Form4(), therm);
  EXPECT_EQ(program.Form4().parentWidget(), &main);
  main.hide();
}

TEST(ProgramWindows, AskingForAWindowBeforeTheFirstPaintMakesThemAll) {
  TCustomSerialPort::SetupDialog = [](TCustomSerialPort &) { return false; };
  {
    TProgram program;
    // The about box opened from a click before the idle moment came.
    EXPECT_EQ(program.Form2().windowTitle(), "ACERCA DE ORVANTIS");
    EXPECT_TRUE(program.AllWindowsCreated());
    EXPECT_NE(program.Form1().ChannelThermometers[15], nullptr);
  }
  TCustomSerialPort::SetupDialog = nullptr;
}

TEST(HelpWindow, TextStandsExactlyAsWritten) {
  const QStringList lines = TForm3::HelpLines();
  ASSERT_EQ(lines.size(), 25);
  EXPECT_EQ(lines[0], "                   TALVEX -  DATALOGGER DE 16 CANALES DE 12 BITS");
  EXPECT_TRUE(lines[1].isEmpty());
  EXPECT_EQ(lines[2], "Este software permite la descarga de datos de Llos loggers de 16 canales de  ");
  EXPECT_EQ(lines[4], QString("bits de ") + kMakerAddress + ".");
  EXPECT_EQ(lines[12].count('"'), 1);
  EXPECT_TRUE(lines[12].endsWith("\"ON"));
  EXPECT_EQ(lines[13], "LINE\".");
  EXPECT_EQ(lines[17], QString::fromUtf8("Haciendo click en descargar podrña ver los datos descargados y ver un gráfico"));
  EXPECT_EQ(lines[24], QString::fromUtf8("Ingresando a \"Cambio de tasa\" podrá cambiar la misma."));
  // An edit stays for the next opening within the run.
  TForm3 help;
  help.Memo1->setPlainText("editado");
  help.show();
  help.close();
  EXPECT_EQ(help.Memo1->toPlainText(), "editado");
}

TEST(AboutWindow, TextsAndTheDefaultButton) {
  TForm2 about;
  EXPECT_EQ(about.ProductName->text(), QString::fromUtf8("Soft de comunicación con loggers de la "));
  EXPECT_EQ(about.Label4->text(), QString::fromUtf8("línea DELMORA."));
  EXPECT_EQ(about.Version->text(), "Version 1.1");
  EXPECT_EQ(about.Label1->text(), "Desarrollado por ");
  EXPECT_TRUE(about.OKButton->isDefault());
  about.show();
  about.OKButton->click();
  EXPECT_FALSE(about.isVisible());
  EXPECT_EQ(about.result(), QDialog::Accepted);
}

}  // namespace
