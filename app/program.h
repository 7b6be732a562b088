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

// The program's eight windows, created once at start-up in a fixed order and
// kept for the whole run; the main window is the first.
class TProgram {
public:
  TProgram();
  ~TProgram();

  TForm1 &Form1() { return *form1_; }
  TForm2 &Form2() { return *form2_; }
  TForm3 &Form3() { return *form3_; }
  TForm5 &Form5() { return *form5_; }
  TForm6 &Form6() { return *form6_; }
  TForm7 &Form7() { return *form7_; }
  TForm8 &Form8() { return *form8_; }
  TForm4 &Form4() { return *form4_; }

private:
  std::unique_ptr<TForm1> form1_;
  std::unique_ptr<TForm2> form2_;
  std::unique_ptr<TForm3> form3_;
  std::unique_ptr<TForm5> form5_;
  std::unique_ptr<TForm6> form6_;
  std::unique_ptr<TForm7> form7_;
  std::unique_ptr<TForm8> form8_;
  std::unique_ptr<TForm4> form4_;
};

// The application title, the task-bar text.
extern const char *const kApplicationTitle;
