#pragma once

#include "widgets/captions.h"

#include <QWidget>

// Base of the analogue widgets, the clock and the gradient: settings changes
// funnel into Change(), which an update lock can hold back so that a batch of
// settings costs one recompute and one repaint.
class TInsGraphicControl : public QWidget {
public:
  explicit TInsGraphicControl(QWidget *parent = nullptr);

  void BeginUpdate();
  void EndUpdate();  // never below 0; on reaching 0, Change()
  int UpdateCount() const { return updateCount_; }

  // Runs SettingsChanged unless an update lock is held.
  void Change();

  // The lines of text it paints, as it paints them now (none by default).
  virtual TCaptionBoxes Captions() { return {}; }

protected:
  virtual void SettingsChanged() {}

private:
  int updateCount_ = 0;
};
