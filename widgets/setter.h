#pragma once

#include <functional>

// The shape of every setter of the widgets and their settings objects: a
// value equal to the current one is ignored, another one stored. True when it
// was stored, so the caller applies it (repaints, notifies).
template <typename T>
bool Assign(T &field, const T &v) {
  if (field == v) return false;
  field = v;
  return true;
}

// A group of settings a widget owns (its sectors, its extremes' marks, a
// thermometer's column, a meter's pointer): every change that is stored is
// told to the owner, which then applies it.
class TInsSettings {
public:
  std::function<void()> OnChange;

protected:
  void Changed() {
    if (OnChange) OnChange();
  }
  template <typename T>
  void Set(T &field, const T &v) {
    if (Assign(field, v)) Changed();
  }
};
