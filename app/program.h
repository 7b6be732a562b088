#pragma once

#include <memory>

class TForm;
class TForm1;
class TForm2;
class TForm3;
class TForm4;
class TForm5;
class TForm6;
class TForm7;
class TForm8;
class THistoryWindow;
class TAlarmWindow;
class TDesktopNotifier;

class QObject;
class TDownloadArchive;
class TLiveRecording;

// The program's eight windows, created once in a fixed order and kept for the
// whole run; the main window is the first. Only the main window is made
// before it first shows: the other seven, a good part of the start-up's work,
// are made in the first idle moment after its first paint, or earlier when
// anything asks for one of them.
class TProgram {
public:
  TProgram();
  ~TProgram();

  TForm1 &Form1() { return *form1_; }
  TForm2 &Form2() { return (CreateAllWindows(), *form2_); }
  TForm3 &Form3() { return (CreateAllWindows(), *form3_); }
  TForm5 &Form5() { return (CreateAllWindows(), *form5_); }
  TForm6 &Form6() { return (CreateAllWindows(), *form6_); }
  TForm7 &Form7() { return (CreateAllWindows(), *form7_); }
  TForm8 &Form8() { return (CreateAllWindows(), *form8_); }
  TForm4 &Form4() { return (CreateAllWindows(), *form4_); }
  // "HISTORIAL", beyond the eight: made the first time it is asked for.
  THistoryWindow &HistoryWindow();
  // "ALARMAS", made the first time it is asked for.
  TAlarmWindow &AlarmWindow();
  // Where the main window's alarms are told on the desktop.
  TDesktopNotifier &Notifier() { return *notifier_; }

  // Makes the windows after the main one, in their order, if not yet made.
  void CreateAllWindows();
  bool AllWindowsCreated() const { return form4_ != nullptr; }

  // Where every decoded download goes: the history archive, through its
  // queue. Made with the windows after the main one.
  TDownloadArchive &DownloadArchive() { return (CreateAllWindows(), *downloadArchive_); }

  // Ends the program as closing the main window does (lines dropped, port
  // closed, its lock file removed), from wherever the loop is, modal windows
  // included, without the question about an unsaved download: the system
  // or a shell asked for the end, and nobody may be there to answer.
  void EndBySignal();

private:
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
  std::unique_ptr<TForm5> form5_;
  std::unique_ptr<TForm6> form6_;
  std::unique_ptr<TForm7> form7_;
  std::unique_ptr<TForm8> form8_;
  std::unique_ptr<TForm4> form4_;
  std::unique_ptr<THistoryWindow> history_;
  std::unique_ptr<TAlarmWindow> alarms_;
  std::unique_ptr<TDesktopNotifier> notifier_;
  std::unique_ptr<TDownloadArchive> downloadArchive_;
  // After the archive's writer: it hands its batches to it until it goes.
  std::unique_ptr<TLiveRecording> liveRecording_;
  bool endingBySignal_ = false;
  // Last, so that it goes first: it watches the main window.
  std::unique_ptr<QObject> firstPaintWatch_;
};

// The application title, the task-bar text.
extern const char *const kApplicationTitle;
