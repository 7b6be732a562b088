#pragma once

#include <QFont>
#include <QStringList>

// The forms' "System" face. Where no font of that name exists, fontconfig
// would pick DejaVu Sans, a quarter wider than the original; the value boxes
// are sized from "##0.0" in this face and the main window's indicators sit 75
// pixels apart, so the fallback is the narrower Liberation Sans instead.
inline QFont SystemFont(int pixelSize, bool bold = false) {
  QFont f;
  f.setFamilies(QStringList{QStringLiteral("System"), QStringLiteral("Liberation Sans"), QStringLiteral("Arial")});
  f.setPixelSize(pixelSize);
  f.setBold(bold);
  return f;
}

// Point sizes of the forms (96 dpi: 10 pt is 13 px).
inline QFont SystemFontPt(int points, bool bold = false) { return SystemFont((points * 96 + 36) / 72, bold); }
