#include "app/about_window.h"
#include "app/alarm_window.h"
#include "app/clock_set_window.h"
#include "app/help_window.h"
#include "app/history_window.h"
#include "app/main_window.h"
#include "app/program.h"
#include "app/rate_window.h"
#include "app/thermometer_window.h"
#include "chart/chart.h"
#include "chart/chart_preview.h"
#include "data/data_window.h"
#include "data/statistics_window.h"
#include "graph/graph_window.h"
#include "logger/live_frame.h"
#include "runtime/application.h"
#include "serial/serial_port.h"
#include "serial/serial_setup.h"
#include "widgets/captions.h"
#include "widgets/ins_col_bit_btn.h"
#include "widgets/ins_gradient.h"
#include "widgets/ins_meter.h"
#include "widgets/ins_rocker_switch.h"
#include "widgets/ins_thermometer.h"
#include "widgets/ins_value_ind.h"

#include <QApplication>
#include <QCheckBox>
#include <QFrame>
#include <QGroupBox>
#include <QLabel>
#include <QLayout>
#include <QPushButton>
#include <QRadioButton>
#include <QStyle>
#include <QStyleOption>
#include <QToolButton>

#include "common/pty_pair.h"
#include "data/dump_samples.h"

#include <QAbstractScrollArea>
#include <QFileDialog>
#include <QSettings>
#include <QTemporaryDir>
#include <QTimer>

#include <set>

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

// Captions that do not fit inside their controls, as "window/control 'text':
// why". A caption is measured in the font the control draws it with, against
// the room the control has for it: for our own widgets the face inside their
// frames and bevels, for Qt's the style's contents rectangle.
QStringList CaptionsThatDoNotFit(QWidget *window) {
  QStringList faults;
  const QString where = window->windowTitle().trimmed().isEmpty() ? window->objectName() : window->windowTitle();
  auto fault = [&](QWidget *w, const QString &text, const QString &why) {
    faults << QString("%1/%2 '%3': %4").arg(where, w->objectName(), text, why);
  };
  auto sizeText = [](const QSize &need, const QRect &room) {
    return QString("needs %1x%2 in %3x%4").arg(need.width()).arg(need.height()).arg(room.width()).arg(room.height());
  };
  auto check = [&](QWidget *w, const QString &text, const QFont &font, const QRect &room) {
    const QFontMetrics fm(font);
    const QSize need(fm.horizontalAdvance(text), fm.height());
    if (need.width() > room.width() || need.height() > room.height()) fault(w, text, sizeText(need, room));
  };
  QList<QWidget *> widgets = window->findChildren<QWidget *>();
  widgets.prepend(window);
  for (QWidget *w : widgets) {
    if (w != window && !w->isVisibleTo(window)) continue;
    for (const TCaptionBox &c : OwnerDrawnCaptions(w)) {
      check(w, c.Text, c.Font, c.Room);
      if (!c.Room.contains(c.Drawn))
        fault(w, c.Text,
              QString("drawn at %1,%2 %3x%4, outside %5,%6 %7x%8")
                  .arg(c.Drawn.x())
                  .arg(c.Drawn.y())
                  .arg(c.Drawn.width())
                  .arg(c.Drawn.height())
                  .arg(c.Room.x())
                  .arg(c.Room.y())
                  .arg(c.Room.width())
                  .arg(c.Room.height()));
    }
    QStyle *style = w->style();
    if (w != window && (qobject_cast<QLabel *>(w) || qobject_cast<QAbstractButton *>(w)) &&
        !w->parentWidget()->rect().contains(w->geometry()))
      fault(w, w->property("text").toString(), "sticks out of its window or panel");
    if (auto *label = qobject_cast<QLabel *>(w)) {
      if (label->wordWrap() || label->text().isEmpty() || label->textFormat() == Qt::RichText) continue;
      const int margin = label->margin() + std::max(0, label->indent());
      check(w, label->text(), label->font(), label->contentsRect().adjusted(margin, 0, -margin, 0));
    } else if (auto *box = qobject_cast<QCheckBox *>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(box);
      opt.text = box->text();
      check(w, QString(box->text()).remove('&'), box->font(),
            style->subElementRect(QStyle::SE_CheckBoxContents, &opt, box));
    } else if (auto *radio = qobject_cast<QRadioButton *>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(radio);
      opt.text = radio->text();
      check(w, QString(radio->text()).remove('&'), radio->font(),
            style->subElementRect(QStyle::SE_RadioButtonContents, &opt, radio));
    } else if (auto *button = qobject_cast<QPushButton *>(w)) {
      QStyleOptionButton opt;
      opt.initFrom(button);
      opt.text = button->text();
      const int margin = style->pixelMetric(QStyle::PM_ButtonMargin, &opt, button) / 2;
      check(w, QString(button->text()).remove('&'), button->font(),
            style->subElementRect(QStyle::SE_PushButtonContents, &opt, button).adjusted(margin, 0, -margin, 0));
    } else if (auto *tool = qobject_cast<QToolButton *>(w)) {
      // The text under the picture, or beside it, inside the button's frame.
      const int frame = style->pixelMetric(QStyle::PM_DefaultFrameWidth, nullptr, tool);
      const QRect inside = tool->rect().adjusted(frame, frame, -frame, -frame);
      if (tool->toolButtonStyle() == Qt::ToolButtonTextBesideIcon)
        check(w, tool->text(), tool->font(), inside.adjusted(tool->iconSize().width() + 4, 0, 0, 0));
      else check(w, tool->text(), tool->font(), inside.adjusted(0, tool->iconSize().height(), 0, 0));
    } else if (auto *group = qobject_cast<QGroupBox *>(w)) {
      if (group->title().isEmpty()) continue;
      QStyleOptionGroupBox opt;
      opt.initFrom(group);
      opt.text = group->title();
      opt.subControls = QStyle::SC_GroupBoxLabel | QStyle::SC_GroupBoxFrame;
      const QRect label = style->subControlRect(QStyle::CC_GroupBox, &opt, QStyle::SC_GroupBoxLabel, group);
      const QString title = QString(group->title()).remove('&');
      const int right = label.left() + QFontMetrics(group->font()).horizontalAdvance(title);
      if (label.left() < 0 || right > group->width())
        fault(w, title,
              QString("runs from %1 to %2 in a frame %3 wide").arg(label.left()).arg(right).arg(group->width()));
    }
  }
  return faults;
}

std::string CaptionsThatDoNotFit(std::initializer_list<QWidget *> windows) {
  QStringList faults;
  for (QWidget *window : windows) {
    // Polished as on screen (style sheets change fonts then), laid out, but
    // never shown: showing would run the windows' activation handlers.
    window->ensurePolished();
    if (window->layout()) window->layout()->activate();
    faults << CaptionsThatDoNotFit(window);
  }
  return faults.join('\n').toStdString();
}

TEST_F(Program, EveryCaptionFitsInsideItsControl) {
  SetExceptionPresenter([](const std::string &, const std::string &) {});
  TChartPreview preview;
  preview.ListPrinters = [] { return QStringList(); };
  preview.SetImage(program.Form6().Chart1);
  preview.FormShow();
  TSerialSetupFrm setup;
  TForm1 &main = program.Form1();
  EXPECT_EQ(
      CaptionsThatDoNotFit({&main, &program.Form2(), &program.Form3(), &program.Form4(), &program.Form5(),
                            &program.Form6(), &program.Form7(), &program.Form8(), &preview, &setup,
                            &program.Form5().StatisticsWindow(), &program.HistoryWindow(), &program.AlarmWindow()}),
      "");

  // Connected, every light on and the battery low: the captions the window
  // changes to fit as well.
  PtyPair pty;
  main.SerialPort1->SetPort(pty.SlavePath());
  main.InsRockerSwitch1Click();
  ASSERT_TRUE(main.SerialPort1->Connected());
  TLiveFrame low;
  low.Day = 25, low.Month = 12, low.Year = 3, low.Hours = 14, low.Minutes = 30;
  low.Battery = 140;
  low.RateCode = 4;
  main.ShowFrame(low);
  ASSERT_EQ(main.InsDB120Meter1->SignalSettings().Name1(), "REEMPLAZAR PILAS");
  for (TInsColBitBtn *b : {main.InsColBitBtn1, main.InsColBitBtn7}) ASSERT_TRUE(b->Checked());
  EXPECT_EQ(CaptionsThatDoNotFit({&main}), "");
  main.InsRockerSwitch1Click();
  SetExceptionPresenter(nullptr);
}

TEST_F(Program, WindowsHaveTheirCaptionsAndTheMainWindowItsSize) {
  EXPECT_EQ(program.Form1().windowTitle(), "TALVEX  V 2.0 -- 16 CANALES DE TEMPERATURA ");
  EXPECT_EQ(program.Form1().size(), QSize(560, 461));
  EXPECT_EQ(program.Form1().minimumSize(), QSize(560, 461));  // sizeable, but never smaller
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
  EXPECT_EQ(lines[17],
            QString::fromUtf8("Haciendo click en descargar podrña ver los datos descargados y ver un gráfico"));
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

// The commands (buttons, check boxes, radio items, switches a user could
// click) of a window that Tab never reaches.
QStringList CommandsTabMisses(QWidget *window) {
  std::set<QWidget *> reached;
  for (QWidget *w = window->nextInFocusChain(); w && w != window; w = w->nextInFocusChain())
    if (w->focusPolicy() & Qt::TabFocus) reached.insert(w);
  QStringList missed;
  for (QWidget *w : window->findChildren<QWidget *>()) {
    auto *control = dynamic_cast<TInsBinGControl *>(w);
    const bool command = control ? control->Mode() != mIndicator : qobject_cast<QAbstractButton *>(w) != nullptr;
    // A grid's corner button is the grid's, which Tab reaches.
    if (command && w->isVisibleTo(window) && w->isEnabled() && !reached.count(w) &&
        !qobject_cast<QAbstractScrollArea *>(w->parentWidget()))
      missed << window->windowTitle() + "/" + w->metaObject()->className() + " " + w->objectName();
  }
  return missed;
}

TEST_F(Program, TabReachesEveryCommandOfEveryWindow) {
  TSerialSetupFrm setup;
  TChartPreview preview;
  preview.ListPrinters = [] { return QStringList(); };
  preview.SetImage(program.Form6().Chart1);
  QStringList missed;
  for (QWidget *window : std::initializer_list<QWidget *>{
           &program.Form1(), &program.Form2(), &program.Form4(), &program.Form5(), &program.Form6(), &program.Form7(),
           &program.Form8(), &program.Form5().StatisticsWindow(), &program.AlarmWindow(), &setup, &preview})
    missed << CommandsTabMisses(window);
  EXPECT_EQ(missed.join('\n').toStdString(), "");
}

TEST_F(Program, FileDialogsStartAtHomeThenWhereTheLastFileWasSaved) {
  QTemporaryDir config, home, elsewhere;
  QSettings::setPath(QSettings::IniFormat, QSettings::UserScope, config.path());
  const QByteArray realHome = qgetenv("HOME");
  qputenv("HOME", QFile::encodeName(home.path()));
  program.Form1().RichEdit1 = dump_samples::LongDump(3);
  TForm5 &data = program.Form5();
  data.FormActivate();
  QStringList folders;  // where GUARDAR, ABRIR and EXPORTAR opened, in turn
  auto *timer = new QTimer(&data);
  QObject::connect(timer, &QTimer::timeout, [&] {
    auto *dialog = qobject_cast<QFileDialog *>(QApplication::activeModalWidget());
    if (!dialog || !dialog->isVisible()) return;
    folders << dialog->directory().absolutePath();
    if (folders.size() > 1) return dialog->reject();
    dialog->selectFile(elsewhere.filePath("datos.txt"));
    QMetaObject::invokeMethod(dialog, "accept");
  });
  timer->start(5);
  RunHandler([&] { data.SpeedButton1Click(); });
  RunHandler([&] { data.SpeedButton3Click(); });
  RunHandler([&] { data.SpeedButton4Click(); });
  delete timer;
  qputenv("HOME", realHome);
  // The root the window was described with is no folder a user may write.
  EXPECT_EQ(folders, QStringList({home.path(), elsewhere.path(), elsewhere.path()}));
  EXPECT_TRUE(QFileInfo::exists(elsewhere.filePath("datos.txt")));
}

}  // namespace
