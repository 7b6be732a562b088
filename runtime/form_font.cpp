#include "runtime/form_font.h"

#include <algorithm>

int FormPixels(int points) {
  // MulDiv rounds half away from zero.
  const int scaled = points * 96;
  return scaled >= 0 ? (scaled + 36) / 72 : -((-scaled + 36) / 72);
}

QFont FormFont(const char *family, int points, bool bold, bool italic) {
  QFont f(QString::fromLatin1(family));
  f.setPixelSize(std::max(1, FormPixels(points)));
  f.setBold(bold);
  f.setItalic(italic);
  return f;
}
