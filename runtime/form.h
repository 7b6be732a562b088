#pragma once

#include <QDialog>

// A window of the program: created once, then only shown and hidden. Its
// activation handler runs every time it becomes the active window again,
// under the standard exception handler.
class TForm : public QDialog {
public:
  explicit TForm(QWidget *parent = nullptr);

  // Size of the window including its frame, as the window's description
  // gives it; the client area is what remains inside a plain dialog frame.
  void SetOuterSize(int width, int height);
  void CenterOnDesktop();

protected:
  virtual void FormActivate() {}
  virtual void FormClose() {}
  void changeEvent(QEvent *event) override;
  void done(int result) override;
};
